// qlscenario: runs the real program (module image, kernel, module code) on
// the headless window system as a scenario file says, and prints a
// transcript of what it showed. Exit status 0 when the scenario ran, the
// program ended cleanly and every expectation held; 1 otherwise.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/qlscenario/scenario.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: qlscenario [--runtime-dir DIR] [--set NAME=VALUE]... [--no-gl] SCENARIO_FILE\n"
               "  --runtime-dir DIR   folder of kbase.qlr and the support libraries\n"
               "  --set NAME=VALUE    defines $NAME for the scenario's paths and texts\n"
               "  --no-gl             drawing areas without OpenGL\n");
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  ql::scenario::RunOptions options;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--runtime-dir" && i + 1 < argc) {
      options.runtimeDir = argv[++i];
    } else if (arg == "--set" && i + 1 < argc) {
      const std::string def = argv[++i];
      const size_t eq = def.find('=');
      if (eq == std::string::npos || eq == 0) return usage();
      options.variables[def.substr(0, eq)] = def.substr(eq + 1);
    } else if (arg == "--no-gl") {
      options.offscreenGl = false;
    } else if (!arg.empty() && arg[0] != '-' && file.empty()) {
      file = arg;
    } else {
      return usage();
    }
  }
  if (file.empty()) return usage();

  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "qlscenario: cannot read %s\n", file.c_str());
    return 1;
  }
  std::ostringstream text;
  text << in.rdbuf();
  auto scenario = ql::scenario::parseScenario(text.str());
  if (!scenario) {
    std::fprintf(stderr, "qlscenario: %s: %s\n", file.c_str(), scenario.error().message.c_str());
    return 1;
  }
  options.scenarioDir = std::filesystem::absolute(std::filesystem::path(file)).parent_path();
  const bool passed = ql::scenario::runScenario(*scenario, options, std::cout);
  std::cout.flush();
  return passed ? 0 : 1;
}
