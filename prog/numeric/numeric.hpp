// Numerical kernels: the complex FFT (FFT), the chi-square distribution, the Cholesky solve
// and inverse, and the real eigenvalue solver. Matrices are column-major; indices in the
// comments are 1-based as in the formulas, storage is 0-based.
#pragma once

#include <complex>
#include <span>
#include <vector>

#include "textio/textio.hpp"

namespace tramel::numeric {

// ---- Complex FFT (FFT) ----------------------------------------------------------------------

// The table of one transform length n: one complex vector of scratch space used by every
// transform, the twiddle factors of all passes (block after block, in factor order), and the
// factor list in the order the passes apply them. Built once by `cffti`, read by every `cfftf`
// of the same length; because of the scratch area it serves one transform at a time.
struct FftTable {
  int n = 0;
  std::vector<std::complex<double>> scratch;  // n entries
  std::vector<std::complex<double>> twiddle;  // n entries
  std::vector<int> factors;                   // f1 .. f_nfac
};

void cffti(int n, FftTable& table);
// In place, unnormalised forward transform: c(k) = sum_j c(j) exp(-2 pi i j k / n), bin k in
// entry k. `c` holds n values.
void cfftf(int n, std::span<std::complex<double>> c, FftTable& table);

// kFftLanes transforms of one length n side by side, one per lane: entry j of lane q has its
// real part at c[(2j) * kFftLanes + q] and its imaginary part at c[(2j + 1) * kFftLanes + q].
// Each lane goes through exactly the operations of cfftf, in the same order, so each comes out
// bit for bit as cfftf would leave it; the lanes only let the arithmetic run several values
// wide. `work` has the size of c (2 * n * kFftLanes doubles); the table's scratch is not used,
// so the table is only read.
inline constexpr int kFftLanes = 4;
void cfftf_many(int n, std::span<double> c, std::span<double> work, const FftTable& table);
// Loads `count` (at most kFftLanes) consecutive real frames of n samples, starting at `first`,
// into the lanes of c, each sample times w[j] in single precision when `w` is given; lanes past
// `count` are zero.
void load_frames(int n, const float* first, int count, const float* w, std::span<double> c);

// ---- Chi-square distribution -------------------------------------------------------------------

// result = chi-square distribution function with df degrees of freedom at x. Messages go to
// `msg`; on a bad argument the result is left unset.
void chi_square_distribution(float x, float df, float& result, textio::Sink& msg);
float regularized_gamma_p(float a, float x, textio::Sink& msg);
void gamma_series(double& gamser, float a, float x, double& gln, textio::Sink& msg);
void gamma_continued_fraction(double& gammcf, float a, float x, double& gln, textio::Sink& msg);
double log_gamma(double xx);

// ---- Cholesky solve and inverse ---------------------------------------------------------------

// `a` is n x n, column-major. dcholdc reads the upper triangle and the diagonal, writes L's
// strict lower triangle into a and its diagonal into pd; ier = 1 when a pivot is not positive.
void cholesky_factor(std::span<double> a, int n, std::span<double> pd, int& ier);
void cholesky_solve(std::span<const double> a, int n, std::span<const double> pd,
             std::span<const double> b, std::span<double> x);
// Turns the factor into the whole symmetric inverse, both triangles.
void cholesky_inverse(std::span<double> a, int n, std::span<const double> pd);

// ---- Real eigenvalue solver -------------------------------------------------------------------

// `a` is np x np, column-major, single precision; the leading n x n part is used.
// balanc leaves an index alone whose off-diagonal row or column sum is zero or not finite.
void balance(std::span<float> a, int n, int np);
void reduce_to_hessenberg(std::span<float> a, int n, int np);
// Eigenvalues into wr, wi (n entries), from index n downwards; "Too many iterations in hqr"
// to `msg` after 30 iterations without a split, leaving the entries not reached unchanged.
void hessenberg_eigenvalues(std::span<float> a, int n, int np, std::span<float> wr, std::span<float> wi,
         textio::Sink& msg);

}  // namespace tramel::numeric
