// The rolling-origin study of the forecast models: for every series of the study, the backtest
// of `as-specified`, `changes`, `levels`, `auto` and seasonal naive at each step ahead, printed
// as Markdown tables (bench/README-models.md holds them). The generated series are written to
// OUT_DIR with the real ones, one value a line, so that bench/peers_models.py scores the peers
// on the very same values and origins.
//
// Usage: tramel_model_study SOURCE_DIR OUT_DIR [THREADS]
#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "backtest/backtest.hpp"

namespace {

using tramel::backtest::Method;

struct Series {
  std::string name;
  std::vector<float> values;
  tramel::backtest::Settings settings;
};

// Column `column` of the records of a whitespace-separated file after `skip` header lines.
std::vector<float> read_column(const std::string& path, int skip, int column) {
  std::ifstream in(path);
  std::string line;
  std::vector<float> values;
  for (int i = 0; i < skip && std::getline(in, line); ++i) {
  }
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string field;
    for (int c = 0; c <= column && fields >> field; ++c) {
      if (c == column) values.push_back(std::stof(field));
    }
  }
  return values;
}

tramel::backtest::Settings monthly(int first_bin, int last_bin, int lags, int ahead) {
  tramel::backtest::Settings s;
  s.band = {12, first_bin, last_bin, 0.0f};
  s.threshold = 0.99f;
  s.lags = lags;
  s.frames_ahead = ahead;
  s.levels = {80.0f, 95.0f};
  return s;
}

// Normal deviates by Box-Muller from a fixed generator: the same values on every platform.
struct Noise {
  std::mt19937 gen;
  explicit Noise(unsigned seed) : gen(seed) {}
  double operator()() {
    const double u1 = (gen() + 1.0) / 4294967297.0;
    const double u2 = (gen() + 1.0) / 4294967297.0;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
  }
};

// `years` of a monthly cycle with noise: `shift` added from year `shift_year` on, `drift` per
// month, and a yearly level that follows an AR(1) with coefficient `level_ar` (1: a random walk).
std::vector<float> generated(unsigned seed, int years, double shift, int shift_year, double drift,
                             double level_ar) {
  Noise noise(seed);
  std::vector<float> x;
  double level = 0.0;
  for (int t = 0; t < 12 * years; ++t) {
    if (t % 12 == 0) level = level_ar * level + 1.0 * noise();
    const double phase = 2.0 * std::numbers::pi * t / 12.0;
    const double v = 50.0 + 4.0 * std::sin(phase) + 1.5 * std::cos(2.0 * phase) +
                     (t >= 12 * shift_year ? shift : 0.0) + drift * t + level + 0.8 * noise();
    x.push_back(static_cast<float>(v));
  }
  return x;
}

void write(const std::string& path, const std::vector<float>& v) {
  std::ofstream out(path);
  char buffer[32];
  for (const float x : v) {
    std::snprintf(buffer, sizeof buffer, "%.6g\n", x);
    out << buffer;
  }
}

// `auto` chosen honestly: at each origin by the backtest of the data before it alone, and
// scored one frame ahead at that origin. The mean of those MASE values.
double nested_auto(const Series& s, int first_origin, int origins) {
  const int lb = s.settings.band.frame_length;
  const tramel::numeric::FftPlan plan(lb);
  double sum = 0.0;
  int n = 0;
  for (int o = first_origin; o < first_origin + origins; ++o) {
    const std::vector<float> before(s.values.begin(), s.values.begin() + static_cast<std::ptrdiff_t>(o) * lb);
    const auto pick = tramel::backtest::choose_model(before, s.settings, plan);
    // The sample cut one frame after the origin, backtested at that one origin.
    const std::vector<float> upto(s.values.begin(), s.values.begin() + static_cast<std::ptrdiff_t>(o + 1) * lb);
    const auto frames = tramel::backtest::transform_series(upto, s.settings, plan);
    const auto b = tramel::backtest::run_backtest(frames, 1, s.settings, plan);
    const double m = b.of(pick == tramel::forecast::ModelKind::Levels ? Method::Levels : Method::Changes)[0].mase;
    if (!std::isnan(m)) {
      sum += m;
      ++n;
    }
  }
  return n > 0 ? sum / n : std::nan("");
}

