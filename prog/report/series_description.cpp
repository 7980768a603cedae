// The report of a series up to its VAR block: the series box, the descriptive statistics, the
// messages of the coherence step, and the stops that can follow it; and the allocation
// messages of a run.
#include <algorithm>
#include <limits>

#include "report/report.hpp"

namespace tramel::report {

using namespace textio::literals;

using textio::list;
using textio::write;

void write_work_space_failure(Sink& report, WorkSpace which, int bins, std::int64_t var_size) {
  switch (which) {
    case WorkSpace::Run:
      list(report, "Unable to allocate work space for arrays");
      break;
    case WorkSpace::Labels:
      list(report, "Unable to allocate work space for array t");
      break;
    case WorkSpace::Var:
      list(report, "Unable to allocate work space for array y & c");
      list(report, "m = ", static_cast<std::int32_t>(bins), " m*m*p = ",
           static_cast<std::int32_t>(var_size));
      break;
    case WorkSpace::NoiseFrames:
      list(report, "Unable to allocate work space for array a");
      break;
    case WorkSpace::Fit:
      list(report, "Unable to allocate work space for arrays in var");
      break;
  }
}

void write_series_box(Sink& report, int series) {
  constexpr auto kBoxTop = "(/,15x,'|',17('='),'|')"_format;
  constexpr auto kBoxSeries = "(15x,'| Series No. ',i3,'  |')"_format;
  constexpr auto kBoxBottom = "(15x,'|',17('='),'|',/)"_format;
  write(report, kBoxTop);
  write(report, kBoxSeries, static_cast<std::int32_t>(series));
  write(report, kBoxBottom);
}

void write_description(Sink& report, const analysis::Statistics& s, std::string_view format_text) {
  constexpr auto kRule = "(2x,57('='))"_format;
  constexpr auto kTitle = "(14x,'Descriptive Statistics of Data')"_format;
  constexpr auto kRuleAndGap = "(2x,57('='),/)"_format;
  constexpr auto kMean = "(' Mean =',g12.3,7x,'Std Dev =',g12.3,/)"_format;
  constexpr auto kMoments = "(' Skew =',g10.3,4x,'Kurtosis =',g10.3,4x,'C(6) =',f10.3,/)"_format;
  constexpr auto kRange = "(' Max value =',g12.3,7x,'Min value =',g12.3)"_format;
  constexpr auto kFormatLine = "(/,' Format: ',a50)"_format;
  constexpr auto kHashes = "(2x,57('#'))"_format;
  if (s.zero_variance) list(report, "Variance in STAT = 0 & is set = 1.");
  write(report, kRule);
  write(report, kTitle);
  write(report, kRuleAndGap);
  write(report, kMean, s.mean, s.std_dev);
  write(report, kMoments, s.skewness, s.kurtosis, s.c6);
  write(report, kRange, s.max, s.min);
  write(report, kFormatLine, format_text);
  write(report, kHashes);
}

void write_coherence_notes(Sink& report, const coherence::Coherence& coherence) {
  using Taper = coherence::TaperNote::Kind;
  using Chi = numeric::ChiSquareNote::Kind;
  if (const auto& t = coherence.taper_note) {
    if (t->kind == Taper::PercentOutOfRange)
      list(report, "* ERROR *  Improper % for tapering: ", t->percent);
    else
      list(report, "Taper size ", t->tapered, " > lb/4. Increase data block ", t->frame_length);
  }
  for (const coherence::BinNote& b : coherence.notes) {
    const numeric::ChiSquareNote& n = b.note;
    switch (n.kind) {
      case Chi::NegativeStatistic:
        list(report, "x in cdchi ", n.value, " is not positive");
        break;
      case Chi::NegativeDegrees:
        list(report, "df ", n.value, " value is not positive in call to cdchi");
        break;
      case Chi::BadGammaArgument:
        list(report, "Bad argument in gammp");
        break;
      case Chi::NegativeSeriesArgument:
        list(report, "x < 0 in gser");
        break;
      case Chi::SeriesDidNotConverge:
        list(report, "a = ", n.value, " too large, ITMAX too small in gser");
        break;
      case Chi::FractionDidNotConverge:
        list(report, "a = ", n.value, " too large, ITMAX too small in gcf");
        break;
    }
  }
}

void write_no_significant_bins(Sink& report) {
  constexpr auto kNone = "(7x,'No frequencies have significant coherence probabilities')"_format;
  write(report, kNone);
}

void write_var_too_large(Sink& report, std::int32_t sample_size, std::int64_t var_size,
                         float threshold) {
  constexpr auto kSample =
      "(' Sample size ',i7,' is not large enough for the dimension of the VAR ',i6)"_format;
  constexpr auto kIncrease = "(' Increase the coherence prob. threshold ',f6.3)"_format;
  // A size beyond the 32-bit range cannot fit i6 either: it prints as asterisks.
  const auto shown = static_cast<std::int32_t>(
      std::min<std::int64_t>(var_size, std::numeric_limits<std::int32_t>::max()));
  write(report, kSample, sample_size, shown);
  write(report, kIncrease, threshold);
}

void write_fit_failure(Sink& report) {
  list(report, "DCHOLDC failed, A is not positive definite");
  list(report, "Error in subroutine var ier = ", std::int32_t{1});
}

}  // namespace tramel::report
