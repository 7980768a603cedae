// The optional Sampling rate/interval of the global block: any number above 0 is read; a value
// that is none is said and not used; a block without it reads as it always did.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "control/control.hpp"

namespace tramel::control {
namespace {

struct Read {
  std::optional<float> sampling;
  float threshold = 0.0f;
  std::string warnings;
};

// The analysis settings of a global block whose fourth line is `line`.
Read read(const std::string& line) {
  ControlFile file;
  file.open_text("No. of runs = 1   No. of data/file = 1   * a\nCoherence probability = 0.95   * b\n"
                 "No. of frames = 1   No. of lags = 1   * c\n" + line +
                 "   * d\nSampling unit =Freq+H   * e\nData file name =rate.csv   * f\n#\n");
  const Outcome<GlobalBlock> global = read_global_block(file);
  EXPECT_TRUE(global.value);
  KeywordReader reader;
  const Outcome<AnalysisSettings> a = read_analysis_settings(*global.value, reader);
  Read r;
  for (const diagnostics::Note& n : a.notes)
    if (const auto* w = std::get_if<diagnostics::Warning>(&n)) r.warnings += w->text + "\n";
  if (a.value) {
    r.sampling = a.value->sampling;
    r.threshold = a.value->threshold;
  }
  return r;
}

TEST(SamplingSetting, AnyNumberAboveZeroOrAWarning) {
  const struct {
    std::string line;
    std::optional<float> sampling;
    std::string warning;
  } cases[] = {
      {"Sampling rate/interval = 2000.0", 2000.0f, ""},
      {"Sampling rate/interval =4800", 4800.0f, ""},
      {"Sampling rate/interval =   0.0005", 0.0005f, ""},
      {"Sampling rate/interval = 2.0833333e-4", 2.0833333e-4f, ""},
      {"Rate/interval = 12.0", std::nullopt, ""},  // the keyword is case-sensitive: not there
      {"No sampling given", std::nullopt, ""},
      {"Sampling rate/interval = 0.0", std::nullopt,
       "tramel.cnl line 4: \"rate/interval\" (Sampling rate/interval) has the value \"0.0\", which is not a "
       "number above 0; it is not used\n"},
      {"Sampling rate/interval = fast", std::nullopt,
       "tramel.cnl line 4: \"rate/interval\" (Sampling rate/interval) has the value \"fast\", which is not a "
       "number above 0; it is not used\n"},
      {"Sampling rate/interval 2000", std::nullopt,
       "tramel.cnl line 4: \"rate/interval\" (Sampling rate/interval) has the value \"Freq+H\", which is not a "
       "number above 0; it is not used\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const Read r = read(c.line);
    EXPECT_EQ(r.sampling, c.sampling);
    EXPECT_EQ(r.warnings, c.warning);
    EXPECT_EQ(r.threshold, 0.95f);
  }
}

}  // namespace
}  // namespace tramel::control
