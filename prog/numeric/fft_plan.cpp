// The mixed-radix forward transform: the plan (factors and twiddles) of a length, and the
// driver that runs the passes over it. The passes themselves are in fft_passes.cpp.
#include <cmath>
#include <cstddef>

#include "numeric/fft_passes.hpp"
#include "numeric/numeric.hpp"

namespace tramel::numeric {
namespace {

// 2 pi as the single-precision value of 6.28318530717959, widened. Every twiddle is built on
// it, so the coefficients are those of this slightly long 2 pi, not of the exact one.
constexpr double kTwoPi = 6.2831854820251465;

double* as_doubles(Complex* c) { return reinterpret_cast<double*>(c); }

// Factorises n and fills the twiddle area. Trial divisors 3, 4, 2, 5, then 7, 9, 11, ...;
// each is divided out as often as it goes. A 2 found after other factors moves to the front.
//
// For each factor p (l1 the product of the factors before it, ido = n/(l1*p)) and each
// j = 1..p-1 a block of ido entries: entry 0 is (1, 0), entry r is (cos, sin) of r times the
// block angle (j*l1)*theta, that angle formed once and held as a double. Each block is first
// written one entry longer; the next block starts on that extra entry. For p > 5 the extra
// entry, the (cos, sin) of 2 pi j/p, replaces entry 0, where the general pass finds it.
void factorize_and_twiddle(int n, std::span<Complex> wa, std::vector<int>& ifac) {
  static constexpr int kFirstTrials[] = {3, 4, 2, 5};
  ifac.clear();
  int nl = n;
  int trial = 0;
  int ntry = 0;
  while (nl != 1) {
    ntry = trial < 4 ? kFirstTrials[trial] : ntry + 2;
    ++trial;
    while (nl % ntry == 0) {
      ifac.push_back(ntry);
      nl /= ntry;
      if (ntry == 2 && ifac.size() > 1) {
        ifac.pop_back();
        ifac.insert(ifac.begin(), 2);
      }
      if (nl == 1) break;
    }
  }

  const double argh = kTwoPi / static_cast<double>(n);
  std::size_t i = 0;
  int l1 = 1;
  for (const int ip : ifac) {
    int ld = 0;
    const int l2 = l1 * ip;
    const int ido = n / l2;
    for (int j = 1; j < ip; ++j) {
      const std::size_t i1 = i;
      wa[i] = {1.0, 0.0};
      ld += l1;
      double fi = 0.0;
      const double argld = static_cast<double>(ld) * argh;
      for (int r = 1; r <= ido; ++r) {
        ++i;
        fi += 1.0;
        const double arg = fi * argld;
        wa[i] = {std::cos(arg), std::sin(arg)};
      }
      if (ip > 5) wa[i1] = wa[i];
    }
    l1 = l2;
  }
}

// Runs the passes in factor order, alternating between the vector and the scratch; `na`
// says the latest result is in the scratch. The general pass flips it only when it leaves its
// result in the destination. T is double for one transform, Lanes for several side by side.
template <class T>
void run_passes(int n, T* c, T* ch, const double* wa, std::span<const int> ifac) {
  bool na = false;
  int l1 = 1;
  const double* w = wa;
  for (const int ip : ifac) {
    const int l2 = ip * l1;
    const int ido = n / l2;
    const std::ptrdiff_t blk = 2 * static_cast<std::ptrdiff_t>(ido);  // doubles per block
    T* src = na ? ch : c;
    T* dst = na ? c : ch;
    switch (ip) {
      case 4:
        fft_detail::passf4(ido, l1, src, dst, w, w + blk, w + 2 * blk);
        na = !na;
        break;
      case 2:
        fft_detail::passf2(ido, l1, src, dst, w);
        na = !na;
        break;
      case 3:
        fft_detail::passf3(ido, l1, src, dst, w, w + blk);
        na = !na;
        break;
      case 5:
        fft_detail::passf5(ido, l1, src, dst, w, w + blk, w + 2 * blk, w + 3 * blk);
        na = !na;
        break;
      default:
        if (fft_detail::passf(ido, ip, l1, src, dst, w)) na = !na;
        break;
    }
    l1 = l2;
    w += (ip - 1) * blk;
  }
  if (!na) return;
  for (int i = 0; i < 2 * n; ++i) c[i] = ch[i];
}

}  // namespace

FftPlan::FftPlan(int length) : length_(length) {
  if (length <= 1) return;
  twiddles_.assign(static_cast<std::size_t>(length), {0.0, 0.0});
  factorize_and_twiddle(length, twiddles_, factors_);
}

void FftPlan::forward(std::span<Complex> values, std::span<Complex> scratch) const {
  if (length_ <= 1) return;
  run_passes(length_, as_doubles(values.data()), as_doubles(scratch.data()),
             reinterpret_cast<const double*>(twiddles_.data()), factors_);
}

void FftPlan::forward(std::span<Complex> values) const {
  if (length_ <= 1) return;
  std::vector<Complex> scratch(static_cast<std::size_t>(length_));
  forward(values, scratch);
}

void FftPlan::forward_lanes(std::span<double> lanes, std::span<double> work) const {
  if (length_ <= 1) return;
  using fft_detail::Lanes;
  static_assert(sizeof(Lanes) == kFftLanes * sizeof(double));
  run_passes(length_, reinterpret_cast<Lanes*>(lanes.data()), reinterpret_cast<Lanes*>(work.data()),
             reinterpret_cast<const double*>(twiddles_.data()), factors_);
}

FrameBatch::FrameBatch(const FftPlan& plan)
    : plan_(plan),
      lanes_(2 * static_cast<std::size_t>(plan.length()) * kFftLanes),
      work_(lanes_.size()) {}

void FrameBatch::transform(const float* first, int count, const float* weights) {
  const int n = plan_.length();
  for (int q = 0; q < kFftLanes; ++q) {
    const float* frame = q < count ? first + static_cast<std::ptrdiff_t>(q) * n : nullptr;
    double* lane = lanes_.data() + q;
    for (int j = 0; j < n; ++j) {
      float t = 0.0f;
      if (frame) t = weights ? frame[j] * weights[j] : frame[j];
      lane[2 * static_cast<std::size_t>(j) * kFftLanes] = t;
      lane[(2 * static_cast<std::size_t>(j) + 1) * kFftLanes] = 0.0;
    }
  }
  plan_.forward_lanes(lanes_, work_);
}

}  // namespace tramel::numeric
