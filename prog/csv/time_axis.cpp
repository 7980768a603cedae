// The time column: ISO 8601 stamps read at fixed positions (the calendar arithmetic is Howard
// Hinnant's date library), the regularity of their spacing, and the stamps after the data.
#include <date/date.h>

#include <charconv>
#include <cstdint>
#include <string>

#include "csv/stamps.hpp"

namespace tramel::csv {
namespace {

constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kWeek = 7 * kDay;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// The value of the `n` digits at `p`, or -1 when one of them is no digit.
int digits(const char* p, int n) {
  int v = 0;
  for (int k = 0; k < n; ++k) {
    if (!is_digit(p[k])) return -1;
    v = v * 10 + (p[k] - '0');
  }
  return v;
}

std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  const std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// A stamp split into its calendar parts.
struct Civil {
  std::int64_t month_index = 0;  // 12 * year + month - 1
  unsigned day = 1;
  bool last_day = false;  // the last day of its month
  std::int64_t time_of_day = 0;
};

date::year_month_day to_date(std::int64_t seconds) {
  return date::year_month_day(date::sys_days(date::days(floor_div(seconds, kDay))));
}

Civil civil(std::int64_t seconds) {
  const date::year_month_day ymd = to_date(seconds);
  Civil c;
  c.month_index = 12 * static_cast<std::int64_t>(static_cast<int>(ymd.year())) +
                  static_cast<unsigned>(ymd.month()) - 1;
  c.day = static_cast<unsigned>(ymd.day());
  c.last_day = ymd.day() == date::year_month_day_last(ymd.year(), date::month_day_last(ymd.month())).day();
  c.time_of_day = seconds - floor_div(seconds, kDay) * kDay;
  return c;
}

std::int64_t from_civil(int year, unsigned month, unsigned day, std::int64_t time_of_day) {
  const date::sys_days d{date::year{year} / date::month{month} / date::day{day}};
  return static_cast<std::int64_t>(d.time_since_epoch().count()) * kDay + time_of_day;
}

// "1 month", "2 days": a count and the unit's name, singular for one.
std::string count_text(std::int64_t count, TimeUnit unit) {
  std::string name(unit_name(unit));
  if (count == 1) name.pop_back();
  return std::to_string(count) + " " + name;
}

// A spacing in seconds in the largest unit that divides it.
void fit_seconds(std::int64_t step, TimeUnit& unit, std::int64_t& interval) {
  const struct {
    std::int64_t seconds;
    TimeUnit unit;
  } units[] = {{kWeek, TimeUnit::Weeks}, {kDay, TimeUnit::Days}, {kHour, TimeUnit::Hours},
               {kMinute, TimeUnit::Minutes}, {1, TimeUnit::Seconds}};
  for (const auto& u : units)
    if (step % u.seconds == 0) {
      unit = u.unit;
      interval = step / u.seconds;
      return;
    }
}

// A spacing in calendar months: years when whole years, quarters when whole quarters.
void fit_months(std::int64_t step, TimeUnit& unit, std::int64_t& interval) {
  if (step % 12 == 0) {
    unit = TimeUnit::Years;
    interval = step / 12;
  } else if (step % 3 == 0) {
    unit = TimeUnit::Quarters;
    interval = step / 3;
  } else {
    unit = TimeUnit::Months;
    interval = step;
  }
}

std::string seconds_text(std::int64_t step) {
  TimeUnit unit = TimeUnit::Seconds;
  std::int64_t interval = step;
  fit_seconds(step, unit, interval);
  return count_text(interval, unit);
}

std::string months_text(std::int64_t step) {
  TimeUnit unit = TimeUnit::Months;
  std::int64_t interval = step;
  fit_months(step, unit, interval);
  return count_text(interval, unit);
}

void append_digits(std::string& out, std::int64_t v, int width) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  const auto n = static_cast<int>(r.ptr - buf);
  if (n < width) out.append(static_cast<std::size_t>(width - n), '0');
  out.append(buf, r.ptr);
}

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

std::string TimeAxis::spacing_text() const { return count_text(interval, unit); }

std::string TimeAxis::stamp(std::int64_t row) const {
  if (!calendar) return stamps::write(first + row * step, form);
  const Civil c = civil(first);
  const std::int64_t m = c.month_index + row * step;
  const auto year = static_cast<int>(floor_div(m, 12));
  const auto month = static_cast<unsigned>(m - 12 * floor_div(m, 12) + 1);
  const unsigned last =
      static_cast<unsigned>(date::year_month_day_last(date::year{year}, date::month_day_last(date::month{month})).day());
  const unsigned day = month_ends ? last : std::min(c.day, last);
  return stamps::write(from_civil(year, month, day, c.time_of_day), form);
}

namespace stamps {

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
  std::string_view rest = f.substr(10);
  if (rest.back() == 'Z') {
    form.zulu = true;
    rest.remove_suffix(1);
  }
  if (rest.size() != 6 && rest.size() != 9) return std::nullopt;
  if (rest[0] != 'T' && rest[0] != ' ') return std::nullopt;
  form.separator = rest[0];
  if (!is_digit(rest[1]) || !is_digit(rest[2]) || rest[3] != ':' || !is_digit(rest[4]) || !is_digit(rest[5]))
    return std::nullopt;
  if (rest.size() == 9) {
    if (rest[6] != ':' || !is_digit(rest[7]) || !is_digit(rest[8])) return std::nullopt;
    form.seconds = true;
  }
  return form;
}

std::optional<std::int64_t> read(std::string_view f, const StampForm& form) {
  std::size_t size = 10;
  if (form.kind == StampForm::Kind::Month) size = 7;
  if (form.kind == StampForm::Kind::DateTime) size = 16 + (form.seconds ? 3 : 0) + (form.zulu ? 1 : 0);
  if (f.size() != size) return std::nullopt;
  const char* p = f.data();
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
  std::int64_t time_of_day = 0;
  if (form.kind == StampForm::Kind::DateTime) {
    const int hour = digits(p + 11, 2);
    const int minute = digits(p + 14, 2);
    int second = 0;
    if (p[10] != form.separator || p[13] != ':' || hour < 0 || hour > 23 || minute < 0 || minute > 59)
      return std::nullopt;
    if (form.seconds) {
      second = digits(p + 17, 2);
      if (p[16] != ':' || second < 0 || second > 59) return std::nullopt;
    }
    if (form.zulu && f.back() != 'Z') return std::nullopt;
    time_of_day = hour * kHour + minute * kMinute + second;
  }
  return from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day), time_of_day);
}

