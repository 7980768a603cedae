// Diagnostics: everything the program has to say besides its results, as values. A step that
// reads or checks returns what it found together with what it has to say on the way (messages
// of the program's fixed wording, warnings), and, when a check failed, the stop that ends the
// program. Nothing here prints: the program routes these values to the report, the console and
// tramel.json.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace tramel::diagnostics {

// Where a message of the program's fixed wording goes.
enum class Destination : std::uint8_t { Report, Stdout, Stderr };

// Where the cause of a diagnostic lies: a file and its line (or column), a run, a series.
// Every part may be absent.
struct Place {
  std::string file;   // "tramel.cnl", the data file; empty: no file
  int line = 0;       // from 1; 0: no line
  int column = 0;     // from 1; 0: no column
  int run = 0;        // from 1; 0: not inside a run
  int series = 0;     // from 1; 0: not inside a series

  // A place in a file (line and column 0: the whole file), or in a run and series.
  static Place in_file(std::string file, int line = 0, int column = 0) {
    Place p;
    p.file = std::move(file);
    p.line = line;
    p.column = column;
    return p;
  }
  static Place in_run(int run, int series = 0) {
    Place p;
    p.run = run;
    p.series = series;
    return p;
  }

  // "run 2, series 1", "run 2"; empty outside a run.
  std::string run_and_series() const;
};

// Lines of the program's fixed wording, for their destination.
struct Message {
  Destination destination = Destination::Report;
  std::string text;  // complete lines, each ended by a line feed
};

// Something a person should know while the work goes on: said on standard error as
// "tramel: warning: ...", and listed in tramel.json. A note ("tramel: note: ...", listed
// apart) tells how the program adapted to the data as it is meant to (a model that leaves out
// bins the frames cannot carry): it is no sign of a mistake, and --strict does not count it.
struct Warning {
  std::string text;  // one sentence, no line end
  Place place;
  bool note = false;
};

// A failed check that ends the program. Its message says it where the check says it (the
// report, or the console); a person at the console is told besides, on standard error:
// - `console`: the program's own words for it (the control file's true lines instead of the
//   names the report's lines give them, where in the data file); empty: the message's lines
//   themselves, when they go to the report;
// - `cause`: why the checked value is what it is, when it is not what the user wrote (it came
//   from a fallback, or was misread), added to the first line said;
// - `advice`: false when the advice lines after the message's first line cannot help (they
//   are then not repeated on standard error).
struct Stop {
  Message message;
  std::string console;
  std::string cause;
  bool advice = true;
  Place place;
};

// What a step says on the way, in order.
using Note = std::variant<Message, Warning>;

// A step's value, or the stop of the check that failed; and what the step said before it.
template <class T>
struct Outcome {
  std::optional<T> value;
  std::vector<Note> notes;
  std::optional<Stop> stop;

  bool failed() const { return !value.has_value(); }

  void say(Destination to, std::string text) { notes.emplace_back(Message{to, std::move(text)}); }
  void warn(std::string text, Place place = {}) {
    notes.emplace_back(Warning{std::move(text), std::move(place)});
  }
  // Ends the step: `stop` is its result.
  Outcome& fail(Stop s) {
    value.reset();
    stop = std::move(s);
    return *this;
  }
};

// A stop whose lines go to `to`, said on standard error in the words `console` (see Stop).
Stop stop_at(Destination to, std::string text, std::string console = {});

// The lines of a text without their line ends and the blanks around them; empty lines left
// out.
std::vector<std::string> lines_of(const std::string& text);

}  // namespace tramel::diagnostics
