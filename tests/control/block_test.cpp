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

TEST(ReadBlock, HashLineEndsTheBlockAndIsNotUsed) {
  const Block b = read("a = 1 * one\nb = 2 * two\nc = 3 * three\nd = 4 * four\nx = 9 # end\nnext\n", 7);
  EXPECT_EQ(b.end, BlockEnd::Complete);
  EXPECT_EQ(b.text, text_of("a = 1 b = 2 c = 3 d = 4 "));
  EXPECT_EQ(b.next, "next");
}

TEST(ReadBlock, HashAfterTheCommentMarkerStillEndsTheBlock) {
  const Block b = read("a = 1 * one\nb = 2 * # two\nnext\n", 7);
  EXPECT_EQ(b.end, BlockEnd::Complete);
  EXPECT_EQ(b.text, text_of("a = 1 "));
  EXPECT_EQ(b.next, "next");
}

TEST(ReadBlock, LineLimitEndsTheBlock) {
  std::string file;
  for (int i = 1; i <= 8; ++i) file.append("v").append(std::to_string(i)).append("* c\n");
  const Block b = read(file, 7);
  EXPECT_EQ(b.end, BlockEnd::Complete);
  EXPECT_EQ(b.text, text_of("v1v2v3v4v5v6v7"));  // joined with no separator
  EXPECT_EQ(b.next, "v8* c");
}

TEST(ReadBlock, LineWithoutMarker) {
  const Block b = read("a = 1 * one\nb = 2\nc = 3 * three\n", 17);
  EXPECT_EQ(b.end, BlockEnd::MissingMarker);
  EXPECT_EQ(b.bad_line, padded("b = 2"));
  EXPECT_EQ(b.next, "c = 3 * three");
}

TEST(ReadBlock, EmptyLineHasNoMarker) {
  const Block b = read("\n#\n", 17);
  EXPECT_EQ(b.end, BlockEnd::MissingMarker);
  EXPECT_EQ(b.bad_line, padded(""));
}

TEST(ReadBlock, EndOfFileInsideTheBlock) {
  EXPECT_EQ(read("a = 1 * one\n", 7).end, BlockEnd::EndOfFile);
  EXPECT_EQ(read("", 17).end, BlockEnd::EndOfFile);
}

TEST(ReadBlock, MarkerBeyondColumn80IsNotSeen) {
  const Block b = read(std::string(80, 'x') + "*\n", 7);
  EXPECT_EQ(b.end, BlockEnd::MissingMarker);
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
