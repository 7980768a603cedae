// Control-file blocks: the `#` and `*` rules, the line limit, the 700-character text, and the
// control-file line each piece of the text came from.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/control.hpp"
#include "control/parameter_text.hpp"

namespace tramel::control {
namespace {

std::string padded(std::string line) {
  line.resize(kLineLength, ' ');
  return line;
}

// The text of a parameter text up to its NUL tail.
std::string used(const ParameterText& p) { return p.text.substr(0, p.text.find('\0')); }

// What the next one-line block reads: the part of its line, the line without a marker, or
// "<end>". Shows where the block before it left the file.
std::string next_line(ControlFile& control) {
  const Block next = control.read_block(1);
  switch (next.end) {
    case Block::End::Complete:
      return used(next.parameters);
    case Block::End::MissingMarker:
      return next.bad_line.substr(0, next.bad_line.find_last_not_of(' ') + 1);
    case Block::End::EndOfFile:
      break;
  }
  return "<end>";
}

struct Part {
  std::size_t first;
  int line;
  bool operator==(const Part&) const = default;
};

std::vector<Part> parts_of(const ParameterText& p) {
  std::vector<Part> parts;
  for (const ParameterText::Part& part : p.parts) parts.push_back({part.first, part.line});
  return parts;
}

TEST(ControlFile, BlocksEndAtTheirHashLineOrTheirLastLine) {
  std::string eight;
  for (int i = 1; i <= 8; ++i) eight.append("v").append(std::to_string(i)).append("* c\n");
  const struct {
    const char* name;
    std::string file;
    Block::End end;
    std::string text;  // the parts joined, or the line without a marker
    int bad_line_number;
    std::vector<Part> parts;
    int last_line;
    std::string next;
  } cases[] = {
      {"a `#` line ends the block and is not used",
       "a = 1 * one\nb = 2 * two\nc = 3 * three\nd = 4 * four\nx = 9 # end\nnext\n",
       Block::End::Complete, "a = 1 b = 2 c = 3 d = 4 ", 0, {{0, 1}, {6, 2}, {12, 3}, {18, 4}}, 5,
       "next"},
      {"`#` after the comment marker still ends it", "a = 1 * one\nb = 2 * # two\nnext\n",
       Block::End::Complete, "a = 1 ", 0, {{0, 1}}, 2, "next"},
      {"the line limit ends it; no separator", eight, Block::End::Complete, "v1v2v3v4v5v6v7", 0,
       {{0, 1}, {2, 2}, {4, 3}, {6, 4}, {8, 5}, {10, 6}, {12, 7}}, 7, "v8"},
      {"a line with nothing before its marker adds no part", "* note\nb = 2 * two\n#\nnext\n",
       Block::End::Complete, "b = 2 ", 0, {{0, 2}}, 3, "next"},
      {"line without marker", "a = 1 * one\nb = 2\nc = 3 * three\n", Block::End::MissingMarker,
       "b = 2", 2, {{0, 1}}, 2, "c = 3 "},
      {"empty line", "\n#\n", Block::End::MissingMarker, "", 1, {}, 1, ""},
      {"end of file", "a = 1 * one\n", Block::End::EndOfFile, "a = 1 ", 0, {{0, 1}}, 1, "<end>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ControlFile control;
    control.open_text(c.file);
    const Block b = control.read_block(kGlobalBlockLines);
    EXPECT_EQ(b.end, c.end);
    if (c.end == Block::End::MissingMarker) {
      EXPECT_EQ(b.bad_line, padded(c.text));
    } else {
      EXPECT_EQ(b.parameters.text, text_of(c.text));
    }
    EXPECT_EQ(b.bad_line_number, c.bad_line_number);
    EXPECT_EQ(parts_of(b.parameters), c.parts);
    EXPECT_EQ(b.parameters.first_line, 1);
    EXPECT_EQ(b.parameters.last_line, c.last_line);
    EXPECT_EQ(next_line(control), c.next);
  }
}

TEST(ControlFile, TextKeepsItsFirst700Characters) {
  std::string file;
  std::string all;
  for (int i = 0; i < 17; ++i) {
    const std::string part(79, static_cast<char>('a' + i));
    file += part + "*\n";
    all += part;
  }
  ControlFile control;
  control.open_text(file);
  const Block b = control.read_block(kRunBlockLines);
  EXPECT_EQ(b.end, Block::End::Complete);
  EXPECT_EQ(b.parameters.text, all.substr(0, kParameterText));
  // Line 9 fills the text; the lines after it contribute nothing.
  ASSERT_EQ(b.parameters.parts.size(), 9u);
  EXPECT_EQ(b.parameters.parts.back().first, 8u * 79);
  EXPECT_EQ(b.parameters.line_of(kParameterText - 1), 9);
  EXPECT_EQ(b.parameters.last_line, 17);
  EXPECT_EQ(next_line(control), "<end>");
}

// Line numbers run on from block to block, so a setting can be traced to its line.
TEST(ControlFile, LineOfAPosition) {
  ControlFile control;
  control.open_text(
      "No. of runs = 1   * a\n#\n"
      "Longest period = 12.0   * band\n* a note\nResolution bandwidth = 12.0 * bw\n#\n");
  const Block global = control.read_block(kGlobalBlockLines);
  EXPECT_EQ(global.parameters.first_line, 1);
  EXPECT_EQ(global.parameters.last_line, 2);
  const Block run = control.read_block(kRunBlockLines);
  ASSERT_EQ(run.end, Block::End::Complete);
  const ParameterText& p = run.parameters;
  EXPECT_EQ(p.first_line, 3);
  EXPECT_EQ(p.last_line, 6);
  const std::size_t bw = p.text.find("Resolution");
  ASSERT_EQ(bw, 24u);
  const struct {
    std::size_t position;
    int line;
  } cases[] = {
      {0, 3},                   // the first part's first character
      {bw - 1, 3},              // its last: the blank before the marker
      {bw, 5},                  // the next part, after the line without parameters
      {p.text.find("12.0 ", bw), 5},
      {used(p).size() - 1, 5},  // the last character of the parts
      {used(p).size(), 0},      // the NUL tail belongs to no line
      {kParameterText - 1, 0},
      {kParameterText, 0},      // past the text
  };
  for (const auto& c : cases) EXPECT_EQ(p.line_of(c.position), c.line) << c.position;
}

}  // namespace
}  // namespace tramel::control
