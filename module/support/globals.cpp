#include "module/support/globals.h"

#include <cstdio>
#include <cstdlib>

namespace ql {
namespace {

Globals* g_globals = nullptr;

// The start-up shapes, as the constants hold them.
alignas(4) constexpr uint32_t kEmptyListShape[2] = {1, 0};
alignas(4) constexpr uint32_t kFiveElementShape[2] = {1, 5};

template <class T>
void startWith(ArrayVar<T> var, const uint32_t* shape) {
  var.replace(arr::freshFromShape(shape, ArrayVar<T>::kWidth));
}

}  // namespace

void setGlobals(Globals* g) { g_globals = g; }

Globals& globals() {
  if (!g_globals) {
    std::fprintf(stderr, "module: globals used before the variable block was set\n");
    std::abort();
  }
  return *g_globals;
}

void initGlobals() {
  // NOTE: runs once on the zero-filled block; replace() would still release
  // anything an earlier run left, so nothing leaks if it ran twice.
  startWith(store::materialLibrary(), kEmptyListShape);
  startWith(store::vertexTable(), kFiveElementShape);
  startWith(store::boneTexts(), kEmptyListShape);
  startWith(store::triangleTable(), kFiveElementShape);
  startWith(store::texturePaths(), kEmptyListShape);
  startWith(store::textureIds(), kEmptyListShape);
}

void cleanupGlobals() {
  store::winrarPath().clear();
  store::textureFolder().clear();
  store::gameFolder().clear();
  store::skcHead().clear();
  store::materialLibrary().free();
  store::vertexTable().free();
  store::boneTexts().free();
  store::triangleTable().free();
  store::texturePaths().free();
  store::textureIds().free();
  store::modelFileName().clear();
}

MaterialEntry* newMaterialEntry(TextRef materialName, TextRef textureFile) {
  Text name = Text::copy(materialName);
  Text file = Text::copy(textureFile);
  auto* e = static_cast<MaterialEntry*>(svc::allocate(sizeof(MaterialEntry)));
  e->materialName = name.release();
  e->textureFile = file.release();
  return e;
}

}  // namespace ql
