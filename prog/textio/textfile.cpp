// TextFile: the records (lines) of a sequential text file, read through one large buffer.
//
// The file is read in blocks of a megabyte; a record is the text up to the next line feed,
// found with memchr, and handed out as a view into the buffer, so reading a record copies
// nothing. A carriage return just before the line feed belongs to the line end. A last line
// without a line feed is still a record.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "textio/textio.hpp"

namespace tramel::textio {
namespace {

constexpr std::size_t kBlock = std::size_t{1} << 20;
// The longest record kept. A longer line is cut here and the rest of it passed over, so that
// no line, however long, can exhaust memory; no format reaches that far into a data record.
constexpr std::size_t kMaxRecord = std::size_t{256} << 20;

}  // namespace

struct TextFile::Impl {
  std::FILE* file = nullptr;  // null: reading from `text`
  std::string text;           // the whole content in memory mode
  std::vector<char> storage;  // the buffer in file mode
  const char* data = nullptr;
  std::size_t len = 0;        // valid bytes at data
  std::size_t pos = 0;        // start of the next record within data
  std::int64_t base = 0;      // file offset of data[0]
  bool eof = false;           // the file has no more bytes beyond data[len)
  bool at_end = false;        // the last read met the end of the file
  bool resync = false;        // a cut record left the buffer out of step with the file
  std::int64_t line = 0;      // records read since the start of the file

  ~Impl() { close(); }

  void close() {
    if (file) std::fclose(file);
    file = nullptr;
    text.clear();
    storage.clear();
    data = nullptr;
    len = pos = 0;
    base = 0;
    eof = true;
    at_end = resync = false;
    line = 0;
  }

  std::int64_t offset() const { return base + static_cast<std::int64_t>(pos); }

  // Drops the consumed part of the buffer: the rest moves to its start.
  void compact() {
    if (pos == 0) return;
    std::memmove(storage.data(), storage.data() + pos, len - pos);
    base += static_cast<std::int64_t>(pos);
    len -= pos;
    pos = 0;
  }

  // Drops the consumed part of the buffer and reads more after the rest. Returns false when
  // nothing more could be read.
  bool fill() {
    if (!file || eof) return false;
    compact();
    if (len == storage.size()) storage.resize(std::max(kBlock, storage.size() * 2));
    data = storage.data();
    std::size_t got = std::fread(storage.data() + len, 1, storage.size() - len, file);
    if (got == 0) {
      eof = true;
      return false;
    }
    len += got;
    return true;
  }

  // Positions the next read at file offset `at`.
  void seek(std::int64_t at) {
    at_end = false;
    if (!resync && at >= base && at <= base + static_cast<std::int64_t>(len)) {
      pos = static_cast<std::size_t>(at - base);
      return;
    }
    if (!file) return;
    std::clearerr(file);
    std::fseek(file, static_cast<long>(at), SEEK_SET);
    base = at;
    len = pos = 0;
    eof = resync = false;
  }

  // Passes over the rest of a line that is too long to keep, reading from the file in blocks
  // of its own. Afterwards the file stands after the line's end; the buffer is stale.
  void skip_rest_of_line() {
    std::vector<char> scratch(kBlock);
    for (;;) {
      std::size_t got = std::fread(scratch.data(), 1, scratch.size(), file);
      if (got == 0) {
        eof = true;
        break;
      }
      if (const void* nl = std::memchr(scratch.data(), '\n', got)) {
        const auto used = static_cast<const char*>(nl) - scratch.data() + 1;
        std::fseek(file, -static_cast<long>(got - static_cast<std::size_t>(used)), SEEK_CUR);
        break;
      }
    }
    resync = true;
  }

  bool next(std::string_view& record) {
    if (resync) {  // the buffer ends inside a cut record: start afresh where the file stands
      base = std::ftell(file);
      len = pos = 0;
      resync = false;
    }
    std::size_t scan = pos;
    std::size_t end = 0;
    std::size_t next_pos = 0;
    for (;;) {
      // An empty buffer has no bytes to search (and may have no storage at all yet).
      const void* nl = scan < len ? std::memchr(data + scan, '\n', len - scan) : nullptr;
      if (nl) {
        end = static_cast<std::size_t>(static_cast<const char*>(nl) - data);
        next_pos = end + 1;
        break;
      }
      if (file && !eof && len - pos >= kMaxRecord) {  // cut an over-long line
        end = next_pos = pos + kMaxRecord;
        skip_rest_of_line();
        break;
      }
      const std::size_t kept = len - pos;
      if (!fill()) {
        if (pos == len) {
          at_end = true;
          return false;
        }
        end = next_pos = len;
        break;
      }
      scan = kept;
    }
    std::size_t stop = end;
    if (stop > pos && data[stop - 1] == '\r') --stop;
    record = std::string_view(data + pos, stop - pos);
    pos = next_pos;
    at_end = false;
    ++line;
    return true;
  }

