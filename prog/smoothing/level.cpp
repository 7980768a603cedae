// The level: a damped local trend at sample resolution, its start, and the fit of its weights.
#include <algorithm>
#include <cmath>
#include <limits>

#include "smoothing/smoothing.hpp"

namespace tramel::smoothing {

int LevelWeights::parameters() const {
  // alpha and the starting level and slope, beta with a trend, phi when damped.
  switch (trend) {
    case Trend::Damped:
      return 6;
    case Trend::Linear:
      return 5;
    case Trend::None:
      break;
  }
  return 3;
}

LevelFilter::LevelFilter(const LevelWeights& w, double first_mean, double second_mean,
                         int frame_length)
    : weights(w) {
  if (w.trend == Trend::None) {
    level = first_mean;
    return;
  }
  slope = (second_mean - first_mean) / frame_length;
  level = first_mean - slope * (frame_length + 1) / 2.0;
}

double LevelFit::aic() const {
  const auto n = static_cast<double>(errors);
  // An exact fit leaves no squares: the floor keeps the criterion finite, and the variant of
  // fewest parameters wins the tie.
  const double variance = std::max(squares / n, std::numeric_limits<double>::min());
  return n * std::log(variance) + 2.0 * weights.parameters();
}

namespace {

// A point of the search and the value of the function there.
struct Vertex {
  std::vector<double> x;
  double value = 0.0;
};

// Nelder-Mead minimisation from `start` with the usual coefficients (reflection 1, expansion 2,
// contraction 1/2, shrink 1/2) and a first simplex of 5 % steps (0.00025 for a zero
// coordinate). It stops when the simplex is within 1e-4 of its best vertex in every
// coordinate and its values within a relative 1e-6 of the best, or after 300 iterations.
template <class Function>
Vertex nelder_mead(const Function& f, const std::vector<double>& start) {
  const std::size_t n = start.size();
  std::vector<Vertex> simplex;
  simplex.push_back(Vertex{start, f(start)});
  for (std::size_t k = 0; k < n; ++k) {
    std::vector<double> x = start;
    x[k] = x[k] != 0.0 ? 1.05 * x[k] : 0.00025;
    simplex.push_back(Vertex{x, f(x)});
  }
  const auto order = [&] {
    std::stable_sort(simplex.begin(), simplex.end(),
                     [](const Vertex& a, const Vertex& b) { return a.value < b.value; });
  };
  const auto along = [&](const std::vector<double>& centre, double t) {
    // centre + t (centre - worst)
    std::vector<double> x(n);
    for (std::size_t k = 0; k < n; ++k) x[k] = (1.0 + t) * centre[k] - t * simplex[n].x[k];
    return Vertex{x, f(x)};
  };
  order();
  for (int iteration = 1; iteration < 300; ++iteration) {
    double spread = 0.0, value_spread = 0.0;
    for (std::size_t v = 1; v <= n; ++v) {
      for (std::size_t k = 0; k < n; ++k)
        spread = std::max(spread, std::fabs(simplex[v].x[k] - simplex[0].x[k]));
      value_spread = std::max(value_spread, std::fabs(simplex[v].value - simplex[0].value));
    }
    if (spread <= 1e-4 && value_spread <= 1e-6 * std::fabs(simplex[0].value)) break;

    std::vector<double> centre(n, 0.0);
    for (std::size_t v = 0; v < n; ++v)
      for (std::size_t k = 0; k < n; ++k) centre[k] += simplex[v].x[k];
    for (double& c : centre) c /= static_cast<double>(n);

    const Vertex reflected = along(centre, 1.0);
    bool shrink = false;
    if (reflected.value < simplex[0].value) {
      const Vertex expanded = along(centre, 2.0);
      simplex[n] = expanded.value < reflected.value ? expanded : reflected;
    } else if (reflected.value < simplex[n - 1].value) {
      simplex[n] = reflected;
    } else if (reflected.value < simplex[n].value) {
      const Vertex outside = along(centre, 0.5);
      if (outside.value <= reflected.value) simplex[n] = outside; else shrink = true;
    } else {
      const Vertex inside = along(centre, -0.5);
      if (inside.value < simplex[n].value) simplex[n] = inside; else shrink = true;
    }
    if (shrink) {
      for (std::size_t v = 1; v <= n; ++v) {
        for (std::size_t k = 0; k < n; ++k)
          simplex[v].x[k] = simplex[0].x[k] + 0.5 * (simplex[v].x[k] - simplex[0].x[k]);
        simplex[v].value = f(simplex[v].x);
      }
    }
    order();
  }
  return simplex[0];
}

double logistic(double x, double lo, double hi) { return lo + (hi - lo) / (1.0 + std::exp(-x)); }

// The weights of a point of the search: alpha in (0, 1), beta in (0, alpha / 2), phi in
// (0.8, 1) when damped.
LevelWeights weights_at(const std::vector<double>& q, Trend trend) {
  LevelWeights w;
  w.trend = trend;
  w.alpha = logistic(q[0], 0.0, 1.0);
  if (trend == Trend::None) return w;
  w.beta = w.alpha * logistic(q[1], 0.0, 1.0) * 0.5;
  w.phi = trend == Trend::Damped ? logistic(q[2], 0.8, 1.0) : 1.0;
  return w;
}

double frame_mean(std::span<const double> z, int f, int frame_length) {
  double sum = 0.0;
  for (int j = 0; j < frame_length; ++j) sum += z[static_cast<std::size_t>(f) * frame_length + j];
  return sum / frame_length;
}

}  // namespace

LevelFit fit_level(std::span<const double> z, int frame_length, Trend trend) {
  const double first = frame_mean(z, 0, frame_length);
  const double second = frame_mean(z, 1, frame_length);
  const auto squares = [&](const LevelWeights& w) {
    LevelFilter filter(w, first, second, frame_length);
    double sum = 0.0;
    for (std::size_t t = 0; t < z.size(); ++t) {
      const double e = filter.step(z[t]);
      if (t >= static_cast<std::size_t>(frame_length)) sum += e * e;
    }
    return std::isfinite(sum) ? sum : std::numeric_limits<double>::max();
  };
  std::vector<double> start = {0.0, -2.0, 1.5};
  start.resize(trend == Trend::None ? 1 : trend == Trend::Linear ? 2 : 3);
  const Vertex best = nelder_mead([&](const std::vector<double>& q) { return squares(weights_at(q, trend)); },
                                  start);
  LevelFit fit;
  fit.weights = weights_at(best.x, trend);
  fit.squares = best.value;
  fit.errors = static_cast<std::int64_t>(z.size()) - frame_length;
  return fit;
}

}  // namespace tramel::smoothing
