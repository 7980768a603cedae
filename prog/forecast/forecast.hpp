// VAR forecasting of one series: the frame Fourier coefficients of its significant bins, the
// vector autoregression across frames fitted to them, the forecast frames, the VAR block of
// the report, the forecast file and the eigenvalues of the fitted system.
#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <string_view>

#include "numeric/numeric.hpp"
#include "textio/textio.hpp"

namespace tramel::forecast {

using Complex = std::complex<double>;

// What the forecast run of one series is handed by the analysis sequence.
struct SeriesInput {
  std::span<float> y;                  // residual series (n values); scratch afterwards
  std::span<const float> sp;           // coherence probabilities of the m significant bins
  std::span<const std::int32_t> ik;    // their bin numbers, increasing
  std::span<const Complex> g;          // transform of the tapered mean waveform (lb values)
  numeric::FftTable& v;                // FFT table for lb
  float sd;                            // standard deviation of the mean waveform
  int lb, m, n, p, nahead, nf;
  std::string_view unit;               // unit text, 10 characters
  int iunit;                           // 0 time, 1 kHz, 2 Hz
  int M;                               // number of series
  int series;                          // this series, 1..M
};

// The forecast run of one series: fills column `series` of the forecast matrix
// (nahead*lb rows by M columns, column-major), writes the VAR block, the forecast file
// after the last series, and the eigenvalue block. c and s (4*m*m*p values each) receive
// the coefficients and their standard errors.
void runcoh(const SeriesInput& in, std::span<float> forecast_matrix, std::span<double> c,
            std::span<float> s, textio::Sink& report, textio::Sink& forecast_file);

// The forecast file records of one run: for each forecast frame and position in the frame,
// the frame number, the position and the value of every series.
void wrtpred(textio::Sink& forecast_file, std::span<const float> forecast_matrix, int lb,
             int nahead, int M);

}  // namespace tramel::forecast
