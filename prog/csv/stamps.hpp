// Inside the csv folder: the ISO 8601 time stamps of a time column, read at fixed
// positions, and the regularity of a column of them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "csv/csv.hpp"

namespace tramel::csv::stamps {

// The form of `field` when it is a time stamp of one of the accepted forms (its digits not
// yet checked for a valid date), else nothing.
std::optional<StampForm> form_of(std::string_view field);

// Reads the stamp of form `form` at the start of `field`, which must hold it and nothing
// else: the seconds since 1970-01-01 00:00:00, or nothing when the text is not such a stamp or
// names no real date or time of day.
std::optional<std::int64_t> read(std::string_view field, const StampForm& form);

// The accepted forms in words, for the messages.
inline constexpr std::string_view kAcceptedForms =
    "1969-01-01, 1969-01, 1969-01-01T06:00 or 1969-01-01 06:00:30, optionally ending in Z";

// The first form in words: "YYYY-MM-DD" for a Date, ...
std::string form_text(const StampForm& form);

// The stamp `seconds` written in form `form`.
std::string write(std::int64_t seconds, const StampForm& form);

// The regularity of the stamps of consecutive rows: the axis, or the first row (from 0) whose
// spacing breaks it and the message's words for it (what was found against the first spacing).
struct Regularity {
  std::optional<TimeAxis> axis;
  std::int64_t bad_row = 0;
  std::string problem;
};

// At least two stamps.
Regularity regularity(std::span<const std::int64_t> stamps, const StampForm& form);

}  // namespace tramel::csv::stamps
