// One run's settings: the run block, the band, resolution, taper and sample range read from
// it and checked, the frame geometry and pass band derived from them, then the sample line,
// the run header and the analysis of the run.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "control/control.hpp"
#include "data/data.hpp"

namespace tramel::control {

namespace {

using textio::list;
using textio::Sink;
using textio::write;

[[noreturn]] void stop() { throw Stop{1}; }

// One run: the settings of its block and what is derived from them.
struct Run {
  std::string text;     // the run's parameter text
  float fl = 0.0f;      // lower band edge (kHz or Hz; 1 / longest period in time mode)
  float fu = 0.0f;      // upper band edge; 0 or less: up to the highest bin
  float longest = 0.0f;
  float shortest = 0.0f;
  float pct = 0.0f;     // taper percentage
  float bw = 0.0f;      // resolution bandwidth (Hz) or resolution period
  std::int32_t is = 0;  // first datum used
  std::int32_t ie = 0;  // last datum used; 0: the last datum of the file
  float rate = 0.0f;    // the run's own copy of the rate, in kHz once Hz mode has converted it
  std::int32_t lb = 0;  // frame length
  std::int32_t n = 0;   // sample size
  std::int32_t nf = 0;  // number of frames
  double rl = 0.0;      // normalised band edges, cycles per sample
  double ru = 0.0;
  std::int32_t kl = 0;  // pass band bins
  std::int32_t ku = 0;
};

void read_run_block(int run, textio::TextFile& control, Run& r, Sink& report) {
  static const textio::Format kLine70("(a70)");
  std::string bad_line;
  switch (read_block(control, 17, r.text, bad_line)) {
    case BlockEnd::Complete:
      return;
    case BlockEnd::MissingMarker:
      list(report, "Place comment marker * after parameters on ostrel.cnl");
      write(report, kLine70, bad_line);
      stop();
    case BlockEnd::EndOfFile:
      list(report, "Control file ended inside the block of run ", run);
      stop();
  }
}

void read_band_edges(const Globals& g, Run& r, Sink& report) {
  static const textio::Format kNoLongest(
      "(/,' Type longest period rather than lower freq in  setting the band in pelorn.cnl')");
  static const textio::Format kNoShortest(
      "(/,' Type shortest period rather than upper freq in setting the band in pelorn.cnl')");
  int pos = 0;
  int ier = 0;
  if (g.iunit != 0) {
    // Not tested: an absent or malformed edge takes the reader's saved result.
    r.fl = rnumread("wer freq", r.text, kSeparator, pos, ier, report);
    r.fu = rnumread("per freq", r.text, kSeparator, pos, ier, report);
    return;
  }
  r.longest = rnumread("gest period", r.text, kSeparator, pos, ier, report);
  if (ier == 1) {
    write(report, kNoLongest);
    stop();
  }
  r.shortest = rnumread("test period", r.text, kSeparator, pos, ier, report);
  if (ier == 1) {
    write(report, kNoShortest);
    stop();
  }
}

void read_bandwidth(Run& r, Sink& report) {
  int pos = 0;
  int ier = 0;
  r.bw = rnumread("ion bandwidth", r.text, kSeparator, pos, ier, report);
  if (ier != 0 && ier != 4) r.bw = rnumread("ion Bandwidth", r.text, kSeparator, pos, ier, report);
  if (ier == 4) {
    // Shows the setting from the second character after "idth": the `=` and what follows.
    list(report, "Place a period in the resolution bandwidth value");
    const std::string_view text = r.text;
    const std::size_t start = std::min(text.find("idth") + 5, text.size());
    list(report, text.substr(start, 11));
    stop();
  }
  if (r.bw <= 0.0f) {
    list(report, "Resolution bandwidth < 0");
    stop();
  }
}

void order_band(const Globals& g, Run& r, Sink& report) {
  if (g.iunit == 0) {
    if (r.longest <= 0.0f) r.longest = 1000000.0f;
    r.fl = 1.0f / r.longest;
    // A shortest period of 0 or less keeps its value: the band reaches the highest bin.
    r.fu = r.shortest > 0.0f ? 1.0f / r.shortest : r.shortest;
  }
  if (r.fu > 0.0f && r.fl > r.fu) {
    list(report, "Upper bw on line 8 of CNL ", r.fu, " < lower bw ", r.fl);
    if (g.iunit == 1)
      list(report, "Check to see the (fl,fu) units are kHz");
    else if (g.iunit == 2)
      list(report, "Check to see the (fl,fu) units are Hz");
    else
      list(report, "Check to see the (fl,fu) units are ", g.unit);
    stop();
  }
}

void read_sample_range(int run, Run& r, Sink& report) {
  // The keywords as the 20-character items of the messages.
  constexpr std::string_view kStart = "start               ";
  constexpr std::string_view kEnd = "end                 ";
  int pos = 0;
  int ier = 0;
  r.is = numread("start", r.text, kSeparator, pos, ier, report);
  if (ier != 0) {
    list(report, "Error ", ier, " in read of start datum", kStart);
    stop();
  }
  r.ie = numread("end", r.text, kSeparator, pos, ier, report);
  if (ier != 0) {
    list(report, "Error ", ier, " in read of end datum", kEnd);
    stop();
  }
  if (r.is < 1) {
    list(report, "IS in pelorn.cnl is < 1 ", r.is, " run ", run);
    stop();
  }
  if (r.ie != 0 && r.ie < r.is) {
    list(report, "IE < IS in pelorn.cnl ", r.is, r.ie, "run ", run);
    stop();
  }
}

// The frame length from the rate and the resolution; Hz mode then goes on in kHz.
void frame_length(const Globals& g, Run& r) {
  const double rate = g.rate;
  const double bw = r.bw;
  r.rate = g.rate;
  if (g.iunit == 1) {
    r.lb = round_whole(1000.0 * rate / bw);
  } else if (g.iunit == 2) {
    r.lb = round_whole(rate / bw);
    r.rate = r.rate * 0.001f;
    r.fl = r.fl * 0.001f;
    r.fu = r.fu * 0.001f;
  } else {
    r.lb = round_whole(bw / rate);
  }
}

void frame_sample(const Globals& g, int run, Run& r, Sink& report) {
  if (r.ie > g.N) {
    list(report, "IE ", r.ie, " > N in data file", g.N);
    stop();
  }
  if (r.ie == 0) r.ie = g.N;
  // Hostile values may leave the 32-bit range; the size wraps as the system prints it.
  r.n = static_cast<std::int32_t>(static_cast<std::uint32_t>(
      static_cast<std::int64_t>(r.ie) - static_cast<std::int64_t>(r.is) + 1));
  if (r.lb < 5) {
    list(report, "Frame length = ", r.lb, " < 5 - run ", run);
    if (g.iunit != 0)
      list(report, "Decrease resolution bandwidth = ", r.bw, " n = ", r.n);
    else
      list(report, "Increase resolution period = ", r.bw, " n = ", r.n);
    stop();
  }
  r.nf = r.n / r.lb;
  if (r.nf < 7) {
    list(report, "No. frames ", r.nf, " < ", std::int32_t{7}, " lb ", r.lb);
    list(report, "run ", run);
    stop();
  }
}

void normalise_band(const Globals& g, Run& r, Sink& report) {
  if (g.iunit != 0) {
    r.rl = static_cast<double>(r.fl) / r.rate;
    r.ru = r.fu > 0.0f ? static_cast<double>(r.fu) / r.rate : 0.5;
  } else {
    r.rl = static_cast<double>(r.fl) * r.rate;
    r.ru = static_cast<double>(r.fu) * r.rate;
  }
  if (r.ru > 0.5) {
    list(report, "Normalized upper bw = ", static_cast<float>(r.ru), " > 0.5");
    if (g.iunit == 1)
      list(report, "Check to see if the (fl,fu) units are kHz");
    else if (g.iunit == 2)
      list(report, "Check to see if the (fl,fu) units are Hz");
    else
      list(report, "Check to see if the (fl,fu) units are ", g.unit);
    list(report, " Sampling unit ", g.unit, " Sampling rate/interval ", r.rate);
    list(report, "iunit = ", g.iunit);
    stop();
  }
}

void pass_band(int run, Run& r, Sink& report) {
  // Bin 0, the mean, never belongs to the band.
  r.kl = round_whole(r.rl * r.lb);
  if (r.kl < 2) r.kl = 1;
  r.ku = r.ru > 0.0 ? std::min(round_whole(r.ru * r.lb), r.lb / 2) : r.lb / 2;
  if (r.kl >= r.ku) {
    const double ru = r.ru > 0.0 ? r.ru : 0.5;
    list(report, "fu-fl ", static_cast<float>(ru - r.rl), " is too small");
    list(report, "Increase passband fu-fl in run ", run);
    stop();
  }
}

}  // namespace

std::int32_t round_whole(double x) {
  const double v = std::round(static_cast<double>(static_cast<float>(x)));
  if (!std::isfinite(v) || v < -2147483648.0 || v > 2147483647.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

void reac(const Globals& g, int run, textio::TextFile& control, textio::Files& files) {
  static const textio::Format kSample(
      "(/,2x,'First datum used ',i8,2x,'Last datum used',i8,2x,'Sample size = ',i8)");
  Sink& report = files.report;
  Run r;
  read_run_block(run, control, r, report);
  read_band_edges(g, r, report);
  int pos = 0;
  int ier = 0;
  r.pct = rnumread("taper", r.text, kSeparator, pos, ier, report);
  read_bandwidth(r, report);
  order_band(g, r, report);
  if (r.pct < 0.0f || r.pct > 25.0f) {
    list(report, "Taper % not in range (0,25) ", r.pct, " run - ", run);
    stop();
  }
  read_sample_range(run, r, report);
  frame_length(g, r);
  frame_sample(g, run, r, report);
  normalise_band(g, r, report);
  pass_band(run, r, report);

  write(report, kSample, r.is, r.ie, r.n);
  wrh(g.unit, r.rate, r.n, r.lb, r.pct, g.p, g.nahead, r.kl, r.ku, g.iunit, report);

  data::RunSpec settings;
  settings.ie = r.ie;
  settings.is = r.is;
  settings.lb = r.lb;
  settings.kl = r.kl;
  settings.nb = r.ku - r.kl + 1;
  settings.p = g.p;
  settings.nahead = g.nahead;
  settings.iunit = g.iunit;
  settings.pct = r.pct;
  settings.P = g.P;
  settings.fmt = g.fmt;
  settings.mode = g.mode;
  settings.unit = g.unit;
  settings.M = g.M;
  data::array(settings, files);
}

}  // namespace tramel::control
