// Fuzz target for the SKC reader: each input is written as a model file and
// loaded by the real program (module image, kbase.qlr, the runtime's regular
// expressions). Any input must end the program normally, with every block of
// the runtime freed and the store's counts within its tables.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "model/model_store.h"
#include "model/skc_reader.h"
#include "module/support/globals.h"
#include "tools/qlscenario/app_runner.h"

namespace {

namespace fs = std::filesystem;

// Boxes one load can show: a bad header, no Materials, and "k" + T.
constexpr int kMostBoxes = 3;

struct Harness {
  ql::apprun::TempFolder temp{"qlskcfuzz"};
  fs::path model;
  std::string modelPath;
  std::string programPath;
  ql::apprun::AppRunner runner;

  Harness() {
    const fs::path program = temp.path() / "program";
    fs::create_directories(program);
    fs::create_directories(temp.path() / "game" / "pmodel");
    model = temp.path() / "game" / "pmodel" / "fuzz.skc";
    if (!ql::apprun::seedFinishedFirstStart(program, temp.path() / "game").ok()) std::abort();
    auto m = ql::apprun::modulePath(model);
    auto p = ql::apprun::modulePath(program);
    if (!m || !p) std::abort();
    modelPath = *m;
    programPath = *p;
  }
};

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "skc fuzz: %s\n", why.c_str());
  std::abort();
}

// The counts the store reports never run past the tables they describe.
void checkStore() {
  using namespace ql::store;
  const ql::Globals& g = ql::globals();
  if (g.vertexCount < 0 || g.triangleCount < 0) fail("negative count");
  if (g.vertexCount > 0 && uint32_t(g.vertexCount) > tableRows(vertexTable())) fail("vertexCount beyond vertexTable");
  if (g.vertexCount > 0 && uint32_t(g.vertexCount) != listEntries(boneTexts())) fail("boneTexts not one per vertex");
  if (g.triangleCount > 0 && uint32_t(g.triangleCount) > tableRows(triangleTable()))
    fail("triangleCount beyond triangleTable");
  if (listEntries(texturePaths()) != listEntries(textureIds())) fail("texture lists of different lengths");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Harness* h = new Harness;  // one program folder for the whole run
  {
    std::ofstream out(h->model, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  }
  for (int i = 0; i < kMostBoxes; ++i) h->runner.windows().answerMessageBox(0);
  h->runner.step([] {
    ql::model::loadSkcModel(h->modelPath.c_str());
    checkStore();
  });
  auto result = h->runner.run(h->programPath);
  if (!result) fail(result.error().message);
  if (!result->endedCleanly()) fail(result->describe());
  if (result->stepsRun != 1) fail("the load did not run: " + result->describe());
  return 0;
}
