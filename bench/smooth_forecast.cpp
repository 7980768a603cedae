// The model `smooth` on one sample, for the study scripts: reads from standard input a line
// "FRAME_LENGTH FRAMES_AHEAD TRANSFORM [BINS...]" (TRANSFORM none or log; BINS the significant
// bins the waveform's groups are made from) and then the values, and prints the forecast and
// its 80 % and 95 % bounds, one line each (forecast, lower 80, upper 80, lower 95, upper 95),
// and a last line with the weights chosen.
#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "smoothing/smoothing.hpp"

int main() {
  namespace s = tramel::smoothing;
  std::string head;
  std::getline(std::cin, head);
  std::istringstream fields(head);
  int frame_length = 0, ahead = 0;
  std::string transform;
  fields >> frame_length >> ahead >> transform;
  std::vector<int> bins;
  for (int b; fields >> b;) bins.push_back(b);
  std::vector<float> values;
  for (double v; std::cin >> v;) values.push_back(static_cast<float>(v));
  const s::Series series =
      s::model_series(values, frame_length, transform == "log" ? s::Transform::Log : s::Transform::None);
  const s::Model model = s::fit_model(series, {bins});
  const s::Forecast f = s::forecast_model(model, ahead);
  const std::vector<float> levels = {80.0f, 95.0f};
  const auto intervals = s::forecast_intervals(f, levels);
  const auto line = [](const auto& v) {
    for (std::size_t i = 0; i < v.size(); ++i) std::printf(i ? " %.17g" : "%.17g", static_cast<double>(v[i]));
    std::printf("\n");
  };
  line(f.values);
  for (const auto& i : intervals) {
    line(i.lower);
    line(i.upper);
  }
  const s::LevelWeights& w = model.weights.level;
  std::printf("gamma %g bins %d trend %d alpha %.6g beta %.6g phi %.6g\n", model.weights.waveform.gamma,
              static_cast<int>(model.weights.waveform.bins), static_cast<int>(w.trend), w.alpha, w.beta, w.phi);
  return 0;
}
