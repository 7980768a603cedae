// The record reader against gfortran's formatted READ: random records under a few formats,
// read by both, compared bit for bit (values) and character for character (labels). Skipped
// where no gfortran is installed.
#include <gtest/gtest.h>

#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "textio/textio.hpp"

namespace tramel::textio {
namespace {

namespace fs = std::filesystem;

// Reads the records of data.txt as the driver does: plain mode in one read of all values (so
// reversion starts each record), label mode one read per record; mode 2 reads one record per
// read without a label. Writes the outcome of each read, the labels, and every value as hex
// bits.
const char* const kReader = R"(program rd
  implicit none
  character(len=50) :: fmt
  character(len=25) :: lab
  integer :: m, nrec, mode, i, j, ios
  real, allocatable :: x(:)
  open(10, file='layout.txt', status='old')
  read(10, '(a50)') fmt
  read(10, *) m, nrec, mode
  close(10)
  allocate(x(m * nrec))
  x = -7.0
  open(11, file='data.txt', status='old')
  open(12, file='out.txt')
  if (mode == 1) then
    do i = 1, nrec
      read(11, fmt, iostat=ios) x((i - 1) * m + 1:i * m), lab
      write(12, '(i0)') ios
      write(12, '(a25)') lab
    end do
  else if (mode == 2) then
    do i = 1, nrec
      read(11, fmt, iostat=ios) x((i - 1) * m + 1:i * m)
      write(12, '(i0)') ios
    end do
  else
    read(11, fmt, iostat=ios) x
    write(12, '(i0)') ios
  end if
  do j = 1, m * nrec
    write(12, '(z8.8)') transfer(x(j), 0)
  end do
end program
)";

class Fields {
 public:
  explicit Fields(unsigned seed) : rng_(seed) {}

  // One numeric field of exactly w characters: the many forms a data file may hold.
  std::string numeric(int w, int d) {
    for (;;) {
      std::string f = candidate(w, d);
      if (static_cast<int>(f.size()) <= w) return std::string(w - f.size(), ' ') + f;
    }
  }

  std::string label() {
    static const char kChars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,;:-+*/()#'_";
    std::string s;
    for (int k = 0; k < 25; ++k) s += kChars[pick(0, sizeof kChars - 2)];
    return s;
  }

  int pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

 private:
  std::mt19937 rng_;

  std::string digits(int n) {
    std::string s;
    for (int k = 0; k < n; ++k) s += static_cast<char>('0' + pick(0, 9));
    return s;
  }
  std::string sign() {
    const int s = pick(0, 5);
    return s == 0 ? "-" : s == 1 ? "+" : s == 2 ? "-" : "";
  }

