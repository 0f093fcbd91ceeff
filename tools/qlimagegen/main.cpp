// qlimagegen --out-dir DIR [--width 4|8] [--var-size N]
// Writes DIR/qvkm_image.h and DIR/qvkm_image.cpp: the module image for a
// target of the given pointer width (default: this host's). --var-size gives
// the size of the module-wide variables on the target; without it the host's
// sizeof(ql::Globals) is used, which only fits a target of the host's width.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "module/support/globals.h"
#include "tools/qlimagegen/generator.h"

namespace {

// Rewrites the file only when its content changes, so an unchanged image
// does not rebuild everything that includes the header.
bool writeIfChanged(const std::string& path, const std::string& content) {
  {
    std::ifstream in(path, std::ios::binary);
    if (in) {
      std::stringstream old;
      old << in.rdbuf();
      if (old.str() == content) return true;
    }
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return bool(out.flush());
}

int usage() {
  std::fprintf(stderr, "usage: qlimagegen --out-dir DIR [--width 4|8] [--var-size N]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string outDir;
  ql::imagegen::GeneratorOptions options;
  bool varSizeGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (arg == "--out-dir") {
      outDir = value;
    } else if (arg == "--width") {
      if (value == "4") options.width = ql::image::Width::k32;
      else if (value == "8") options.width = ql::image::Width::k64;
      else return usage();
    } else if (arg == "--var-size") {
      char* end = nullptr;
      const unsigned long v = std::strtoul(value.c_str(), &end, 10);
      if (!end || *end || v == 0 || v > 0xFFFF) return usage();
      options.varSize = uint32_t(v);
      varSizeGiven = true;
    } else {
      return usage();
    }
  }
  if (outDir.empty()) return usage();
  if (!varSizeGiven) {
    if (options.width != ql::image::kNativeWidth) {
      std::fprintf(stderr, "qlimagegen: a target of another pointer width needs --var-size\n");
      return 2;
    }
    options.varSize = sizeof(ql::Globals);
  }

  auto g = ql::imagegen::generateImage(options);
  if (!g) {
    std::fprintf(stderr, "qlimagegen: %s\n", g.error().message.c_str());
    return 1;
  }
  const std::string header = "qvkm_image.h";
  if (!writeIfChanged(outDir + "/" + header, ql::imagegen::emitHeader(*g)) ||
      !writeIfChanged(outDir + "/qvkm_image.cpp", ql::imagegen::emitSource(*g, header))) {
    std::fprintf(stderr, "qlimagegen: cannot write into %s\n", outDir.c_str());
    return 1;
  }
  return 0;
}
