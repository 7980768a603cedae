// Helpers shared by the fuzz targets: the input split into parts and read as small numbers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tramel::fuzz {

// Consumes an input from the front: lines, bytes and little-endian numbers; past the end
// every read gives zeros or empty text.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}

  // The text up to the next line feed (which is consumed), or all that is left.
  std::string_view line() {
    const std::size_t nl = rest_.find('\n');
    const std::string_view l = rest_.substr(0, nl);
    rest_.remove_prefix(nl == std::string_view::npos ? rest_.size() : nl + 1);
    return l;
  }

  std::uint8_t byte() {
    if (rest_.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return b;
  }

  std::uint32_t u32() {
    std::uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v |= static_cast<std::uint32_t>(byte()) << (8 * k);
    return v;
  }

  std::string_view take(std::size_t n) {
    const std::string_view t = rest_.substr(0, n);
    rest_.remove_prefix(t.size());
    return t;
  }

  std::string_view rest() const { return rest_; }
  bool empty() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

}  // namespace tramel::fuzz