  std::string candidate(int w, int d) {
    char buf[64];
    switch (pick(0, 9)) {
      case 0: {  // the plain case: a value printed with the descriptor's decimals
        const double v = std::uniform_real_distribution<double>(-1, 1)(rng_) *
                         std::pow(10.0, pick(-3, w - d - 3));
        std::snprintf(buf, sizeof buf, "%.*f", d, v);
        return buf;
      }
      case 1: {  // other decimals
        const double v = std::uniform_real_distribution<double>(-1, 1)(rng_) *
                         std::pow(10.0, pick(-6, 6));
        std::snprintf(buf, sizeof buf, "%.*f", pick(0, w - 2), v);
        return buf;
      }
      case 2:  // no point: implied decimals
        return sign() + digits(pick(1, w - 1));
      case 3: {  // as many digits as fit, the point anywhere: rounding of long strings
        std::string s = digits(w - 1);
        s.insert(s.begin() + pick(0, w - 1), '.');
        return s;
      }
      case 4: {  // exponent forms
        static const char* kLetters[] = {"E", "e", "D", "d", "E+", "E-", "D-", "+", "-", "Q"};
        std::string s = sign() + digits(pick(1, 3)) + (pick(0, 1) ? "." : "") +
                        digits(pick(0, 3)) + kLetters[pick(0, 9)] + digits(pick(1, 2));
        return s;
      }
      case 5: {  // blanks inside the digits
        std::string s = digits(pick(2, w - 2));
        s.insert(s.begin() + pick(1, static_cast<int>(s.size()) - 1), ' ');
        if (pick(0, 1)) s.insert(s.begin() + pick(0, static_cast<int>(s.size())), '.');
        return sign() + s;
      }
      case 6: {  // blanks and zeros in odd places
        static const char* kOdd[] = {"", "-", "+", ".", "-.", "0", "-0", "-0.0", "00012", "1. ",
                                     "  1", "0.", ".5", "-.5e1", "1.e2"};
        return kOdd[pick(0, 14)];
      }
      case 7: {  // tiny and huge: subnormals, zero and infinity after rounding
        std::snprintf(buf, sizeof buf, "%s%dE%d", sign().c_str(), pick(1, 99),
                      pick(0, 1) ? pick(-50, -36) : pick(36, 41));
        return buf;
      }
      default: {  // values near float roundings: decimal expansions of random floats
        const float f = std::bit_cast<float>(static_cast<std::uint32_t>(pick(0x30000000, 0x4f000000)));
        std::snprintf(buf, sizeof buf, "%.*g", pick(4, std::max(4, w - 3)), static_cast<double>(f));
        return buf;
      }
    }
  }
};

enum Mode { kPlain = 0, kLabel = 1, kPerRecord = 2 };

struct Case {
  const char* fmt;
  int m;        // values per record
  int fields;   // numeric fields described by the format per record
  int w, d;
  int lead;     // columns before each field (1x)
  Mode mode;
};

class GfortranRead : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (std::system("gfortran --version > /dev/null 2>&1") != 0) return;
    dir_ = fs::temp_directory_path() / ("tramel_gfortran_read_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    std::ofstream(dir_ / "rd.f90") << kReader;
    const std::string cmd = "cd '" + dir_.string() + "' && gfortran -O1 -o rd rd.f90 2>&1";
    ready_ = std::system(cmd.c_str()) == 0;
  }
  static void TearDownTestSuite() {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  static inline fs::path dir_;
  static inline bool ready_ = false;
};

TEST_F(GfortranRead, SameValuesBitForBit) {
  if (!ready_) GTEST_SKIP() << "gfortran is not available";
  const Case cases[] = {
      {"(f10.3)", 1, 1, 10, 3, 0, kPlain},
      {"(8f10.3)", 8, 8, 10, 3, 0, kPlain},
      {"(2(1x,f9.4))", 2, 2, 9, 4, 1, kPlain},
      {"(2f10.3,1x,a25)", 2, 2, 10, 3, 0, kLabel},
      {"(e12.4)", 1, 1, 12, 4, 0, kPlain},
      {"(f8.2)", 1, 1, 8, 2, 0, kPlain},
      {"(bz,4f8.2)", 4, 4, 8, 2, 0, kPlain},
      {"(3F12.5)", 2, 3, 12, 5, 0, kPerRecord},  // fewer values than fields: the rest skipped
  };
  Fields gen(20021014);
  std::size_t compared = 0;
  for (const Case& c : cases) {
    const int records = 6000 / c.m;
    std::string text;
    for (int r = 0; r < records; ++r) {
      std::string rec;
      for (int k = 0; k < c.fields; ++k) {
        rec.append(static_cast<std::size_t>(c.lead), ' ');
        rec += gen.numeric(c.w, c.d);
      }
      if (c.mode == kLabel) {
        rec += ' ';
        rec += gen.label();
      }
      if (gen.pick(0, 30) == 0) {
        // A short record, possibly ending inside a field (not inside its exponent, which
        // would leave an exponent without digits).
        std::size_t cut = static_cast<std::size_t>(gen.pick(0, static_cast<int>(rec.size())));
        while (cut > 0 && std::string_view("eEdDqQ+-").find(rec[cut - 1]) != std::string_view::npos)
          --cut;
        rec.resize(cut);
      }
      if (gen.pick(0, 30) == 0) rec += '\r';
      text += rec;
      text += '\n';
    }
    std::ofstream(dir_ / "data.txt", std::ios::binary) << text;
    std::ofstream(dir_ / "layout.txt") << c.fmt << "\n" << c.m << " " << records << " "
                                     << c.mode << "\n";
    const std::string cmd = "cd '" + dir_.string() + "' && ./rd";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << c.fmt;

    std::ifstream out(dir_ / "out.txt");
    TextFile file;
    ASSERT_EQ(file.open((dir_ / "data.txt").string()), 0);
    const RecordFormat format(c.fmt);
    std::vector<float> mine(static_cast<std::size_t>(c.m) * records, -7.0f);
    std::string line;
    if (c.mode != kPlain) {
      for (int r = 0; r < records; ++r) {
        char label[25];
        const ReadResult res = read(file, format, mine.data() + r * c.m, c.m,
                                    c.mode == kLabel ? label : nullptr);
        std::getline(out, line);
        ASSERT_EQ(std::stoi(line), res.ok() ? 0 : res.failed() ? res.error : -1)
            << c.fmt << " record " << r + 1;
        if (c.mode != kLabel) continue;
        std::getline(out, line);
        line.resize(25, ' ');
        if (res.ok()) {
          ASSERT_EQ(std::string(label, 25), line) << c.fmt << " record " << r + 1;
        }
      }
    } else {
      const ReadResult res = read(file, format, mine.data(), static_cast<std::int64_t>(mine.size()));
      EXPECT_TRUE(res.ok()) << c.fmt;  // every generated field converts: all values compared
      std::getline(out, line);
      ASSERT_EQ(std::stoi(line), res.ok() ? 0 : res.failed() ? res.error : -1) << c.fmt;
    }
    for (std::size_t k = 0; k < mine.size(); ++k) {
      std::getline(out, line);
      const auto theirs = static_cast<std::uint32_t>(std::stoul(line, nullptr, 16));
      ASSERT_EQ(std::bit_cast<std::uint32_t>(mine[k]), theirs)
          << c.fmt << " value " << k + 1 << " in record " << k / c.m + 1;
      ++compared;
    }
  }
  std::printf("[ compared %zu values with gfortran ]\n", compared);
}

}  // namespace
}  // namespace tramel::textio
