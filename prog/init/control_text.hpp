// Inside the setup folder: the control file's text for chosen settings, and the check that
// it plans as chosen.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "init/init.hpp"

namespace tramel::init {

// The band and the resolution as the control file writes them.
struct BandText {
  std::string bandwidth;
  std::string low;
  std::string high;
};

// For the frame length and bins in `s`, at `rate` (the interval or the rate in Hz); nothing,
// with the problem, when a value does not fit the control file's reals.
std::optional<BandText> band_text(const Settings& s, double rate, std::string& problem);

// The coherence threshold as the control file writes it: "0.99", "0.999881".
std::string threshold_text(float threshold);

// The whole control file.
std::string control_text(const InitRequest& request, const Settings& s,
                         const std::vector<std::string>& reasons);

// Reads `text` with the program's control reader and plans its run on the request's data;
// what differs from `s`, or any warning, in words; nothing when it plans as chosen.
std::optional<std::string> check_plan(const std::string& text, const InitRequest& request, const Settings& s);

}  // namespace tramel::init
