// The radix passes of the forward transform. Each small transform is written as the classic
// butterfly: sums and differences of the inputs first, then the rotation by the conjugate
// twiddle, real and imaginary parts spelled out. The order of these operations fixes the last
// bits of every coefficient, so it is kept exactly as it stands.
//
// Every pass is written once for a value type T: double for one transform, or Lanes for
// several transforms side by side, where each operation acts lane by lane. A lane thus goes
// through the very operations of the single transform, in the same order.
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
constexpr double kTaur = -0.5;
constexpr double kTaui = -0.866025403784439;
constexpr double kTr11 = 0.309016994374947;
constexpr double kTi11 = -0.951056516295154;
constexpr double kTr12 = -0.809016994374947;
constexpr double kTi12 = -0.587785252292473;

}  // namespace

template <class T>
void passf2(int ido, int l1, const T* cc, T* ch, const double* wa1) {
  // Source S(r, m, k) and destination D(r, k, j) as offsets in values of T.
  auto s = [=](int r, int m, int k) { return 2 * (r + ido * (m + 2 * k)); };
  auto d = [=](int r, int k, int j) { return 2 * (r + ido * (k + l1 * j)); };
  if (ido == 1) {
    for (int k = 0; k < l1; ++k) {
      const T* x0 = cc + s(0, 0, k);
      const T* x1 = cc + s(0, 1, k);
      T* y0 = ch + d(0, k, 0);
      T* y1 = ch + d(0, k, 1);
      y0[0] = x0[0] + x1[0];
      y1[0] = x0[0] - x1[0];
      y0[1] = x0[1] + x1[1];
      y1[1] = x0[1] - x1[1];
    }
    return;
  }
  for (int k = 0; k < l1; ++k) {
    for (int r = 0; r < ido; ++r) {
      const T* x0 = cc + s(r, 0, k);
      const T* x1 = cc + s(r, 1, k);
      T* y0 = ch + d(r, k, 0);
      y0[0] = x0[0] + x1[0];
      const T tr2 = x0[0] - x1[0];
      y0[1] = x0[1] + x1[1];
      const T ti2 = x0[1] - x1[1];
      rotate(ch + d(r, k, 1), wa1 + 2 * r, tr2, ti2);
    }
  }
}

template <class T>
void passf3(int ido, int l1, const T* cc, T* ch, const double* wa1, const double* wa2) {
  auto s = [=](int r, int m, int k) { return 2 * (r + ido * (m + 3 * k)); };
  auto d = [=](int r, int k, int j) { return 2 * (r + ido * (k + l1 * j)); };
  for (int k = 0; k < l1; ++k) {
    for (int r = 0; r < ido; ++r) {
      const T* x0 = cc + s(r, 0, k);
      const T* x1 = cc + s(r, 1, k);
      const T* x2 = cc + s(r, 2, k);
      T* y0 = ch + d(r, k, 0);
      const T tr2 = x1[0] + x2[0];
      const T cr2 = x0[0] + kTaur * tr2;
      y0[0] = x0[0] + tr2;
      const T ti2 = x1[1] + x2[1];
      const T ci2 = x0[1] + kTaur * ti2;
      y0[1] = x0[1] + ti2;
      const T cr3 = kTaui * (x1[0] - x2[0]);
      const T ci3 = kTaui * (x1[1] - x2[1]);
      const T dr2 = cr2 - ci3;
      const T dr3 = cr2 + ci3;
      const T di2 = ci2 + cr3;
      const T di3 = ci2 - cr3;
      T* y1 = ch + d(r, k, 1);
      T* y2 = ch + d(r, k, 2);
      if (ido == 1) {
        y1[0] = dr2;
        y2[0] = dr3;
        y1[1] = di2;
        y2[1] = di3;
      } else {
        rotate(y1, wa1 + 2 * r, dr2, di2);
        rotate(y2, wa2 + 2 * r, dr3, di3);
      }
    }
  }
}

