// Shared helpers of the forecast tests: readiness probes for the kernels the forecast run
// builds on (numerical tests skip until they are real) and line splitting of memory sinks.
#pragma once

#include <gtest/gtest.h>

#include <complex>
#include <string>
#include <vector>

#include "forecast/forecast.hpp"

namespace tramel::forecast::testing {

inline bool cholesky_ready() {
  std::vector<double> a{4.0}, pd{0.0};
  int ier = 1;
  numeric::dcholdc(a, 1, pd, ier);
  return ier == 0 && pd[0] == 2.0;
}

inline bool fft_ready() {
  numeric::FftTable table;
  numeric::cffti(4, table);
  std::vector<std::complex<double>> c{{1, 0}, {0, 0}, {0, 0}, {0, 0}};
  numeric::cfftf(4, c, table);
  return c[3] == std::complex<double>(1, 0);
}

inline bool eigen_ready() {
  std::vector<float> a{0, 1, -1, 0}, wr(2), wi(2);  // rows (0, -1), (1, 0)
  textio::Sink msg;
  numeric::balanc(a, 2, 2);
  numeric::elmhes(a, 2, 2);
  numeric::hqr(a, 2, 2, wr, wi, msg);
  return wi[0] == -1.0f && wi[1] == 1.0f;
}

inline bool formatter_ready() {
  static const textio::Format probe("(i3)");
  textio::Sink sink;
  textio::write(sink, probe, 7);
  return sink.text() == "  7\n";
}

inline std::vector<std::string> lines(const textio::Sink& sink) {
  std::vector<std::string> out;
  const std::string& t = sink.text();
  std::size_t start = 0;
  for (std::size_t nl; (nl = t.find('\n', start)) != std::string::npos; start = nl + 1)
    out.push_back(t.substr(start, nl - start));
  return out;
}

// A line written by a list-directed write with no items.
inline bool blank(const std::string& line) { return line.find_first_not_of(' ') == line.npos; }

}  // namespace tramel::forecast::testing

#define REQUIRE(ready)                                           \
  do {                                                           \
    if (!(ready)) GTEST_SKIP() << #ready " is still a stand-in"; \
  } while (0)
