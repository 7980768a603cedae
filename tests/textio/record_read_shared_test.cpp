// The read that converts its records side by side gives what the one-record-at-a-time read
// gives: the same values bit for bit, the same outcome and value count, the same position
// after it, for formats whose records all read alike and for those that fall back.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "textio/textio.hpp"

namespace tramel::textio {
namespace {

// Chunks on real threads, as the program shares them out.
RecordWork threads(int n) {
  return RecordWork{n, [n](std::int64_t count, const auto& work) {
                      std::vector<std::jthread> pool;
                      for (int c = 1; c < n; ++c)
                        pool.emplace_back([&, c] { work(c * count / n, (c + 1) * count / n); });
                      work(0, count / n);
                    }};
}

struct Read {
  ReadResult result;
  std::vector<std::uint32_t> bits;
  std::string next;  // the record after the read
};

Read run(const std::string& text, const std::string& fmt, std::int64_t count, int n) {
  TextFile file;
  file.open_text(text);
  const RecordFormat format(fmt);
  std::vector<float> values(static_cast<std::size_t>(count), -7.0f);
  Read r;
  r.result = n == 0 ? read(file, format, values.data(), count)
                    : read_shared(file, format, values.data(), count, threads(n));
  for (const float v : values) r.bits.push_back(std::bit_cast<std::uint32_t>(v));
  std::string_view rest;
  if (file.next_record(rest)) r.next = std::string(rest);
  return r;
}

TEST(ReadShared, SameAsTheOrdinaryRead) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> value(-999.0, 999.0);
  // Records of three values of 10 columns, some short, some with a bad field or a blank one.
  const auto records = [&](int lines, bool bad, bool crlf) {
    std::string text;
    for (int i = 0; i < lines; ++i) {
      for (int k = 0; k < 3; ++k) {
        char field[32];
        std::snprintf(field, sizeof field, "%10.3f", value(rng));
        text += field;
      }
      if (i % 7 == 3) text.resize(text.size() - 12);      // a short record: zeros
      if (bad && i == lines / 2) text.replace(text.size() - 5, 1, "x");
      text += crlf ? "\r\n" : "\n";
    }
    return text;
  };
  const struct {
    const char* format;
    int lines;
    std::int64_t count;
    bool bad;
  } cases[] = {
      {"(3f10.3)", 2000, 6000, false},       // every record the same
      {"(3f10.3)", 2000, 4500, false},       // the list ends inside the data: the rest stays
      {"(3f10.3)", 2000, 6300, false},       // the file ends first
      {"(3f10.3)", 2000, 6000, true},        // a field that cannot be read
      {"(2f10.3)", 2000, 4000, false},       // the third field of every record is not read
      {"(f10.3,2(f10.3))", 2000, 5000, false},  // reversion to a group of two
      {"(f10.3,2(1x,f9.3))", 2000, 5000, true},
      {"(t11,2f10.3)", 2000, 4000, false},   // a move first
      {"(3i10)", 300, 900, true},            // integers into reals: "." fails
      {"(3f10.3/)", 2000, 3000, false},      // a slash: read one record at a time
      {"(bz,3f10.3)", 2000, 6000, false},    // a blank mode: the same
      {"(3f10.3)", 0, 10, false},            // an empty file
  };
  for (const auto& c : cases) {
    for (const bool crlf : {false, true}) {
      const std::string text = records(c.lines, c.bad, crlf) + "after the data\n";
      const Read alone = run(text, c.format, c.count, 0);
      for (const int n : {1, 2, 3, 8}) {
        SCOPED_TRACE(std::string(c.format) + " count " + std::to_string(c.count) + " threads " +
                     std::to_string(n) + (crlf ? " crlf" : ""));
        const Read shared = run(text, c.format, c.count, n);
        EXPECT_EQ(shared.result.status, alone.result.status);
        EXPECT_EQ(shared.result.error, alone.result.error);
        EXPECT_EQ(shared.result.values, alone.result.values);
        if (alone.result.failed()) {
          // Past the field that failed, the values are not the read's any more.
          const auto kept = static_cast<std::size_t>(alone.result.values);
          EXPECT_TRUE(std::equal(alone.bits.begin(), alone.bits.begin() + kept, shared.bits.begin()));
        } else {
          EXPECT_EQ(shared.bits, alone.bits);
        }
        if (alone.result.ok()) {
          EXPECT_EQ(shared.next, alone.next);
        }
      }
    }
  }
}

}  // namespace
}  // namespace tramel::textio
