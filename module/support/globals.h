// The module-wide variables: the model store, the folder and archive-tool
// texts and the view state. They live in the zero-filled @var block that the
// loader provides, so the struct is trivial and standard-layout and all of it
// starts as zero bytes (texts absent, lists null, counts 0, flags false).
// Addresses are pointer-sized; every other variable keeps its 32 bits.
#pragma once

#include <cstdint>
#include <type_traits>

#include "module/support/array.h"
#include "module/support/text.h"

namespace ql {

// An entry of materialLibrary: two texts, each owned by the entry.
struct MaterialEntry {
  char* materialName;
  char* textureFile;
  static constexpr size_t kTextFields = 2;
};
static_assert(TextRecord<MaterialEntry>);

struct Globals {
  // ---- Model store ----
  void* materialLibrary;  // list of MaterialEntry*
  void* vertexTable;      // table of floats [rows][5]
  void* boneTexts;        // list of texts
  void* triangleTable;    // table of integers [rows][4]
  void* texturePaths;     // list of texts
  void* textureIds;       // list of integers
  char* skcHead;
  char* modelFileName;
  int32_t modelLoaded;    // boolean
  int32_t materialCount;
  int32_t vertexCount;
  int32_t triangleCount;
  // ---- Game folder and archive tool ----
  char* winrarPath;
  char* textureFolder;
  char* gameFolder;
  // ---- View ----
  intptr_t viewWindowHandle;
  intptr_t glDeviceContext;
  intptr_t glRenderContext;
  int32_t viewReady;      // boolean
  int32_t displayMode;
  int32_t viewYaw;
  int32_t viewPitch;
  int32_t dragYaw;
  int32_t dragPitch;
  int32_t dragging;       // boolean
  int32_t dragStartX;
  int32_t dragStartY;
  // ---- View: framing, zoom and pan ----
  int32_t dragPanning;     // boolean: the drag in progress moves the model instead of turning it
  int32_t viewportWidth;   // 画板1 at the last viewport update
  int32_t viewportHeight;
  int32_t viewFramed;      // boolean: the fields below describe the model in the store
  double viewCentreX;      // the centre of the model's bounds
  double viewCentreY;
  double viewCentreZ;
  double viewRadius;       // half the diagonal of the bounds (never 0)
  double framingDistance;  // eye to centre after a fresh load
  double viewDistance;     // eye to centre now (the wheel changes it)
  double scrollStep;       // how far one step of 纵向滚动条2 moves the model
  double panX;             // committed move in the view's plane
  double panY;
  double dragPanX;         // move of the drag in progress
  double dragPanY;
};
static_assert(std::is_trivial_v<Globals> && std::is_standard_layout_v<Globals>);

// Set once, before the globals initialisation, to the @var block (tests: to
// their own zeroed Globals).
void setGlobals(Globals* g);
Globals& globals();

// Start-up shapes: the lists empty, the two tables five zero elements long.
void initGlobals();
// Frees every module-wide text and list, texts inside lists and records
// first, and leaves each variable null.
void cleanupGlobals();

// Views of the module-wide lists and texts; appending to these tells the
// runtime first (support selector 2).
namespace store {
inline ArrayVar<MaterialEntry*> materialLibrary() { return {&globals().materialLibrary, true}; }
inline ArrayVar<float> vertexTable() { return {&globals().vertexTable, true}; }
inline ArrayVar<char*> boneTexts() { return {&globals().boneTexts, true}; }
inline ArrayVar<int32_t> triangleTable() { return {&globals().triangleTable, true}; }
inline ArrayVar<char*> texturePaths() { return {&globals().texturePaths, true}; }
inline ArrayVar<int32_t> textureIds() { return {&globals().textureIds, true}; }
inline TextVar skcHead() { return TextVar(&globals().skcHead); }
inline TextVar modelFileName() { return TextVar(&globals().modelFileName); }
inline TextVar winrarPath() { return TextVar(&globals().winrarPath); }
inline TextVar textureFolder() { return TextVar(&globals().textureFolder); }
inline TextVar gameFolder() { return TextVar(&globals().gameFolder); }
}  // namespace store

// A new MaterialEntry with copies of the two texts, for appending to
// materialLibrary (which then owns it).
MaterialEntry* newMaterialEntry(TextRef materialName, TextRef textureFile);

}  // namespace ql
