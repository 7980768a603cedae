// Numerical kernels: the complex FFT, the chi-square distribution, the Cholesky solve and
// inverse, and the real eigenvalue solver. They depend on the standard library only and write
// nothing: what a kernel has to say in the middle of its work comes back to the caller as a
// value. Matrices are column-major; indices in the comments are 1-based as in the formulas,
// storage is 0-based.
#pragma once

#include <algorithm>
#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tramel::numeric {

using Complex = std::complex<double>;

// ---- Complex FFT -----------------------------------------------------------------------------

// The plan of a forward transform of one length: the factors in the order the passes apply
// them and the twiddle factors of all passes. Built once, immutable afterwards: any number of
// transforms, on any number of threads, read the same plan, each with scratch of its own.
//
// The transform is unnormalised: c(k) = sum_j c(j) exp(-2 pi i j k / n), bin k in entry k,
// with the 2 pi of the twiddles rounded to single precision.
class FftPlan {
 public:
  explicit FftPlan(int length);  // a length below 2 makes a plan that leaves every vector as it is

  int length() const { return length_; }
  std::span<const int> factors() const { return factors_; }
  std::span<const Complex> twiddles() const { return twiddles_; }

  // In place; `values` and `scratch` hold length() values each.
  void forward(std::span<Complex> values, std::span<Complex> scratch) const;
  // In place, allocating its own scratch.
  void forward(std::span<Complex> values) const;

  // kFftLanes transforms side by side, one per lane: entry j of lane q has its real part at
  // lanes[(2j) * kFftLanes + q] and its imaginary part at lanes[(2j + 1) * kFftLanes + q].
  // Each lane goes through exactly the operations of forward(), in the same order, so each
  // comes out bit for bit as forward() would leave it; the lanes only let the arithmetic run
  // several values wide. `work` has the size of `lanes` (2 * length() * kFftLanes doubles).
  void forward_lanes(std::span<double> lanes, std::span<double> work) const;

 private:
  int length_ = 0;
  std::vector<int> factors_;
  std::vector<Complex> twiddles_;
};

inline constexpr int kFftLanes = 4;

// Consecutive real frames of one series, transformed kFftLanes at a time. Owns its lanes, so
// each thread that transforms frames has a batch of its own; the plan is shared.
class FrameBatch {
 public:
  explicit FrameBatch(const FftPlan& plan);

  // Transforms `count` (1 to kFftLanes) frames of length() samples that follow one another
  // from `first`; with `weights` (length() values), each sample is first multiplied by its
  // weight in single precision. Lanes past `count` hold the transform of zeros.
  void transform(const float* first, int count, const float* weights = nullptr);

  // Frames [first, last) of the frames that follow one another from `series`, transformed as
  // above a batch at a time; after each batch, visit(its first frame, its frames) reads it.
  template <class Visit>
  void transform_each(const float* series, std::int64_t first, std::int64_t last, const float* weights,
                      Visit visit) {
    for (std::int64_t f0 = first; f0 < last; f0 += kFftLanes) {
      const int count = static_cast<int>(std::min<std::int64_t>(kFftLanes, last - f0));
      transform(series + f0 * plan_.length(), count, weights);
      visit(f0, count);
    }
  }

  double real(int bin, int lane) const { return lanes_[(2 * index(bin)) * kFftLanes + lane]; }
  double imag(int bin, int lane) const { return lanes_[(2 * index(bin) + 1) * kFftLanes + lane]; }

 private:
  static std::size_t index(int bin) { return static_cast<std::size_t>(bin); }
  const FftPlan& plan_;
  std::vector<double> lanes_;
  std::vector<double> work_;
};

// ---- Chi-square distribution -------------------------------------------------------------------

// What the chi-square routines report besides their result: a bad argument, or an expansion
// of the incomplete gamma function that did not converge. `value` is the argument the message
// names (the statistic, the degrees of freedom, or a).
struct ChiSquareNote {
  enum class Kind : std::uint8_t {
    NegativeStatistic,        // x < 0 in the distribution function
    NegativeDegrees,          // df < 0
    BadGammaArgument,         // x < 0 or a <= 0 in P(a, x)
    NegativeSeriesArgument,   // x < 0 in the power series
    SeriesDidNotConverge,     // 1000 terms of the power series
    FractionDidNotConverge,   // 1000 steps of the continued fraction
  };
  Kind kind;
  float value = 0.0f;
};

