// The end-to-end case split into its stages: the same work as the program's analysis
// sequence for the generated case (run in the case folder), with a clock around each piece:
//   reading   the data file read (datt);
//   analysis  statistics, coherence, significant bins, frame coefficients, VAR fit,
//             forecast, eigenvalues;
//   writing   every report line and forecast record, and handing them to the files.
// The report and forecast go to stages.out and stages.forec, beside the program's own files.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "coherence/coherence.hpp"
#include "data/data.hpp"
#include "e2e_case.hpp"
#include "forecast/forecast.hpp"

namespace {

using namespace tramel;
using Clock = std::chrono::steady_clock;

struct Split {
  double reading = 0, analysis = 0, writing = 0;
};

class Timer {
 public:
  explicit Timer(double& into) : into_(into), t0_(Clock::now()) {}
  ~Timer() { into_ += std::chrono::duration<double>(Clock::now() - t0_).count(); }

 private:
  double& into_;
  Clock::time_point t0_;
};

Split run_case() {
  using namespace tramel::bench;
  Split split;
  textio::TextFile data;
  if (data.open(kDataFile) != 0) {
    std::perror(kDataFile);
    throw Stop{1};
  }
  textio::Sink report, forecast_file;
  report.open("stages.out");
  forecast_file.open("stages.forec");

  const int n = kSamples, M = kSeries, lb = kFrame, kl = kLowBin;
  const int nb = kHighBin - kLowBin + 1;
  const int nf = n / lb;
  std::string fmt = kFormat;
  fmt.resize(50, ' ');
  const std::string unit = "Freq+K    ";

  std::vector<float> x(static_cast<std::size_t>(M) * n), y(n), a(n), w(n), sp(nb);
  std::vector<std::int32_t> ik(nb);
  std::vector<std::complex<double>> f(lb), g(lb);
  std::vector<float> forecast_matrix(static_cast<std::size_t>(kAhead) * lb * M);
  numeric::FftTable v;
  std::vector<char> t;
  {
    Timer timer(split.reading);
    data::datt(x, fmt, t, 'a', 1, n, n, M, data, report);
  }

  for (int j = 1; j <= M; ++j) {
    data::Stats stats;
    float sd = 0.0f;
    int m = 0;
    std::vector<double> c;
    std::vector<float> s;
    {
      Timer timer(split.analysis);
      for (int i = 0; i < n; ++i) y[i] = x[static_cast<std::size_t>(i) * M + (j - 1)];
      textio::Sink scratch;  // stat writes nothing unless a series is constant
      data::stat(n, y, stats, scratch);
      coherence::coh(a, sp, y, w, f, v, g, sd, n, lb, kl, nb, kTaper, report);
      m = data::select_significant(a, nb, kl, kThreshold, sp, ik);
      if (m == 0) throw Stop{1};
      c.assign(data::var_size(m, kLags), 0.0);
      s.assign(c.size(), 0.0f);
    }
    {
      Timer timer(split.writing);
      data::wrstat(report, stats);
    }
    const int nv = 2 * m;
    const int nr = nv * kLags;
    const auto unr = static_cast<std::size_t>(nr);
    float rsq = 0.0f;
    std::vector<float> wr(unr), wi(unr);
    const auto rows = static_cast<std::size_t>(kAhead) * lb;
    {
      Timer timer(split.analysis);
      std::vector<float> work(static_cast<std::size_t>(std::max(nf, kAhead)) * nv);
      std::vector<float> state(unr);
      std::vector<std::complex<double>> fr(static_cast<std::size_t>(lb));
      forecast::cohpred(y, std::span<float>(forecast_matrix).subspan((j - 1) * rows, rows), fr, g,
                        v, c, work, s, rsq, std::span<const std::int32_t>(ik).first(m), sd, state,
                        nf, lb, m, kLags, kAhead, report);
    }
    {
      Timer timer(split.writing);
      forecast::write_var_block(report, std::span<const float>(sp).first(m),
                                std::span<const std::int32_t>(ik).first(m), m, kAhead, kLags, c,
                                s, rsq);
      if (j == M) forecast::wrtpred(forecast_file, forecast_matrix, lb, kAhead, M);
    }
    {
      Timer timer(split.analysis);
      std::vector<float> b(c.size());
      for (std::size_t q = 0; q < c.size(); ++q) b[q] = static_cast<float>(c[q]);
      std::vector<float> am(unr * unr);
      forecast::sysev(b, am, wr, wi, nv, nr, report);
    }
    {
      Timer timer(split.writing);
      forecast::write_eigenvalues(report, wr, wi, nr, 1, unit);
    }
    std::printf("series %d: %d significant bins, %zu coefficients\n", j, m, c.size());
  }
  {
    Timer timer(split.writing);
    report.close();
    forecast_file.close();
  }
  return split;
}

}  // namespace

int main() {
  try {
    const Split s = run_case();
    const double total = s.reading + s.analysis + s.writing;
    std::printf("reading  %.3f s\nanalysis %.3f s\nwriting  %.3f s\ntotal    %.3f s\n", s.reading,
                s.analysis, s.writing, total);
  } catch (const tramel::Stop&) {
    std::fprintf(stderr, "the case stopped early\n");
    return 1;
  }
  return 0;
}