template <class T>
void passf4(int ido, int l1, const T* cc, T* ch, const double* wa1, const double* wa2,
            const double* wa3) {
  auto s = [=](int r, int m, int k) { return 2 * (r + ido * (m + 4 * k)); };
  auto d = [=](int r, int k, int j) { return 2 * (r + ido * (k + l1 * j)); };
  for (int k = 0; k < l1; ++k) {
    for (int r = 0; r < ido; ++r) {
      const T* x0 = cc + s(r, 0, k);
      const T* x1 = cc + s(r, 1, k);
      const T* x2 = cc + s(r, 2, k);
      const T* x3 = cc + s(r, 3, k);
      const T ti1 = x0[1] - x2[1];
      const T ti2 = x0[1] + x2[1];
      const T ti3 = x1[1] + x3[1];
      const T tr4 = x1[1] - x3[1];
      const T tr1 = x0[0] - x2[0];
      const T tr2 = x0[0] + x2[0];
      const T ti4 = x3[0] - x1[0];
      const T tr3 = x1[0] + x3[0];
      T* y0 = ch + d(r, k, 0);
      y0[0] = tr2 + tr3;
      const T cr3 = tr2 - tr3;
      y0[1] = ti2 + ti3;
      const T ci3 = ti2 - ti3;
      const T cr2 = tr1 + tr4;
      const T cr4 = tr1 - tr4;
      const T ci2 = ti1 + ti4;
      const T ci4 = ti1 - ti4;
      T* y1 = ch + d(r, k, 1);
      T* y2 = ch + d(r, k, 2);
      T* y3 = ch + d(r, k, 3);
      if (ido == 1) {
        y1[0] = cr2;
        y1[1] = ci2;
        y2[0] = cr3;
        y2[1] = ci3;
        y3[0] = cr4;
        y3[1] = ci4;
      } else {
        rotate(y1, wa1 + 2 * r, cr2, ci2);
        rotate(y2, wa2 + 2 * r, cr3, ci3);
        rotate(y3, wa3 + 2 * r, cr4, ci4);
      }
    }
  }
}

template <class T>
void passf5(int ido, int l1, const T* cc, T* ch, const double* wa1, const double* wa2,
            const double* wa3, const double* wa4) {
  auto s = [=](int r, int m, int k) { return 2 * (r + ido * (m + 5 * k)); };
  auto d = [=](int r, int k, int j) { return 2 * (r + ido * (k + l1 * j)); };
  for (int k = 0; k < l1; ++k) {
    for (int r = 0; r < ido; ++r) {
      const T* x0 = cc + s(r, 0, k);
      const T* x1 = cc + s(r, 1, k);
      const T* x2 = cc + s(r, 2, k);
      const T* x3 = cc + s(r, 3, k);
      const T* x4 = cc + s(r, 4, k);
      const T ti5 = x1[1] - x4[1];
      const T ti2 = x1[1] + x4[1];
      const T ti4 = x2[1] - x3[1];
      const T ti3 = x2[1] + x3[1];
      const T tr5 = x1[0] - x4[0];
      const T tr2 = x1[0] + x4[0];
      const T tr4 = x2[0] - x3[0];
      const T tr3 = x2[0] + x3[0];
      T* y0 = ch + d(r, k, 0);
      y0[0] = x0[0] + tr2 + tr3;
      y0[1] = x0[1] + ti2 + ti3;
      const T cr2 = x0[0] + kTr11 * tr2 + kTr12 * tr3;
      const T ci2 = x0[1] + kTr11 * ti2 + kTr12 * ti3;
      const T cr3 = x0[0] + kTr12 * tr2 + kTr11 * tr3;
      const T ci3 = x0[1] + kTr12 * ti2 + kTr11 * ti3;
      const T cr5 = kTi11 * tr5 + kTi12 * tr4;
      const T ci5 = kTi11 * ti5 + kTi12 * ti4;
      const T cr4 = kTi12 * tr5 - kTi11 * tr4;
      const T ci4 = kTi12 * ti5 - kTi11 * ti4;
      const T dr3 = cr3 - ci4;
      const T dr4 = cr3 + ci4;
      const T di3 = ci3 + cr4;
      const T di4 = ci3 - cr4;
      const T dr5 = cr2 + ci5;
      const T dr2 = cr2 - ci5;
      const T di5 = ci2 - cr5;
      const T di2 = ci2 + cr5;
      T* y1 = ch + d(r, k, 1);
      T* y2 = ch + d(r, k, 2);
      T* y3 = ch + d(r, k, 3);
      T* y4 = ch + d(r, k, 4);
      if (ido == 1) {
        y1[0] = dr2;
        y1[1] = di2;
        y2[0] = dr3;
        y2[1] = di3;
        y3[0] = dr4;
        y3[1] = di4;
        y4[0] = dr5;
        y4[1] = di5;
      } else {
        rotate(y1, wa1 + 2 * r, dr2, di2);
        rotate(y2, wa2 + 2 * r, dr3, di3);
        rotate(y3, wa3 + 2 * r, dr4, di4);
        rotate(y4, wa4 + 2 * r, dr5, di5);
      }
    }
  }
}

