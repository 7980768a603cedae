// The analysis of one series and the work space of a run.
#include "pipeline.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>

#include "data/data.hpp"

namespace tramel {

namespace {

constexpr std::uint64_t kNoFit = std::numeric_limits<std::uint64_t>::max();

// The memory the system can give without swapping: MemAvailable, or the physical memory where
// that is not known.
std::uint64_t available_memory() {
  if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    unsigned long long kib = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f) != nullptr)
      found = std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1;
    std::fclose(f);
    if (found && kib > 0 && kib < kNoFit / 1024) return static_cast<std::uint64_t>(kib) * 1024;
  }
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page = sysconf(_SC_PAGE_SIZE);
  std::uint64_t bytes = 0;
  if (pages <= 0 || page <= 0 ||
      __builtin_mul_overflow(static_cast<std::uint64_t>(pages), static_cast<std::uint64_t>(page),
                             &bytes)) {
    return kNoFit;
  }
  return bytes;
}

// A sum of products in 64 bits; any overflow or negative factor makes it kNoFit.
class Bytes {
 public:
  Bytes& add(std::initializer_list<std::int64_t> factors, std::uint64_t size) {
    std::uint64_t n = size;
    for (const std::int64_t f : factors) {
      if (f < 0 || __builtin_mul_overflow(n, static_cast<std::uint64_t>(f), &n)) {
        total_ = kNoFit;
        return *this;
      }
    }
    if (__builtin_add_overflow(total_, n, &total_)) total_ = kNoFit;
    return *this;
  }
  std::uint64_t total() const { return total_; }

 private:
  std::uint64_t total_ = 0;
};

// The last whole frames of the series (up to three), as they were read.
std::vector<float> last_frames(const std::vector<float>& values, int frame_length) {
  const std::size_t framed =
      values.size() / static_cast<std::size_t>(frame_length) * static_cast<std::size_t>(frame_length);
  const std::size_t shown = std::min(framed, 3 * static_cast<std::size_t>(frame_length));
  return std::vector<float>(values.begin() + static_cast<std::ptrdiff_t>(framed - shown),
                            values.begin() + static_cast<std::ptrdiff_t>(framed));
}

}  // namespace

WorkSpace::WorkSpace(std::uint64_t limit) : limit_(limit != 0 ? limit : available_memory()) {}

std::uint64_t WorkSpace::run_bytes(const control::RunPlan& plan) {
  const std::int64_t n = plan.sample_size;
  const std::int64_t lb = plan.frame_length;
  const std::int64_t series = plan.series_count;
  Bytes b;
  // Extents that no run can have (the plan is checked before this) cannot be had either.
  if (n < 1 || series < 1 || lb < 1 || plan.bin_count() < 1) b.add({-1}, 1);
  b.add({series, n}, sizeof(float));                                   // the sample
  b.add({plan.analysis.frames_ahead, lb, series}, sizeof(float));      // the forecast frames
  b.add({n}, sizeof(float));                                           // one series, its residual
  b.add({4, lb}, sizeof(std::complex<double>));                        // transforms and scratch
  b.add({4 * numeric::kFftLanes, lb}, sizeof(double));                 // a batch of frames
  b.add({4, plan.bin_count()}, sizeof(float));                         // per-bin values
  return b.total();
}

std::uint64_t WorkSpace::series_bytes(const control::RunPlan& plan) {
  const std::int64_t n = plan.sample_size;
  const std::int64_t lb = plan.frame_length;
  const std::int64_t lags = std::max(plan.analysis.lags, 1);
  // The largest number of significant bins that passes the VAR-size check, 4 m^2 p <= n / 10.
  std::int64_t bins = 0;
  while (var_size(bins + 1, lags) <= n / 10) ++bins;
  Bytes b;
  b.add({n}, sizeof(float));                                       // the series, its residual
  b.add({n}, sizeof(float));                                       // per-frame noise ordinates
  b.add({4, lb}, sizeof(std::complex<double>));
  b.add({4 * numeric::kFftLanes, lb}, sizeof(double));
  b.add({4, plan.bin_count()}, sizeof(float));
  const std::uint64_t var = var_bytes(plan, bins);
  return b.total() > kNoFit - var ? kNoFit : b.total() + var;
}

std::uint64_t WorkSpace::label_bytes(const control::RunPlan& plan) {
  return Bytes().add({plan.last_datum, data::kLabelLength}, 1).total();
}

std::uint64_t WorkSpace::var_bytes(const control::RunPlan& plan, std::int64_t bins) {
  const std::int64_t variables = 2 * bins;
  const std::int64_t regressors = variables * plan.analysis.lags;
  const std::int64_t coefficients = variables * regressors;
  Bytes b;
  b.add({plan.frames, variables}, sizeof(float));                 // frame coefficients
  b.add({regressors, regressors}, sizeof(double) + sizeof(float));  // normal matrix, companion
  b.add({coefficients}, 2 * sizeof(double) + sizeof(float));      // right-hand sides, b, errors
  return b.total();
}

