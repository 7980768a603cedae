// Coherence analysis of one series: the mean waveform over the frames and the residual
// series, the sine taper, the band powers of the mean waveform, the noise spectrum of the
// residual frames, and the coherence probability of every bin of the pass band.
#pragma once

#include <complex>
#include <cstddef>
#include <span>

#include "numeric/numeric.hpp"
#include "textio/textio.hpp"

namespace tramel::coherence {

using Complex = std::complex<double>;

// Mean waveform m(1..lb) of the nf = n div lb frames of x, its standard deviation sd, and
// the residual: every framed observation of x minus the waveform at its position.
void wave(std::span<float> x, std::span<float> m, int n, int lb, float& sd);

// Sine taper weights w(1..lb) for pct percent of the frame, their mean square u2 and the
// number ntap of tapered values at each end. Returns false, with the weights and u2 not set,
// when pct is 0, or after its message when pct is outside 0..50 or ntap exceeds lb div 4.
bool taper(std::span<float> w, int lb, float pct, float& u2, int& ntap, textio::Sink& msg);

// Band powers A(1..nb) of the tapered mean waveform into m; z receives the transform of the
// tapered mean waveform and v the FFT table for lb; x becomes the residual series.
void amp(std::span<float> x, std::span<float> m, std::span<float> w, std::span<Complex> z,
         numeric::FftTable& v, int n, int lb, int kl, int nb, int& ntap, float pct, float& sd,
         float& u2, textio::Sink& msg);

// Noise spectrum S(1..nb) of the tapered residual frames of x.
void spc(std::span<const float> x, std::span<const float> w, std::span<float> s,
         std::span<Complex> z, numeric::FftTable& v, int n, int lb, int kl, int nb, float pct,
         float u2, textio::Sink& msg);

// The coherence step of one series. On return a(1..nb) holds the coherence probability of
// bins kl..kl+nb-1, sp the noise spectrum, y the residual series, w the taper weights,
// g the transform of the tapered mean waveform, v the FFT table, sd the standard deviation
// of the mean waveform. f is transform work.
void coh(std::span<float> a, std::span<float> sp, std::span<float> y, std::span<float> w,
         std::span<Complex> f, numeric::FftTable& v, std::span<Complex> g, float& sd, int n,
         int lb, int kl, int nb, float pct, textio::Sink& msg);

}  // namespace tramel::coherence
