#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <iterator>
#include <limits>
#include <numbers>
#include <random>
#include <span>
#include <vector>

#include "numeric/numeric.hpp"

namespace tramel::numeric {
namespace {

using Cd = std::complex<double>;
using Cl = std::complex<long double>;

// The 2 pi the twiddles are built on: the single-precision value, widened.
constexpr long double kPlanTwoPi = 6.2831854820251465L;
constexpr long double kTrueTwoPi = 2 * std::numbers::pi_v<long double>;

std::vector<Cd> random_vector(int n, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<Cd> x(static_cast<std::size_t>(n));
  for (Cd& v : x) v = {u(gen), u(gen)};
  return x;
}

std::vector<Cd> transform(std::vector<Cd> x) {
  FftPlan(static_cast<int>(x.size())).forward(x);
  return x;
}

// The direct sum out(k) = sum_j in(j) exp(-i 2 pi (j k mod n) / n), in long double.
std::vector<Cl> direct_sum(const std::vector<Cd>& x) {
  const std::size_t n = x.size();
  std::vector<Cl> root(n), out(n);
  for (std::size_t q = 0; q < n; ++q) {
    const long double a = -kTrueTwoPi * static_cast<long double>(q) / n;
    root[q] = Cl(std::cos(a), std::sin(a));
  }
  for (std::size_t k = 0; k < n; ++k) {
    Cl s = 0;
    for (std::size_t j = 0; j < n; ++j) s += Cl(x[j].real(), x[j].imag()) * root[(j * k) % n];
    out[k] = s;
  }
  return out;
}

// The passes written as plain sums in long double, one pass per factor: y(j) = sum over m of
// S(r, m, k) exp(-2 pi i j m / p) into D(r, k, j), then times exp(-i r j l1 theta) for r, j > 0.
// The small transforms of 2..5 use the true 2 pi (their constants are exact); the twiddles
// use the plan's. Larger factors pair inputs m, p - m and outputs j, p - j: with
// b = (min(j, p - j) min(m, p - m)) mod p, the turn is by -b steps of the plan's 2 pi / p when
// j and m are both below p/2 or both above it, else by +b.
std::vector<Cl> pass_model(const std::vector<Cd>& x, std::span<const int> factors) {
  const int n = static_cast<int>(x.size());
  std::vector<Cl> a(x.begin(), x.end()), b(a.size());
  int l1 = 1;
  for (const int p : factors) {
    const int ido = n / (l1 * p);
    const long double small = p <= 5 ? kTrueTwoPi : kPlanTwoPi;
    std::vector<Cl> turn(2 * p);  // exp(-i small s / p) for s = -p..p-1, at s + p
    for (int steps = -p; steps < p; ++steps) {
      const long double ang = -small * steps / p;
      turn[steps + p] = Cl(std::cos(ang), std::sin(ang));
    }
    for (int r = 0; r < ido; ++r) {
      for (int j = 0; j < p; ++j) {
        const long double tw = -kPlanTwoPi * r * j * l1 / n;
        const Cl twiddle(std::cos(tw), std::sin(tw));
        for (int k = 0; k < l1; ++k) {
          Cl y = 0;
          for (int m = 0; m < p; ++m) {
            const int q = (std::min(j, p - j) * std::min(m, p - m)) % p;
            const int steps = p <= 5 ? (j * m) % p : ((2 * j < p) == (2 * m < p) ? q : -q);
            y += a[r + ido * (m + p * k)] * turn[steps + p];
          }
          b[r + ido * (k + l1 * j)] = y * twiddle;
        }
      }
    }
    a.swap(b);
    l1 *= p;
  }
  return a;
}

// Largest difference relative to the sum of the input magnitudes (a bound of every output).
template <class C>
double max_rel_diff(const std::vector<Cd>& got, const std::vector<C>& want,
                    const std::vector<Cd>& input) {
  long double scale = 0;
  for (const Cd& v : input) scale += std::abs(v);
  long double worst = 0;
  for (std::size_t k = 0; k < got.size(); ++k) {
    const Cl g(got[k].real(), got[k].imag());
    const Cl w(want[k].real(), want[k].imag());
    worst = std::max(worst, std::abs(g - w));
  }
  return static_cast<double>(worst / scale);
}

const int kLengths[] = {2, 3, 4, 5, 7, 8, 11, 12, 13, 14, 64, 96, 101, 360, 1000, 1024};

TEST(Fft, FactorOrder) {
  const struct {
    int n;
    std::vector<int> factors;
  } cases[] = {
      {2, {2}},           {4, {4}},           {8, {2, 4}},          {12, {3, 4}},
      {14, {2, 7}},       {64, {4, 4, 4}},    {96, {2, 3, 4, 4}},   {360, {2, 3, 3, 4, 5}},
      {1000, {2, 4, 5, 5, 5}},                {1009, {1009}},       {1024, {4, 4, 4, 4, 4}},
      {2 * 9 * 49, {2, 3, 3, 7, 7}},          {121, {11, 11}},      {2018, {2, 1009}},
  };
  for (const auto& c : cases) {
    const FftPlan plan(c.n);
    EXPECT_EQ(std::vector<int>(plan.factors().begin(), plan.factors().end()), c.factors)
        << "n = " << c.n;
    EXPECT_EQ(plan.length(), c.n);
  }
}

// Entry r of block j is (cos, sin) of r times the block angle (j l1) theta, each product
// rounded to double; for factors above 5 entry 0 holds the block's entry ido, 2 pi j/p. Bit
// for bit: the order of these roundings shows nowhere else.
TEST(Fft, TwiddlesAreBuiltOnTheSinglePrecisionTwoPi) {
  for (const int n : {14, 96, 360, 1000}) {
    const FftPlan plan(n);
    const std::span<const Cd> twiddles = plan.twiddles();
    ASSERT_EQ(twiddles.size(), static_cast<std::size_t>(n));
    const double theta = 6.2831854820251465 / n;
    std::size_t pos = 0;
    int l1 = 1;
    for (const int p : plan.factors()) {
      const int ido = n / (l1 * p);
      for (int j = 1; j < p; ++j) {
        const double block = static_cast<double>(j * l1) * theta;
        for (int r = 0; r < ido; ++r) {
          const int rr = (r == 0 && p > 5) ? ido : r;
          const Cd want = rr == 0 ? Cd(1.0, 0.0) : Cd(std::cos(rr * block), std::sin(rr * block));
          EXPECT_EQ(twiddles[pos + r], want) << "n " << n << " p " << p << " j " << j << " r " << r;
        }
        pos += static_cast<std::size_t>(ido);
      }
      l1 *= p;
    }
    EXPECT_EQ(pos, static_cast<std::size_t>(n - 1));
  }
}

// The passes against their own definition evaluated in long double: agreement to double
// rounding, which also pins the 2 pi of the twiddles and of the general pass.
TEST(Fft, MatchesThePassDefinition) {
  std::vector<int> lengths(std::begin(kLengths), std::end(kLengths));
  // General passes with many values per block (63, 112), not last and so rotating over their
  // source (77, 154, 1001), and a large prime factor (2018 = 2 x 1009).
  lengths.insert(lengths.end(), {63, 77, 112, 154, 1001, 2018});
  for (const int n : lengths) {
    const std::vector<Cd> x = random_vector(n, 17u + static_cast<unsigned>(n));
    const FftPlan plan(n);
    const std::vector<Cl> want = pass_model(x, plan.factors());
    EXPECT_LT(max_rel_diff(transform(x), want, x), 2e-15) << "n = " << n;
  }
}

// Against a plain DFT with the true 2 pi, which keeps the pass model above honest. The
// transforms of 2, 3, 4 and 5 alone are exact; everything else carries the plan's 2 pi,
// 1.7e-7 longer than the true one. An impulse gives exact ones at every length.
TEST(Fft, MatchesTheDirectSum) {
  for (const int n : kLengths) {
    const std::vector<Cd> x = random_vector(n, 5u + static_cast<unsigned>(n));
    EXPECT_LT(max_rel_diff(transform(x), direct_sum(x), x), n <= 5 ? 1e-15 : 2e-7) << "n = " << n;
    std::vector<Cd> impulse(static_cast<std::size_t>(n), 0.0);
    impulse[0] = 1.0;
    EXPECT_EQ(transform(impulse), std::vector<Cd>(impulse.size(), 1.0)) << "n = " << n;
  }
}

// Below length 2 a plan has nothing to apply: no factors, no twiddles, and every transform,
// single or in lanes, leaves its values as they are.
TEST(Fft, LengthsBelowTwoTouchNothing) {
  for (const int n : {0, 1}) {
    SCOPED_TRACE(n);
    const FftPlan plan(n);
    EXPECT_EQ(plan.length(), n);
    EXPECT_TRUE(plan.factors().empty());
    EXPECT_TRUE(plan.twiddles().empty());
    std::vector<Cd> x{Cd(-1.5, 0.25)};
    plan.forward(x);
    EXPECT_EQ(x[0], Cd(-1.5, 0.25));
    std::vector<double> lanes(2 * kFftLanes), work(lanes.size());
    for (std::size_t i = 0; i < lanes.size(); ++i) lanes[i] = 0.5 + static_cast<double>(i);
    const std::vector<double> before = lanes;
    plan.forward_lanes(lanes, work);
    EXPECT_EQ(lanes, before);
  }
}

// The plan holds no scratch of its own: whatever the caller's scratch holds (the leftovers of
// another transform, or values that are not numbers) does not reach the result, and one plan
// gives every transform of its length the same result.
TEST(Fft, ScratchContentsDoNotReachTheResult) {
  // Passes of 2 to 5 only, and general passes that do and do not rotate over their source.
  for (const int n : {96, 77, 1001}) {
    SCOPED_TRACE(n);
    const FftPlan plan(n);
    const auto size = static_cast<std::size_t>(n);
    const std::vector<Cd> input = random_vector(n, 1u);
    const std::vector<Cd> want = transform(input);

    std::vector<Cd> scratch(size, Cd(std::numeric_limits<double>::quiet_NaN(), 1e300));
    std::vector<Cd> a = input;
    plan.forward(a, scratch);
    EXPECT_EQ(a, want);

    std::vector<Cd> other = random_vector(n, 2u);
    plan.forward(other, scratch);  // leaves that transform's intermediate values behind
    std::vector<Cd> b = input;
    plan.forward(b, scratch);
    EXPECT_EQ(b, want);
  }
}

}  // namespace
}  // namespace tramel::numeric
