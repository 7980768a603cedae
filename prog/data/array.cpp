// array: one analysis run. Owns the run's work arrays, has the data read, and walks the
// series: statistics, coherence, significant frequencies, the VAR-size check, the forecast.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "coherence/coherence.hpp"
#include "data/data.hpp"
#include "forecast/forecast.hpp"
#include "numeric/numeric.hpp"

namespace tramel::data {
namespace {

using Complex = std::complex<double>;
constexpr std::uint64_t kNoFit = std::numeric_limits<std::uint64_t>::max();

std::uint64_t memory_limit_bytes = 0;

std::uint64_t physical_memory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page <= 0) return kNoFit;
  std::uint64_t bytes = 0;
  if (__builtin_mul_overflow(static_cast<std::uint64_t>(pages), static_cast<std::uint64_t>(page),
                             &bytes)) {
    return kNoFit;
  }
  return bytes;
}

std::uint64_t memory_limit() {
  return memory_limit_bytes != 0 ? memory_limit_bytes : physical_memory();
}

// Sizes in bytes, added up in 64 bits; any overflow or negative extent makes the total
// kNoFit, which no allocation satisfies.
class Budget {
 public:
  // count = a * b * c elements of `bytes` bytes each.
  void add(std::int64_t a, std::int64_t b, std::int64_t c, std::uint64_t bytes) {
    if (a < 0 || b < 0 || c < 0) {
      total_ = kNoFit;
      return;
    }
    std::uint64_t n = 0;
    if (__builtin_mul_overflow(static_cast<std::uint64_t>(a), static_cast<std::uint64_t>(b), &n) ||
        __builtin_mul_overflow(n, static_cast<std::uint64_t>(c), &n) ||
        __builtin_mul_overflow(n, bytes, &n) || __builtin_add_overflow(total_, n, &total_)) {
      total_ = kNoFit;
    }
  }
  std::uint64_t total() const { return total_; }
  // Whether this budget fits beside `used` bytes already taken.
  bool fits(std::uint64_t used) const {
    const std::uint64_t limit = memory_limit();
    return total_ != kNoFit && used <= limit && total_ <= limit - used;
  }

 private:
  std::uint64_t total_ = 0;
};

// The arrays that live for the whole run.
struct Work {
  std::vector<float> x, y, a, r, w, sp, forecast;
  std::vector<std::int32_t> ik;
  std::vector<Complex> f, g;
  numeric::FftTable v;
  std::vector<char> t;
};

template <class T>
void make(std::vector<T>& v, std::int64_t count) {
  v.assign(static_cast<std::size_t>(count), T{});
}

// The wait for the operator before the label-array stop: one line from standard input, or
// nothing at all when standard input is closed or at its end.
void wait_for_operator() {
  for (int c = std::fgetc(stdin); c != EOF && c != '\n'; c = std::fgetc(stdin)) {
  }
}

}  // namespace

void set_memory_limit(std::uint64_t bytes) { memory_limit_bytes = bytes; }

int select_significant(std::span<const float> a, int nb, int kl, float P, std::span<float> sp,
                       std::span<std::int32_t> ik) {
  const std::size_t count = std::min({static_cast<std::size_t>(std::max(nb, 0)), a.size(),
                                      sp.size(), ik.size()});
  int m = 0;
  for (std::size_t k = 0; k < count; ++k) {
    if (a[k] > P) {
      sp[static_cast<std::size_t>(m)] = a[k];
      ik[static_cast<std::size_t>(m)] = kl + static_cast<std::int32_t>(k);
      ++m;
    }
  }
  return m;
}

std::int64_t var_size(std::int64_t m, std::int64_t p) {
  std::int64_t size = 0;
  if (m < 0 || p < 0 || __builtin_mul_overflow(m, m, &size) ||
      __builtin_mul_overflow(size, p, &size) || __builtin_mul_overflow(size, std::int64_t{4}, &size)) {
    return std::numeric_limits<std::int64_t>::max();
  }
  return size;
}

void check_var_size(int n, std::int64_t size, float P, textio::Sink& report) {
  static const textio::Format kSample(
      "(' Sample size ',i7,' is not large enough for the dimension of the VAR ',i6)");
  static const textio::Format kIncrease("(' Increase the coherence prob. threshold ',f6.3)");
  if (size <= n / 10) return;
  // A size beyond the 32-bit range cannot fit i6 either: it prints as asterisks.
  const auto shown = static_cast<std::int32_t>(
      std::min<std::int64_t>(size, std::numeric_limits<std::int32_t>::max()));
  textio::write(report, kSample, static_cast<std::int32_t>(n), shown);
  textio::write(report, kIncrease, P);
  throw Stop{1};
}

