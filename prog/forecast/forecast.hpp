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
  std::span<float> y;                // residual series (n values); scratch afterwards
  std::span<const float> sp;         // coherence probabilities of the m significant bins
  std::span<const std::int32_t> ik;  // their bin numbers, increasing
  std::span<const Complex> g;        // transform of the tapered mean waveform (lb values)
  numeric::FftTable& v;              // FFT table for lb
  float sd;                          // standard deviation of the mean waveform
  int lb, m, n, p, nahead, nf;
  std::string_view unit;  // unit text, 10 characters
  int iunit;              // 0 time, 1 kHz, 2 Hz
  int M;                  // number of series
  int series;             // this series, 1..M
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

// ---- The steps of the forecast run ---------------------------------------------------------
//
// Sizes: nv = 2*m variables (real and imaginary part of each significant bin), p lags,
// nr = nv*p regressors per equation, nc = nv*nr coefficients. Z is nf x nv, column-major:
// Z(t, j) at (j-1)*nf + (t-1). Coefficient b(i, u), regressor u = (l-1)*nv + j (variable j
// at lag l), and its standard error are stored at (i-1)*nr + (u-1).

// Frame regression and forecast: ft, var, forvar, forft. Fills `column` (nahead*lb values),
// c, s and rsq. `work` holds at least max(nf, nahead)*nv values, `state` nr values, `f` lb
// values. A failed fit writes its message to `msg` and throws Stop.
void cohpred(std::span<const float> y, std::span<float> column, std::span<Complex> f,
             std::span<const Complex> g, numeric::FftTable& v, std::span<double> c,
             std::span<float> work, std::span<float> s, float& rsq,
             std::span<const std::int32_t> ik, float sd, std::span<float> state, int nf, int lb,
             int m, int p, int nahead, textio::Sink& msg);

// Z(t, 2k-1), Z(t, 2k): real and imaginary part of bin ik[k] of residual frame t.
void ft(std::span<const float> y, std::span<float> Z, std::span<const std::int32_t> ik,
        std::span<Complex> f, numeric::FftTable& v, int nf, int lb, int m);

// The fit's work space and the fit; ier = 1 when the normal matrix is not positive definite.
void var(std::span<const float> Z, std::span<float> e, std::span<double> c, std::span<float> s,
         float& rsq, int nv, int p, int nf, int& ier, textio::Sink& msg);

// The least-squares fit. The normal matrix of all nc coefficients is block diagonal with nv
// equal blocks of order nr, so only one block is built: G (nr x nr), its Cholesky diagonal pd
// (nr), and the nv right-hand sides rhs (nc, equation by equation). e (nf x nv) receives the
// residuals, sigma (nv) the residual standard deviations.
void fit(std::span<const float> Z, std::span<float> e, std::span<double> G, std::span<double> rhs,
         std::span<double> pd, int nv, int p, int nf, int nc, std::span<double> c,
         std::span<float> s, float& rsq, std::span<float> sigma, int& ier, textio::Sink& msg);

// The forecast recursion: R (nv x nahead, column-major) from the last p frames of Z, with the
// coefficients whose t value is below 1 in magnitude left out.
void forvar(std::span<const float> Z, std::span<float> R, std::span<const double> c,
            std::span<const float> s, std::span<float> state, int nv, int p, int nahead, int nf);

// Forecast spectra to forecast frames, scaled to the spread sd.
void forft(std::span<const float> R, std::span<float> column, std::span<const std::int32_t> ik,
           std::span<Complex> f, std::span<const Complex> g, numeric::FftTable& v, float sd, int lb,
           int m, int nahead);

// Eigenvalues of the companion matrix (nr x nr, work) of the single-precision coefficients b:
// on return wr holds the magnitudes and wi the periods in frames (0 for a real eigenvalue).
void sysev(std::span<const float> b, std::span<float> a, std::span<float> wr, std::span<float> wi,
           int nv, int nr, textio::Sink& msg);

// The VAR block of the report: the significant bins four pairs to a row, the forecast
// settings, the nc coefficient lines with standard error and t value, R square.
void write_var_block(textio::Sink& report, std::span<const float> sp,
                     std::span<const std::int32_t> ik, int m, int nahead, int p,
                     std::span<const double> c, std::span<const float> s, float rsq);

// The eigenvalue block: the heading for the unit mode, one line per eigenvalue (magnitude and
// period, or "Zero Frequency"), an empty line.
void write_eigenvalues(textio::Sink& report, std::span<const float> wr, std::span<const float> wi,
                       int nr, int iunit, std::string_view unit);

}  // namespace tramel::forecast
