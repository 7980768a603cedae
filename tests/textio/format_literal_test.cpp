// Format literals: a write with one compiles only when its values fit the format's edits;
// a mismatch is refused when the program is compiled (shown here through the constraint
// the write carries), and what compiles writes what the run-time format writes.
#include <gtest/gtest.h>

#include <string>

#include "textio/textio.hpp"

namespace tramel::textio {
namespace {

using namespace textio::literals;

template <class F, class... T>
concept Writable = requires(Sink& sink, F format, const T&... values) {
  write(sink, format, values...);
};

using Eigen = decltype("(1x,i2,2x,f8.4,6x,f6.2)"_format);
using Record = decltype("(i3,2x,i4,2x,:,2(f9.3,1x))"_format);
using Label = decltype("(' Passband (',f9.2,2x,f9.2,' )',1x,a7)"_format);

static_assert(Writable<Eigen, int, float, float>);
static_assert(Writable<Eigen, std::int32_t, float>);  // ':' not needed: the list just ends
static_assert(!Writable<Eigen, float, float, float>);        // I meets a real
static_assert(!Writable<Eigen, int, int, float>);            // F meets an integer
static_assert(!Writable<Eigen, int, float, const char*>);    // F meets a text
static_assert(!Writable<Eigen, int, double, float>);         // doubles are rounded by the caller
static_assert(Writable<Eigen, int, float, float, int>);      // reversion: from the start...
static_assert(!Writable<Eigen, int, float, float, float>);   // ...where I meets the real
static_assert(Writable<Record, int, int, float, float, float, float>);
static_assert(!Writable<Record, int, int, float, float, int>);  // reversion to the group
static_assert(Writable<Label, float, float, std::string>);
static_assert(!Writable<Label, float, float, float>);           // A meets a number
static_assert(!Writable<decltype("('no values')"_format), int>);  // no edit takes it
static_assert(Writable<decltype("('no values')"_format)>);

TEST(FormatLiteral, WritesWhatTheRunTimeFormatWrites) {
  Sink literal, compiled;
  write(literal, "(1x,i2,2x,f8.4,6x,f6.2)"_format, 3, 0.5f, -12.25f, 4);
  write(compiled, Format::compile("(1x,i2,2x,f8.4,6x,f6.2)"), 3, 0.5f, -12.25f, 4);
  EXPECT_EQ(literal.text(), compiled.text());
  EXPECT_EQ(literal.text(), "  3    0.5000      -12.25\n  4\n");
  EXPECT_EQ(format_text("(' Format: ',a5)"_format, std::string("(8f10.3)")), " Format: (8f10\n");
}

}  // namespace
}  // namespace tramel::textio
