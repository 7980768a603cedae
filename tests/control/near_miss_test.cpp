// A keyword that is not found, while a line of its block holds its label in another letter case
// or with a letter or two changed: the warning quotes the line and says what differs. An
// unrelated label is not taken for a near miss.
#include <gtest/gtest.h>

#include <string>

#include "control/control.hpp"

namespace tramel::control {
namespace {

// The warning for the lags of a global block whose line 4 reads `line`.
std::string lags_warning(const std::string& line) {
  ControlFile file;
  file.open_text("No. of runs = 1   No. of data/file = 1   * a\nData file name =x.dat   * b\n"
                 "Coherence probability = 0.99   * c\n" + line + "   * d\nSampling unit =months   * e\n#\n");
  const Block block = file.read_block(kGlobalBlockLines);
  KeywordReader reader;
  const KeywordValue<std::int32_t> value = reader.integer(keywords::kLags, block.parameters.text);
  return keyword_warning(keywords::kLags, value, block.parameters, "the global block");
}

TEST(NearMiss, QuotesTheLineAndSaysWhatDiffers) {
  const struct {
    const char* line;
    const char* says;  // the near-miss part, or "" for none
  } cases[] = {
      {"No. of legs = 2", "line 4 has \"No. of legs\"; the label is \"No. of lags\" (1 letter differs), "
                          "whose keyword \"ags\" must stand in it as written"},
      {"No. of lugz = 2", "line 4 has \"No. of lugz\"; the label is \"No. of lags\" (2 letters differ)"},
      {"No. of LAGS = 2", "line 4 has \"No. of LAGS\"; the keyword is \"ags\" of \"No. of lags\" "
                          "(lower-case l, lower-case a, lower-case g, lower-case s); letter case matters"},
      {"NO. OF LAGS = 2", "line 4 has \"NO. OF LAGS\"; the keyword is \"ags\" of \"No. of lags\" "
                          "(the letters in their case as shown); letter case matters"},
      {"Delay count = 2", ""},
      {"Number of delays = 2", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string w = lags_warning(c.line);
    EXPECT_EQ(w.rfind("the global block (tramel.cnl lines 1-6): no setting \"ags\" (No. of lags) is there", 0), 0u) << w;
    if (*c.says == '\0') {
      EXPECT_EQ(w.find(" has \""), std::string::npos) << w;
    } else {
      EXPECT_NE(w.find(c.says), std::string::npos) << w;
    }
  }
}

}  // namespace
}  // namespace tramel::control
