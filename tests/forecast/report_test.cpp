// The layouts the reference cases do not reach: the table of significant bins with four and
// with eight bins, and forecast records of more than a hundred series.
#include <gtest/gtest.h>

#include <algorithm>

#include "forecast/forecast.hpp"

namespace tramel::forecast {
namespace {

std::vector<std::string> lines(const textio::Sink& sink) {
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
    std::vector<std::int32_t> ik(m);
    for (int i = 0; i < m; ++i) ik[i] = 10 * (i + 1);
    const std::size_t nc = 4 * m * m * 2;
    textio::Sink report;
    write_var_block(report, std::vector<float>(m, 0.95f), ik, m, 1, 2, std::vector<double>(nc, 1.0),
                    std::vector<float>(nc, 0.5f), 0.5f);
    const auto out = lines(report);
    std::string got;
    for (std::size_t k = 5; out[k] != "  ==============================================="; ++k)
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

TEST(Wrtpred, MoreThanHundredSeriesContinueOnASecondLine) {
  const int M = 150, lb = 3, nahead = 2;
  std::vector<float> matrix(M * lb * nahead);
  for (std::size_t k = 0; k < matrix.size(); ++k) matrix[k] = static_cast<float>(k % 7);
  textio::Sink file;
  wrtpred(file, matrix, lb, nahead, M);
  const auto out = lines(file);
  ASSERT_EQ(out.size(), 2u * lb * nahead);
  for (std::size_t r = 0; r < out.size(); r += 2) {
    EXPECT_EQ(out[r].size(), 11u + 100 * 10 - 1);
    EXPECT_EQ(out[r + 1].size(), 50u * 10 - 1);  // values only, series 101..150
    EXPECT_EQ(out[r + 1].substr(0, 9), "    " + std::to_string((600 + r / 2) % 7) + ".000");
  }
  EXPECT_EQ(out[10].substr(0, 11), "  2     3  ");
}

}  // namespace
}  // namespace tramel::forecast
