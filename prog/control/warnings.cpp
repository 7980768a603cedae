// What the console is told about settings that could not be read: the value the readers fell
// back on would otherwise go unnoticed.
#include <charconv>
#include <string>

#include "control/control.hpp"

namespace tramel::control {

namespace {

// "tramel.cnl line 4", or the lines of the block when the keyword is not in it.
std::string where(const ParameterText& text, std::size_t position, bool found,
                  std::string_view block) {
  if (found) {
    if (const int line = text.line_of(position); line > 0)
      return "tramel.cnl line " + std::to_string(line);
  }
  std::string s(block);
  s += " (tramel.cnl line";
  if (text.last_line > text.first_line) {
    s += "s ";
    s += std::to_string(text.first_line);
    s += '-';
    s += std::to_string(text.last_line);
  } else {
    s += ' ';
    s += std::to_string(text.first_line);
  }
  s += ')';
  return s;
}

std::string named(const Keyword& k) {
  std::string s = "\"";
  s += k.text;
  s += "\" (";
  s += k.label;
  s += ')';
  return s;
}

// The value as it stands after the `=`: at most two blanks passed over, then up to the next
// blank, at most 20 characters.
std::string found_text(std::string_view text, std::size_t at) {
  for (int i = 0; i < 2 && at < text.size() && text[at] == ' '; ++i) ++at;
  std::size_t end = at;
  while (end < text.size() && end - at < 20 && text[end] != ' ' && text[end] != '\0') ++end;
  return std::string(text.substr(at, end - at));
}

std::string number_text(float v) {
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// The common part: the place, then what was wrong with the value (for a found keyword with an
// `=`), then the fallback.
template <class T>
std::string warning(const Keyword& keyword, const KeywordValue<T>& value, const ParameterText& text,
                    std::string_view block, const std::string& problem,
                    const std::string& fallback) {
  const bool found = value.error != read_error::kKeywordAbsent;
  std::string s = where(text, value.position, found, block) + ": ";
  if (!found) {
    s += "no setting " + named(keyword) + " is there";
  } else if (value.error == read_error::kNoEquals) {
    s += named(keyword) + " has no \"=\" after it";
  } else {
    s += problem;
  }
  return s + "; " + fallback;
}

}  // namespace

std::string keyword_warning(const Keyword& keyword, const KeywordValue<std::int32_t>& value,
                            const ParameterText& text, std::string_view block) {
  if (value.ok()) return {};
  const std::string found = found_text(text.text, value.value_position);
  return warning(keyword, value, text, block,
                 "the value \"" + found + "\" of " + named(keyword) +
                     " is not an integer of 1 to 7 characters followed by a blank",
                 "the value used instead is " + std::to_string(value.value) +
                     ", the last integer read");
}

std::string keyword_warning(const Keyword& keyword, const KeywordValue<float>& value,
                            const ParameterText& text, std::string_view block) {
  if (value.ok()) return {};
  const std::string found = found_text(text.text, value.value_position);
  std::string problem = "the value \"" + found + "\" of " + named(keyword);
  if (found.find('.') == std::string::npos && !found.empty()) {
    problem += " needs a decimal point (write " + found + ".0)";
  } else {
    problem += " is not a number of up to 7 digits, a point and up to 6 digits followed by "
               "a blank";
  }
  return warning(keyword, value, text, block, problem,
                 "the value used instead is " + number_text(value.value) + ", the last real read");
}

std::string keyword_warning(const Keyword& keyword, const KeywordValue<std::string>& value,
                            const ParameterText& text, std::string_view block) {
  if (value.ok()) return {};
  return warning(keyword, value, text, block,
                 named(keyword) + " has no value right after its \"=\" (write it without a "
                                  "blank, as in " + std::string(keyword.label) + " =value)",
                 "it is taken as blank");
}

std::vector<textio::Message> tab_warnings(const Block& block) {
  std::vector<textio::Message> warnings;
  for (const int line : block.lines_with_tabs)
    warnings.push_back(textio::Message{
        textio::Channel::Warning,
        "tramel.cnl line " + std::to_string(line) +
            " has a tab before its comment marker: tabs are not blanks to the keyword reader "
            "(use blanks to line up the comments)"});
  return warnings;
}

}  // namespace tramel::control
