#include "model/skc_reader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "game/textures.h"
#include "model/model_store.h"
#include "model/skc_lines.h"
#include "module/app/image_link.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "module/support/numbers.h"
#include "module/support/regex.h"
#include "qvkm_image.h"
#include "ui/main_window.h"
#include "ui/units.h"
#include "ui/view.h"

namespace ql::model {
namespace {

namespace text = gen::text;

constexpr int32_t kNotFound = -1;
constexpr int32_t kTimerStopped = 0;
constexpr int32_t kRedrawIntervalMs = 50;

// Capture groups of the patterns.
constexpr int32_t kCountGroup = 1;
constexpr int32_t kTextureNameGroup = 1;
constexpr int32_t kBoneTextGroup = 6;
constexpr int32_t kVertexNumberGroups = 5;    // x, y, z, u, v
constexpr int32_t kTriangleNumberGroups = 4;  // material, three vertex indices

TextRef constText(uint32_t offset) { return app::constText(offset); }

void logLine(TextRef line) { ui::appendLogLine(line); }

// Counts are stored as 32-bit integers: the captured digits through the
// runtime's text-to-number conversion, truncated toward zero.
int64_t countValue(TextRef digits) { return floatToInt(kernel::toDouble(digits)); }

bool fitsCount(int64_t value) { return value >= 0 && value <= std::numeric_limits<int32_t>::max(); }

// The double rounded to the nearest single, as the assignment to a float
// column does; values beyond the singles' range become infinities instead of
// undefined behaviour.
float toSingle(double value) {
  // Halfway between FLT_MAX and 2^128: from here on the nearest single is infinity.
  constexpr double kSingleOverflow = 0x1.ffffffp127;
  if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
  if (std::fabs(value) >= kSingleOverflow) {
    return value > 0 ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
  }
  return static_cast<float>(value);
}

// One compiled pattern and its current match, searched over whole texts or
// over single lines (each held as a text of its own while searched).
class Search {
 public:
  void compile(uint32_t pattern) { regex_.setPattern(constText(pattern)); }

  bool inText(TextRef subject) {
    subject_ = subject;
    regex_.search(subject_, match_);
    return !match_.notFound();
  }
  bool inLine(const LineIndex& lines, int64_t i) {
    // A line that does not exist matches nothing and is not searched.
    if (!lines.contains(i)) return false;
    return inText(line_.hold(lines.line(int32_t(i))));
  }

  // Group n of the last successful search.
  Text group(int32_t n) { return match_.group(subject_, n); }
  double number(int32_t n) { return kernel::toDouble(group(n)); }

