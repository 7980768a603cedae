// Control-file blocks: the `#` and `*` rules, the line limit, the 700-character text.
#include <gtest/gtest.h>

#include <string>

#include "control/control.hpp"

namespace tramel::control {
namespace {

std::string padded(std::string line) {
  line.resize(kLine, ' ');
  return line;
}

struct Block {
  BlockEnd end;
  std::string text;
  std::string bad_line;
  std::string next;  // the line after the block, or "<end>"
};

Block read(const std::string& file, int max_lines) {
  textio::TextFile control;
  control.open_text(file);
  Block b;
  b.end = read_block(control, max_lines, b.text, b.bad_line);
  std::string line;
  b.next = control.read_line(line).ok() ? line.substr(0, line.find_last_not_of(' ') + 1) : "<end>";
  return b;
}

std::string text_of(const std::string& contributions) {
  std::string text = contributions;
  text.resize(kParamText, '\0');
  return text;
}

TEST(ReadBlock, Table) {
  std::string eight;
  for (int i = 1; i <= 8; ++i) eight.append("v").append(std::to_string(i)).append("* c\n");
  const struct {
    const char* name;
    std::string file;
    BlockEnd end;
    std::string text;  // the contributions, or the line without a marker
    std::string next;
  } cases[] = {
      {"a `#` line ends the block and is not used",
       "a = 1 * one\nb = 2 * two\nc = 3 * three\nd = 4 * four\nx = 9 # end\nnext\n",
       BlockEnd::Complete, "a = 1 b = 2 c = 3 d = 4 ", "next"},
      {"`#` after the comment marker still ends it", "a = 1 * one\nb = 2 * # two\nnext\n",
       BlockEnd::Complete, "a = 1 ", "next"},
      {"the line limit ends it; no separator", eight, BlockEnd::Complete, "v1v2v3v4v5v6v7", "v8* c"},
      {"line without marker", "a = 1 * one\nb = 2\nc = 3 * three\n", BlockEnd::MissingMarker,
       "b = 2", "c = 3 * three"},
      {"empty line", "\n#\n", BlockEnd::MissingMarker, "", "#"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Block b = read(c.file, 7);
    EXPECT_EQ(b.end, c.end);
    EXPECT_EQ(c.end == BlockEnd::Complete ? b.text : b.bad_line,
              c.end == BlockEnd::Complete ? text_of(c.text) : padded(c.text));
    EXPECT_EQ(b.next, c.next);
  }
}

TEST(ReadBlock, TextKeepsItsFirst700Characters) {
  std::string file;
  std::string all;
  for (int i = 0; i < 17; ++i) {
    const std::string part(79, static_cast<char>('a' + i));
    file += part + "*\n";
    all += part;
  }
  const Block b = read(file, 17);
  EXPECT_EQ(b.end, BlockEnd::Complete);
  EXPECT_EQ(b.text, all.substr(0, kParamText));
  EXPECT_EQ(b.next, "<end>");
}

}  // namespace
}  // namespace tramel::control
