// Stand-in until the record reader lands: lets every subsystem link. Deleted with its arrival.
#include "textio/textio.hpp"

namespace tramel::textio {
struct TextFile::Impl {};
struct RecordFormat::Program {};
TextFile::TextFile() = default;
TextFile::~TextFile() = default;
int TextFile::open(const std::string&) { return 0; }
void TextFile::open_text(std::string) {}
void TextFile::rewind() {}
void TextFile::backspace() {}
bool TextFile::next_record(std::string_view&) { return false; }
ReadResult TextFile::read_line(std::string&) { return {ReadResult::Status::End, 0}; }
ReadResult TextFile::read_list(std::span<const ListTarget>) { return {ReadResult::Status::End, 0}; }
RecordFormat::RecordFormat(std::string_view) : program_(std::make_unique<Program>()) {}
RecordFormat::~RecordFormat() = default;
RecordFormat::RecordFormat(RecordFormat&&) noexcept = default;
RecordFormat& RecordFormat::operator=(RecordFormat&&) noexcept = default;
bool RecordFormat::valid() const { return false; }
ReadResult read(TextFile&, const RecordFormat&, float*, std::int64_t, char*) {
  return {ReadResult::Status::End, 0};
}
}  // namespace tramel::textio
