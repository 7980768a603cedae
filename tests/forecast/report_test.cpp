// The VAR block, the forecast file records and the eigenvalue block, line by line.
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

TEST(VarBlock, WholeBlockForOneBinAndOneLag) {
  const std::vector<double> c{0.5, -1.25, 2.0, 0.0004};
  const std::vector<float> s{0.25f, 0.5f, 0.0f, 0.001f};
  textio::Sink report;
  write_var_block(report, std::vector<float>{0.999f}, std::vector<std::int32_t>{5}, 1, 3, 1, c, s,
                  0.875f);
  const auto out = lines(report);
  const std::vector<std::string> expected{
      "",
      "  Number of Significant Frequencies used in the VAR Fit =  1",
      "",
      "     Signal Coherence Probabilites & Their Frequency Bins",
      "     ===============================================",
      " 0.9990 -   5",
      "",
      "  ===============================================",
      "      3 Frames Forecasted  Number of Lags =  1",
      "  -----------------------------------------------",
      "   VAR Coefficients       Std Error     t Value",
      "",
      "  b( 1, 1) =     0.500       0.250       2.000",
      "  b( 1, 2) =    -1.250       0.500      -2.500",
      out.size() > 14 ? out[14] : "",  // t = 2/0: however the formatter prints an infinity
      "  b( 2, 2) =     0.000       0.001       0.400",
      "",
      "       R Square =   0.875",
      "",
      "",
      "  *************************************"};
  ASSERT_EQ(out.size(), expected.size());
  for (std::size_t k = 0; k < out.size(); ++k)
    EXPECT_TRUE(out[k] == expected[k] || (expected[k].empty() && blank(out[k]))) << out[k];
  EXPECT_EQ(out[14].substr(0, 35), "  b( 2, 1) =     2.000       0.000 ");
}

// Between the two rules: rows of up to four pairs (R) and empty lines (e); then the
// 4 m^2 p coefficient lines, the second index running 1..2mp in each equation.
TEST(VarBlock, SignificantBinTableLayout) {
  for (const auto& [m, shape] : {std::pair{1, "Re"}, {4, "Re"}, {5, "ReeRe"}, {8, "ReRee"}}) {
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
    EXPECT_EQ(out[5], std::string(" 0.9500 -  10  0.9500 -  20  0.9500 -  30  0.9500 -  40")
                          .substr(0, 14 * std::min(m, 4) - 1));
    EXPECT_EQ(std::count_if(out.begin(), out.end(),
                            [](const std::string& l) { return l.rfind("  b(", 0) == 0; }),
              static_cast<long>(nc));
    char last[32];
    std::snprintf(last, sizeof last, "  b(%2d,%2d) = ", 2 * m, 4 * m);
    EXPECT_EQ(out[out.size() - 6].substr(0, 13), last);
    if (m == 5) {
      EXPECT_EQ(out[8], " 0.9500 -  50");
    }
  }
}

TEST(Wrtpred, RecordsOfTwoSeries) {
  // Two frames of two samples; series 1 then series 2.
  const std::vector<float> matrix{1.5f, -2.25f, 0.0f, 7.0f, 0.125f, 1000.0f, -0.0004f, 12.5f};
  textio::Sink file;
  wrtpred(file, matrix, 2, 2, 2);
  EXPECT_EQ(file.text(),
            "  1     1      1.500     0.125\n"
            "  1     2     -2.250  1000.000\n"
            "  2     1      0.000     0.000\n"
            "  2     2      7.000    12.500\n");
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

std::vector<std::string> eigen_lines(const std::vector<float>& b, int iunit) {
  std::vector<float> a(4), wr(2), wi(2);
  textio::Sink report;
  sysev(b, a, wr, wi, 2, 2, report);
  write_eigenvalues(report, wr, wi, 2, iunit, "cycles    ");
  return lines(report);
}

TEST(Eigenvalues, ComplexPairAndRealNegativeRoot) {
  // 0.5 -+ 0.5i: magnitude 0.7071, angle pi/4, 8 frames a cycle; the member with the
  // negative imaginary part comes first, its period is negative.
  const auto pair = eigen_lines({0.5f, -0.5f, 0.5f, 0.5f}, 0);
  ASSERT_EQ(pair.size(), 5u);
  EXPECT_EQ(pair[0], "   Magnitudes    Periods - System Eigenvalues in units of cycles ");
  EXPECT_EQ(pair[2], "  1    0.7071      Zero Frequency");
  EXPECT_EQ(pair[3], "  2    0.7071        8.00");
  EXPECT_TRUE(blank(pair[1]) && blank(pair[4]));
  // Rows (-0.5, 0.2), (0.1, 0.3): real roots -0.1 -+ sqrt(0.18), one negative.
  auto real = eigen_lines({-0.5f, 0.2f, 0.1f, 0.3f}, 2);
  ASSERT_EQ(real.size(), 5u);
  EXPECT_EQ(real[0], "   Magnitudes    Periods - System Eigenvalues in units of seconds");
  std::sort(real.begin() + 2, real.begin() + 4,
            [](const std::string& x, const std::string& y) { return x.substr(5) < y.substr(5); });
  EXPECT_EQ(real[2].substr(3), "    0.3243      Zero Frequency");
  EXPECT_EQ(real[3].substr(3), "    0.5243      Zero Frequency");
  EXPECT_EQ(eigen_lines({0.5f, 0.0f, 0.0f, 0.5f}, 1)[0],
            "   Magnitudes    Periods - System Eigenvalues in units of milseconds");
}

}  // namespace
}  // namespace tramel::forecast
