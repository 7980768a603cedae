// Sink: the buffered line destination behind the report, the console and the forecast file.
//
// Lines collect in one string; a file sink hands it to the file in blocks of about 64 KiB, so
// a report of a hundred thousand coefficient lines costs a few dozen writes. A console sink
// (line_by_line) passes each line on at once, so that standard output and standard error
// keep their order for a person watching both.
#include <cerrno>
#include <cstring>

#include "textio/textio.hpp"

namespace tramel::textio {

namespace {
constexpr std::size_t kFlushAt = 64 * 1024;
}  // namespace

Sink::Sink(std::FILE* file, bool owned, bool line_by_line)
    : file_(file), owned_(owned), line_by_line_(line_by_line) {
  if (file_ != nullptr && !line_by_line_) buf_.reserve(kFlushAt + 4096);
}

Sink::~Sink() { close(); }

int Sink::open(const std::string& path) {
  close();
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "w");
  if (f == nullptr) return errno != 0 ? errno : EIO;
  file_ = f;
  owned_ = true;
  line_by_line_ = false;
  error_ = 0;
  buf_.reserve(kFlushAt + 4096);
  return 0;
}

void Sink::line(std::string_view text) {
  buf_.append(text);
  buf_.push_back('\n');
  commit();
}

void Sink::commit() {
  if (file_ != nullptr && (line_by_line_ || buf_.size() >= kFlushAt)) flush();
}

void Sink::flush() {
  if (file_ == nullptr) return;
  // No NUL character reaches a file or the console, whatever an input held: text files with
  // NULs are binary to the tools people read them with.
  if (std::memchr(buf_.data(), '\0', buf_.size()) != nullptr) std::erase(buf_, '\0');
  if (!buf_.empty()) {
    errno = 0;
    if (std::fwrite(buf_.data(), 1, buf_.size(), file_) != buf_.size() && error_ == 0)
      error_ = errno != 0 ? errno : EIO;
    buf_.clear();  // keeps its capacity: no allocation for the next block
  }
  if (std::fflush(file_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
}

void Sink::close() {
  flush();
  if (file_ != nullptr && owned_) {
    if (std::fclose(file_) != 0 && error_ == 0) error_ = errno != 0 ? errno : EIO;
  }
  file_ = nullptr;
  owned_ = false;
}

}  // namespace tramel::textio
