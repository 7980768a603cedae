// The work space of a run: the bytes its stores take, the limit they must fit in, the store of
// its large blocks, and how its series are shared out over threads as far as memory allows.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <complex>
#include <cstdio>
#include <limits>
#include <map>
#include <mutex>
#include <new>

#include "analysis/analysis.hpp"

namespace tramel::analysis {

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

constexpr std::size_t kHugePage = std::size_t{2} << 20;

}  // namespace

// Blocks of a huge page or more are rounded up to whole huge pages, aligned to one and marked
// for transparent huge pages; a freed block waits, by its size, for the next request of that
// size (the next series of a run asks for a block as large as the last). Smaller blocks go to
// the ordinary allocator.
struct WorkSpace::Store final : std::pmr::memory_resource {
  std::mutex mutex;
  std::multimap<std::size_t, void*> freed;

  ~Store() override {
    for (const auto& [size, block] : freed) ::operator delete(block, std::align_val_t{kHugePage});
  }

 private:
  static std::size_t rounded(std::size_t n) { return (n + kHugePage - 1) / kHugePage * kHugePage; }

  void* do_allocate(std::size_t n, std::size_t alignment) override {
    if (n < kHugePage || alignment > kHugePage)
      return std::pmr::new_delete_resource()->allocate(n, alignment);
    const std::size_t size = rounded(n);
    {
      const std::lock_guard lock(mutex);
      if (const auto kept = freed.find(size); kept != freed.end()) {
        void* block = kept->second;
        freed.erase(kept);
        return block;
      }
    }
    void* block = ::operator new(size, std::align_val_t{kHugePage});
    madvise(block, size, MADV_HUGEPAGE);  // a hint: without huge pages nothing changes
    return block;
  }
  void do_deallocate(void* block, std::size_t n, std::size_t alignment) override {
    if (n < kHugePage || alignment > kHugePage) {
      std::pmr::new_delete_resource()->deallocate(block, n, alignment);
      return;
    }
    const std::lock_guard lock(mutex);
    freed.emplace(rounded(n), block);
  }
  bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
    return this == &other;
  }
};

WorkSpace::WorkSpace(std::uint64_t limit)
    : limit_(limit != 0 ? limit : available_memory()), store_(std::make_unique<Store>()) {}

WorkSpace::~WorkSpace() = default;

std::pmr::memory_resource* WorkSpace::store() const { return store_.get(); }

std::uint64_t WorkSpace::stored_bytes(std::uint64_t bytes) {
  if (bytes < kHugePage || bytes == kNoFit) return bytes;
  const std::uint64_t pages = bytes / kHugePage + (bytes % kHugePage != 0 ? 1 : 0);
  return pages > kNoFit / kHugePage ? kNoFit : pages * kHugePage;
}

namespace {

// What the analysis of one series takes besides its copy of the series and its VAR: the mean
// waveform, the taper and the last frames kept for the plots; the transforms of a frame and
// their scratch; a batch of frames in the transform lanes; the values per band bin.
Bytes& add_series_work(Bytes& b, const Settings& settings) {
  const std::int64_t lb = settings.frame_length;
  b.add({5, lb}, sizeof(float));
  b.add({4, lb}, sizeof(std::complex<double>));
  b.add({4 * numeric::kFftLanes, lb}, sizeof(double));
  b.add({4, settings.bin_count()}, sizeof(float));
  return b;
}

// Bytes of a store: rounded up as the work space's store rounds it.
std::int64_t stored(std::initializer_list<std::int64_t> factors, std::uint64_t size) {
  const std::uint64_t bytes = WorkSpace::stored_bytes(Bytes().add(factors, size).total());
  return bytes > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
             ? -1
             : static_cast<std::int64_t>(bytes);
}

}  // namespace

std::uint64_t WorkSpace::run_bytes(const Settings& settings, const RunSize& size) {
  const std::int64_t n = size.samples;
  const std::int64_t series = size.series;
  Bytes b;
  // Extents that no run can have (the settings are checked before this) cannot be had either.
  if (n < 1 || series < 1 || settings.frame_length < 1 || settings.bin_count() < 1) b.add({-1}, 1);
  b.add({stored({series, n}, sizeof(float))}, 1);                              // the sample
  b.add({settings.frames_ahead, settings.frame_length, series}, sizeof(float));  // the forecasts
  b.add({stored({n}, sizeof(float))}, 1);  // the series analysed, then its residual
  return add_series_work(b, settings).total();
}

std::uint64_t WorkSpace::series_bytes(const Settings& settings, std::int64_t samples) {
  const std::int64_t n = samples;
  const std::int64_t lb = settings.frame_length;
  // The largest number of significant bins whose VAR fits the sample.
  const std::int64_t bins = rules::most_var_bins(settings.lags, n);
  const std::int64_t frames = lb > 0 ? n / lb : 0;
  Bytes b;
  b.add({stored({n}, sizeof(float))}, 1);                 // its copy of the series
  b.add({frames, settings.bin_count()}, sizeof(float));  // the noise ordinates kept for the sums
  add_series_work(b, settings);
  const std::uint64_t var = var_bytes(settings, frames, bins);
  return b.total() > kNoFit - var ? kNoFit : b.total() + var;
}

std::uint64_t WorkSpace::var_bytes(const Settings& settings, std::int64_t frames,
                                   std::int64_t bins) {
  const std::int64_t variables = 2 * bins;
  const std::int64_t regressors = variables * settings.lags;
  const std::int64_t coefficients = variables * regressors;
  Bytes b;
  b.add({frames, variables}, sizeof(float));                        // frame coefficients
  b.add({regressors, regressors}, sizeof(double) + sizeof(float));  // normal matrix, companion
  b.add({coefficients}, 2 * sizeof(double) + sizeof(float));        // right-hand sides, b, errors
  // The cross-products of every pair of variables at every lag, and later the squared
  // residuals of every equation, in extended precision.
  const std::uint64_t table = Bytes().add({variables, settings.lags + 1, variables}, sizeof(double)).total();
  const std::uint64_t squares = Bytes().add({variables, frames}, sizeof(long double)).total();
  return b.add({1}, std::max(table, squares)).total();
}

bool WorkSpace::fits(std::uint64_t bytes) const {
  return bytes != kNoFit && used_ <= limit_ && bytes <= limit_ - used_;
}

void WorkSpace::take(std::uint64_t bytes) { used_ = bytes > kNoFit - used_ ? kNoFit : used_ + bytes; }

Schedule schedule_series(const Settings& settings, const RunSize& size, int threads,
                         const WorkSpace& work_space) {
  // Work shared out takes work space of its own: per series analysed at the same time, its
  // copy of the series, the noise ordinates kept for the sums and the largest VAR. What does
  // not fit is not shared out, so that no thread count ever meets a shortage that one thread
  // would not meet.
  Schedule s;
  const int total = std::max(threads, 1);
  if (total == 1) return s;
  const std::uint64_t each = WorkSpace::series_bytes(settings, size.samples);
  const auto series = static_cast<int>(std::clamp<std::int64_t>(size.series, 1, total));
  int at_once = series;
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
  s.analyse_ahead = size.series > at_once && each <= kNoFit / twice && work_space.fits(twice * each);
  return s;
}

}  // namespace tramel::analysis