std::string form_text(const StampForm& form) {
  switch (form.kind) {
    case StampForm::Kind::Month: return "YYYY-MM";
    case StampForm::Kind::Date: return "YYYY-MM-DD";
    case StampForm::Kind::DateTime: break;
  }
  std::string t = "YYYY-MM-DD";
  t += form.separator;
  t += form.seconds ? "hh:mm:ss" : "hh:mm";
  if (form.zulu) t += 'Z';
  return t;
}

std::string write(std::int64_t seconds, const StampForm& form) {
  const date::year_month_day ymd = to_date(seconds);
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
  }
  if (form.zulu) out += 'Z';
  return out;
}

Regularity regularity(std::span<const std::int64_t> t, const StampForm& form) {
  const auto n = static_cast<std::int64_t>(t.size());
  Regularity result;
  const auto rows = [&t](std::int64_t i) { return t[static_cast<std::size_t>(i)]; };
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

  // In seconds: every spacing the first one.
  const std::int64_t step = rows(1) - rows(0);
  std::int64_t seconds_break = n;
  for (std::int64_t i = 2; i < n; ++i)
    if (rows(i) - rows(i - 1) != step) {
      seconds_break = i;
      break;
    }

  // In calendar months: the same day of the month (or the last day of each month) and the
  // same time of day throughout, the same number of months apart.
  const Civil c0 = civil(rows(0));
  const Civil c1 = civil(rows(1));
  const bool same_day = c1.day == c0.day;
  const bool month_ends = !same_day && c0.last_day && c1.last_day;
  const std::int64_t months = c1.month_index - c0.month_index;
  const auto fits = [&](const Civil& c) {
    return c.time_of_day == c0.time_of_day && (month_ends ? c.last_day : c.day == c0.day);
  };
  std::int64_t calendar_break = 1;
  if (months >= 1 && fits(c1) && (same_day || month_ends)) {
    calendar_break = n;
    Civil previous = c1;
    for (std::int64_t i = 2; i < n; ++i) {
      const Civil c = civil(rows(i));
      if (!fits(c) || c.month_index - previous.month_index != months) {
        calendar_break = i;
        break;
      }
      previous = c;
    }
  }

  TimeAxis axis;
  axis.first = rows(0);
  axis.form = form;
  if (calendar_break == n) {
    axis.calendar = true;
    axis.step = months;
    axis.month_ends = month_ends;
    fit_months(months, axis.unit, axis.interval);
    result.axis = axis;
    return result;
  }
  if (seconds_break == n) {
    axis.step = step;
    fit_seconds(step, axis.unit, axis.interval);
    result.axis = axis;
    return result;
  }
  // Irregular: said by the rule that held longer; by months when the first two stamps are a
  // whole number of months apart and both rules break on the same row.
  const bool by_months = calendar_break > 1 && calendar_break >= seconds_break;
  const std::int64_t i = by_months ? calendar_break : seconds_break;
  if (i == not_later) return say_not_later(i);
  result.bad_row = i;
  const std::string found = by_months && fits(civil(rows(i)))
                                ? months_text(civil(rows(i)).month_index - civil(rows(i - 1)).month_index)
                                : seconds_text(rows(i) - rows(i - 1));
  result.problem = "the time stamp " + write(rows(i), form) + " is " + found + " after the one before (" +
                   write(rows(i - 1), form) + "), but the first two stamps are " +
                   (by_months ? months_text(months) : seconds_text(step)) +
                   " apart: the time column must be regular (a fixed number of seconds, or of whole "
                   "calendar months, quarters or years, from row to row); fill in the missing rows or "
                   "resample the data";
  return result;
}

}  // namespace stamps
}  // namespace tramel::csv
