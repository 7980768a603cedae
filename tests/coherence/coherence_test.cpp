#include <cmath>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "coherence/coherence.hpp"

namespace tramel::coherence {
namespace {

using Vec = std::vector<float>;
const double kPi = std::acos(-1.0);

struct Out { Vec a, sp, y, w; std::vector<Complex> g; float sd = -1; };

Out run(const Vec& x, int lb, int kl, int nb, float pct) {
  Out o{Vec(lb, -7), Vec(nb), x, Vec(lb, -7), std::vector<Complex>(lb)};
  std::vector<Complex> f(lb);
  numeric::FftTable v;
  textio::Sink msg;
  coh(o.a, o.sp, o.y, o.w, f, v, o.g, o.sd, static_cast<int>(x.size()), lb, kl, nb, pct, msg);
  return o;
}

// Direct computation in double: noise spectrum and 1 - exp(-x/2) of the statistic.
void hand(const Vec& x, int lb, int kl, int nb, int ntap, Vec& sp, Vec& p, Vec& a) {
  const int n = static_cast<int>(x.size()), nf = n / lb;
  std::vector<double> w(lb, 1.0), m(lb, 0.0);
  for (int k = 1; k <= ntap; ++k) w[k - 1] = w[lb - k] = std::sin(k * kPi / (2 * (ntap + 1)));
  double u2 = 0;
  for (double v : w) u2 += v * v / lb;
  for (int i = 0; i < nf * lb; ++i) m[i % lb] += double(x[i]) / nf;
  auto power = [&](int k, auto val) {
    std::complex<double> s;
    for (int j = 0; j < lb; ++j) s += val(j) * w[j] * std::polar(1.0, -2 * kPi * j * k / lb);
    return std::norm(s);
  };
  for (int i = 0; i < nb; ++i) {
    const int k = kl + i;
    double s = 0;
    for (int f = 0; f < nf; ++f) s += power(k, [&](int j) { return x[f * lb + j] - m[j]; });
    sp[i] = float(std::max(s / (lb * nf * u2), 1e-6));
    a[i] = float(power(k, [&](int j) { return m[j]; }));
    p[i] = float(1 - std::exp(-double(n) * a[i] / (lb * lb * sp[i])));
  }
}

TEST(Coh, AgreesWithDirectComputation) {
  struct Case { int lb, nf, extra, kl, ku; float pct; int ntap, bin; double amp; };
  const Case cases[] = {
      {32, 40, 0, 1, 16, 0, 0, 5, 1.0},    // untapered: S not divided by u2
      {64, 10, 0, 2, 32, 10, 3, 32, 0.3},  // even lb, signal at the Nyquist bin, u2 0.953125
      {20, 9, 7, 1, 10, 5, 0, 3, 2.0},     // taper of one value dropped; n not a multiple of lb
      {21, 8, 20, 3, 10, 25, 3, 4, 1.0},   // odd lb; 2.5 rounds to 3
  };
  std::mt19937 gen(12345);
  std::uniform_real_distribution<float> noise(-1, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lb);
    const int n = c.lb * c.nf + c.extra, nb = c.ku - c.kl + 1;
    Vec x(n);
    for (int i = 0; i < n; ++i)
      x[i] = float(c.amp * std::cos(2 * kPi * c.bin * i / c.lb + 0.3)) + noise(gen);
    const Out o = run(x, c.lb, c.kl, nb, c.pct);
    Vec sp(nb), p(nb), a(nb);
    hand(x, c.lb, c.kl, nb, c.ntap, sp, p, a);
    for (int i = 0; i < nb; ++i) {
      EXPECT_NEAR(std::norm(o.g[c.kl + i]), a[i], 2e-5 * a[i] + 1e-6) << i;
      EXPECT_NEAR(o.sp[i], sp[i], 2e-5 * sp[i]) << i;
      EXPECT_NEAR(o.a[i], p[i] < 1e-4f ? 0.0f : p[i], 2e-5) << i;
    }
    EXPECT_GT(o.a[c.bin - c.kl], 0.999f);
    if (c.pct > 0 && c.ntap == 0) {
      for (float w : o.w) EXPECT_EQ(w, 1.0f);  // a taper of one value is no taper
    }
    for (int i = c.lb * c.nf; i < n; ++i) EXPECT_EQ(o.y[i], x[i]);  // trailing values as read
  }
}

TEST(Coh, IdenticalFramesReachTheFloor) {
  // Values whose frame sums are exact: the residual is exactly zero, power only at bin 3.
  const int lb = 12, nf = 7;
  const float frame[4] = {1.25f, 0.25f, -0.75f, 0.25f};
  Vec x(lb * nf);
  for (int i = 0; i < lb * nf; ++i) x[i] = frame[i % 4];
  const Out o = run(x, lb, 1, 6, 0);
  for (float r : o.y) EXPECT_EQ(r, 0.0f);
  for (float s : o.sp) EXPECT_EQ(s, 1.0e-6f);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(o.a[i], i == 2 ? 1.0f : 0.0f) << i;
  EXPECT_FLOAT_EQ(o.sd, float(std::sqrt(6.0 / 11)));  // one frame's deviation
  for (float w : o.w) EXPECT_EQ(w, -7.0f);             // pct = 0: no weights set

  // A constant frame can round its variance below zero: the deviation is 0, not NaN.
  EXPECT_EQ(run(Vec(7 * 8, 0.1f), 8, 1, 4, 0).sd, 0.0f);
}

TEST(Taper, WeightsCountAndPower) {
  struct Case { float pct; int lb; bool ok; int ntap; float u2; const char* text; };
  const Case cases[] = {{10, 64, true, 3, 0.953125f, ""}, {25, 20, true, 3, 0.85f, ""},
                        {5, 20, true, 1, 0, ""},          {0, 20, false, -1, -1, ""},
                        {60, 20, false, -1, -1, " * ERROR *  Improper % for tapering:    60.0"},
                        {50, 6, false, 2, -1, " Taper size            2 > lb/4. Increase data block"}};
  const double pi = float(kPi);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pct);
    Vec w(c.lb, -7);
    float u2 = -1;
    int ntap = -1;
    textio::Sink msg;
    EXPECT_EQ(taper(w, c.lb, c.pct, u2, ntap, msg), c.ok);
    EXPECT_EQ(ntap, c.ntap);
    EXPECT_EQ(msg.text().substr(0, std::string(c.text).size()), c.text);
    EXPECT_EQ(msg.text().empty(), *c.text == 0);
    if (!c.ok || ntap < 2) continue;
    EXPECT_FLOAT_EQ(u2, c.u2);
    for (int j = 0; j < c.lb; ++j) {
      const int k = std::min(j + 1, c.lb - j);
      EXPECT_EQ(w[j], k > ntap ? 1.0f : float(std::sin(k * pi / (2 * (ntap + 1))))) << j;
    }
  }
}

}  // namespace
}  // namespace tramel::coherence
