// The series of a run: batches analysed side by side, the next one ahead while the last one's
// results are handed on, in series order.
#include <exception>
#include <thread>

#include "analysis/analysis.hpp"

namespace tramel::analysis {

namespace {

// Series first .. first + count - 1 (from 0) side by side; nothing kept after one that stops.
struct Batch {
  std::vector<SeriesResult> series;
  numeric::ProbabilityFallback fallback;  // what the last series kept leaves
  bool stopped() const { return !series.empty() && !series.back().completed(); }
};
struct BatchRequest {
  int first = 0;
  int count = 0;
  const Settings& settings;
  const Context& context;
  const std::function<Samples(int series)>& samples;
};

Batch analyse_batch(const BatchRequest& request, numeric::ProbabilityFallback fallback) {
  const int count = request.count;
  Batch batch{std::vector<SeriesResult>(static_cast<std::size_t>(count)), fallback};
  std::vector<SeriesResult>& series = batch.series;
  const numeric::ProbabilityFallback unknown{0.0f, false, false};
  parallel::for_each_index(count, parallel::Threads{count}, [&](std::int64_t i) {
    const int j = request.first + static_cast<int>(i);
    series[i] = analyse_series(j + 1, request.samples(j), request.settings, request.context,
                               i == 0 ? fallback : unknown);
  });
  for (int i = 0; i < count; ++i) {
    if (series[i].fallback.needed_unknown) {
      const int j = request.first + i;
      series[i] = analyse_series(j + 1, request.samples(j), request.settings, request.context,
                                 batch.fallback);
    }
    if (series[i].fallback.known) batch.fallback = series[i].fallback;
    if (series[i].stop != SeriesStop::None) {
      series.resize(static_cast<std::size_t>(i) + 1);
      break;
    }
  }
  return batch;
}

}  // namespace

numeric::ProbabilityFallback analyse_run(const RunRequest& request,
                                         const std::function<void(SeriesResult&)>& on_result) {
  const auto count = static_cast<int>(request.size.series);
  const numeric::FftPlan fft(request.settings.frame_length);
  const Schedule schedule =
      schedule_series(request.settings, request.size, request.threads, request.work_space);
  const Context context{fft, &request.work_space, schedule.per_series};
  const auto batch_at = [&](int first, numeric::ProbabilityFallback fallback) {
    return analyse_batch(BatchRequest{first, std::min(schedule.series_at_once, count - first),
                                      request.settings, context, request.samples},
                         fallback);
  };
  numeric::ProbabilityFallback fallback = request.fallback;
  Batch batch = batch_at(0, fallback);
  for (int first = 0; first < count; first += schedule.series_at_once) {
    const int next_first = first + schedule.series_at_once;
    fallback = batch.fallback;
    const bool more = next_first < count && !batch.stopped();
    // The next batch is analysed while this one is handed on (never with one thread, nor when
    // memory is short). `ahead` is declared last: an exception that unwinds this scope joins it
    // before anything it uses goes.
    Batch next;
    std::exception_ptr failed;
    std::jthread ahead;
    if (more && schedule.analyse_ahead) {
      ahead = std::jthread([&, next_first, known = batch.fallback] {
        try {
          next = batch_at(next_first, known);
        } catch (...) {
          failed = std::current_exception();
        }
      });
    }
    for (SeriesResult& r : batch.series) on_result(r);
    if (!more) break;
    if (ahead.joinable()) {
      ahead.join();
      if (failed) std::rethrow_exception(failed);
      batch = std::move(next);
    } else {
      batch = batch_at(next_first, batch.fallback);
    }
  }
  return fallback;
}

}  // namespace tramel::analysis
