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
// For each factor p (`groups` the product of the factors before it, stride = n/(groups*p)) and
// each j = 1..p-1 a block of `stride` entries: entry 0 is (1, 0), entry r is (cos, sin) of r
// times the block angle (j*groups)*2pi/n, that angle formed once and held as a double. Each
// block is first written one entry longer; the next block starts on that extra entry. For
// p > 5 the extra entry, the (cos, sin) of 2 pi j/p, replaces entry 0, where the general pass
// finds it.
void factorize_and_twiddle(int n, std::span<Complex> twiddles, std::vector<int>& factors) {
  static constexpr int kFirstTrials[] = {3, 4, 2, 5};
  factors.clear();
  int remaining = n;
  int trial = 0;
  int divisor = 0;
  while (remaining != 1) {
    divisor = trial < 4 ? kFirstTrials[trial] : divisor + 2;
    ++trial;
    while (remaining % divisor == 0) {
      factors.push_back(divisor);
      remaining /= divisor;
      if (divisor == 2 && factors.size() > 1) {
        factors.pop_back();
        factors.insert(factors.begin(), 2);
      }
      if (remaining == 1) break;
    }
  }

  const double base_angle = kTwoPi / static_cast<double>(n);
  std::size_t entry = 0;
  int groups = 1;
  for (const int factor : factors) {
    int block_step = 0;
    const int groups_after = groups * factor;
    const int stride = n / groups_after;
    for (int j = 1; j < factor; ++j) {
      const std::size_t block_first = entry;
      twiddles[entry] = {1.0, 0.0};
      block_step += groups;
      double multiple = 0.0;
      const double block_angle = static_cast<double>(block_step) * base_angle;
      for (int r = 1; r <= stride; ++r) {
        ++entry;
        multiple += 1.0;
        const double angle = multiple * block_angle;
        twiddles[entry] = {std::cos(angle), std::sin(angle)};
      }
      if (factor > 5) twiddles[block_first] = twiddles[entry];
    }
    groups = groups_after;
  }
}

// Runs the passes in factor order, alternating between the vector and the scratch;
// `in_scratch` says the latest result is in the scratch. The general pass flips it only when
// it leaves its result in the destination. T is double for one transform, Lanes for several
// side by side.
template <class T>
void run_passes(int n, T* values, T* scratch, const double* twiddles,
                std::span<const int> factors) {
  bool in_scratch = false;
  int groups = 1;
  const double* pass_twiddles = twiddles;  // the twiddle blocks of the pass at hand
  for (const int factor : factors) {
    const int groups_after = factor * groups;
    const int stride = n / groups_after;
    const std::ptrdiff_t block = 2 * static_cast<std::ptrdiff_t>(stride);  // doubles per block
    T* src = in_scratch ? scratch : values;
    T* dst = in_scratch ? values : scratch;
    switch (factor) {
      case 4:
        fft_detail::pass4(stride, groups, src, dst, pass_twiddles);
        in_scratch = !in_scratch;
        break;
      case 2:
        fft_detail::pass2(stride, groups, src, dst, pass_twiddles);
        in_scratch = !in_scratch;
        break;
      case 3:
        fft_detail::pass3(stride, groups, src, dst, pass_twiddles);
        in_scratch = !in_scratch;
        break;
      case 5:
        fft_detail::pass5(stride, groups, src, dst, pass_twiddles);
        in_scratch = !in_scratch;
        break;
      default:
        if (fft_detail::pass_general(stride, factor, groups, src, dst, pass_twiddles))
          in_scratch = !in_scratch;
        break;
    }
    groups = groups_after;
    pass_twiddles += (factor - 1) * block;
  }
  if (!in_scratch) return;
  for (int i = 0; i < 2 * n; ++i) values[i] = scratch[i];
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
