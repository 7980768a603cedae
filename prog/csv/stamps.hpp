// Inside the csv folder: the values of a time column (ISO 8601 time stamps read at fixed
// positions, or numbers), the regularity of a column of them, and their text.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "csv/csv.hpp"

namespace tramel::csv::stamps {

// Whether two names are the same but for the letter case of A-Z.
bool equal_ignoring_case(std::string_view a, std::string_view b);

// The form of `field` when it is an ISO 8601 time stamp of one of the accepted forms (its
// digits not yet checked for a valid date), else nothing.
std::optional<StampForm> form_of(std::string_view field);

// The length of every stamp of an ISO form.
std::size_t length(const StampForm& form);

// The date of the last date-time read by a reader of consecutive stamps, most of which share
// their date with the one before: that date is then not read again.
struct LastDay {
  char date[10] = {};
  std::int64_t days = 0;  // from 1970-01-01
  bool known = false;
};

// Reads the stamp of ISO form `form` at the start of `field`, which must hold it and nothing
// else: its ticks (UTC, its offset taken off), or nothing when the text is not such a stamp,
// names no real date or time of day, or lies too far from 1970 for its ticks. `last`, when
// given, is the date of the stamp read before and becomes this one's.
std::optional<std::int64_t> read(std::string_view field, const StampForm& form, LastDay* last = nullptr);

// The accepted forms in words, for the messages.
inline constexpr std::string_view kAcceptedForms =
    "1969-01-01, 1969-01, 1969-01-01T06:00 or 1969-01-01 06:00:30 (with up to nine digits of a "
    "second: 06:00:30.000250), optionally ending in Z or an offset (+01:00, -0530, +01)";

// The first form in words: "YYYY-MM-DD" for a Date, ...
std::string form_text(const StampForm& form);

// The stamp `ticks` written in form `form` (ISO forms with the first stamp's offset, numbers
// with the form's digits).
std::string write(std::int64_t ticks, const StampForm& form);

// A number as written: `digits` x 10^`exponent`, exact for up to 18 significant digits (the
// digits after those are dropped).
struct Decimal {
  std::int64_t digits = 0;
  int exponent = 0;
  bool scientific = false;  // written with an exponent (1.5e-3)
};

// Reads the number at the start of [first, last): an optional sign, digits with an optional
// point, an optional exponent. The end of the number, or nullptr when none stands there.
const char* read_decimal(const char* first, const char* last, Decimal& number);

// `number` in ticks of 10^-digits (rounded half away from zero), or nothing when it does not fit.
std::optional<std::int64_t> ticks_of(const Decimal& number, int digits);

// A duration of `ticks` of `form` in words: "90 minutes", "0.0005 seconds".
std::string duration_text(std::int64_t ticks, const StampForm& form);

// The regularity of the stamps of consecutive rows: the axis, or the first row (from 0) whose
// spacing breaks it and the message's words for it (what was found against the spacing).
struct Regularity {
  std::optional<TimeAxis> axis;
  std::int64_t bad_row = 0;
  std::string problem;
};

// At least two stamps.
Regularity regularity(std::span<const std::int64_t> stamps, const StampForm& form);

}  // namespace tramel::csv::stamps