  // Views of up to `max_records` next records: every whole record the buffer holds once it
  // holds `bytes` or the rest of the file (at least one record, taken as next() takes it
  // when none is whole there).
  std::int64_t next_views(std::vector<std::string_view>& out, std::int64_t max_records,
                          std::size_t bytes) {
    out.clear();
    if (max_records <= 0) return 0;
    if (file && !resync && !eof && len - pos < bytes) {
      // Keep the rest, make room for `bytes`, and fill.
      compact();
      if (storage.size() < bytes) storage.resize(bytes);
      while (len < storage.size() && fill()) {
      }
    }
    std::size_t at = pos;
    while (!resync && static_cast<std::int64_t>(out.size()) < max_records && at < len) {
      const void* nl = std::memchr(data + at, '\n', len - at);
      if (!nl) break;
      const auto end = static_cast<std::size_t>(static_cast<const char*>(nl) - data);
      const std::size_t stop = end > at && data[end - 1] == '\r' ? end - 1 : end;
      out.emplace_back(data + at, stop - at);
      at = end + 1;
      ++line;
    }
    if (!out.empty()) {
      pos = at;
      at_end = false;
      return static_cast<std::int64_t>(out.size());
    }
    std::string_view record;
    if (!next(record)) return 0;
    out.push_back(record);
    return 1;
  }

  // The last line feed before file offset `at`, or -1 when there is none: searched in the
  // buffer while it holds the bytes, else in blocks read backwards from the file.
  std::int64_t line_feed_before(std::int64_t at) {
    const std::int64_t buffered_end = base + static_cast<std::int64_t>(len);
    if (!resync && at > base && at <= buffered_end) {
      for (std::int64_t i = at - 1; i >= base; --i)
        if (data[i - base] == '\n') return i;
      at = base;
    }
    if (!file || at <= 0) return -1;
    const long here = std::ftell(file);
    std::vector<char> block(std::size_t{1} << 16);
    std::int64_t found = -1;
    while (at > 0 && found < 0) {
      const std::int64_t from = std::max<std::int64_t>(0, at - static_cast<std::int64_t>(block.size()));
      std::fseek(file, static_cast<long>(from), SEEK_SET);
      const std::size_t want = static_cast<std::size_t>(at - from);
      if (std::fread(block.data(), 1, want, file) != want) break;
      for (std::size_t k = want; k-- > 0;)
        if (block[k] == '\n') {
          found = from + static_cast<std::int64_t>(k);
          break;
        }
      at = from;
    }
    std::fseek(file, here, SEEK_SET);
    return found;
  }

  // The start of the record that ends at file offset `at` (just after its line feed, or at
  // the end of a file whose last line has none).
  std::int64_t record_start_before(std::int64_t at) {
    std::int64_t nl = line_feed_before(at);
    if (nl == at - 1) nl = line_feed_before(at - 1);  // the record's own line feed
    return nl + 1;
  }
};

TextFile::TextFile() : impl_(std::make_unique<Impl>()) { impl_->eof = true; }
TextFile::~TextFile() = default;

int TextFile::open(const std::string& path) {
  impl_->close();
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return EISDIR;
  errno = 0;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return errno != 0 ? errno : EIO;
  std::setvbuf(f, nullptr, _IONBF, 0);  // the records are buffered here, in large blocks
  impl_->file = f;
  impl_->eof = false;
  return 0;
}

void TextFile::open_text(std::string text) {
  impl_->close();
  impl_->text = std::move(text);
  impl_->data = impl_->text.data();
  impl_->len = impl_->text.size();
  impl_->eof = true;
}

void TextFile::rewind() {
  impl_->seek(0);
  impl_->line = 0;
}

void TextFile::backspace() {
  Impl& f = *impl_;
  if (f.at_end) {  // the read that met the end of the file read no record
    f.at_end = false;
    return;
  }
  const std::int64_t here = f.resync ? std::ftell(f.file) : f.offset();
  if (here > 0) {
    f.seek(f.record_start_before(here));
    if (f.line > 0) --f.line;
  }
}

std::int64_t TextFile::line() const { return impl_->line; }

std::int64_t TextFile::next_records(std::vector<std::string_view>& records,
                                    std::int64_t max_records, std::size_t bytes) {
  return impl_->next_views(records, max_records, bytes);
}

bool TextFile::next_record(std::string_view& record) { return impl_->next(record); }

ReadResult TextFile::read_line(std::string& line80) {
  std::string_view record;
  if (!next_record(record)) return {ReadResult::Status::End, 0};
  line80.assign(record.substr(0, 80));
  line80.resize(80, ' ');
  return {};
}

}  // namespace tramel::textio
