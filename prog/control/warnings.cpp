// What the console is told about settings that could not be read: the value the readers fell
// back on would otherwise go unnoticed.
#include <algorithm>
#include <cctype>
#include <span>
#include <vector>
#include <string>

#include "control/control.hpp"

namespace tramel::control {

namespace {

// "tramel.cnl line 4", or the block and its lines when the keyword is not in it.
std::string where(const ParameterText& text, std::size_t position, bool found,
                  std::string_view block) {
  if (found && text.line_of(position) > 0) return text.lines_text(position);
  return std::string(block) + " (" + text.lines_text(position, false) + ")";
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

// The edit distance of a and b (insertions, deletions and changes of one character each),
// counted up to `limit` + 1.
int edit_distance(std::string_view a, std::string_view b, int limit) {
  std::vector<int> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = static_cast<int>(j);
  for (std::size_t i = 1; i <= a.size(); ++i) {
    int diagonal = row[0];
    row[0] = static_cast<int>(i);
    int best = row[0];
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const int above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
      best = std::min(best, row[j]);
    }
    if (best > limit) return limit + 1;
  }
  return row[b.size()];
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool same_but_case(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return lower(x) == lower(y); });
}

// A label of the block's lines close to the keyword's usual label: the same words in another
// letter case, or two letters or fewer changed. Says what the line has and what differs; empty
// when no line comes that close.
std::string near_miss(const Keyword& keyword, const ParameterText& text) {
  const std::string_view label = keyword.label;
  struct Miss {
    int line = 0;
    std::string found;
    int distance = 3;
    bool case_only = false;
  } best;
  for (std::size_t p = 0; p < text.parts.size(); ++p) {
    const std::size_t first = text.parts[p].first;
    const std::size_t end = p + 1 < text.parts.size() ? text.parts[p + 1].first : text.text.size();
    std::string_view part = std::string_view(text.text).substr(first, end - first);
    part = part.substr(0, part.find('\0'));
    for (std::size_t at = 0; at < part.size(); ++at) {
      for (std::size_t width = label.size() >= 2 ? label.size() - 2 : 0; width <= label.size() + 2; ++width) {
        if (at + width > part.size() || width == 0) continue;
        const std::string_view piece = part.substr(at, width);
        // A label starts and ends on a word's edge.
        const auto letter = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
        if (piece.front() == ' ' || piece.back() == ' ') continue;
        if ((at > 0 && letter(part[at - 1])) || (at + width < part.size() && letter(part[at + width])))
          continue;
        if (same_but_case(piece, label)) {
          if (!best.case_only) best = Miss{text.parts[p].line, std::string(piece), 0, true};
          continue;
        }
        const int d = edit_distance(piece, label, 2);
        if (!best.case_only && d < best.distance)
          best = Miss{text.parts[p].line, std::string(piece), d, false};
      }
    }
  }
  if (best.line == 0) return {};
  const std::string has = "line " + std::to_string(best.line) + " has \"" + best.found + "\"";
  if (best.case_only) {
    std::string letters;
    int differing = 0;
    for (std::size_t i = 0; i < label.size(); ++i) {
      if (label[i] == best.found[i]) continue;
      ++differing;
      if (!letters.empty()) letters += ", ";
      letters += (label[i] >= 'A' && label[i] <= 'Z' ? "capital " : "lower-case ") + std::string(1, label[i]);
    }
    if (differing > 4) letters = "the letters in their case as shown";
    return has + "; the keyword is \"" + std::string(keyword.text) + "\" of \"" + std::string(label) +
           "\" (" + letters + "); letter case matters";
  }
  return has + "; the label is \"" + std::string(label) + "\" (" + std::to_string(best.distance) +
         (best.distance == 1 ? " letter differs" : " letters differ") + "), whose keyword \"" +
         std::string(keyword.text) + "\" must stand in it as written";
}

// The common part: the place, then what was wrong with the value (for a found keyword with an
// `=`), then the fallback.
template <class T>
std::string warning(const Keyword& keyword, const KeywordValue<T>& value, const ParameterText& text,
                    std::string_view block, const std::string& problem,
                    const std::string& fallback) {
  const bool found = value.error != ReadError::KeywordAbsent;
  std::string s = where(text, value.position, found, block) + ": ";
  if (!found) {
    s += "no setting " + named(keyword) + " is there";
    if (const std::string miss = near_miss(keyword, text); !miss.empty()) s += "; " + miss;
  } else if (value.error == ReadError::NoEquals) {
    s += named(keyword) + " has no \"=\" after it";
  } else {
    s += problem;
  }
  return s + "; " + fallback;
}

// Whether a value is written as digits, with an optional minus sign first, and at most one
// decimal point when `point` allows it.
bool plain_number(std::string_view s, bool point) {
  if (!s.empty() && s.front() == '-') s.remove_prefix(1);
  if (s.empty()) return false;
  int points = 0;
  for (const char c : s) {
    if (c == '.') {
      ++points;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  return points <= (point ? 1 : 0);
}

}  // namespace

std::string keyword_warning(const Keyword& keyword, const KeywordValue<std::int32_t>& value,
                            const ParameterText& text, std::string_view block) {
  const std::string found = found_text(text.text, value.value_position);
  if (value.ok()) {
    // Read, but from characters that are not digits: each counts its code minus that of '0'.
    if (plain_number(found, false)) return {};
    return where(text, value.position, true, block) + ": the value \"" + found + "\" of " +
           named(keyword) + " is not written in digits; it was read as " +
           std::to_string(value.value);
  }
  return warning(keyword, value, text, block,
                 "the value \"" + found + "\" of " + named(keyword) +
                     " is not an integer of 1 to 7 characters followed by a blank",
                 "the value used instead is " + std::to_string(value.value) +
                     ", the last integer read before it (0 when there was none)");
}

std::string keyword_warning(const Keyword& keyword, const KeywordValue<float>& value,
                            const ParameterText& text, std::string_view block) {
  const std::string found = found_text(text.text, value.value_position);
  const bool no_point = !found.empty() && found.find('.') == std::string::npos;
  if (value.ok()) {
    if (plain_number(found, true) && !no_point) return {};
    // Read, but not as written: a value without a point takes the next point of the text.
    return where(text, value.position, true, block) + ": the value \"" + found + "\" of " +
           named(keyword) +
           (no_point ? " needs a decimal point (write " + found + ".0)"
                     : std::string(" is not written as a plain number")) +
           "; it was read as " + rules::number_text(value.value);
  }
  std::string problem = "the value \"" + found + "\" of " + named(keyword);
  if (no_point) {
    problem += " needs a decimal point (write " + found + ".0)";
  } else {
    problem += " is not a number of up to 7 digits, a point and up to 6 digits followed by "
               "a blank";
  }
  return warning(keyword, value, text, block, problem,
                 "the value used instead is " + rules::number_text(value.value) +
                     ", the last real read before it (0 when there was none)");
}

std::string keyword_warning(const Keyword& keyword, const KeywordValue<std::string>& value,
                            const ParameterText& text, std::string_view block) {
  if (value.ok()) return {};
  return warning(keyword, value, text, block,
                 named(keyword) + " has no value right after its \"=\" (write it without a "
                                  "blank, as in " + std::string(keyword.label) + " =value)",
                 "it is taken as blank");
}

std::vector<diagnostics::Warning> tab_warnings(const Block& block) {
  std::vector<diagnostics::Warning> warnings;
  for (const int line : block.lines_with_tabs)
    warnings.push_back(diagnostics::Warning{
        "tramel.cnl line " + std::to_string(line) +
            " has a tab before its comment marker: tabs are not blanks to the keyword reader "
            "(use blanks to line up the comments)",
        diagnostics::Place::in_file("tramel.cnl", line)});
  return warnings;
}

std::string SettingCauses::of(const Keyword& keyword) const {
  for (const SettingCause& c : causes)
    if (c.keyword == keyword.text) return c.text;
  return {};
}

void SettingCauses::add(const Keyword& keyword, std::string text) {
  if (!text.empty()) causes.push_back(SettingCause{keyword.text, std::move(text)});
}

namespace {

// Why a value read is not as written; `value_text` is the value's text as it stands after the
// `=`, `shown` the value as read.
template <class T>
std::string cause(const Keyword& keyword, const KeywordValue<T>& value, const ParameterText& text,
                  std::span<const int> tab_lines, const std::string& shown, bool plain) {
  constexpr std::string_view kSee = " (see the warning above)";
  const std::string value_is = "the value " + shown;
  if (value.error == ReadError::KeywordAbsent) {
    return value_is + " is a fallback, because the setting \"" + std::string(keyword.text) +
           "\" was not found on " + text.lines_text(0, false) + std::string(kSee);
  }
  const int line = text.line_of(value.position);
  const std::string on_line = line > 0 ? " on tramel.cnl line " + std::to_string(line) : "";
  if (value.error == ReadError::NoEquals)
    return value_is + " is a fallback, because the setting \"" + std::string(keyword.text) + "\"" +
           on_line + " has no \"=\" after it" + std::string(kSee);
  const bool tab = std::find(tab_lines.begin(), tab_lines.end(), line) != tab_lines.end();
  if (!value.ok())
    return value_is + " is a fallback, because the value of \"" + std::string(keyword.text) +
           "\"" + on_line + " could not be read" +
           (tab ? std::string(": the line has a tab before its comment marker") : std::string()) +
           std::string(kSee);
  // Read, but from the text that follows the value's line: its line has a tab before the
  // comment marker, so the value ran on into the next line's parameters.
  const std::string found = found_text(text.text, value.value_position);
  if (tab && found.find('\t') != std::string::npos)
    return value_is + " was read through a tab: tramel.cnl line " + std::to_string(line) +
           " has a tab before its comment marker, which the reader takes as part of the value" +
           std::string(kSee);
  if (!plain)
    return value_is + " was read from \"" + found + "\", which is not plainly a number" +
           std::string(kSee);
  return {};
}

// Why a real read without its own decimal point is what it is.
std::string without_point(const std::string& shown, const std::string& found) {
  return "the value " + shown + " was read from \"" + found +
         "\", which has no decimal point: the reader took the next point further on in the "
         "block (see the warning above)";
}

}  // namespace

std::string setting_cause(const Keyword& keyword, const KeywordValue<std::int32_t>& value,
                          const ParameterText& text, std::span<const int> tab_lines) {
  const std::string found = found_text(text.text, value.value_position);
  return cause(keyword, value, text, tab_lines, std::to_string(value.value),
               !value.ok() || plain_number(found, false));
}

std::string setting_cause(const Keyword& keyword, const KeywordValue<float>& value,
                          const ParameterText& text, std::span<const int> tab_lines) {
  const std::string found = found_text(text.text, value.value_position);
  const bool no_point = !found.empty() && found.find('.') == std::string::npos;
  if (value.ok() && no_point && plain_number(found, true))
    return without_point(rules::number_text(value.value), found);
  const bool plain = plain_number(found, true) && !no_point;
  return cause(keyword, value, text, tab_lines, rules::number_text(value.value), !value.ok() || plain);
}

std::string setting_cause(const Keyword& keyword, const KeywordValue<std::string>& value,
                          const ParameterText& text, std::span<const int> tab_lines) {
  std::string shown = value.value;
  shown.erase(shown.find_last_not_of(' ') + 1);
  return cause(keyword, value, text, tab_lines, "\"" + shown + "\"", true);
}

}  // namespace tramel::control