// The fallback of P(a, x): the last result computed, which a call that cannot compute one (a
// bad argument, an expansion that does not converge) returns again. It carries from call to
// call through a whole invocation, and so from series to series: every call takes the fallback
// its predecessor left and returns the one it leaves. A series whose band holds a value that is
// not a number (a NaN or an infinity in its data) can therefore take probabilities from the
// series analysed before it.
//
// An analysis that runs ahead of its predecessors does not know yet what they leave behind:
// it starts with `known` false, and a call that then needs the value sets `needed_unknown`,
// telling the owner to repeat that analysis once the value is known.
struct ProbabilityFallback {
  float value = 0.0f;
  bool known = true;
  bool needed_unknown = false;
};

// The chi-square distribution function with `df` degrees of freedom at `x`: P(df/2, x/2),
// with statistics and probabilities below 1e-4 taken as 0. A bad argument leaves no
// probability, only its note; at most one note comes from one call. `fallback` is the
// fallback the call leaves.
struct ChiSquare {
  std::optional<float> probability;
  std::optional<ChiSquareNote> note;
  ProbabilityFallback fallback;
};
ChiSquare chi_square_distribution(float x, float df, ProbabilityFallback fallback);

// P(a, x), the regularised lower incomplete gamma function in single precision: the power
// series below x = a + 1, the continued fraction from there on. A call that cannot compute it
// gives the fallback's value again, with its note.
struct GammaP {
  float value = 0.0f;
  std::optional<ChiSquareNote> note;
  ProbabilityFallback fallback;  // what the call leaves
};
GammaP regularized_gamma_p(float a, float x, ProbabilityFallback fallback);

// The two expansions in double precision. Each gives no value, with its note, when it does
// not converge in 1000 steps (or, for the series, when x < 0).
struct GammaExpansion {
  std::optional<double> value;
  std::optional<ChiSquareNote> note;
};
GammaExpansion gamma_series(float a, float x);               // P(a, x)
GammaExpansion gamma_continued_fraction(float a, float x);   // Q(a, x) = 1 - P(a, x)
double log_gamma(double x);                                  // ln Gamma(x), x > 0

// ---- Cholesky solve and inverse ---------------------------------------------------------------

// `a` is n x n, column-major. The factor reads the upper triangle and the diagonal, writes L's
// strict lower triangle into `a` and its diagonal into `diagonal`; false when a pivot is not
// positive (the matrix is then left partly factored).
bool cholesky_factor(std::span<double> a, int n, std::span<double> diagonal);
// Solves A x = b with the factor; b and x are distinct. b may hold several right-hand sides of
// n values one after another, x as many solutions.
void cholesky_solve(std::span<const double> a, int n, std::span<const double> diagonal,
                    std::span<const double> b, std::span<double> x);
// Turns the factor into the whole symmetric inverse, both triangles.
void cholesky_inverse(std::span<double> a, int n, std::span<const double> diagonal);

// The inverse of a symmetric positive definite matrix in place (n x n, by rows, both
// triangles), through its Cholesky factor U'U in double precision: for the models, which need
// speed, not the long double sums above. False when a pivot is not positive (the matrix is then
// left partly worked). Every inner loop runs along a row, updating entries independently, so the
// compiler takes several at a time; the order of each entry's terms is fixed.
bool invert_positive_definite(std::span<double> a, int n);

// out = the sum over k of weights[k] times row k of `rows` (weights.size() rows of out.size()
// values, one after another): the sums run side by side, each over k in turn; a weight of 0
// adds nothing.
void weighted_row_sum(std::span<const double> weights, std::span<const double> rows, std::span<double> out);

// ---- Real eigenvalue solver -------------------------------------------------------------------

// `a` is n x n, column-major, single precision.
// Balancing by powers of 2; leaves an index alone whose off-diagonal row or column sum is zero
// or not finite.
void balance(std::span<float> a, int n);
// Similar upper Hessenberg form by elimination with row pivoting; the multipliers stay below
// the subdiagonal.
void reduce_to_hessenberg(std::span<float> a, int n);
// Eigenvalues of the Hessenberg matrix into real and imag (n entries each), isolated from index
// n downwards. Returns false when 30 iterations pass without isolating the next one; the
// entries not reached then keep what they held.
bool hessenberg_eigenvalues(std::span<float> a, int n, std::span<float> real,
                            std::span<float> imag);

}  // namespace tramel::numeric