Schedule schedule_series(const control::RunPlan& plan, int threads, const WorkSpace& work_space) {
  // Work shared out takes work space of its own: per series analysed at the same time, its
  // copy of the series, the noise ordinates kept for the sums and the largest VAR. What does
  // not fit is not shared out, so that no thread count ever meets a shortage that one thread
  // would not meet.
  Schedule s;
  const int total = std::max(threads, 1);
  if (total == 1) return s;
  const std::uint64_t each = WorkSpace::series_bytes(plan);
  int at_once = std::min(total, std::max(plan.series_count, 1));
  while (at_once >= 1) {
    const auto n = static_cast<std::uint64_t>(at_once);
    if (each != kNoFit && each <= kNoFit / n && work_space.fits(n * each)) break;
    --at_once;
  }
  if (at_once < 1) return s;  // one series at a time, on one thread
  s.series_at_once = at_once;
  s.per_series.count = std::max(1, total / at_once);
  // Analysing the next series while writing takes the work space of twice as many.
  const auto twice = 2 * static_cast<std::uint64_t>(at_once);
  s.analyse_ahead = plan.series_count > at_once && each <= kNoFit / twice &&
                    work_space.fits(twice * each);
  return s;
}

bool WorkSpace::fits(std::uint64_t bytes) const {
  return bytes != kNoFit && used_ <= limit_ && bytes <= limit_ - used_;
}

void WorkSpace::take(std::uint64_t bytes) { used_ = bytes > kNoFit - used_ ? kNoFit : used_ + bytes; }

std::int64_t var_size(std::int64_t bins, std::int64_t lags) {
  std::int64_t size = 0;
  if (bins < 0 || lags < 0 || __builtin_mul_overflow(bins, bins, &size) ||
      __builtin_mul_overflow(size, lags, &size) ||
      __builtin_mul_overflow(size, std::int64_t{4}, &size)) {
    return std::numeric_limits<std::int64_t>::max();
  }
  return size;
}

results::SeriesResult analyse_series(int series, std::vector<float> values,
                                     const RunContext& run, numeric::GammaMemory& memory) {
  using results::SeriesStop;
  const control::RunPlan& plan = run.plan;
  results::SeriesResult r;
  r.series = series;

  // Describe it.
  r.statistics = data::describe_series(values);
  r.last_frames = last_frames(values, plan.frame_length);

  // Find its coherence and significant bins.
  const coherence::Band band{plan.frame_length, plan.first_bin, plan.last_bin, plan.taper_percent};
  try {
    r.coherence = coherence::find_coherence(std::move(values), band, run.fft, memory, run.threads);
  } catch (const std::bad_alloc&) {
    r.stop = SeriesStop::CoherenceWorkSpace;
    return r;
  }
  r.significant = coherence::significant_bins(r.coherence.probabilities, plan.first_bin,
                                              plan.analysis.threshold);
  if (r.significant.empty()) {
    r.stop = SeriesStop::NoSignificantBins;
    return r;
  }

  // The VAR must be small beside the sample, and its work space must be had.
  const auto bins = static_cast<std::int64_t>(r.significant.size());
  r.var_size = var_size(bins, plan.analysis.lags);
  if (r.var_size > plan.sample_size / 10) {
    r.stop = SeriesStop::VarTooLarge;
    return r;
  }
  if (!run.work_space.fits(WorkSpace::var_bytes(plan, bins))) {
    r.stop = SeriesStop::VarWorkSpace;
    return r;
  }

  // Fit the VAR to the frame coefficients of the significant bins.
  std::vector<int> bin_numbers;
  for (const coherence::SignificantBin& s : r.significant) bin_numbers.push_back(s.bin);
  try {
    const forecast::FrameCoefficients z =
        forecast::frame_coefficients(r.coherence.residual, bin_numbers, run.fft, run.threads);
    std::vector<float>().swap(r.coherence.residual);  // not needed any more
    r.fit = forecast::fit_var(z, plan.analysis.lags, run.errors, run.threads);
    if (!r.fit) {
      r.stop = SeriesStop::NotPositiveDefinite;
      return r;
    }

    // Forecast, and take the eigenvalues of the fitted system.
    const std::vector<float> ahead =
        forecast::forecast_coefficients(z, *r.fit, plan.analysis.frames_ahead);
    const forecast::WaveformSpectrum waveform{r.coherence.waveform_transform,
                                              r.coherence.waveform_std_dev, bin_numbers};
    r.forecast = forecast::synthesize_frames(ahead, waveform, run.fft);
    r.eigenvalues = forecast::companion_eigenvalues(*r.fit);
  } catch (const std::bad_alloc&) {
    r.stop = SeriesStop::FitWorkSpace;
  }
  return r;
}

}  // namespace tramel
