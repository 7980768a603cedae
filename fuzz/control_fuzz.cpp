// Fuzz target: the control file on arbitrary text. The global block is read and its settings
// taken, then run blocks are planned until the text ends (against a data file of a million
// data at a rate of 1); the keyword readers also get the raw text as a parameter text of its
// own, with its first line as the keyword, and the digit conversion every slice of it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "control/control.hpp"

namespace {

using namespace tramel;

// Every message a step returns says something: one or more complete lines (a warning: a line
// without its end), and the console version of a stop, when there is one, ends its lines too.
// A step that fails says why.
template <class T>
void check_messages(const diagnostics::Outcome<T>& outcome) {
  for (const diagnostics::Note& note : outcome.notes) {
    if (const auto* m = std::get_if<diagnostics::Message>(&note)) {
      if (m->text.empty() || m->text.back() != '\n') __builtin_trap();
    } else if (std::get<diagnostics::Warning>(note).text.empty()) {
      __builtin_trap();
    }
  }
  if (outcome.failed() != outcome.stop.has_value()) __builtin_trap();
  if (outcome.stop) {
    const diagnostics::Stop& s = *outcome.stop;
    if (s.message.text.empty() || s.message.text.back() != '\n') __builtin_trap();
    if (!s.console.empty() && s.console.back() != '\n') __builtin_trap();
  }
}

void plan_runs(control::ControlFile& file, const control::GlobalBlock& global,
               control::KeywordReader& reader) {
  control::FileSettings files;
  files.series_count = 1;
  const control::Outcome<control::AnalysisSettings> analysis =
      control::read_analysis_settings(global, reader);
  check_messages(analysis);
  if (analysis.failed()) return;
  const control::DataExtent data{1000000, 1.0f};
  for (int run = 1; run <= 64; ++run) {
    const control::Outcome<control::RunPlan> plan =
        control::plan_run(file, run, files, *analysis.value, data, reader);
    check_messages(plan);
    if (plan.failed()) return;
    const control::RunPlan& p = *plan.value;
    // A plan is a run the analysis can make.
    if (p.frame_length < 5 || p.frames < 7 || p.first_bin < 1 || p.first_bin >= p.last_bin ||
        p.last_bin > p.frame_length / 2 || p.first_datum < 1 || p.last_datum > data.count) {
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  control::ControlFile file;
  file.open_text(input);
  control::KeywordReader reader;
  const control::Outcome<control::GlobalBlock> global = control::read_global_block(file);
  check_messages(global);
  if (!global.failed()) {
    for (const control::Keyword& k : {control::keywords::kRuns, control::keywords::kSeriesCount})
      reader.integer(k, global.value->parameters.text);
    reader.text(control::keywords::kDataFile, global.value->parameters.text);
    plan_runs(file, *global.value, reader);
  }

  // The readers on the raw text as a parameter text of its own, with its first line as the
  // keyword; the digit conversion on every slice of up to 8 characters.
  const std::size_t nl = input.find('\n');
  const std::string keyword =
      input.substr(0, nl == std::string::npos ? 0 : std::min<std::size_t>(nl, 20));
  std::string raw = input.substr(keyword.size());
  raw.resize(control::kParameterText, '\0');
  const control::Keyword k{keyword, "fuzzed"};
  if (reader.integer(k, raw).message.find('\0') != std::string::npos) __builtin_trap();
  if (reader.real(k, raw).message.find('\0') != std::string::npos) __builtin_trap();
  reader.text(k, raw);
  for (std::size_t i = 0; i < input.size() && i < 64; ++i)
    control::digits_value(std::string_view(input).substr(i), static_cast<int>(i % 9));
  return 0;
}
