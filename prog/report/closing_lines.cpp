// The lines that open and close an invocation: banner and title; version, local date and
// time, elapsed processor time.
#include <sys/resource.h>

#include <cstdio>
#include <ctime>

#include "report/report.hpp"

namespace tramel::report {

using namespace textio::literals;

namespace {

// The local date and time as 24 characters, e.g. "Mon Dec 07 18:36:12 2026", with English
// names whatever the locale.
std::string date_and_time() {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  if (localtime_r(&now, &t) == nullptr) return std::string(24, ' ');
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %04d", kDays[(t.tm_wday % 7 + 7) % 7],
                kMonths[(t.tm_mon % 12 + 12) % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                t.tm_year + 1900);
  std::string text(buf);
  text.resize(24, ' ');
  return text;
}

}  // namespace

void write_banner(Sink& report) {
  constexpr auto kTitle = "(11x,'Quorvane')"_format;
  constexpr auto kCredit = "(12x,'Release 1.00')"_format;
  textio::write(report, kTitle);
  textio::write(report, kCredit);
}

void write_title(Sink& report, std::string_view title) {
  constexpr auto kTitle = "(1x,a79)"_format;
  textio::write(report, kTitle, title);
}

float processor_seconds() {
  rusage u{};
  if (getrusage(RUSAGE_SELF, &u) != 0) return 0.0f;
  const double user = static_cast<double>(u.ru_utime.tv_sec) + u.ru_utime.tv_usec * 1e-6;
  const double system = static_cast<double>(u.ru_stime.tv_sec) + u.ru_stime.tv_usec * 1e-6;
  return static_cast<float>(user + system);
}

float write_closing_lines(Sink& report, Sink& console, float start) {
  constexpr auto kVersion = "(' Version ',i2,'-',i2,'-',i4)"_format;
  constexpr auto kDate = "(' Date & Time ',a24)"_format;
  constexpr auto kSecsReport = "(' Elapsed time = ',f9.2,'  secs')"_format;
  constexpr auto kSecsConsole = "(' Elapsed time = ',f9.2,' secs')"_format;
  constexpr auto kMinutesReport = "(' Elapsed time = ',f9.2,' minutes')"_format;
  constexpr auto kMinutesConsole = "(/,' Elapsed time = ',f9.2,' minutes')"_format;
  constexpr auto kHoursReport = "(' Elapsed time = ',f9.2,' hours')"_format;
  constexpr auto kHoursConsole = "(/,' Elapsed time = ',f9.2,' hours')"_format;
  // The version of the report layout, 10-14-2002.
  constexpr std::int32_t kMonth = 10, kDay = 14, kYear = 2002;

  textio::write(report, kVersion, kMonth, kDay, kYear);
  textio::write(report, kDate, date_and_time());
  float elapsed = processor_seconds() - start;
  if (elapsed < 0.0f) elapsed += 86400.0f;  // the clock passed a day boundary
  if (elapsed < 60.0f) {
    textio::write(report, kSecsReport, elapsed);
    textio::write(console, kSecsConsole, elapsed);
  } else if (elapsed < 3600.0f) {
    const float x = elapsed * 0.016666668f;
    textio::write(report, kMinutesReport, x);
    textio::write(console, kMinutesConsole, x);
  } else {
    const float x = elapsed * 0.00027777778f;
    textio::write(report, kHoursReport, x);
    textio::write(console, kHoursConsole, x);
  }
  return elapsed;
}

}  // namespace tramel::report