std::string cell(double v) {
  char b[32];
  if (std::isnan(v)) return "-";
  std::snprintf(b, sizeof b, "%.3f", v);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tramel_model_study SOURCE_DIR OUT_DIR [THREADS]\n");
    return 2;
  }
  const std::string src = argv[1], out = argv[2];
  const tramel::parallel::Threads threads{argc > 3 ? std::atoi(argv[3]) : 1};

  std::vector<Series> all;
  const std::vector<float> nottem = read_column(src + "/examples/nottem/nottem.dat", 2, 0);
  all.push_back({"nottem", {nottem.begin(), nottem.begin() + 216}, monthly(1, 5, 1, 2)});
  all.push_back({"co2", read_column(src + "/examples/co2/co2.dat", 2, 0), monthly(1, 3, 1, 2)});
  const std::vector<float> co2 = all.back().values;
  all.push_back({"co2 1982-97", {co2.begin() + 276, co2.end()}, monthly(1, 2, 1, 2)});
  const char* columns[] = {"DriversKilled", "drivers", "front", "rear", "kms", "PetrolPrice", "VanKilled"};
  for (int c : {0, 2, 3, 6}) {
    const std::vector<float> v = read_column(src + "/bench/data/seatbelts.txt", 1, c);
    all.push_back({std::string("seatbelts ") + columns[c], {v.begin(), v.begin() + 168},
                   monthly(1, 2, 1, 1)});
  }
  {
    tramel::backtest::Settings s;
    s.band = {24, 1, 10, 0.0f};
    s.threshold = 0.99f;
    s.lags = 7;
    s.frames_ahead = 7;
    s.levels = {80.0f, 95.0f};
    // load.dat has 8 values a record.
    all.push_back({"load", {}, s});
    std::ifstream in(src + "/examples/load/load.dat");
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    std::vector<float> v;
    float x;
    while (in >> x) v.push_back(x);
    all.back().values = v;
  }
  all.push_back({"generated shift in the origins", generated(11, 20, 6.0, 12, 0.02, 0.0), monthly(1, 5, 1, 2)});
  all.push_back({"generated early shift+drift", generated(22, 24, 4.0, 6, 0.1, 0.0), monthly(1, 5, 1, 2)});
  all.push_back({"generated stationary", generated(12, 20, 0.0, 0, 0.0, 0.0), monthly(1, 5, 1, 2)});
  all.push_back({"generated AR level", generated(13, 20, 0.0, 0, 0.0, 0.6), monthly(1, 5, 1, 2)});
  all.push_back({"generated random-walk level", generated(14, 20, 0.0, 0, 0.0, 1.0), monthly(1, 5, 1, 2)});

  std::printf("degrees of freedom per regressor: %d\n\n", tramel::forecast::kDegreesPerRegressor);
  std::printf("| series | origins | step | as-specified | changes | levels | auto | seasonal naive |"
              " auto picks | changes cover 80/95 | levels cover 80/95 | auto chosen before each origin |\n");
  std::printf("|---|---|---|---|---|---|---|---|---|---|---|---|\n");
  std::ofstream manifest(out + "/series.tsv");
  manifest << "name\tfile\tframe_length\tframes_ahead\tfirst_origin\torigins\n";
  for (const Series& s : all) {
    std::string file = s.name;
    for (char& c : file) if (c == ' ' || c == '+') c = '_';
    write(out + "/" + file + ".txt", s.values);
    const tramel::numeric::FftPlan plan(s.settings.band.frame_length);
    const auto frames = tramel::backtest::transform_series(s.values, s.settings, plan, threads);
    const auto b = tramel::backtest::run_backtest(
        frames, tramel::backtest::default_origins(frames.frames), s.settings, plan, threads);
    const auto pick = tramel::backtest::choose_model(b);
    const Method chosen = pick == tramel::forecast::ModelKind::Levels ? Method::Levels : Method::Changes;
    manifest << s.name << '\t' << file << ".txt\t" << s.settings.band.frame_length << '\t'
             << s.settings.frames_ahead << '\t' << b.first_origin << '\t' << b.origins << '\n';
    const double honest = nested_auto(s, b.first_origin, b.origins);
    for (int h = 0; h < b.frames_ahead; ++h) {
      if (b.of(Method::Changes)[h].missed + b.of(Method::Levels)[h].missed > 0)
        std::printf("(a new model gave no forecast at some origin)\n");
      const auto& c = b.of(Method::Changes)[h];
      const auto& l = b.of(Method::Levels)[h];
      const auto& a = b.of(Method::AsSpecified)[h];
      std::printf("| %s | %d (from %d) | %d | %s%s | %s | %s | %s | %s | %s | %s / %s | %s / %s | %s |\n",
                  s.name.c_str(), b.origins, b.first_origin, h + 1, cell(a.mase).c_str(),
                  a.missed ? (" (" + std::to_string(a.missed) + " stopped)").c_str() : "",
                  cell(c.mase).c_str(), cell(l.mase).c_str(), cell(b.of(chosen)[h].mase).c_str(),
                  cell(b.of(Method::SeasonalNaive)[h].mase).c_str(),
                  chosen == Method::Levels ? "levels" : "changes", cell(c.coverage[0]).c_str(),
                  cell(c.coverage[1]).c_str(), cell(l.coverage[0]).c_str(), cell(l.coverage[1]).c_str(),
                  h == 0 ? cell(honest).c_str() : "");
    }
  }
  return 0;
}
