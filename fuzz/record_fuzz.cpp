// Fuzz target: the run-time format compiler and the record reader. The input's first line is
// the format text, the next bytes choose the reads, the rest are the records: formatted reads
// of a few values (with and without a label, into an array or discarded), then list-directed
// reads, 80-column lines, backspaces and a rewind.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.hpp"
#include "textio/textio.hpp"

using namespace tramel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input in(data, size);
  const textio::RecordFormat format(in.line());
  std::uint8_t plan[8];
  for (std::uint8_t& b : plan) b = in.byte();
  textio::TextFile file;
  file.open_text(std::string(in.rest()));

  std::vector<float> values(256);
  char label[25];
  for (int k = 0; k < 32; ++k) {
    const std::uint8_t b = plan[k % 8] ^ static_cast<std::uint8_t>(k);
    const std::int64_t count = b & 0x3f;
    char* to_label = (b & 0x40) ? label : nullptr;
    float* dest = (b & 0x80) ? nullptr : values.data();
    const textio::ReadResult r = textio::read(file, format, dest, count, to_label);
    if (r.values < 0 || r.values > count) __builtin_trap();
    if (!r.ok()) break;
  }
  // A long discarding read: a format that reads many values per record must still end.
  file.rewind();
  textio::read(file, format, nullptr, 100000);

  file.rewind();
  for (int k = 0; k < 8; ++k) {
    std::int32_t i1 = 0, i2 = 0;
    float r1 = 0, r2 = 0;
    std::vector<textio::TextFile::ListTarget> targets;
    const std::uint8_t b = plan[k];
    for (int t = 0; t < (b & 3); ++t) {
      if ((b >> (2 + t)) & 1)
        targets.emplace_back(t == 0 ? &i1 : &i2);
      else
        targets.emplace_back(t == 0 ? &r1 : &r2);
    }
    const textio::ReadResult r = file.read_list(targets);
    if (b & 0x40) file.backspace();
    std::string line;
    if (b & 0x80) file.read_line(line);
    if (r.end()) break;
  }
  return 0;
}
