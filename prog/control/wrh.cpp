// The run header: rate or interval, resolution, frames, frame length, pass band, number of
// band frequencies, forecast horizon, VAR lags and taper, in one of three unit variants.
#include "control/control.hpp"

namespace tramel::control {

namespace {

using textio::Sink;
using textio::write;

// kHz mode: the rate in kHz, the resolution in Hz, the pass band in kHz.
void wrh_khz(float rate, int nf, int lb, int kl, int ku, Sink& report) {
  static const textio::Format kRate("(' Sampling rate =',f12.3,' kHz',/)");
  static const textio::Format kResolution(
      "(' Resolution Bandwidth = ',f10.3,' Hz.',2x,'No. Frames ',i6,1x,'. Frame Length ',i7,/)");
  static const textio::Format kBand("(' Passband (',f9.3,2x,f10.3,' ) kHz')");
  const double r = rate;
  write(report, kRate, rate);
  write(report, kResolution, static_cast<float>(1000.0 * r / lb), nf, lb);
  write(report, kBand, static_cast<float>(kl * r / lb), static_cast<float>(ku * r / lb));
}

// Hz mode: the run's rate is in kHz; everything is printed in Hz.
void wrh_hz(float rate, int nf, int lb, int kl, int ku, Sink& report) {
  static const textio::Format kRate("(' Sampling rate =',f12.3,' Hz',/)");
  static const textio::Format kResolution(
      "(' Resolution Bandwidth = ',f10.5,' Hz.',2x,'No. Frames ',i6,1x,'. Frame Length ',i6,/)");
  static const textio::Format kBand("(' Passband (',f7.2,2x,f9.2,' ) Hz')");
  const double r = rate;
  write(report, kRate, static_cast<float>(1000.0 * r));
  write(report, kResolution, static_cast<float>(1000.0 * r / lb), nf, lb);
  write(report, kBand, static_cast<float>(1000.0 * kl * r / lb),
        static_cast<float>(1000.0 * ku * r / lb));
}

// Time mode: the sampling interval, the frame duration T and the periods T/kl and T/ku, in
// the time unit (7-column fields).
void wrh_time(std::string_view unit, float rate, int nf, int lb, int kl, int ku, Sink& report) {
  static const textio::Format kInterval("(' Sampling interval = ',g12.6,1x,a7,/)");
  static const textio::Format kResolution(
      "(' Resolution Bandwidth = ',g10.4,1x,a7,2x,'No. Frames ',i7,1x,'. Frame Length ',i6,/)");
  static const textio::Format kBand("(' Passband (',f9.2,2x,f9.2,' )',1x,a7)");
  const double t = lb * static_cast<double>(rate);
  write(report, kInterval, rate, unit);
  write(report, kResolution, static_cast<float>(t), unit, nf, lb);
  write(report, kBand, static_cast<float>(t / kl), static_cast<float>(t / ku), unit);
}

}  // namespace

void wrh(std::string_view unit, float rate, int n, int lb, float pct, int p, int nahead, int kl,
         int ku, int iunit, Sink& report) {
  static const textio::Format kRule("(60('='))");
  static const textio::Format kBins("(/,7x,'No. of frequencies in band ',i6,/)");
  static const textio::Format kForecast(
      "(7x,'No. of frames forecasted = ',i3,2x,'VAR Lags = ',i2,/)");
  static const textio::Format kTaper("(' % taper = ',f5.2,4x,'No. tapered at each end = ',i5,/)");
  static const textio::Format kFewTapered("(' % Taper yields no. of tapered values < 2',/)");

  const int nf = n / lb;
  write(report, kRule);
  if (iunit == 1)
    wrh_khz(rate, nf, lb, kl, ku, report);
  else if (iunit == 2)
    wrh_hz(rate, nf, lb, kl, ku, report);
  else
    wrh_time(unit, rate, nf, lb, kl, ku, report);
  write(report, kBins, ku - kl + 1);
  write(report, kForecast, nahead, p);
  if (pct > 0.0f) {
    // Printed only; the taper itself is applied by the coherence analysis.
    std::int32_t ntap = round_whole(static_cast<double>(pct) * lb * static_cast<double>(0.005f));
    if (ntap < 2) ntap = 0;
    write(report, kTaper, pct, ntap);
    if (ntap == 0) write(report, kFewTapered);
  }
}

}  // namespace tramel::control
