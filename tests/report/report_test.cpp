// The layouts and messages the reference cases do not reach: the table of significant bins
// with four and with eight bins, forecast records of more than a hundred series, a VAR size
// too wide for its field, an eigenvalue solver that gave up, and the notes of the coherence
// step.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "report/report.hpp"

namespace tramel::report {
namespace {

std::vector<std::string> lines(const Sink& sink) {
  std::vector<std::string> out;
  const std::string& t = sink.text();
  for (std::size_t a = 0, nl; (nl = t.find('\n', a)) != std::string::npos; a = nl + 1)
    out.push_back(t.substr(a, nl - a));
  return out;
}

// A list-directed write with no items.
bool blank(const std::string& line) { return line.find_first_not_of(' ') == line.npos; }

// Between the two rules: rows of up to four pairs (R) and empty lines (e); then the
// 4 m^2 p coefficient lines, the second index running 1..2mp in each equation.
TEST(VarBlock, SignificantBinTableLayout) {
  for (const auto& [m, shape] : {std::pair{4, "Re"}, {8, "ReRee"}}) {
    SCOPED_TRACE(m);
    std::vector<coherence::SignificantBin> bins;
    for (int i = 0; i < m; ++i) bins.push_back({10 * (i + 1), 0.95f});
    forecast::VarFit fit;
    fit.variables = 2 * m;
    fit.lags = 2;
    const std::size_t nc = 4 * m * m * 2;
    fit.coefficients.assign(nc, 1.0);
    fit.std_errors.assign(nc, 0.5f);
    fit.r_square = 0.5f;
    Sink report;
    write_var_block(report, VarReport{bins, 1, fit});
    const auto out = lines(report);
    std::string got;
    for (std::size_t k = 5; k < out.size() && out[k] != "  " + std::string(47, '='); ++k)
      got += blank(out[k]) ? 'e' : 'R';
    EXPECT_EQ(got, shape);
    EXPECT_EQ(out[5], " 0.9500 -  10  0.9500 -  20  0.9500 -  30  0.9500 -  40");
    EXPECT_EQ(std::count_if(out.begin(), out.end(),
                            [](const std::string& l) { return l.rfind("  b(", 0) == 0; }),
              static_cast<long>(nc));
    char last[32];
    std::snprintf(last, sizeof last, "  b(%2d,%2d) = ", 2 * m, 4 * m);
    EXPECT_EQ(out[out.size() - 6].substr(0, 13), last);
  }
}

TEST(ForecastFile, MoreThanHundredSeriesContinueOnASecondLine) {
  const int series_count = 150, frame_length = 3, frames = 2;
  const int samples = frame_length * frames;
  std::vector<std::vector<float>> series(series_count);
  for (int s = 0; s < series_count; ++s)
    for (int k = 0; k < samples; ++k) series[s].push_back(static_cast<float>((s * samples + k) % 7));
  Sink file;
  write_forecast_file(file, series, frame_length);
  const auto out = lines(file);
  ASSERT_EQ(out.size(), 2u * samples);
  for (std::size_t r = 0; r < out.size(); r += 2) {
    EXPECT_EQ(out[r].size(), 11u + 100 * 10 - 1);
    EXPECT_EQ(out[r + 1].size(), 50u * 10 - 1);  // values only, series 101..150
    EXPECT_EQ(out[r + 1].substr(0, 9), "    " + std::to_string((600 + r / 2) % 7) + ".000");
  }
  EXPECT_EQ(out[10].substr(0, 11), "  2     3  ");  // frame 2, position 3
}

// The VAR size in six columns: asterisks when it does not fit them, also beyond the 32-bit
// range (where a bare conversion would wrap).
TEST(VarTooLarge, SizeBeyondItsFieldIsAsterisks) {
  const struct {
    std::int64_t size;
    const char* shown;
  } cases[] = {
      {100, "   100"},
      {999999, "999999"},
      {1000000, "******"},
      {(std::int64_t{1} << 32) + 5, "******"},
      {std::numeric_limits<std::int64_t>::max(), "******"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    Sink report;
    write_var_too_large(report, 999, c.size, 0.95f);
    EXPECT_EQ(report.text(),
              " Sample size     999 is not large enough for the dimension of the VAR " +
                  std::string(c.shown) + "\n Increase the coherence prob. threshold  0.950\n");
  }
}

// A solver that gave up says so before the heading; an eigenvalue without a positive period is
// a zero frequency.
TEST(Eigenvalues, SolverThatGaveUpAndZeroFrequency) {
  forecast::Eigenvalues eigenvalues;
  eigenvalues.values = {{0.5f, 0.5f, 0.7071f, 8.0f}, {-0.25f, 0.0f, 0.25f, 0.0f}};
  eigenvalues.converged = false;
  control::AnalysisSettings settings;
  settings.unit_text = "months    ";
  settings.unit_mode = control::UnitMode::Time;
  Sink report;
  write_eigenvalues(report, eigenvalues, settings);
  EXPECT_EQ(report.text(),
            " Too many iterations in hqr\n"
            "   Magnitudes    Periods - System Eigenvalues in units of months \n\n"
            "  1    0.7071        8.00\n"
            "  2    0.2500      Zero Frequency\n"
            "\n");
}

TEST(CoherenceNotes, TaperFirstThenTheBinsInOrder) {
  using Taper = coherence::TaperNote::Kind;
  using Chi = numeric::ChiSquareNote::Kind;
  const struct {
    const char* name;
    std::optional<coherence::TaperNote> taper;
    std::vector<numeric::ChiSquareNote> notes;
    std::string text;
  } cases[] = {
      {"taper percentage", coherence::TaperNote{Taper::PercentOutOfRange, 60.0f}, {},
       " * ERROR *  Improper % for tapering:    60.0000000    \n"},
      {"too many tapered", coherence::TaperNote{Taper::TooManyTapered, 0.0f, 2, 6}, {},
       " Taper size            2 > lb/4. Increase data block            6\n"},
      {"chi-square",
       std::nullopt,
       {{Chi::NegativeStatistic, -1.5f},
        {Chi::NegativeDegrees, -2.0f},
        {Chi::BadGammaArgument},
        {Chi::NegativeSeriesArgument},
        {Chi::SeriesDidNotConverge, 1.0e8f},
        {Chi::FractionDidNotConverge, 1.0e8f}},
       " x in cdchi   -1.50000000     is not positive\n"
       " df   -2.00000000     value is not positive in call to cdchi\n"
       " Bad argument in gammp\n"
       " x < 0 in gser\n"
       " a =    100000000.     too large, ITMAX too small in gser\n"
       " a =    100000000.     too large, ITMAX too small in gcf\n"},
      {"both", coherence::TaperNote{Taper::PercentOutOfRange, -5.0f}, {{Chi::BadGammaArgument}},
       " * ERROR *  Improper % for tapering:   -5.00000000    \n Bad argument in gammp\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    coherence::Coherence coherence;
    coherence.taper_note = c.taper;
    for (std::size_t i = 0; i < c.notes.size(); ++i)
      coherence.notes.push_back({static_cast<int>(i), c.notes[i]});
    Sink report;
    write_coherence_notes(report, coherence);
    EXPECT_EQ(report.text(), c.text);
  }
}

}  // namespace
}  // namespace tramel::report
