// The time column: ISO 8601 stamps read at fixed positions (the calendar arithmetic is Howard
// Hinnant's date library) and numbers of a unit, counted in ticks of their last digit; the
// regularity of their spacing; and the stamps after the data.
#include <date/date.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "csv/stamps.hpp"

namespace tramel::csv {
namespace {

constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kWeek = 7 * kDay;
constexpr std::int64_t kSecondNs = 1000000000;

constexpr std::int64_t kPowers[] = {1,
                                    10,
                                    100,
                                    1000,
                                    10000,
                                    100000,
                                    1000000,
                                    10000000,
                                    100000000,
                                    1000000000,
                                    10000000000,
                                    100000000000,
                                    1000000000000,
                                    10000000000000,
                                    100000000000000,
                                    1000000000000000,
                                    10000000000000000,
                                    100000000000000000,
                                    1000000000000000000};
constexpr int kMaxPower = 18;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

using stamps::equal_ignoring_case;

// The value of the `n` digits at `p`, or -1 when one of them is no digit.
int digits(const char* p, int n) {
  int v = 0;
  for (int k = 0; k < n; ++k) {
    if (!is_digit(p[k])) return -1;
    v = v * 10 + (p[k] - '0');
  }
  return v;
}

// The offset at `p` of a form with hours (+hh:mm, +hhmm or +hh) in minutes east of UTC, or
// nothing when it is no offset of hours 0 to 23 and minutes 0 to 59.
std::optional<int> offset_minutes(const char* p, StampForm::Offset form) {
  const int hours = digits(p + 1, 2);
  int minutes = 0;
  if (form == StampForm::Offset::Colon) {
    if (p[3] != ':') return std::nullopt;
    minutes = digits(p + 4, 2);
  } else if (form == StampForm::Offset::Plain) {
    minutes = digits(p + 3, 2);
  }
  if ((p[0] != '+' && p[0] != '-') || hours < 0 || hours > 23 || minutes < 0 || minutes > 59) return std::nullopt;
  return (p[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// Ticks per second of an ISO form: 10^digits.
std::int64_t per_second(const StampForm& form) { return kPowers[form.digits]; }

// A stamp split into its calendar parts, in the local time of the first stamp's offset.
struct Civil {
  std::int64_t month_index = 0;  // 12 * year + month - 1
  unsigned day = 1;
  bool last_day = false;  // the last day of its month
  std::int64_t time_of_day = 0;  // ticks
};

Civil civil(std::int64_t ticks, const StampForm& form) {
  const std::int64_t per_day = kDay * per_second(form);
  const std::int64_t local = ticks + form.offset_minutes * kMinute * per_second(form);
  const date::year_month_day ymd(date::sys_days(date::days(floor_div(local, per_day))));
  Civil c;
  c.month_index = 12 * static_cast<std::int64_t>(static_cast<int>(ymd.year())) +
                  static_cast<unsigned>(ymd.month()) - 1;
  c.day = static_cast<unsigned>(ymd.day());
  c.last_day = ymd.day() == date::year_month_day_last(ymd.year(), date::month_day_last(ymd.month())).day();
  c.time_of_day = local - floor_div(local, per_day) * per_day;
  return c;
}

// Days from 1970-01-01 to a valid date.
std::int64_t days_from_civil(int year, unsigned month, unsigned day) {
  const date::sys_days d{date::year{year} / date::month{month} / date::day{day}};
  return static_cast<std::int64_t>(d.time_since_epoch().count());
}

// The ticks of a local date and time of day, with `offset_minutes` taken off; nothing when
// they do not fit.
std::optional<std::int64_t> ticks_at(std::int64_t days, std::int64_t seconds_of_day, std::int64_t fraction,
                                     int offset_minutes, const StampForm& form) {
  const std::int64_t seconds = days * kDay + seconds_of_day - offset_minutes * kMinute;
  if (form.digits == 0) return seconds;  // years 0 to 9999 are far inside the range
  std::int64_t ticks = 0;
  if (__builtin_mul_overflow(seconds, per_second(form), &ticks) || __builtin_add_overflow(ticks, fraction, &ticks))
    return std::nullopt;
  return ticks;
}

// "1 month", "2 days", "0.5 seconds": a count and the unit's name, singular for one.
std::string count_text(const std::string& count, TimeUnit unit) {
  std::string name(unit_name(unit));
  if (count == "1") name.pop_back();
  return count + " " + name;
}

// A spacing as a whole number of a unit.
struct Fitted {
  TimeUnit unit;
  std::int64_t count;
};

// The units of a spacing in seconds, the largest first.
struct SecondUnit {
  std::int64_t seconds;
  TimeUnit unit;
};
constexpr SecondUnit kSecondUnits[] = {{kWeek, TimeUnit::Weeks}, {kDay, TimeUnit::Days}, {kHour, TimeUnit::Hours},
                                       {kMinute, TimeUnit::Minutes}, {1, TimeUnit::Seconds}};

// A spacing in seconds in the largest unit that divides it.
Fitted fit_seconds(std::int64_t step) {
  for (const auto& u : kSecondUnits)
    if (step % u.seconds == 0) return {u.unit, step / u.seconds};
  return {TimeUnit::Seconds, step};  // not reached: a second divides every step
}

// The seconds of a unit of kSecondUnits.
std::int64_t unit_seconds(TimeUnit unit) {
  for (const auto& u : kSecondUnits)
    if (u.unit == unit) return u.seconds;
  return 1;
}

// A spacing in calendar months: years when whole years, quarters when whole quarters.
Fitted fit_months(std::int64_t step) {
  if (step % 12 == 0) return {TimeUnit::Years, step / 12};
  if (step % 3 == 0) return {TimeUnit::Quarters, step / 3};
  return {TimeUnit::Months, step};
}

// A spacing in words, in the unit that fits it: "1 month", "2 days".
std::string count_text(const Fitted& fitted) { return count_text(std::to_string(fitted.count), fitted.unit); }

void append_digits(std::string& out, std::int64_t v, int width) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  const auto n = static_cast<int>(r.ptr - buf);
  if (n < width) out.append(static_cast<std::size_t>(width - n), '0');
  out.append(buf, r.ptr);
}

// The decimal text of value / 10^scale (scale 0 to 18): `keep` digits after the point at
// least, the digits after them only while not all zero.
std::string decimal_text(__int128 value, int scale, int keep) {
  std::string out;
  if (value < 0) {
    out += '-';
    value = -value;
  }
  const __int128 power = kPowers[scale];
  const auto whole = static_cast<unsigned __int128>(value / power);
  auto fraction = static_cast<std::int64_t>(value % power);
  // The whole part may pass the 64-bit range only in theory (a tick count times a unit).
  std::string whole_digits;
  for (unsigned __int128 w = whole; w > 0 || whole_digits.empty(); w /= 10)
    whole_digits.insert(whole_digits.begin(), static_cast<char>('0' + static_cast<int>(w % 10)));
  out += whole_digits;
  int shown = scale;
  while (shown > keep && fraction % 10 == 0) {
    fraction /= 10;
    --shown;
  }
  if (shown > 0) {
    out += '.';
    append_digits(out, fraction, shown);
  }
  return out;
}

// A count of the form's ticks in nanoseconds times 10^digits (exact).
__int128 scaled_nanoseconds(std::int64_t ticks, const StampForm& form) {
  return static_cast<__int128>(ticks) * form.tick_nanoseconds();
}

// The number of seconds `ticks` of the form are, when they are a whole number of them.
std::optional<std::int64_t> whole_seconds_of(std::int64_t ticks, const StampForm& form) {
  const __int128 ns = scaled_nanoseconds(ticks, form);
  const __int128 second = static_cast<__int128>(kSecondNs) * kPowers[form.digits];
  if (ns % second != 0) return std::nullopt;
  return static_cast<std::int64_t>(ns / second);
}

// A positive number to about six significant digits, without an exponent: 0.000208333, 333.333.
std::string rounded_text(long double v) {
  int decimals = 0;
  for (long double x = v; x < 100000.0L && decimals < 15; x *= 10.0L) ++decimals;
  char buf[64];
  const std::to_chars_result r =
      std::to_chars(buf, buf + sizeof buf, static_cast<double>(v), std::chars_format::fixed, decimals);
  std::string t(buf, r.ptr);
  if (t.find('.') != std::string::npos) {
    while (t.back() == '0') t.pop_back();
    if (t.back() == '.') t.pop_back();
  }
  return t;
}

// The names that say time, and no unit.
constexpr std::string_view kTimeWords[] = {"time", "t", "timestamp", "elapsed"};

}  // namespace

std::string_view unit_name(TimeUnit unit) {
  switch (unit) {
    case TimeUnit::Seconds: return "seconds";
    case TimeUnit::Minutes: return "minutes";
    case TimeUnit::Hours: return "hours";
    case TimeUnit::Days: return "days";
    case TimeUnit::Weeks: return "weeks";
    case TimeUnit::Months: return "months";
    case TimeUnit::Quarters: return "quarters";
    case TimeUnit::Years: return "years";
  }
  return "seconds";
}

std::optional<NumberUnit> number_unit(std::string_view name) {
  struct Named {
    NumberUnit unit;
    std::string_view other_names[5];
  };
  static constexpr Named kUnits[] = {
      {{"ns", "nanoseconds", 1}, {"nsec", "nanosecond", "nanoseconds"}},
      {{"us", "microseconds", 1000}, {"usec", "\xC2\xB5s", "microsecond", "microseconds"}},
      {{"ms", "milliseconds", 1000000}, {"msec", "millisecond", "milliseconds"}},
      {{"s", "seconds", kSecondNs}, {"sec", "secs", "second", "seconds"}},
      {{"min", "minutes", kMinute * kSecondNs}, {"mins", "minute", "minutes"}},
      {{"h", "hours", kHour * kSecondNs}, {"hr", "hrs", "hour", "hours"}},
      {{"d", "days", kDay * kSecondNs}, {"day", "days"}},
  };
  for (const Named& n : kUnits) {
    if (equal_ignoring_case(name, n.unit.name)) return n.unit;
    for (std::string_view other : n.other_names)
      if (!other.empty() && equal_ignoring_case(name, other)) return n.unit;
  }
  return std::nullopt;
}

bool is_time_word(std::string_view name) {
  for (std::string_view w : kTimeWords)
    if (equal_ignoring_case(name, w)) return true;
  return false;
}

std::optional<NumberUnit> time_name_unit(std::string_view name) {
  // A unit alone: any of its names, but not the one-letter names of the larger units (a
  // column named "h" or "d" is more likely a value).
  if (const std::optional<NumberUnit> u = number_unit(name); u && (name.size() > 1 || u->nanoseconds <= kSecondNs))
    return u;
  // A time word, then the unit: time_ms, time-s, "time s", "time (s)", "t [us]".
  for (std::string_view w : kTimeWords) {
    if (name.size() <= w.size() || !equal_ignoring_case(name.substr(0, w.size()), w)) continue;
    std::string_view rest = name.substr(w.size());
    if (rest.front() == '_' || rest.front() == '-') {
      rest.remove_prefix(1);
    } else {
      const std::size_t blanks = std::min(rest.find_first_not_of(' '), rest.size());
      rest.remove_prefix(blanks);
      if (rest.empty() || (blanks == 0 && rest.front() != '(' && rest.front() != '[')) continue;
    }
    if (rest.size() >= 2 && ((rest.front() == '(' && rest.back() == ')') || (rest.front() == '[' && rest.back() == ']')))
      rest = rest.substr(1, rest.size() - 2);
    if (const std::optional<NumberUnit> u = number_unit(rest)) return u;
  }
  return std::nullopt;
}

std::int64_t StampForm::tick_nanoseconds() const { return kind == Kind::Number ? unit.nanoseconds : kSecondNs; }

std::string TimeAxis::spacing_text() const {
  if (calendar) return count_text(fit_months(step));
  const bool whole = interval == static_cast<double>(static_cast<std::int64_t>(interval));
  return count_text(whole ? std::to_string(static_cast<std::int64_t>(interval)) : rounded_text(interval), unit);
}

long double TimeAxis::step_seconds() const {
  if (calendar || steps <= 0) return 0.0L;
  // Exact integers until the one division.
  const long double ns = static_cast<long double>(span) * static_cast<long double>(form.tick_nanoseconds());
  return ns / (static_cast<long double>(steps) * static_cast<long double>(kPowers[form.digits]) *
               static_cast<long double>(kSecondNs));
}

bool TimeAxis::whole_seconds() const { return calendar || whole_seconds_of(step, form).has_value(); }

std::string TimeAxis::stamp(std::int64_t row) const {
  if (!calendar) {
    if (steps <= 0) return stamps::write(first + row * step, form);
    // The mean step, so that stamps of a finer resolution than the spacing keep their pattern.
    const __int128 offset = (static_cast<__int128>(row) * span * 2 + steps) / (2 * static_cast<__int128>(steps));
    return stamps::write(first + static_cast<std::int64_t>(offset), form);
  }
  const Civil c = civil(first, form);
  const std::int64_t m = c.month_index + row * step;
  const auto year = static_cast<int>(floor_div(m, 12));
  const auto month = static_cast<unsigned>(m - 12 * floor_div(m, 12) + 1);
  const unsigned last =
      static_cast<unsigned>(date::year_month_day_last(date::year{year}, date::month_day_last(date::month{month})).day());
  const unsigned day = month_ends ? last : std::min(c.day, last);
  const std::int64_t tps = per_second(form);
  const std::optional<std::int64_t> t =
      ticks_at(days_from_civil(year, month, day), c.time_of_day / tps, c.time_of_day % tps, form.offset_minutes, form);
  return stamps::write(t.value_or(first), form);
}

namespace stamps {

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::optional<StampForm> form_of(std::string_view f) {
  const auto date_at = [&f](std::size_t n) {
    return f.size() >= n && is_digit(f[0]) && is_digit(f[1]) && is_digit(f[2]) && is_digit(f[3]) &&
           f[4] == '-' && is_digit(f[5]) && is_digit(f[6]) &&
           (n == 7 || (f[7] == '-' && is_digit(f[8]) && is_digit(f[9])));
  };
  StampForm form;
  if (f.size() == 7 && date_at(7)) {
    form.kind = StampForm::Kind::Month;
    return form;
  }
  if (!date_at(10)) return std::nullopt;
  if (f.size() == 10) {
    form.kind = StampForm::Kind::Date;
    return form;
  }
  form.kind = StampForm::Kind::DateTime;
  const std::string_view rest = f.substr(10);
  const auto digit_run = [&rest](std::size_t at, std::size_t n) {
    if (at + n > rest.size()) return false;
    for (std::size_t k = at; k < at + n; ++k)
      if (!is_digit(rest[k])) return false;
    return true;
  };
  if (rest.size() < 6 || (rest[0] != 'T' && rest[0] != ' ') || !digit_run(1, 2) || rest[3] != ':' ||
      !digit_run(4, 2))
    return std::nullopt;
  form.separator = rest[0];
  std::size_t at = 6;
  if (at < rest.size() && rest[at] == ':') {
    if (!digit_run(at + 1, 2)) return std::nullopt;
    form.seconds = true;
    at += 3;
    if (at < rest.size() && rest[at] == '.') {
      std::size_t n = 0;
      while (at + 1 + n < rest.size() && is_digit(rest[at + 1 + n])) ++n;
      if (n == 0 || n > 9) return std::nullopt;
      form.digits = static_cast<int>(n);
      at += 1 + n;
    }
  }
  if (at == rest.size()) return form;
  if (rest[at] == 'Z' && at + 1 == rest.size()) {
    form.offset = StampForm::Offset::Zulu;
    return form;
  }
  if (rest[at] != '+' && rest[at] != '-') return std::nullopt;
  const std::size_t n = rest.size() - at - 1;
  if (n == 2 && digit_run(at + 1, 2)) {
    form.offset = StampForm::Offset::Hours;
  } else if (n == 4 && digit_run(at + 1, 4)) {
    form.offset = StampForm::Offset::Plain;
  } else if (n == 5 && digit_run(at + 1, 2) && rest[at + 3] == ':' && digit_run(at + 4, 2)) {
    form.offset = StampForm::Offset::Colon;
  } else {
    return std::nullopt;
  }
  // An offset out of range (+25:00) is taken as 0 here: the first stamp is refused when it is read.
  form.offset_minutes = offset_minutes(rest.data() + at, form.offset).value_or(0);
  return form;
}

std::size_t length(const StampForm& form) {
  switch (form.kind) {
    case StampForm::Kind::Month: return 7;
    case StampForm::Kind::Date: return 10;
    case StampForm::Kind::Number: return 0;
    case StampForm::Kind::DateTime: break;
  }
  std::size_t n = 16;
  if (form.seconds) n += 3 + (form.digits > 0 ? 1 + static_cast<std::size_t>(form.digits) : 0);
  switch (form.offset) {
    case StampForm::Offset::None: break;
    case StampForm::Offset::Zulu: n += 1; break;
    case StampForm::Offset::Colon: n += 6; break;
    case StampForm::Offset::Plain: n += 5; break;
    case StampForm::Offset::Hours: n += 3; break;
  }
  return n;
}

std::optional<std::int64_t> read(std::string_view f, const StampForm& form, LastDay* last) {
  if (f.size() != length(form)) return std::nullopt;
  const char* p = f.data();
  std::int64_t days = 0;
  if (form.kind == StampForm::Kind::DateTime && last != nullptr && last->known && std::memcmp(p, last->date, 10) == 0) {
    days = last->days;
  } else {
    const int year = digits(p, 4);
    const int month = digits(p + 5, 2);
    if (year < 0 || p[4] != '-' || month < 1 || month > 12) return std::nullopt;
    int day = 1;
    if (form.kind != StampForm::Kind::Month) {
      day = digits(p + 8, 2);
      if (p[7] != '-' || day < 1) return std::nullopt;
      const date::year_month_day ymd{date::year{year}, date::month{static_cast<unsigned>(month)},
                                     date::day{static_cast<unsigned>(day)}};
      if (!ymd.ok()) return std::nullopt;
    }
    days = days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
    if (form.kind == StampForm::Kind::DateTime && last != nullptr) {
      std::memcpy(last->date, p, 10);
      last->days = days;
      last->known = true;
    }
  }
  std::int64_t time_of_day = 0, fraction = 0;
  int offset = 0;
  if (form.kind == StampForm::Kind::DateTime) {
    const int hour = digits(p + 11, 2);
    const int minute = digits(p + 14, 2);
    int second = 0;
    if (p[10] != form.separator || p[13] != ':' || hour < 0 || hour > 23 || minute < 0 || minute > 59)
      return std::nullopt;
    std::size_t at = 16;
    if (form.seconds) {
      second = digits(p + 17, 2);
      if (p[16] != ':' || second < 0 || second > 59) return std::nullopt;
      at = 19;
      if (form.digits > 0) {
        const int f9 = digits(p + 20, form.digits);
        if (p[19] != '.' || f9 < 0) return std::nullopt;
        fraction = f9;
        at = 20 + static_cast<std::size_t>(form.digits);
      }
    }
    if (form.offset == StampForm::Offset::Zulu && p[at] != 'Z') return std::nullopt;
    if (form.offset >= StampForm::Offset::Colon) {
      const std::optional<int> minutes = offset_minutes(p + at, form.offset);
      if (!minutes) return std::nullopt;
      offset = *minutes;
    }
    time_of_day = hour * kHour + minute * kMinute + second;
  }
  return ticks_at(days, time_of_day, fraction, offset, form);
}

std::string form_text(const StampForm& form) {
  switch (form.kind) {
    case StampForm::Kind::Month: return "YYYY-MM";
    case StampForm::Kind::Date: return "YYYY-MM-DD";
    case StampForm::Kind::Number: return "a number";
    case StampForm::Kind::DateTime: break;
  }
  std::string t = "YYYY-MM-DD";
  t += form.separator;
  t += form.seconds ? "hh:mm:ss" : "hh:mm";
  if (form.seconds && form.digits > 0) {
    t += '.';
    t.append(static_cast<std::size_t>(form.digits), 'f');
  }
  switch (form.offset) {
    case StampForm::Offset::None: break;
    case StampForm::Offset::Zulu: t += 'Z'; break;
    case StampForm::Offset::Colon: t += "+hh:mm"; break;
    case StampForm::Offset::Plain: t += "+hhmm"; break;
    case StampForm::Offset::Hours: t += "+hh"; break;
  }
  return t;
}

std::string write(std::int64_t ticks, const StampForm& form) {
  if (form.kind == StampForm::Kind::Number)
    return decimal_text(ticks, form.digits, form.fixed_digits ? form.digits : std::min(form.digits, 1));
  const std::int64_t tps = per_second(form);
  const std::int64_t local = ticks + form.offset_minutes * kMinute * tps;
  const std::int64_t seconds = floor_div(local, tps);
  const date::year_month_day ymd(date::sys_days(date::days(floor_div(seconds, kDay))));
  std::string out;
  append_digits(out, static_cast<int>(ymd.year()), 4);
  out += '-';
  append_digits(out, static_cast<unsigned>(ymd.month()), 2);
  if (form.kind == StampForm::Kind::Month) return out;
  out += '-';
  append_digits(out, static_cast<unsigned>(ymd.day()), 2);
  if (form.kind == StampForm::Kind::Date) return out;
  const std::int64_t t = seconds - floor_div(seconds, kDay) * kDay;
  out += form.separator;
  append_digits(out, t / kHour, 2);
  out += ':';
  append_digits(out, t % kHour / kMinute, 2);
  if (form.seconds) {
    out += ':';
    append_digits(out, t % kMinute, 2);
    if (form.digits > 0) {
      out += '.';
      append_digits(out, local - seconds * tps, form.digits);
    }
  }
  const int m = form.offset_minutes < 0 ? -form.offset_minutes : form.offset_minutes;
  switch (form.offset) {
    case StampForm::Offset::None: break;
    case StampForm::Offset::Zulu: out += 'Z'; break;
    case StampForm::Offset::Colon:
    case StampForm::Offset::Plain:
    case StampForm::Offset::Hours:
      out += form.offset_minutes < 0 ? '-' : '+';
      append_digits(out, m / 60, 2);
      if (form.offset == StampForm::Offset::Colon) out += ':';
      if (form.offset != StampForm::Offset::Hours) append_digits(out, m % 60, 2);
      break;
  }
  return out;
}

const char* read_decimal(const char* first, const char* last, Decimal& number) {
  const char* p = first;
  bool negative = false;
  if (p < last && (*p == '-' || *p == '+')) negative = *p++ == '-';
  std::int64_t value = 0;
  int significant = 0, exponent = 0, mantissa_digits = 0;
  const auto take = [&](char c, bool after_point) {
    ++mantissa_digits;
    if (significant == 0 && c == '0') {
      if (after_point) --exponent;
      return;
    }
    if (significant < 18) {
      value = value * 10 + (c - '0');
      ++significant;
      if (after_point) --exponent;
    } else if (!after_point) {
      ++exponent;  // a digit dropped before the point still counts a power of ten
    }
  };
  while (p < last && is_digit(*p)) take(*p++, false);
  if (p < last && *p == '.') {
    ++p;
    while (p < last && is_digit(*p)) take(*p++, true);
  }
  if (mantissa_digits == 0) return nullptr;
  number.scientific = false;
  if (p < last && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    bool minus = false;
    if (q < last && (*q == '-' || *q == '+')) minus = *q++ == '-';
    int e = 0, n = 0;
    while (q < last && is_digit(*q)) {
      if (e < 10000) e = e * 10 + (*q - '0');
      ++q;
      ++n;
    }
    if (n == 0) return nullptr;
    exponent += minus ? -e : e;
    number.scientific = true;
    p = q;
  }
  number.digits = negative ? -value : value;
  number.exponent = exponent;  // of the last digit written: 0.0010 is 10 x 10^-4
  return p;
}

std::optional<std::int64_t> ticks_of(const Decimal& number, int digits) {
  const int shift = number.exponent + digits;
  if (number.digits == 0) return 0;
  if (shift >= 0) {
    std::int64_t t = 0;
    if (shift > kMaxPower || __builtin_mul_overflow(number.digits, kPowers[shift], &t)) return std::nullopt;
    return t;
  }
  if (-shift > kMaxPower) return 0;
  const std::int64_t power = kPowers[-shift];
  const std::int64_t q = number.digits / power, r = number.digits % power;
  const std::int64_t twice = 2 * (r < 0 ? -r : r);  // r < 10^18: no overflow
  return twice >= power ? q + (number.digits < 0 ? -1 : 1) : q;
}

std::string duration_text(std::int64_t ticks, const StampForm& form) {
  if (const std::optional<std::int64_t> seconds = whole_seconds_of(ticks, form)) return count_text(fit_seconds(*seconds));
  return count_text(decimal_text(scaled_nanoseconds(ticks, form), form.digits + 9, 0), TimeUnit::Seconds);
}

Regularity regularity(std::span<const std::int64_t> t, const StampForm& form) {
  const auto n = static_cast<std::int64_t>(t.size());
  Regularity result;
  const auto rows = [&t](std::int64_t i) { return t[static_cast<std::size_t>(i)]; };
  // The step to row i; one beyond the 64-bit range counts as the largest.
  const auto step_to = [&rows](std::int64_t i) {
    std::int64_t d = 0;
    return __builtin_sub_overflow(rows(i), rows(i - 1), &d) ? INT64_MAX : d;
  };
  // The first spacing that is not positive (n when all are).
  std::int64_t not_later = n;
  for (std::int64_t i = 1; i < n; ++i)
    if (rows(i) <= rows(i - 1)) {
      not_later = i;
      break;
    }
  const auto say_not_later = [&](std::int64_t i) {
    result.bad_row = i;
    result.problem = "the time stamp " + write(rows(i), form) + " is not later than the one before (" +
                     write(rows(i - 1), form) + "): the time stamps must increase from row to row";
    return result;
  };
  if (not_later == 1) return say_not_later(1);

  // A fixed step: the median step, and how far a step may be from it: 1 % of it; or, where
  // rounding explains it, the mean step rounded down or up to the stamps' last digit (stamps
  // of a regular step rounded to their digits are steps of those two, which differ only when
  // the mean step is no whole number of that unit: a third of a millisecond to the
  // microsecond); neither when it comes to half a step, where a row too many or too few would
  // pass. Weekly dates with one step of 6 days and one of 8 have a whole week as their mean
  // step: no rounding explains them.
  const std::int64_t first_step = step_to(1);
  std::int64_t median = first_step;
  std::int64_t fixed_break = n;
  for (std::int64_t i = 2; i < n; ++i)
    if (step_to(i) != first_step) {
      fixed_break = i;
      break;
    }
  std::int64_t tolerance = 0;
  std::int64_t rounded_down = 0, rounded_up = 0;  // the mean step to the last digit, when they differ
  if (fixed_break < n) {
    std::vector<std::int64_t> steps(static_cast<std::size_t>(n - 1));
    for (std::int64_t i = 1; i < n; ++i) steps[static_cast<std::size_t>(i - 1)] = step_to(i);
    const auto middle = steps.begin() + (n - 2) / 2;
    std::nth_element(steps.begin(), middle, steps.end());
    median = *middle;
    if (median <= 0) return say_not_later(not_later);
    std::int64_t last_digit = 1;
    if (form.kind == StampForm::Kind::Date || form.kind == StampForm::Kind::Month) last_digit = kDay;
    if (form.kind == StampForm::Kind::DateTime && !form.seconds) last_digit = kMinute;
    tolerance = median / 100;
    if (tolerance >= median - tolerance) tolerance = 0;  // 2 tolerance >= median, without overflow
    // The mean step, span / steps, rounded down and up to the last digit.
    std::int64_t span = 0;
    if (!__builtin_sub_overflow(rows(n - 1), rows(0), &span) && last_digit < median - last_digit) {
      const std::int64_t units = span / last_digit;
      rounded_down = units / (n - 1) * last_digit;
      rounded_up = rounded_down + (units % (n - 1) != 0 || span % last_digit != 0 ? last_digit : 0);
      if (rounded_up == rounded_down) rounded_down = rounded_up = 0;
    }
    const auto within = [&](std::int64_t s) {
      return s > 0 && ((s >= median ? s - median : median - s) <= tolerance ||
                       (rounded_up > 0 && (s == rounded_down || s == rounded_up)));
    };
    fixed_break = n;
    for (std::int64_t i = 1; i < n; ++i)
      if (!within(step_to(i))) {
        fixed_break = i;
        break;
      }
  }

  // In calendar months (date-times only): the same day of the month (or the last day of each
  // month) and the same time of day throughout, the same number of months apart.
  std::int64_t calendar_break = 1;
  std::int64_t months = 0;
  bool month_ends = false;
  Civil c0;
  const auto fits = [&](const Civil& c) {
    return c.time_of_day == c0.time_of_day && (month_ends ? c.last_day : c.day == c0.day);
  };
  if (form.kind != StampForm::Kind::Number) {
    c0 = civil(rows(0), form);
    const Civil c1 = civil(rows(1), form);
    const bool same_day = c1.day == c0.day;
    month_ends = !same_day && c0.last_day && c1.last_day;
    months = c1.month_index - c0.month_index;
    if (months >= 1 && fits(c1) && (same_day || month_ends)) {
      calendar_break = n;
      Civil previous = c1;
      for (std::int64_t i = 2; i < n; ++i) {
        const Civil c = civil(rows(i), form);
        if (!fits(c) || c.month_index - previous.month_index != months) {
          calendar_break = i;
          break;
        }
        previous = c;
      }
    }
  }

  TimeAxis axis;
  axis.first = rows(0);
  axis.form = form;
  if (calendar_break == n) {
    axis.calendar = true;
    axis.step = months;
    axis.month_ends = month_ends;
    const Fitted fitted = fit_months(months);
    axis.unit = fitted.unit;
    axis.interval = static_cast<double>(fitted.count);
    result.axis = axis;
    return result;
  }
  if (fixed_break == n) {
    axis.step = median;
    axis.span = rows(n - 1) - rows(0);
    axis.steps = n - 1;
    if (const std::optional<std::int64_t> seconds = whole_seconds_of(median, form)) {
      const Fitted fitted = fit_seconds(*seconds);
      axis.unit = fitted.unit;
      axis.interval = axis.span == median * axis.steps
                          ? static_cast<double>(fitted.count)
                          : static_cast<double>(axis.step_seconds() / static_cast<long double>(unit_seconds(axis.unit)));
    } else {
      axis.unit = TimeUnit::Seconds;
      axis.interval = static_cast<double>(axis.step_seconds());
    }
    result.axis = axis;
    return result;
  }
  // Irregular: said by the rule that held longer; by months when the first two stamps are a
  // whole number of months apart and both rules break on the same row.
  const bool by_months = calendar_break > 1 && calendar_break >= fixed_break;
  const std::int64_t i = by_months ? calendar_break : fixed_break;
  if (i == not_later) return say_not_later(i);
  result.bad_row = i;
  const std::string found = by_months && fits(civil(rows(i), form))
                                ? count_text(fit_months(civil(rows(i), form).month_index - civil(rows(i - 1), form).month_index))
                                : duration_text(step_to(i), form);
  std::string spacing;
  if (by_months) {
    spacing = "the first two stamps are " + count_text(fit_months(months)) + " apart";
  } else {
    spacing = "the stamps are " + duration_text(median, form) + " apart (the median step";
    if (tolerance > 0 || rounded_up > 0) {
      spacing += "; each step must be";
      if (tolerance > 0) spacing += " within " + duration_text(tolerance, form) + " of it, 1 % of it";
      if (rounded_up > 0)
        spacing += std::string(tolerance > 0 ? ", or" : "") + " the mean step rounded to the stamps' last digit, " +
                   duration_text(rounded_down, form) + " or " + duration_text(rounded_up, form);
      spacing += ")";
    } else {
      spacing += ", which every step must be)";
    }
  }
  result.problem = "the time stamp " + write(rows(i), form) + " is " + found + " after the one before (" +
                   write(rows(i - 1), form) + "), but " + spacing +
                   ": the time column must be regular (a fixed step from row to row, or whole calendar "
                   "months, quarters or years); fill in the missing rows or resample the data";
  return result;
}

}  // namespace stamps
}  // namespace tramel::csv
