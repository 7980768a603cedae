// --ols-errors on a generated series whose frames follow an autoregression: a 12-sample tone
// whose sine part moves from frame to frame as a first-order autoregression (coefficient 0.5).
// The sine part, not the amplitude: each forecast frame is rescaled to the spread of the mean
// waveform, which would undo a change of a lone tone's amplitude, but not of its phase.
// Least-squares errors keep the autoregressive coefficient (|t| >= 1), so the forecast frames
// follow it and differ from one another. The traditional errors are about sqrt(frames) times
// larger: every |t| stays below 1, every coefficient is dropped, and each forecast frame is the
// mean waveform's, all equal.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "run_program.hpp"

namespace tramel::testing {
namespace {

constexpr int kFrameLength = 12;
constexpr int kFrames = 60;

// The data file: at bin 1, 10 cos + w(t) sin with w(t) = 0.5 w(t-1) + u(t), plus a little
// noise; u and the noise uniform from a fixed xorshift sequence, so the file is the same
// everywhere.
std::string autoregressive_tone() {
  std::uint64_t state = 0x2545F4914F6CDD1Dull;
  auto uniform = [&state] {  // in [-0.5, 0.5)
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return static_cast<double>(state >> 11) * 0x1.0p-53 - 0.5;
  };
  std::string text = "Tone with an autoregressive phase\n" +
                     std::to_string(kFrames * kFrameLength) + " 1.0 (f9.3)\n";
  double w = 0.0;
  for (int t = 0; t < kFrames; ++t) {
    w = 0.5 * w + 3.5 * uniform();
    for (int j = 0; j < kFrameLength; ++j) {
      char line[32];
      const double angle = 2.0 * std::numbers::pi * j / kFrameLength;
      const double x = 10.0 * std::cos(angle) + w * std::sin(angle) + 0.5 * uniform();
      std::snprintf(line, sizeof line, "%9.3f\n", x);
      text += line;
    }
  }
  return text;
}

// The VAR block of a report: the coefficients as printed, and how many have |t| >= 1.
struct Fit {
  std::vector<std::string> coefficients;
  int kept = 0;
};

Fit fit_in(const std::string& report) {
  Fit fit;
  std::istringstream in(report);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.starts_with("  b(")) continue;
    std::istringstream fields(line.substr(line.find('=') + 1));
    std::string value, error;
    double t = 0.0;
    fields >> value >> error >> t;
    fit.coefficients.push_back(value);
    fit.kept += std::fabs(t) >= 1.0;
  }
  return fit;
}

// Whether the forecast frames are all equal: each record's value columns against those of the
// same position in the first frame.
bool frames_all_equal(const std::string& forecast) {
  std::vector<std::string> values;
  std::istringstream in(forecast);
  std::string line;
  while (std::getline(in, line)) values.push_back(line.substr(11));
  EXPECT_EQ(values.size(), 3u * kFrameLength);
  for (std::size_t i = kFrameLength; i < values.size(); ++i)
    if (values[i] != values[i % kFrameLength]) return false;
  return true;
}

TEST(OlsErrors, KeepTheAutoregressionTheTraditionalErrorsDrop) {
  TempFolder folder;
  folder.write("tramel.cnl", global_block({.prob = "0.99", .frames = "3"}) + run_block());
  folder.write("err.dat", autoregressive_tone());
  Fit fits[2];
  for (const bool ols : {false, true}) {
    SCOPED_TRACE(ols ? "--ols-errors" : "traditional errors");
    const Outcome o = run_program(folder.path(), 0, ols ? std::vector<std::string>{"--ols-errors"}
                                                        : std::vector<std::string>{});
    ASSERT_EQ(o.status, 0) << o.out << o.err << o.report;
    EXPECT_EQ(o.report.find("Standard errors: least squares (--ols-errors)") != std::string::npos, ols);
    fits[ols] = fit_in(o.report);
    ASSERT_EQ(fits[ols].coefficients.size(), 4u) << o.report;  // bin 1 alone: 2 variables, 1 lag
    EXPECT_EQ(fits[ols].kept > 0, ols) << o.report;
    EXPECT_EQ(frames_all_equal(folder.read("err.forec")), !ols) << folder.read("err.forec");
  }
  EXPECT_EQ(fits[0].coefficients, fits[1].coefficients);  // one fit; only its errors differ
}

}  // namespace
}  // namespace tramel::testing
