// TextFile: records from memory and from files, line ends, rewind, backspace, (a80) lines.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "textio/textio.hpp"

namespace tramel::textio {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> all_records(TextFile& file) {
  std::vector<std::string> out;
  std::string_view r;
  while (file.next_record(r)) out.emplace_back(r);
  return out;
}

// A file under the temporary directory holding `content`, removed by the destructor.
struct TempFile {
  explicit TempFile(const std::string& content)
      : path((fs::temp_directory_path() / ("tramel_textfile_" + std::to_string(::getpid()))).string()) {
    std::ofstream(path, std::ios::binary) << content;
  }
  ~TempFile() { fs::remove(path); }
  std::string path;
};

TEST(TextFile, LineEnds) {
  const struct {
    const char* text;
    std::vector<std::string> records;
  } cases[] = {
      {"", {}},
      {"a\nb\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},              // a last line without a line feed
      {"a\r\nb\r\n", {"a", "b"}},        // carriage returns belong to the line end
      {"a\r\n\r\nb\r", {"a", "", "b"}},
      {"a\rb\n", {"a\rb"}},              // ... only just before it
      {"\n\n", {"", ""}},
  };
  for (const auto& c : cases) {
    TextFile file;
    file.open_text(c.text);
    EXPECT_EQ(all_records(file), c.records) << c.text;
    TempFile disk(c.text);
    ASSERT_EQ(file.open(disk.path), 0);
    EXPECT_EQ(all_records(file), c.records) << c.text;
  }
}

TEST(TextFile, ReadLine) {
  TextFile file;
  file.open_text("short\r\n" + std::string(100, 'x') + "\n");
  std::string line;
  ASSERT_TRUE(file.read_line(line).ok());
  EXPECT_EQ(line, "short" + std::string(75, ' '));
  ASSERT_TRUE(file.read_line(line).ok());
  EXPECT_EQ(line, std::string(80, 'x'));
  EXPECT_TRUE(file.read_line(line).end());
}

TEST(TextFile, RewindAndBackspace) {
  for (bool on_disk : {false, true}) {
    const std::string text = "title\n100 1.0 (f10.3)\nrecord 3";
    TempFile disk(text);
    TextFile file;
    if (on_disk) {
      ASSERT_EQ(file.open(disk.path), 0);
    } else {
      file.open_text(text);
    }
    std::string line;
    ASSERT_TRUE(file.read_line(line).ok());
    std::int32_t n = 0;
    float rate = 0;
    const TextFile::ListTarget targets[] = {&n, &rate};
    ASSERT_TRUE(file.read_list(targets).ok());
    file.backspace();  // line 2 again, now as text
    ASSERT_TRUE(file.read_line(line).ok());
    EXPECT_EQ(line.substr(0, 20), "100 1.0 (f10.3)     ");
    ASSERT_TRUE(file.read_line(line).ok());
    EXPECT_EQ(line.substr(0, 8), "record 3");
    file.backspace();
    file.backspace();  // two steps back
    ASSERT_TRUE(file.read_line(line).ok());
    EXPECT_EQ(line.substr(0, 3), "100");
    ASSERT_TRUE(file.read_line(line).ok());
    EXPECT_TRUE(file.read_line(line).end());
    file.backspace();  // over the end of the file: the next read meets it again
    EXPECT_TRUE(file.read_line(line).end());
    file.rewind();
    ASSERT_TRUE(file.read_line(line).ok());
    EXPECT_EQ(line.substr(0, 5), "title");
    file.backspace();
    file.backspace();  // nothing before the first record
    ASSERT_TRUE(file.read_line(line).ok());
    EXPECT_EQ(line.substr(0, 5), "title");
  }
}

TEST(TextFile, LargeFileAcrossBuffers) {
  // Several megabytes, so records straddle the buffer's blocks and the buffer is refilled;
  // one line longer than a block makes the buffer grow.
  std::string text;
  const int lines = 400000;
  for (int k = 0; k < lines; ++k) text += std::to_string(k) + (k % 3 ? "\n" : "\r\n");
  text += std::string(3 << 20, 'y') + "\nlast";
  TempFile disk(text);
  TextFile file;
  ASSERT_EQ(file.open(disk.path), 0);
  std::string_view r;
  for (int k = 0; k < lines; ++k) {
    ASSERT_TRUE(file.next_record(r));
    ASSERT_EQ(r, std::to_string(k));
  }
  ASSERT_TRUE(file.next_record(r));
  EXPECT_EQ(r.size(), std::size_t{3} << 20);
  ASSERT_TRUE(file.next_record(r));
  EXPECT_EQ(r, "last");
  // Back over the last two records, then from the start again after the buffer moved on.
  file.backspace();
  file.backspace();
  ASSERT_TRUE(file.next_record(r));
  EXPECT_EQ(r.size(), std::size_t{3} << 20);
  file.backspace();
  file.backspace();  // the record before lies outside the buffer now
  ASSERT_TRUE(file.next_record(r));
  EXPECT_EQ(r, std::to_string(lines - 1));
  file.rewind();
  ASSERT_TRUE(file.next_record(r));
  EXPECT_EQ(r, "0");
}

}  // namespace
}  // namespace tramel::textio
