// Stand-in until the formatter lands: lets every subsystem link. Deleted with its arrival.
#include "textio/textio.hpp"

namespace tramel::textio {
struct Format::Program {};
Sink::Sink(std::FILE* file, bool owned, bool line_by_line)
    : file_(file), owned_(owned), line_by_line_(line_by_line) {}
Sink::~Sink() = default;
int Sink::open(const std::string&) { return 0; }
void Sink::line(std::string_view text) { buf_.append(text).push_back('\n'); }
void Sink::commit() {}
void Sink::flush() {}
void Sink::close() {}
Format::Format(std::string_view) : program_(std::make_unique<Program>()) {}
Format::~Format() = default;
Format::Format(Format&&) noexcept = default;
Format& Format::operator=(Format&&) noexcept = default;
void write(Sink&, const Format&, std::span<const Item>) {}
void list(Sink&, std::span<const Item>) {}
void edit_f(std::string&, float, int, int) {}
void edit_g(std::string&, float, int, int) {}
void edit_i(std::string&, std::int32_t, int) {}
void edit_a(std::string&, std::string_view, int) {}
}  // namespace tramel::textio
