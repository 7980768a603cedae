// tramel [OPTIONS] [FOLDER], or tramel init DATA [FOLDER]
#include <cstdio>

#include "command_line.hpp"
#include "tramel.hpp"

int main(int argc, char** argv) {
  const tramel::CommandLine c = tramel::parse_command_line(argc, argv);
  if (c.init) {
    const tramel::init::InitOutcome o = tramel::init::initialise(*c.init);
    std::fputs(o.out.c_str(), stdout);
    std::fputs(o.err.c_str(), stderr);
    return o.status;
  }
  if (!c.options) {
    std::fputs(c.out.c_str(), stdout);
    std::fputs(c.err.c_str(), stderr);
    return c.status;
  }
  return tramel::program(*c.options);
}