void array(const RunSpec& run, textio::Files& files) {
  static const textio::Format kBoxTop("(/,15x,'|',17('='),'|')");
  static const textio::Format kBoxSeries("(15x,'| Series No. ',i3,'  |')");
  static const textio::Format kBoxBottom("(15x,'|',17('='),'|',/)");
  static const textio::Format kRule("(2x,57('='))");
  static const textio::Format kTitle("(14x,'Descriptive Statistics of Data')");
  static const textio::Format kFormatLine("(/,' Format: ',a50)");
  static const textio::Format kHashes("(2x,57('#'))");
  static const textio::Format kNone("(7x,'No frequencies have significant coherence probabilities')");
  textio::Sink& report = files.report;

  const int n = run.ie - run.is + 1;
  const int M = run.M;
  const bool labels = run.mode == 'm';
  std::string fmt(run.fmt.substr(0, 50));
  fmt.resize(50, ' ');

  // The run's arrays, sized in 64 bits. Extents that no run can have (the run settings are
  // checked before this) count as an allocation that cannot be made.
  Budget arrays;
  if (n < 1 || run.is < 1 || M < 1 || run.lb < 1 || run.nb < 1 || run.nahead < 0) {
    arrays.add(-1, 1, 1, 1);
  }
  arrays.add(M, run.ie, 1, sizeof(float));             // x
  arrays.add(M, n, 1, sizeof(float));                  // y
  arrays.add(3, n, 1, sizeof(float));                  // a, r, w
  arrays.add(run.nb, 1, 1, sizeof(float));             // sp
  arrays.add(run.nb, 1, 1, sizeof(std::int32_t));      // ik
  arrays.add(2, run.lb, 1, sizeof(Complex));           // f, g
  arrays.add(4, run.lb, 1, sizeof(double));            // v: scratch and twiddles
  arrays.add(1, 15, 1, sizeof(double));                // v: factors
  arrays.add(run.nahead, run.lb, M, sizeof(float));    // forecast matrix

  Work work;
  bool made = arrays.fits(0);
  if (made) {
    try {
      make(work.x, static_cast<std::int64_t>(M) * run.ie);
      make(work.y, static_cast<std::int64_t>(M) * n);
      make(work.a, n);
      make(work.r, n);
      make(work.w, n);
      make(work.sp, run.nb);
      make(work.ik, run.nb);
      make(work.f, run.lb);
      make(work.g, run.lb);
      make(work.forecast, static_cast<std::int64_t>(run.nahead) * run.lb * M);
    } catch (const std::bad_alloc&) {
      made = false;
    } catch (const std::length_error&) {
      made = false;
    }
  }
  if (!made) {
    textio::list(report, "Unable to allocate work space for arrays");
    throw Stop{1};
  }

  if (labels) {
    Budget t;
    t.add(run.ie, kLabel, 1, 1);
    bool ok = t.fits(arrays.total());
    if (ok) {
      try {
        work.t.assign(static_cast<std::size_t>(run.ie) * kLabel, ' ');
      } catch (const std::bad_alloc&) {
        ok = false;
      } catch (const std::length_error&) {
        ok = false;
      }
    }
    if (!ok) {
      textio::list(report, "Unable to allocate work space for array t");
      report.flush();
      wait_for_operator();
      throw Stop{1};
    }
  }
  const std::uint64_t used = arrays.total() + work.t.size();

  datt(work.x, fmt, work.t, run.mode, run.is, run.ie, n, M, files.data, report);

  Stats stats;
  const std::size_t rows = static_cast<std::size_t>(M);
  for (int j = 1; j <= M; ++j) {
    if (M > 1) {
      textio::write(report, kBoxTop);
      textio::write(report, kBoxSeries, static_cast<std::int32_t>(j));
      textio::write(report, kBoxBottom);
    }
    // Row j of the sample into the series vector.
    const float* from = work.x.data() + (j - 1);
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) work.y[i] = from[i * rows];

    stat(n, work.y, stats, report);
    textio::write(report, kRule);
    textio::write(report, kTitle);
    wrstat(report, stats);
    textio::write(report, kFormatLine, fmt);
    textio::write(report, kHashes);

    float sd = 0.0f;
    coherence::coh(work.a, work.sp, work.y, work.w, work.f, work.v, work.g, sd, n, run.lb, run.kl,
                   run.nb, run.pct, report);

    const int m = select_significant(work.a, run.nb, run.kl, run.P, work.sp, work.ik);
    if (m == 0) {
      textio::write(report, kNone);
      throw Stop{1};
    }

    const int nf = n / run.lb;
    const std::int64_t size = var_size(m, run.p);
    check_var_size(n, size, run.P, report);

    // The VAR coefficients and their standard errors, per series (size <= n/10 here).
    std::vector<double> c;
    std::vector<float> s;
    Budget var;
    var.add(size, 1, 1, sizeof(double) + sizeof(float));
    bool ok = var.fits(used);
    if (ok) {
      try {
        c.assign(static_cast<std::size_t>(size), 0.0);
        s.assign(static_cast<std::size_t>(size), 0.0f);
      } catch (const std::bad_alloc&) {
        ok = false;
      }
    }
    if (!ok) {
      textio::list(report, "Unable to allocate work space for array y & c");
      textio::list(report, "m = ", static_cast<std::int32_t>(m), " m*m*p = ",
                   static_cast<std::int32_t>(size));
      throw Stop{1};
    }

    const forecast::SeriesInput in{
        .y = work.y,
        .sp = std::span<const float>(work.sp).first(static_cast<std::size_t>(m)),
        .ik = std::span<const std::int32_t>(work.ik).first(static_cast<std::size_t>(m)),
        .g = work.g,
        .v = work.v,
        .sd = sd,
        .lb = run.lb,
        .m = m,
        .n = n,
        .p = run.p,
        .nahead = run.nahead,
        .nf = nf,
        .unit = run.unit,
        .iunit = run.iunit,
        .M = M,
        .series = j,
    };
    forecast::runcoh(in, work.forecast, c, s, report, files.forecast);
  }
}

}  // namespace tramel::data
