// The radix passes of the forward transform. Each small transform is written as the classic
// butterfly: sums and differences of the inputs first, then the rotation by the conjugate
// twiddle, real and imaginary parts spelled out. The order of these operations fixes the last
// bits of every coefficient, so it is kept exactly as it stands.
//
// Every pass is written once for a value type T: double for one transform, or Lanes for
// several transforms side by side, where each operation acts lane by lane. A lane thus goes
// through the very operations of the single transform, in the same order.
//
// Inside a butterfly the temporaries keep the classic scheme: t.. are sums and differences of
// input pairs, c.. the weighted combinations formed from them and d.. an output before its
// rotation; r or i says real or imaginary part, the digit the output or pair it belongs to.
// x0, x1, ... point at the inputs of one small transform and y0, y1, ... at its outputs.
#include "numeric/fft_passes.hpp"

namespace tramel::numeric::fft_detail {
namespace {

// d = (xr + i xi) * conj(w): the forward rotation by twiddle w = (cos, sin).
template <class T>
inline void rotate(T* d, const double* w, const T& xr, const T& xi) {
  d[0] = w[0] * xr + w[1] * xi;
  d[1] = w[0] * xi - w[1] * xr;
}

// Cosine and negative sine of 2 pi/3, of 2 pi/5 and of 4 pi/5.
constexpr double kCos2Pi3 = -0.5;
constexpr double kMinusSin2Pi3 = -0.866025403784439;
constexpr double kCos2Pi5 = 0.309016994374947;
constexpr double kMinusSin2Pi5 = -0.951056516295154;
constexpr double kCos4Pi5 = -0.809016994374947;
constexpr double kMinusSin4Pi5 = -0.587785252292473;

}  // namespace

template <class T>
void pass2(int stride, int groups, const T* in, T* out, const double* twiddles) {
  const double* twiddles1 = twiddles;
  // Source S(r, m, k) and destination D(r, k, j) as offsets in values of T.
  auto s = [=](int r, int m, int k) { return 2 * (r + stride * (m + 2 * k)); };
  auto d = [=](int r, int k, int j) { return 2 * (r + stride * (k + groups * j)); };
  if (stride == 1) {
    for (int k = 0; k < groups; ++k) {
      const T* x0 = in + s(0, 0, k);
      const T* x1 = in + s(0, 1, k);
      T* y0 = out + d(0, k, 0);
      T* y1 = out + d(0, k, 1);
      y0[0] = x0[0] + x1[0];
      y1[0] = x0[0] - x1[0];
      y0[1] = x0[1] + x1[1];
      y1[1] = x0[1] - x1[1];
    }
    return;
  }
  for (int k = 0; k < groups; ++k) {
    for (int r = 0; r < stride; ++r) {
      const T* x0 = in + s(r, 0, k);
      const T* x1 = in + s(r, 1, k);
      T* y0 = out + d(r, k, 0);
      y0[0] = x0[0] + x1[0];
      const T tr2 = x0[0] - x1[0];
      y0[1] = x0[1] + x1[1];
      const T ti2 = x0[1] - x1[1];
      rotate(out + d(r, k, 1), twiddles1 + 2 * r, tr2, ti2);
    }
  }
}

template <class T>
void pass3(int stride, int groups, const T* in, T* out, const double* twiddles) {
  const double* twiddles1 = twiddles;
  const double* twiddles2 = twiddles1 + 2 * stride;
  auto s = [=](int r, int m, int k) { return 2 * (r + stride * (m + 3 * k)); };
  auto d = [=](int r, int k, int j) { return 2 * (r + stride * (k + groups * j)); };
  for (int k = 0; k < groups; ++k) {
    for (int r = 0; r < stride; ++r) {
      const T* x0 = in + s(r, 0, k);
      const T* x1 = in + s(r, 1, k);
      const T* x2 = in + s(r, 2, k);
      T* y0 = out + d(r, k, 0);
      const T tr2 = x1[0] + x2[0];
      const T cr2 = x0[0] + kCos2Pi3 * tr2;
      y0[0] = x0[0] + tr2;
      const T ti2 = x1[1] + x2[1];
      const T ci2 = x0[1] + kCos2Pi3 * ti2;
      y0[1] = x0[1] + ti2;
      const T cr3 = kMinusSin2Pi3 * (x1[0] - x2[0]);
      const T ci3 = kMinusSin2Pi3 * (x1[1] - x2[1]);
      const T dr2 = cr2 - ci3;
      const T dr3 = cr2 + ci3;
      const T di2 = ci2 + cr3;
      const T di3 = ci2 - cr3;
      T* y1 = out + d(r, k, 1);
      T* y2 = out + d(r, k, 2);
      if (stride == 1) {
        y1[0] = dr2;
        y2[0] = dr3;
        y1[1] = di2;
        y2[1] = di3;
      } else {
        rotate(y1, twiddles1 + 2 * r, dr2, di2);
        rotate(y2, twiddles2 + 2 * r, dr3, di3);
      }
    }
  }
}

template <class T>
void pass4(int stride, int groups, const T* in, T* out, const double* twiddles) {
  const double* twiddles1 = twiddles;
  const double* twiddles2 = twiddles1 + 2 * stride;
  const double* twiddles3 = twiddles2 + 2 * stride;
  auto s = [=](int r, int m, int k) { return 2 * (r + stride * (m + 4 * k)); };
  auto d = [=](int r, int k, int j) { return 2 * (r + stride * (k + groups * j)); };
  for (int k = 0; k < groups; ++k) {
    for (int r = 0; r < stride; ++r) {
      const T* x0 = in + s(r, 0, k);
      const T* x1 = in + s(r, 1, k);
      const T* x2 = in + s(r, 2, k);
      const T* x3 = in + s(r, 3, k);
      const T ti1 = x0[1] - x2[1];
      const T ti2 = x0[1] + x2[1];
      const T ti3 = x1[1] + x3[1];
      const T tr4 = x1[1] - x3[1];
      const T tr1 = x0[0] - x2[0];
      const T tr2 = x0[0] + x2[0];
      const T ti4 = x3[0] - x1[0];
      const T tr3 = x1[0] + x3[0];
      T* y0 = out + d(r, k, 0);
      y0[0] = tr2 + tr3;
      const T cr3 = tr2 - tr3;
      y0[1] = ti2 + ti3;
      const T ci3 = ti2 - ti3;
      const T cr2 = tr1 + tr4;
      const T cr4 = tr1 - tr4;
      const T ci2 = ti1 + ti4;
      const T ci4 = ti1 - ti4;
      T* y1 = out + d(r, k, 1);
      T* y2 = out + d(r, k, 2);
      T* y3 = out + d(r, k, 3);
      if (stride == 1) {
        y1[0] = cr2;
        y1[1] = ci2;
        y2[0] = cr3;
        y2[1] = ci3;
        y3[0] = cr4;
        y3[1] = ci4;
      } else {
        rotate(y1, twiddles1 + 2 * r, cr2, ci2);
        rotate(y2, twiddles2 + 2 * r, cr3, ci3);
        rotate(y3, twiddles3 + 2 * r, cr4, ci4);
      }
    }
  }
}

template <class T>
void pass5(int stride, int groups, const T* in, T* out, const double* twiddles) {
  const double* twiddles1 = twiddles;
  const double* twiddles2 = twiddles1 + 2 * stride;
  const double* twiddles3 = twiddles2 + 2 * stride;
  const double* twiddles4 = twiddles3 + 2 * stride;
  auto s = [=](int r, int m, int k) { return 2 * (r + stride * (m + 5 * k)); };
  auto d = [=](int r, int k, int j) { return 2 * (r + stride * (k + groups * j)); };
  for (int k = 0; k < groups; ++k) {
    for (int r = 0; r < stride; ++r) {
      const T* x0 = in + s(r, 0, k);
      const T* x1 = in + s(r, 1, k);
      const T* x2 = in + s(r, 2, k);
      const T* x3 = in + s(r, 3, k);
      const T* x4 = in + s(r, 4, k);
      const T ti5 = x1[1] - x4[1];
      const T ti2 = x1[1] + x4[1];
      const T ti4 = x2[1] - x3[1];
      const T ti3 = x2[1] + x3[1];
      const T tr5 = x1[0] - x4[0];
      const T tr2 = x1[0] + x4[0];
      const T tr4 = x2[0] - x3[0];
      const T tr3 = x2[0] + x3[0];
      T* y0 = out + d(r, k, 0);
      y0[0] = x0[0] + tr2 + tr3;
      y0[1] = x0[1] + ti2 + ti3;
      const T cr2 = x0[0] + kCos2Pi5 * tr2 + kCos4Pi5 * tr3;
      const T ci2 = x0[1] + kCos2Pi5 * ti2 + kCos4Pi5 * ti3;
      const T cr3 = x0[0] + kCos4Pi5 * tr2 + kCos2Pi5 * tr3;
      const T ci3 = x0[1] + kCos4Pi5 * ti2 + kCos2Pi5 * ti3;
      const T cr5 = kMinusSin2Pi5 * tr5 + kMinusSin4Pi5 * tr4;
      const T ci5 = kMinusSin2Pi5 * ti5 + kMinusSin4Pi5 * ti4;
      const T cr4 = kMinusSin4Pi5 * tr5 - kMinusSin2Pi5 * tr4;
      const T ci4 = kMinusSin4Pi5 * ti5 - kMinusSin2Pi5 * ti4;
      const T dr3 = cr3 - ci4;
      const T dr4 = cr3 + ci4;
      const T di3 = ci3 + cr4;
      const T di4 = ci3 - cr4;
      const T dr5 = cr2 + ci5;
      const T dr2 = cr2 - ci5;
      const T di5 = ci2 - cr5;
      const T di2 = ci2 + cr5;
      T* y1 = out + d(r, k, 1);
      T* y2 = out + d(r, k, 2);
      T* y3 = out + d(r, k, 3);
      T* y4 = out + d(r, k, 4);
      if (stride == 1) {
        y1[0] = dr2;
        y1[1] = di2;
        y2[0] = dr3;
        y2[1] = di3;
        y3[0] = dr4;
        y3[1] = di4;
        y4[0] = dr5;
        y4[1] = di5;
      } else {
        rotate(y1, twiddles1 + 2 * r, dr2, di2);
        rotate(y2, twiddles2 + 2 * r, dr3, di3);
        rotate(y3, twiddles3 + 2 * r, dr4, di4);
        rotate(y4, twiddles4 + 2 * r, dr5, di5);
      }
    }
  }
}

// The general odd factor. The small transform pairs inputs m and factor - m:
//   step 1: sums and differences of the pairs into out;
//   step 2: for each output pair (l, factor - l), the cosine-weighted sums of the pair sums and
//           the negative-sine-weighted sums of the pair differences into in, the cosines and
//           sines of 2 pi j/factor read from the first entries of the twiddle blocks;
//   step 3: output 0 as the plain sum, then the outputs l and factor - l combined into out;
//   step 4: when stride > 1, everything rotated by its twiddle back into in.
// The inputs pair up as j and its mirror factor - j, j = 1..half-1. Viewed flat, block j of
// either array is stride*groups consecutive complex values.
template <class T>
bool pass_general(int stride, int factor, int groups, T* in, T* out, const double* twiddles) {
  constexpr int kShortBlock = 16;  // values of T
  const int half = (factor + 1) / 2;
  const int flat_size = 2 * stride * groups;  // values of T per block of the flat view
  auto s = [=](int r, int m, int k) { return 2 * (r + stride * (m + factor * k)); };
  auto d = [=](int r, int k, int j) { return 2 * (r + stride * (k + groups * j)); };
  auto flat = [=](T* a, int j) { return a + static_cast<long>(flat_size) * j; };
  // First entry of twiddle block j: (cos, sin) of 2 pi j/factor.
  auto root = [=](int j) { return twiddles + static_cast<long>(2) * stride * (j - 1); };

  for (int j = 1; j < half; ++j) {
    const int mirror = factor - j;
    for (int k = 0; k < groups; ++k) {
      const T* x_j = in + s(0, j, k);
      const T* x_mirror = in + s(0, mirror, k);
      T* y_j = out + d(0, k, j);
      T* y_mirror = out + d(0, k, mirror);
      for (int i = 0; i < 2 * stride; ++i) {
        y_j[i] = x_j[i] + x_mirror[i];
        y_mirror[i] = x_j[i] - x_mirror[i];
      }
    }
  }
  for (int k = 0; k < groups; ++k) {
    const T* x0 = in + s(0, 0, k);
    T* y0 = out + d(0, k, 0);
    for (int i = 0; i < 2 * stride; ++i) y0[i] = x0[i];
  }

  for (int l = 1; l < half; ++l) {
    T* cos_part = flat(in, l);
    T* sin_part = flat(in, factor - l);
    const double* w = root(l);
    const T* sums0 = flat(out, 0);
    const T* sums1 = flat(out, 1);
    const T* differences1 = flat(out, factor - 1);
    if (flat_size <= kShortBlock) {
      // Few values per block (a length made mostly of this one large factor): each complex
      // value's sums run to their end in registers, with the same operations in the same
      // order as the block-wise loops below.
      for (int i = 0; i < flat_size; i += 2) {
        T cos_re = sums0[i] + w[0] * sums1[i];
        T cos_im = sums0[i + 1] + w[0] * sums1[i + 1];
        T sin_re = -(w[1] * differences1[i]);
        T sin_im = -(w[1] * differences1[i + 1]);
        int b = l;
        for (int j = 2; j < half; ++j) {
          b += l;
          if (b >= factor) b -= factor;
          const double* w_b = root(b);
          const T* sums_j = flat(out, j) + i;
          const T* differences_j = flat(out, factor - j) + i;
          cos_re = cos_re + w_b[0] * sums_j[0];
          cos_im = cos_im + w_b[0] * sums_j[1];
          sin_re = sin_re - w_b[1] * differences_j[0];
          sin_im = sin_im - w_b[1] * differences_j[1];
        }
        cos_part[i] = cos_re;
        cos_part[i + 1] = cos_im;
        sin_part[i] = sin_re;
        sin_part[i + 1] = sin_im;
      }
      continue;
    }
    for (int i = 0; i < flat_size; ++i) {
      cos_part[i] = sums0[i] + w[0] * sums1[i];
      sin_part[i] = -(w[1] * differences1[i]);
    }
    int b = l;  // block of the root for output l and pair j: l*j mod factor
    for (int j = 2; j < half; ++j) {
      const int mirror = factor - j;
      b += l;
      if (b >= factor) b -= factor;
      const double cos_b = root(b)[0];
      const double sin_b = root(b)[1];
      const T* sums_j = flat(out, j);
      const T* differences_j = flat(out, mirror);
      for (int i = 0; i < flat_size; ++i) {
        cos_part[i] = cos_part[i] + cos_b * sums_j[i];
        sin_part[i] = sin_part[i] - sin_b * differences_j[i];
      }
    }
  }

  T* output0 = flat(out, 0);
  for (int j = 1; j < half; ++j) {
    const T* sums_j = flat(out, j);
    for (int i = 0; i < flat_size; ++i) output0[i] = output0[i] + sums_j[i];
  }
  for (int j = 1; j < half; ++j) {
    const int mirror = factor - j;
    const T* cos_j = flat(in, j);
    const T* sin_j = flat(in, mirror);
    T* output_j = flat(out, j);
    T* output_mirror = flat(out, mirror);
    for (int i = 0; i < flat_size; i += 2) {
      output_j[i] = cos_j[i] - sin_j[i + 1];
      output_mirror[i] = cos_j[i] + sin_j[i + 1];
      output_j[i + 1] = cos_j[i + 1] + sin_j[i];
      output_mirror[i + 1] = cos_j[i + 1] - sin_j[i];
    }
  }
  if (stride == 1) return true;

  // Output 0 and the entries r = 0 go back unrotated; the rest with the twiddle of entry r
  // of block j, in the destination layout over the source array.
  {
    T* back0 = flat(in, 0);
    for (int i = 0; i < flat_size; ++i) back0[i] = output0[i];
  }
  for (int j = 1; j < factor; ++j) {
    const double* w = root(j);
    for (int k = 0; k < groups; ++k) {
      const T* from = out + d(0, k, j);
      T* to = in + d(0, k, j);
      to[0] = from[0];
      to[1] = from[1];
      for (int r = 1; r < stride; ++r)
        rotate(to + 2 * r, w + 2 * r, from[2 * r], from[2 * r + 1]);
    }
  }
  return false;
}

// The single transform and the transforms side by side.
#define TRAMEL_FFT_PASSES(T)                                              \
  template void pass2<T>(int, int, const T*, T*, const double*);          \
  template void pass3<T>(int, int, const T*, T*, const double*);          \
  template void pass4<T>(int, int, const T*, T*, const double*);          \
  template void pass5<T>(int, int, const T*, T*, const double*);          \
  template bool pass_general<T>(int, int, int, T*, T*, const double*);
TRAMEL_FFT_PASSES(double)
TRAMEL_FFT_PASSES(Lanes)
#undef TRAMEL_FFT_PASSES

}  // namespace tramel::numeric::fft_detail
