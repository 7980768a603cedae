// A build without PLplot (-DTRAMEL_PLOTS=OFF): no plots; the command line refuses --plot.
#include "output/output.hpp"

namespace tramel::output {

bool plots_available() { return false; }

std::vector<std::string> write_plots(const std::filesystem::path&, const results::InvocationResult&) {
  return {"plots are not available in this build (configured with -DTRAMEL_PLOTS=OFF)"};
}

}  // namespace tramel::output
