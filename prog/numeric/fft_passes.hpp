// The passes of the forward transform, private to the FFT plan, and the batched transform built on
// them. Every array is a run of complex values stored as interleaved values of T (real part
// first); `ido` counts complex entries.
//
// A pass with factor p reads its source as S(r, m, k) at complex index r + ido*(m + p*k) and
// writes its destination as D(r, k, j) at r + ido*(k + l1*j), r = 0..ido-1, m and j = 0..p-1,
// k = 0..l1-1: D(r, k, j) = (sum over m of S(r, m, k) * exp(-2 pi i j m / p)) times the
// conjugate of entry r of twiddle block j (block j starting at wa + (j-1)*ido complex entries).
#pragma once

#include <span>

#include "numeric/numeric.hpp"

namespace tramel::numeric {

namespace fft_detail {

// One value of each lane. The operators act lane by lane.
struct Lanes {
  double v[kFftLanes];
};
inline Lanes operator+(const Lanes& a, const Lanes& b) {
  Lanes r;
  for (int q = 0; q < kFftLanes; ++q) r.v[q] = a.v[q] + b.v[q];
  return r;
}
inline Lanes operator-(const Lanes& a, const Lanes& b) {
  Lanes r;
  for (int q = 0; q < kFftLanes; ++q) r.v[q] = a.v[q] - b.v[q];
  return r;
}
inline Lanes operator-(const Lanes& a) {
  Lanes r;
  for (int q = 0; q < kFftLanes; ++q) r.v[q] = -a.v[q];
  return r;
}
inline Lanes operator*(double w, const Lanes& a) {
  Lanes r;
  for (int q = 0; q < kFftLanes; ++q) r.v[q] = w * a.v[q];
  return r;
}

// T is double (one transform) or Lanes.
template <class T>
void passf2(int ido, int l1, const T* cc, T* ch, const double* wa1);
template <class T>
void passf3(int ido, int l1, const T* cc, T* ch, const double* wa1, const double* wa2);
template <class T>
void passf4(int ido, int l1, const T* cc, T* ch, const double* wa1, const double* wa2,
            const double* wa3);
template <class T>
void passf5(int ido, int l1, const T* cc, T* ch, const double* wa1, const double* wa2,
            const double* wa3, const double* wa4);

// Any other factor ip (an odd prime of 7 or more). Uses both arrays as work space. Returns
// true when the result is in `ch` (ido == 1); otherwise the result, twiddles applied, has been
// written back over `cc`.
template <class T>
bool passf(int ido, int ip, int l1, T* cc, T* ch, const double* wa);

}  // namespace fft_detail
}  // namespace tramel::numeric