// The general odd factor. The small transform pairs inputs m and ip - m:
//   step 1: sums and differences of the pairs into ch;
//   step 2: for each output pair (l, ip - l), the cosine-weighted sums of the pair sums and
//           the negative-sine-weighted sums of the pair differences into cc, the cosines and
//           sines of 2 pi j/ip read from the first entries of the twiddle blocks;
//   step 3: output 0 as the plain sum, then the outputs l and ip - l combined into ch;
//   step 4: when ido > 1, everything rotated by its twiddle back into cc.
// Viewed flat, block j of either array is idl1 = ido*l1 consecutive complex values.
template <class T>
bool passf(int ido, int ip, int l1, T* cc, T* ch, const double* wa) {
  constexpr int kShortBlock = 16;  // values of T
  const int ipph = (ip + 1) / 2;
  const int nflat = 2 * ido * l1;  // values of T per block of the flat view
  auto s = [=](int r, int m, int k) { return 2 * (r + ido * (m + ip * k)); };
  auto d = [=](int r, int k, int j) { return 2 * (r + ido * (k + l1 * j)); };
  auto flat = [=](T* a, int j) { return a + static_cast<long>(nflat) * j; };
  // First entry of twiddle block j: (cos, sin) of 2 pi j/ip.
  auto root = [=](int j) { return wa + static_cast<long>(2) * ido * (j - 1); };

  for (int j = 1; j < ipph; ++j) {
    const int jc = ip - j;
    for (int k = 0; k < l1; ++k) {
      const T* xj = cc + s(0, j, k);
      const T* xjc = cc + s(0, jc, k);
      T* yj = ch + d(0, k, j);
      T* yjc = ch + d(0, k, jc);
      for (int i = 0; i < 2 * ido; ++i) {
        yj[i] = xj[i] + xjc[i];
        yjc[i] = xj[i] - xjc[i];
      }
    }
  }
  for (int k = 0; k < l1; ++k) {
    const T* x0 = cc + s(0, 0, k);
    T* y0 = ch + d(0, k, 0);
    for (int i = 0; i < 2 * ido; ++i) y0[i] = x0[i];
  }

  for (int l = 1; l < ipph; ++l) {
    const int lc = ip - l;
    T* cl = flat(cc, l);
    T* clc = flat(cc, lc);
    const double* w = root(l);
    const T* h0 = flat(ch, 0);
    const T* h1 = flat(ch, 1);
    const T* hlast = flat(ch, ip - 1);
    if (nflat <= kShortBlock) {
      // Few values per block (a length made mostly of this one large factor): each complex
      // value's sums run to their end in registers, with the same operations in the same
      // order as the block-wise loops below.
      for (int i = 0; i < nflat; i += 2) {
        T sr = h0[i] + w[0] * h1[i];
        T si = h0[i + 1] + w[0] * h1[i + 1];
        T dr = -(w[1] * hlast[i]);
        T di = -(w[1] * hlast[i + 1]);
        int b = l;
        for (int j = 2; j < ipph; ++j) {
          b += l;
          if (b >= ip) b -= ip;
          const double* wb = root(b);
          const T* hj = flat(ch, j) + i;
          const T* hjc = flat(ch, ip - j) + i;
          sr = sr + wb[0] * hj[0];
          si = si + wb[0] * hj[1];
          dr = dr - wb[1] * hjc[0];
          di = di - wb[1] * hjc[1];
        }
        cl[i] = sr;
        cl[i + 1] = si;
        clc[i] = dr;
        clc[i + 1] = di;
      }
      continue;
    }
    for (int i = 0; i < nflat; ++i) {
      cl[i] = h0[i] + w[0] * h1[i];
      clc[i] = -(w[1] * hlast[i]);
    }
    int b = l;  // block of the root for output l and pair j: l*j mod ip
    for (int j = 2; j < ipph; ++j) {
      const int jc = ip - j;
      b += l;
      if (b >= ip) b -= ip;
      const double war = root(b)[0];
      const double wai = root(b)[1];
      const T* hj = flat(ch, j);
      const T* hjc = flat(ch, jc);
      for (int i = 0; i < nflat; ++i) {
        cl[i] = cl[i] + war * hj[i];
        clc[i] = clc[i] - wai * hjc[i];
      }
    }
  }

  T* h0 = flat(ch, 0);
  for (int j = 1; j < ipph; ++j) {
    const T* hj = flat(ch, j);
    for (int i = 0; i < nflat; ++i) h0[i] = h0[i] + hj[i];
  }
  for (int j = 1; j < ipph; ++j) {
    const int jc = ip - j;
    const T* cj = flat(cc, j);
    const T* cjc = flat(cc, jc);
    T* hj = flat(ch, j);
    T* hjc = flat(ch, jc);
    for (int i = 0; i < nflat; i += 2) {
      hj[i] = cj[i] - cjc[i + 1];
      hjc[i] = cj[i] + cjc[i + 1];
      hj[i + 1] = cj[i + 1] + cjc[i];
      hjc[i + 1] = cj[i + 1] - cjc[i];
    }
  }
  if (ido == 1) return true;

  // Output 0 and the entries r = 0 go back unrotated; the rest with the twiddle of entry r
  // of block j, in the destination layout over the source array.
  {
    T* c0 = flat(cc, 0);
    for (int i = 0; i < nflat; ++i) c0[i] = h0[i];
  }
  for (int j = 1; j < ip; ++j) {
    const double* w = root(j);
    for (int k = 0; k < l1; ++k) {
      const T* y = ch + d(0, k, j);
      T* z = cc + d(0, k, j);
      z[0] = y[0];
      z[1] = y[1];
      for (int r = 1; r < ido; ++r) rotate(z + 2 * r, w + 2 * r, y[2 * r], y[2 * r + 1]);
    }
  }
  return false;
}

// The single transform and the transforms side by side.
#define TRAMEL_DFFT_PASSES(T)                                                                    \
  template void passf2<T>(int, int, const T*, T*, const double*);                                \
  template void passf3<T>(int, int, const T*, T*, const double*, const double*);                 \
  template void passf4<T>(int, int, const T*, T*, const double*, const double*, const double*);  \
  template void passf5<T>(int, int, const T*, T*, const double*, const double*, const double*,   \
                          const double*);                                                        \
  template bool passf<T>(int, int, int, T*, T*, const double*);
TRAMEL_DFFT_PASSES(double)
TRAMEL_DFFT_PASSES(Lanes)
#undef TRAMEL_DFFT_PASSES

}  // namespace tramel::numeric::fft_detail