 private:
  regex::Regex regex_;
  regex::Match match_;
  LineText line_;
  TextRef subject_;
};

// Step 3: the first line that matches the Materials pattern. Returns its
// index, or 0 when no line matches.
int32_t readMaterialCount(Search& search, const LineIndex& lines) {
  Globals& g = globals();
  search.compile(text::kMaterialsPattern);
  int32_t at = 0;
  int64_t declared = 0;
  for (int32_t i = 1; i <= lines.count(); ++i) {
    if (search.inLine(lines, i)) {
      at = i;
      declared = countValue(search.group(kCountGroup));
      break;
    }
  }
  int32_t entries = 0;
  if (at != 0) {
    // NOTE: one texture line per entry at most, and those can only come from
    // this line on: a count the file cannot hold costs no more than that.
    const int64_t room = int64_t(lines.count()) - at + 1;
    entries = int32_t(std::clamp<int64_t>(declared, 0, room));
    g.materialCount = fitsCount(declared) ? int32_t(declared) : entries;
    // The names of the previous model's textures go now, before their list.
    game::releaseTextures();
    store::resetList(store::texturePaths(), entries);
    store::resetList(store::textureIds(), entries);
  }
  logLine(concat(constText(text::kMaterialCountLog), kernel::toText(g.materialCount), constText(text::kCloseBracket)));
  return at;
}

// Step 4: the texture lines from the Materials line on, one per list entry.
void readTextures(Search& search, const LineIndex& lines, int32_t materialsLine) {
  auto paths = store::texturePaths();
  const uint32_t entries = store::listEntries(paths);
  if (entries == 0) return;
  search.compile(text::kTexturePattern);
  uint32_t k = 0;
  for (int32_t j = materialsLine; j <= lines.count(); ++j) {
    if (!search.inLine(lines, j)) continue;
    ++k;
    paths.storeText(concat(store::textureFolder(), constText(text::kBackslash), search.group(kTextureNameGroup)), k);
    logLine(concat(constText(text::kTextureLog), paths.text(k), constText(text::kCloseBracket)));
    if (k == entries) break;
  }
}

// Step 5: everything before the first "  Vertices:".
void readHead(const Text& whole) {
  const int32_t p = kernel::find(whole, constText(text::kVerticesMarker));
  // NOTE: without the marker the head is empty.
  store::skcHead().set(p == kNotFound ? Text::copy(constText(text::kEmpty)) : kernel::left(whole, p - 1));
}

struct VertexBlock {
  int32_t read = 0;     // k: vertex rows filled
  int32_t endLine = 0;  // e: the line that ended the block; 0 when it never ended
};

// Steps 6 and 7: the declared vertex count, then the vertex lines.
VertexBlock readVertices(Search& search, const LineIndex& lines, const Text& whole, ArrayVar<float> vertexTable) {
  search.compile(text::kVertexCountPattern);
  int64_t declared = 0;
  if (search.inText(whole)) declared = countValue(search.group(kCountGroup));
  // NOTE: a count of 0 or one beyond 32 bits reads no vertex, as a missing
  // count does, and keeps the previous tables. A count beyond the lines of the
  // file gets only as many rows as there are lines: that many vertex lines
  // are all the file can hold.
  const bool counted = declared >= 1 && fitsCount(declared);
  const int32_t n = counted ? int32_t(declared) : 0;
  TextList bones;
  if (counted) {
    const int32_t rows = std::min(n, std::max(lines.count(), 1));
    store::newVertexTable(vertexTable, rows);
    bones.dimension(rows);
  }
  const uint32_t rows = store::tableRows(vertexTable);

  VertexBlock block;
  search.compile(text::kVertexPattern);
  for (int32_t i = 1; i <= lines.count() - 1; ++i) {
    // Once N vertices are read, the next line ends the block; a further
    // vertex line would have no row to go to, so it ends it as well.
    if (block.read == n) {
      block.endLine = i;
      break;
    }
    if (!search.inLine(lines, i)) continue;
    if (uint32_t(block.read) >= rows) break;  // cannot happen: rows cover every line
    const int32_t k = ++block.read;
    for (int32_t c = 1; c <= kVertexNumberGroups; ++c) vertexTable.at(k, c) = toSingle(search.number(c));
    bones.storeText(search.group(kBoneTextGroup), k);
  }
  if (counted) store::boneTexts().replace(store::truncateTextList(bones.release(), uint32_t(block.read)));
  return block;
}

struct TriangleBlock {
  bool read = false;     // a Triangles line was found and its table made
  int32_t declared = 0;  // T
  int32_t matched = 0;   // t
};

// Steps 8 and 9: the Triangles line that ends the vertex block, then the T
// lines after it.
TriangleBlock readTriangles(Search& search, const LineIndex& lines, int32_t endLine,
                            ArrayVar<int32_t> triangleTable) {
  TriangleBlock block;
  search.compile(text::kTrianglesPattern);
  const bool found = search.inLine(lines, endLine);
  const Text digits = found ? search.group(kCountGroup) : Text::copy(constText(text::kEmpty));
  logLine(concat(constText(text::kTriangleCountLog), digits, constText(text::kCloseBracket)));
  if (!found) return block;
  const int64_t declared = countValue(digits);
  // NOTE: a count beyond 32 bits is no count: the model loads without
  // triangles, as with a missing Triangles line.
  if (!fitsCount(declared)) return block;
  const int32_t t = int32_t(declared);
  kernel::messageBox(concat(constText(text::kTriangleBoxPrefix), kernel::toText(t)));
  block.declared = t;
  // A count of 0 reads no triangle and keeps the previous table.
  if (t == 0) return block;
  // Only the lines after this one can hold triangles; later rows would stay
  // zero anyway, so the table ends with the file.
  const int32_t linesAfter = lines.count() - endLine;
  store::newTriangleTable(triangleTable, std::min(t, std::max(linesAfter, 1)));
  block.read = true;

  search.compile(text::kTrianglePattern);
  for (int32_t r = 1; r <= t && r <= linesAfter; ++r) {
    if (!search.inLine(lines, int64_t(endLine) + r)) continue;  // its row stays 0 0 0 0
    ++block.matched;
    for (int32_t c = 1; c <= kTriangleNumberGroups; ++c) triangleTable.at(r, c) = floatToInt32(search.number(c));
  }
  return block;
}

}  // namespace

void parseSkcFile(ArrayVar<float> vertexTable, ArrayVar<int32_t> triangleTable, TextRef path,
                  int32_t& vertexCount, int32_t& triangleCount) {
  Globals& g = globals();
  // 1. The whole text (the bytes go as soon as the text is made) and its lines.
  const Text whole = [&] {
    const Bytes content = kernel::readFile(path);
    return kernel::bytesToText(content);
  }();
  const LineIndex lines(whole.view());

  // 2. The header line.
  if (lines.count() >= 1 && lines.line(1) != constText(text::kSkcHeaderLine).view()) {
    kernel::messageBox(constText(text::kBadModelFile));
    return;
  }

  Search search;
  // 3. Materials.
  const int32_t materialsLine = readMaterialCount(search, lines);
  if (materialsLine == 0) {
    kernel::messageBox(constText(text::kNoMaterials));
    return;
  }
  // 4. Textures.
  readTextures(search, lines, materialsLine);
  // 5. Head.
  readHead(whole);
  // 6 and 7. Vertices.
  const VertexBlock vertices = readVertices(search, lines, whole, vertexTable);
  // 8 and 9. Triangles.
  const TriangleBlock triangles = readTriangles(search, lines, vertices.endLine, triangleTable);

  // 10. The trace lines, then the counts.
  logLine(concat(constText(text::kMatchedTrianglesLog), kernel::toText(triangles.matched)));
  // NOTE: the first vertex index of the second-to-last triangle exists only
  // with two triangles or more in a table made by this load.
  const int32_t traceRow = triangles.declared - 1;
  if (triangles.read && traceRow >= 1 && uint32_t(traceRow) <= store::tableRows(triangleTable)) {
    logLine(kernel::toText(int32_t(triangleTable.get(traceRow, store::kTriangleIndex1))));
  }
  vertexCount = vertices.read;
  triangleCount = triangles.matched;
  g.modelLoaded = 1;
}

void loadSkcModel(TextRef path) {
  // 0. No redraw reads the store while it is replaced.
  prop::writeInt(ui::kTimer1, prop::kInterval, kTimerStopped);
  ui::replaceLog(constText(text::kSkcLoadBanner));

  Globals& g = globals();
  parseSkcFile(store::vertexTable(), store::triangleTable(), path, g.vertexCount, g.triangleCount);

  // 11. Textures for whatever the store now holds, then the redraw again.
  game::releaseTextures();
  game::prepareTextures();
  logLine(concat(constText(text::kLoadedVerticesLog), kernel::toText(g.vertexCount),
                 constText(text::kLoadedVerticesTail)));
  // The next frame shows the model whole, upright and centred.
  ui::frameModel();
  prop::writeInt(ui::kTimer1, prop::kInterval, kRedrawIntervalMs);
}

}  // namespace ql::model
