// The passes of the forward transform, private to dfft. Every array is a run of complex values
// stored as interleaved doubles (real part first); `ido` counts complex entries.
//
// A pass with factor p reads its source as S(r, m, k) at complex index r + ido*(m + p*k) and
// writes its destination as D(r, k, j) at r + ido*(k + l1*j), r = 0..ido-1, m and j = 0..p-1,
// k = 0..l1-1: D(r, k, j) = (sum over m of S(r, m, k) * exp(-2 pi i j m / p)) times the
// conjugate of entry r of twiddle block j (block j starting at wa + (j-1)*ido complex entries).
#pragma once

namespace tramel::numeric::dfft_detail {

void passf2(int ido, int l1, const double* cc, double* ch, const double* wa1);
void passf3(int ido, int l1, const double* cc, double* ch, const double* wa1,
            const double* wa2);
void passf4(int ido, int l1, const double* cc, double* ch, const double* wa1,
            const double* wa2, const double* wa3);
void passf5(int ido, int l1, const double* cc, double* ch, const double* wa1,
            const double* wa2, const double* wa3, const double* wa4);

// Any other factor ip (an odd prime of 7 or more). Uses both arrays as work space. Returns
// true when the result is in `ch` (ido == 1); otherwise the result, twiddles applied, has been
// written back over `cc`.
bool passf(int ido, int ip, int l1, double* cc, double* ch, const double* wa);

}  // namespace tramel::numeric::dfft_detail
