#include "model/skc_writer.h"

#include <array>
#include <string_view>

#include "model/text_builder.h"
#include "model/writer_support.h"
#include "module/app/image_link.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "qvkm_image.h"

namespace ql::model {
namespace {

namespace text = gen::text;

constexpr int32_t kNotFound = -1;
// Room reserved up front per line, so that a typical model needs no regrowth.
constexpr size_t kVertexLineEstimate = 96;
constexpr size_t kTriangleLineEstimate = 32;
constexpr size_t kIndexTextEstimate = 8;

std::string_view constView(uint32_t offset) { return app::constText(offset).view(); }

void showMessage(uint32_t offset) { kernel::messageBox(app::constText(offset)); }

// The header template, "{", and one block per entry of materialLibrary.
void appendGeneratedHead(TextBuilder& out) {
  const std::string_view crlf = constView(text::kCrLf);
  out.append(kernel::toText(app::constBytes(gen::byteset::kSkcHeaderTemplate)));
  out.append(constView(text::kSkcOpenBrace));

  auto library = store::materialLibrary();
  const uint32_t materials = listEntries(library.block());
  out.append(constView(text::kSkcMaterialsLine)).appendNumber(int32_t(materials)).append(crlf);
  if (materials == 0) return;
  const Text materialTemplate = kernel::toText(app::constBytes(gen::byteset::kSkcMaterialTemplate));
  for (uint32_t i = 1; i <= materials; ++i) {
    const MaterialEntry* entry = library.get(i);
    out.append(constView(text::kSkcMaterialLine));
    // A bare name (as other programs' material libraries give it) is the
    // file name itself; the material must not lose its texture.
    out.append(constView(text::kSkcTextureLine)).append(plainFileNameOf(entry ? entry->textureFile : nullptr));
    out.append(crlf);
    out.append(materialTemplate).append(crlf);
  }
}

// A name that stays inside the pmodel folder: no folder part, no drive, not
// "." or "..". Checked on the bytes as every path cut of the tool is.
bool isPlainFileName(TextRef name) {
  for (uint32_t piece : {text::kBackslash, text::kSlash, text::kColon}) {
    if (kernel::find(name, app::constText(piece)) != kNotFound) return false;
  }
  return !(name == app::constText(text::kDot) || name == app::constText(text::kDotDot));
}

// A line break or other control byte: a .skcname written by an editor may
// end its line, and the game never loads a file of such a name. GBK's
// double-byte characters hold none of these bytes.
bool holdsControlCharacter(TextRef name) {
  constexpr unsigned char kFirstPrintable = 0x20;
  constexpr unsigned char kDelete = 0x7F;
  for (const char c : name.view()) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < kFirstPrintable || byte == kDelete) return true;
  }
  return false;
}

// Copies the game's file to its backup name through a temporary file, so a
// copy cut short (disk full) never stands as the backup. A copy that fails
// does not stay behind in the game's folder.
bool makeBackup(TextRef target, TextRef backup) {
  const Text pending = concat(backup, app::constText(text::kTmpExtension));
  if (kernel::copyFile(target, pending) && kernel::moveFileOver(pending, backup)) return true;
  kernel::deleteFile(pending);
  return false;
}

// Bone lines that no longer match the vertices are written as they stand
// (row by row, "0" where a vertex has none), but not without a word.
void warnOfBonesMismatch() {
  if (const auto mismatch = bonesMismatch())
    kernel::messageBox(concat(*mismatch, app::constText(text::kBonesMismatchWrite)));
}

}  // namespace

