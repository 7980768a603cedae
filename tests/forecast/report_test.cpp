// The VAR block, the forecast file records and the eigenvalue block, line by line.
#include "support.hpp"

namespace tramel::forecast {
namespace {

using testing::blank;
using testing::eigen_ready;
using testing::formatter_ready;
using testing::lines;

TEST(VarBlock, WholeBlockForOneBinAndOneLag) {
  REQUIRE(formatter_ready());
  const std::vector<float> sp{0.999f};
  const std::vector<std::int32_t> ik{5};
  const std::vector<double> c{0.5, -1.25, 2.0, 0.0004};
  const std::vector<float> s{0.25f, 0.5f, 0.0f, 0.001f};
  textio::Sink report;
  write_var_block(report, sp, ik, 1, 3, 1, c, s, 0.875f);
  auto out = lines(report);
  ASSERT_EQ(out.size(), 21u);
  for (int k : {0, 2, 6, 11, 16, 18, 19}) EXPECT_TRUE(blank(out[k])) << k;
  const char* expected[] = {"  Number of Significant Frequencies used in the VAR Fit =  1",
                            "     Signal Coherence Probabilites & Their Frequency Bins",
                            "     ===============================================",
                            " 0.9990 -   5",
                            "  ===============================================",
                            "      3 Frames Forecasted  Number of Lags =  1",
                            "  -----------------------------------------------",
                            "   VAR Coefficients       Std Error     t Value",
                            "  b( 1, 1) =     0.500       0.250       2.000",
                            "  b( 1, 2) =    -1.250       0.500      -2.500",
                            "  b( 2, 1) =     2.000       0.000    Infinity",
                            "  b( 2, 2) =     0.000       0.001       0.400",
                            "       R Square =   0.875",
                            "  *************************************"};
  const int at[] = {1, 3, 4, 5, 7, 8, 9, 10, 12, 13, 14, 15, 17, 20};
  for (int k = 0; k < 14; ++k) {
    if (k == 10) continue;  // how an infinite t value prints is the formatter's business
    EXPECT_EQ(out[at[k]], expected[k]) << k;
  }
}

// Between the two rules: table rows of up to four pairs and their empty lines.
TEST(VarBlock, SignificantBinTableLayout) {
  REQUIRE(formatter_ready());
  const struct {
    int m;
    const char* shape;  // R: a row of pairs, e: an empty line
  } cases[] = {{1, "Re"}, {4, "Re"}, {5, "ReeRe"}, {8, "ReRee"}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.m);
    std::vector<float> sp(k.m, 0.95f);
    std::vector<std::int32_t> ik(k.m);
    for (int i = 0; i < k.m; ++i) ik[i] = 10 * (i + 1);
    const std::size_t nc = 4 * k.m * k.m * 2;
    const std::vector<double> c(nc, 1.0);
    const std::vector<float> s(nc, 0.5f);
    textio::Sink report;
    write_var_block(report, sp, ik, k.m, 1, 2, c, s, 0.5f);
    const auto out = lines(report);
    std::string shape;
    std::size_t k0 = 5;  // the line after the first rule
    for (; out[k0] != "  ==============================================="; ++k0)
      shape += blank(out[k0]) ? 'e' : 'R';
    EXPECT_EQ(shape, k.shape);
    EXPECT_EQ(out[5].size(), std::min(k.m, 4) * 14u - 1u);
    if (k.m == 5) {
      EXPECT_EQ(out[8], " 0.9500 -  50");
    }
    // The coefficient lines: 4 m^2 p, the second index running 1..2mp in each equation.
    int coef = 0;
    for (const auto& l : out) coef += l.rfind("  b(", 0) == 0;
    EXPECT_EQ(coef, static_cast<int>(nc));
    const std::string last = "  b(" + std::string(2 * k.m < 10 ? " " : "") +
                             std::to_string(2 * k.m) + "," + (4 * k.m < 10 ? " " : "") +
                             std::to_string(4 * k.m) + ") = ";
    EXPECT_EQ(out[out.size() - 6].substr(0, last.size()), last);
  }
}

TEST(Wrtpred, RecordsOfTwoSeries) {
  REQUIRE(formatter_ready());
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
  REQUIRE(formatter_ready());
  const int M = 150, lb = 3, nahead = 2;
  std::vector<float> matrix(M * lb * nahead);
  for (std::size_t k = 0; k < matrix.size(); ++k) matrix[k] = static_cast<float>(k % 7);
  textio::Sink file;
  wrtpred(file, matrix, lb, nahead, M);
  const auto out = lines(file);
  ASSERT_EQ(out.size(), 2u * lb * nahead);
  for (std::size_t r = 0; r < out.size(); r += 2) {
    EXPECT_EQ(out[r].size(), 11u + 100 * 10 - 1);
    EXPECT_EQ(out[r + 1].size(), 50u * 10 - 1);  // values only
    EXPECT_EQ(out[r + 1].substr(0, 9),
              "    " + std::to_string((100 * lb * nahead + r / 2) % 7) + ".000");
  }
  EXPECT_EQ(out[2].substr(0, 11), "  1     2  ");
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
  REQUIRE(formatter_ready() && eigen_ready());
  // 0.5 +- 0.5i: magnitude 0.7071, angle pi/4, 8 frames a cycle; the member with the
  // negative imaginary part comes first and has a negative period.
  const auto pair = eigen_lines({0.5f, -0.5f, 0.5f, 0.5f}, 0);
  ASSERT_EQ(pair.size(), 5u);
  EXPECT_EQ(pair[0], "   Magnitudes    Periods - System Eigenvalues in units of cycles ");
  EXPECT_TRUE(blank(pair[1]));
  EXPECT_EQ(pair[2], "  1    0.7071      Zero Frequency");
  EXPECT_EQ(pair[3], "  2    0.7071        8.00");
  EXPECT_TRUE(blank(pair[4]));
  // Rows (-0.5, 0.2), (0.1, 0.3): real roots -0.1 -+ sqrt(0.18), one of them negative.
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
