// The passes of the forward transform, private to the FFT plan, and the batched transform built on
// them. Every array is a run of complex values stored as interleaved values of T (real part
// first).
//
// A pass applies one factor p of the length n. `groups` is the product of the factors applied
// before it and `stride` = n / (groups * p) the distance, in complex entries, between the
// inputs of one small transform. The pass reads its source as S(r, m, k) at complex index
// r + stride*(m + p*k) and writes its destination as D(r, k, j) at r + stride*(k + groups*j),
// r = 0..stride-1, m and j = 0..p-1, k = 0..groups-1:
//   D(r, k, j) = (sum over m of S(r, m, k) * exp(-2 pi i j m / p)) * conj(W(j, r)),
// W(j, r) the entry r of twiddle block j, which starts at (j-1)*stride complex entries from
// the pass's `twiddles`.
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

// T is double (one transform) or Lanes. Every pass has the same arguments; the passes of the
// factors 2 to 5 leave their result in `out`.
template <class T>
void pass2(int stride, int groups, const T* in, T* out, const double* twiddles);
template <class T>
void pass3(int stride, int groups, const T* in, T* out, const double* twiddles);
template <class T>
void pass4(int stride, int groups, const T* in, T* out, const double* twiddles);
template <class T>
void pass5(int stride, int groups, const T* in, T* out, const double* twiddles);

// Any other factor (an odd prime of 7 or more). Uses both arrays as work space. Returns true
// when the result is in `out` (stride == 1); otherwise the result, twiddles applied, has been
// written back over `in`.
template <class T>
bool pass_general(int stride, int factor, int groups, T* in, T* out, const double* twiddles);

}  // namespace fft_detail
}  // namespace tramel::numeric