namespace {

// The whole SKC text into `out`.
void appendSkcText(TextBuilder& out) {
  const Globals& g = globals();
  const std::string_view crlf = constView(text::kCrLf);
  const std::string_view space = constView(text::kSpace);

  const void* vertexTable = store::vertexTable().block();
  const void* triangleTable = store::triangleTable().block();
  const int32_t vertices = readableRows(vertexTable, g.vertexCount, kVertexColumns);
  const int32_t triangles = readableRows(triangleTable, g.triangleCount, kTriangleColumns);

  out.reserve(store::skcHead().get().size() + size_t(vertices) * kVertexLineEstimate +
              size_t(triangles) * kTriangleLineEstimate);

  if (!store::skcHead().empty()) {
    out.append(store::skcHead().get()).append(crlf);
  } else {
    appendGeneratedHead(out);
  }

  // NOTE: the counts written are the rows written, so the file stays
  // readable even when the store's count runs past its table.
  out.append(constView(text::kSkcVerticesLine)).appendNumber(vertices).append(crlf);
  const std::string_view vertexLine = constView(text::kSkcVertexLine);
  const std::string_view vt = constView(text::kSkcVt);
  const std::string_view bonesWord = constView(text::kSkcBones);
  const std::string_view missingBones = constView(text::kSkcMissingBones);
  auto bones = store::boneTexts();
  const uint32_t boneEntries = listEntries(bones.block());
  std::array<float, kVertexColumns> v{};
  for (int32_t row = 1; row <= vertices; ++row) {
    readRow(vertexTable, row, v);
    out.append(vertexLine).appendNumber(v[0]).append(space).appendNumber(v[1]).append(space).appendNumber(v[2]);
    out.append(vt).appendNumber(v[3]).append(space).appendNumber(v[4]);
    out.append(bonesWord);
    // An import may leave fewer bone texts than vertices: "0" influences.
    out.append(uint32_t(row) <= boneEntries ? bones.text(row).view() : missingBones);
    out.append(crlf);
  }

  out.append(constView(text::kSkcTrianglesLine)).appendNumber(triangles).append(crlf);
  const std::string_view faceLine = constView(text::kSkcFaceLine);
  // Each vertex index comes back on every triangle that uses the vertex, and
  // the material numbers are few: each distinct value is converted once.
  TextCache numbers(size_t(triangles > 0 ? vertices : 0), kIndexTextEstimate);
  auto appendIndex = [&](int32_t value) {
    if (!numbers.covers(value)) {
      out.appendNumber(value);
      return;
    }
    out.append(numbers.get(size_t(value), [value](TextBuilder& texts) { texts.appendNumber(value); }));
  };
  std::array<int32_t, kTriangleColumns> t{};
  for (int32_t row = 1; row <= triangles; ++row) {
    readRow(triangleTable, row, t);
    out.append(faceLine);
    appendIndex(t[0]);
    for (size_t column = 1; column < kTriangleColumns; ++column) {
      out.append(space);
      appendIndex(t[column]);
    }
    out.append(crlf);
  }

  // An empty line, then "}" without a line end.
  out.append(constView(text::kSkcEnd));
}

// The SKC text as a byte set, ready for the write-file command.
Bytes buildSkcBytes() {
  TextBuilder out(TextBuilder::Layout::kByteSet);
  appendSkcText(out);
  return out.finishBytes();
}

}  // namespace

Text buildSkcText() {
  TextBuilder out;
  appendSkcText(out);
  return out.finish();
}

intptr_t exportSkc(intptr_t, intptr_t, intptr_t) {
  if (!globals().modelLoaded) {
    showMessage(text::kNoOutputData);
    return 0;
  }
  if (!verticesAreFinite()) return 0;
  const std::optional<Text> path = chooseExportFile(text::kSkcFilter);
  if (!path) return 0;
  warnOfBonesMismatch();
  const Bytes skc = buildSkcBytes();
  if (writeBytesFile(*path, skc)) kernel::messageBox(concat(app::constText(text::kSkcExported), *path));
  return 0;
}

intptr_t saveToGame(intptr_t, intptr_t, intptr_t) {
  if (!globals().modelLoaded) {
    showMessage(text::kNoOutputData);
    return 0;
  }
  if (!verticesAreFinite()) return 0;
  // Only a plain file name inside a known game folder: anything else would
  // write somewhere other than the game's pmodel folder.
  if (store::gameFolder().empty()) {
    showMessage(text::kNoGameFolder);
    return 0;
  }
  const TextRef name = store::modelFileName();
  if (name.empty()) {
    showMessage(text::kNoModelFileName);
    return 0;
  }
  if (holdsControlCharacter(name)) {
    kernel::messageBox(concat(app::constText(text::kModelFileNameControl), name));
    return 0;
  }
  if (!isPlainFileName(name)) {
    kernel::messageBox(concat(app::constText(text::kBadModelFileName), name));
    return 0;
  }

  warnOfBonesMismatch();
  const Text target = concat(store::gameFolder(), app::constText(text::kModelFolder), name);
  const Text backup = concat(target, app::constText(text::kBakExtension));
  // The first backup is kept for good; a game without the file has nothing
  // to back up.
  if (!kernel::fileExists(backup) && kernel::fileExists(target)) {
    if (!makeBackup(target, backup)) {
      kernel::messageBox(concat(app::constText(text::kBackupFailed), backup));
      return 0;
    }
    showMessage(text::kBackupMade);
  }

  // The new text goes to a file of its own first; the game's file is
  // replaced only by a complete one. A new text that cannot take its place
  // does not stay behind.
  const Bytes skc = buildSkcBytes();
  const Text pending = concat(target, app::constText(text::kTmpExtension));
  if (!kernel::writeFile(pending, skc)) {
    kernel::deleteFile(pending);
    reportWriteFailure(pending);
    return 0;
  }
  if (!kernel::moveFileOver(pending, target)) {
    kernel::deleteFile(pending);
    reportWriteFailure(target);
    return 0;
  }
  showMessage(text::kSavedToGame);
  return 0;
}

}  // namespace ql::model
