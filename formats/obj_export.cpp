#include "formats/obj_export.h"

#include <array>
#include <bit>
#include <cctype>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "common/gbk.h"
#include "model/text_builder.h"
#include "model/writer_support.h"
#include "module/app/image_link.h"
#include "module/support/array.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "qvkm_image.h"

namespace ql::formats {
namespace {

namespace text = gen::text;
using model::TextBuilder;

constexpr int32_t kNotFound = -1;
// Room reserved up front: a v line and a vt line per vertex, an f line per triangle.
constexpr size_t kVertexBytesEstimate = 60;
constexpr size_t kTriangleBytesEstimate = 40;

std::string_view constView(uint32_t offset) { return app::constText(offset).view(); }

// Short pieces are copied as a whole block of this many bytes (the bytes
// past a piece's length are overwritten by the next one): a fixed-size copy
// costs no call.
constexpr size_t kPieceBytes = 16;

// A constant piece of the text (a line's keyword, a blank), padded for the
// fixed-size copy.
struct Piece {
  explicit Piece(std::string_view s) : text(s) {
    if (s.size() <= kPieceBytes) std::memcpy(bytes.data(), s.data(), s.size());
  }
  std::array<char, kPieceBytes> bytes{};
  std::string_view text;
};

// The text gathered in a buffer of ours and handed to the builder some
// kilobytes at a time: a line has up to a dozen pieces of a few bytes each,
// and copying each through the builder would cost a call apiece.
class Chunk {
 public:
  explicit Chunk(TextBuilder& out) : out_(out) {}
  ~Chunk() { flush(); }
  Chunk(const Chunk&) = delete;
  Chunk& operator=(const Chunk&) = delete;

  // `length` bytes of `padded`, which may be read up to kPieceBytes.
  void putPadded(const char* padded, size_t length) {
    if (length > kPieceBytes) return put(std::string_view(padded, length));
    if (kCapacity - size_ < kPieceBytes) flush();
    std::memcpy(buffer_ + size_, padded, kPieceBytes);
    size_ += length;
  }
  void put(const Piece& p) {
    if (p.text.size() > kPieceBytes) return put(p.text);
    putPadded(p.bytes.data(), p.text.size());
  }
  void put(std::string_view s) {
    if (s.size() > kCapacity - size_) {
      flush();
      if (s.size() > kCapacity) {
        out_.append(s);
        return;
      }
    }
    std::memcpy(buffer_ + size_, s.data(), s.size());
    size_ += s.size();
  }
  void flush() {
    out_.append(std::string_view(buffer_, size_));
    size_ = 0;
  }

 private:
  static constexpr size_t kCapacity = 4 * 1024;
  TextBuilder& out_;
  size_t size_ = 0;
  char buffer_[kCapacity];
};

// Face indices as plain decimal, formatted here: a face line holds six of
// them, and the runtime's conversion would cost a call and a text each.
class Decimal {
 public:
  explicit Decimal(int64_t v) { size_ = uint8_t(std::to_chars(digits_, digits_ + sizeof digits_, v).ptr - digits_); }
  std::string_view view() const { return std::string_view(digits_, size_); }
  void putInto(Chunk& out) const { out.putPadded(digits_, size_); }

 private:
  char digits_[24]{};  // room for the padded copy
  static_assert(sizeof digits_ >= kPieceBytes);
  uint8_t size_;
};

// The name part of a file name: up to, not including, its last dot.
Text withoutExtension(TextRef fileName) {
  const int32_t dot = kernel::findLast(fileName, app::constText(text::kDot));
  if (dot == kNotFound) return Text::copy(fileName);
  return kernel::left(fileName, dot - 1);
}

// Texts of the numbers already converted, by their bits. A model repeats
// many of its numbers (vertices split along a texture seam share their
// position; texture coordinates such as 0 and 1 recur), and each repeat would
// otherwise be one more conversion by the runtime. The runtime's text of a
// number depends on its bits alone, so a repeat gets the very same text.
// Direct-mapped: a number takes its slot from whatever was there.
class FloatTexts {
 public:
  FloatTexts() : slots_(new Slot[kSlots]()) {}

  void putInto(Chunk& out, float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    Slot& slot = slots_[(bits * kHashFactor) >> (32 - kSlotBits)];
    if (slot.length != 0 && slot.bits == bits) {
      out.putPadded(slot.text, slot.length);
      return;
    }
    const Text made = kernel::toText(value);
    const std::string_view view = made.view();
    out.put(view);
    // A text too long for a slot (none of the runtime's float texts is) is
    // converted again on each use.
    if (view.empty() || view.size() > sizeof slot.text) return;
    slot.bits = bits;
    slot.length = uint8_t(view.size());
    std::memcpy(slot.text, view.data(), view.size());
  }

 private:
  static constexpr unsigned kSlotBits = 13;
  static constexpr size_t kSlots = size_t(1) << kSlotBits;
  static constexpr uint32_t kHashFactor = 0x9E3779B1u;  // spreads neighbouring bit patterns
  struct Slot {
    uint32_t bits;
    uint8_t length;  // 0: empty
    char text[27];   // read up to kPieceBytes for the padded copy
  };
  static_assert(sizeof(Slot) == 32 && sizeof(Slot::text) >= kPieceBytes);
  std::unique_ptr<Slot[]> slots_;
};

// Rows of a table of 4-byte elements, read in place: the export reads
// millions of them. Only rows within model::readableRows() are read.
class TableRows {
 public:
  TableRows(const void* table, int32_t rows) {
    if (rows <= 0) return;
    first_ = static_cast<const uint8_t*>(table) + arr::headerSize(table);
    stride_ = size_t(arr::dimensionSize(table, 1)) * kElementWidth;
  }
  template <class T, size_t N>
  void read(int32_t row, std::array<T, N>& out) const {
    static_assert(sizeof(T) == kElementWidth);
    std::memcpy(out.data(), first_ + size_t(row - 1) * stride_, sizeof out);
  }

 private:
  static constexpr size_t kElementWidth = 4;
  const uint8_t* first_ = nullptr;
  size_t stride_ = 0;
};

// The material names, 1-based as the triangle table's material numbers + 1.
std::vector<Text> materialNames() {
  auto paths = store::texturePaths();
  const uint32_t count = model::listEntries(paths.block());
  std::vector<Text> names;
  names.reserve(count);
  for (uint32_t i = 1; i <= count; ++i) names.push_back(objMaterialName(int32_t(i), paths.text(i)));
  return names;
}

// The first triangle whose material is not one of the texture paths; the
// OBJ would otherwise name a material its MTL does not hold.
struct BadMaterial {
  int32_t triangle;
  int32_t material;
  int32_t materials;
};
std::optional<BadMaterial> firstBadMaterial() {
  const void* table = store::triangleTable().block();
  const int32_t triangles = model::readableRows(table, globals().triangleCount, model::kTriangleColumns);
  const int32_t materials = int32_t(model::listEntries(store::texturePaths().block()));
  const TableRows rows(table, triangles);
  std::array<int32_t, model::kTriangleColumns> t{};
  for (int32_t row = 1; row <= triangles; ++row) {
    rows.read(row, t);
    if (t[0] < 0 || t[0] >= materials) return BadMaterial{row, t[0], materials};
  }
  return std::nullopt;
}

void reportBadMaterial(const BadMaterial& bad) {
  kernel::messageBox(concat(app::constText(text::kInvalidMaterialPrefix), kernel::toText(bad.triangle),
                            app::constText(text::kInvalidMaterialNumber), kernel::toText(bad.material),
                            app::constText(text::kInvalidMaterialCount), kernel::toText(bad.materials),
                            app::constText(text::kInvalidMaterialEnd)));
}

}  // namespace

Text objOutputFolder(TextRef objPath) {
  const int32_t at = kernel::findLast(objPath, app::constText(text::kBackslash));
  // NOTE: a bare name (no folder) writes beside the program's current folder.
  if (at == kNotFound) return Text::copy(app::constText(text::kEmpty));
  return kernel::left(objPath, at);
}

Text objBaseName(TextRef objPath) {
  const int32_t at = kernel::findLast(objPath, app::constText(text::kBackslash));
  if (at == kNotFound) return withoutExtension(objPath);
  return withoutExtension(kernel::right(objPath, kernel::length(objPath) - at));
}

Text objMaterialName(int32_t number, TextRef texturePath) {
  // A texture path without a folder gives an empty base name.
  const int32_t at = kernel::findLast(texturePath, app::constText(text::kBackslash));
  const Text base = at == kNotFound ? Text::copy(app::constText(text::kEmpty))
                                    : withoutExtension(kernel::right(texturePath, kernel::length(texturePath) - at));
  return concat(app::constText(text::kMaterialNamePrefix), kernel::toText(number),
                app::constText(text::kUnderscore), base);
}

namespace {

// The whole OBJ text into `out`.
void appendObjText(TextBuilder& out, TextRef mtlFileName, const std::vector<Text>& names) {
  const Globals& g = globals();
  const void* vertexTable = store::vertexTable().block();
  const void* triangleTable = store::triangleTable().block();
  const int32_t vertices = model::readableRows(vertexTable, g.vertexCount, model::kVertexColumns);
  const int32_t triangles = model::readableRows(triangleTable, g.triangleCount, model::kTriangleColumns);
  const TableRows vertexRows(vertexTable, vertices);
  const TableRows triangleRows(triangleTable, triangles);
  out.reserve(size_t(vertices) * kVertexBytesEstimate + size_t(triangles) * kTriangleBytesEstimate);
  out.append(constView(text::kObjHeader));
  out.append(constView(text::kObjCommentLine)).append(constView(text::kHelpThreadAddress));
  out.append(constView(text::kObjMtllib)).append(mtlFileName);
  out.append(constView(text::kObjObjectLine));

  {
    Chunk chunk(out);
    FloatTexts numbers;
    const Piece space(constView(text::kSpace));
    const Piece slash(constView(text::kSlash));
    std::array<float, model::kVertexColumns> v{};
    const Piece vLine(constView(text::kObjVertex));
    for (int32_t row = 1; row <= vertices; ++row) {
      vertexRows.read(row, v);
      chunk.put(vLine);
      numbers.putInto(chunk, v[0]);
      chunk.put(space);
      numbers.putInto(chunk, v[1]);
      chunk.put(space);
      numbers.putInto(chunk, v[2]);
    }
    // No coordinate is transformed: the texture coordinates go out as stored.
    const Piece vtLine(constView(text::kObjTexCoord));
    for (int32_t row = 1; row <= vertices; ++row) {
      vertexRows.read(row, v);
      chunk.put(vtLine);
      numbers.putInto(chunk, v[3]);
      chunk.put(space);
      numbers.putInto(chunk, v[4]);
    }

    const std::string_view usemtl = constView(text::kObjUsemtl);
    const Piece fLine(constView(text::kObjFace));
    std::array<int32_t, model::kTriangleColumns> t{};
    int64_t previous = 0;  // a first face with a valid material (0 or more) always names it
    for (int32_t row = 1; row <= triangles; ++row) {
      triangleRows.read(row, t);
      const int64_t m = int64_t(t[0]) + 1;
      if (m != previous) {
        // exportObj refuses models whose materials fall outside the names.
        const bool named = m >= 1 && size_t(m) <= names.size();
        chunk.put(usemtl);
        chunk.put(named ? names[size_t(m) - 1].view() : std::string_view());
        previous = m;
      }
      chunk.put(fLine);
      for (size_t k = 1; k < model::kTriangleColumns; ++k) {
        const Decimal p(int64_t(t[k]) + 1);  // a stored index of INT32_MAX must not wrap
        if (k > 1) chunk.put(space);
        p.putInto(chunk);
        chunk.put(slash);
        p.putInto(chunk);
      }
    }
  }
}

// The texture path as a 3D program on this machine finds it. On Linux the
// tool's paths ("\home\a\x.tga", GBK) are written in the form Linux programs
// read (UTF-8, "/"); a path with a drive names no Linux file and stays.
std::string mtlTexturePath(TextRef path) {
  const std::string_view p = path.view();
#ifndef _WIN32
  const bool drive = p.size() >= 2 && std::isalpha(uint8_t(p[0])) && p[1] == ':';
  if (!drive) {
    if (auto native = gbkPathToLinux(p)) return std::move(*native);
  }
#endif
  return std::string(p);
}

void appendMtlText(TextBuilder& out, const std::vector<Text>& names) {
  auto paths = store::texturePaths();
  out.append(constView(text::kMtlCountLine)).appendNumber(int32_t(names.size())).append(constView(text::kCrLf));
  for (size_t i = 0; i < names.size(); ++i) {
    out.append(constView(text::kMtlNewmtl)).append(names[i]).append(constView(text::kCrLf));
    out.append(constView(text::kMtlColourBlock)).append(constView(text::kMtlSurfaceBlock));
    out.append(constView(text::kMtlMapKd)).append(mtlTexturePath(paths.text(uint32_t(i + 1))));
  }
}

}  // namespace

Text buildObjText(TextRef mtlFileName) {
  TextBuilder out;
  appendObjText(out, mtlFileName, materialNames());
  return out.finish();
}

Text buildMtlText() {
  TextBuilder out;
  appendMtlText(out, materialNames());
  return out.finish();
}

Text buildBonesText() {
  auto bones = store::boneTexts();
  const uint32_t count = model::listEntries(bones.block());
  TextBuilder out;
  for (uint32_t i = 1; i <= count; ++i) {
    if (i > 1) out.append(constView(text::kCrLf));
    out.append(bones.text(i));
  }
  return out.finish();
}

intptr_t exportObj(intptr_t, intptr_t, intptr_t) {
  if (!globals().modelLoaded) {
    kernel::messageBox(app::constText(text::kNoOutputData));
    return 0;
  }
  // Checked before the dialog: nothing is asked for and nothing written.
  if (const auto bad = firstBadMaterial()) {
    reportBadMaterial(*bad);
    return 0;
  }
  if (!model::verticesAreFinite()) return 0;
  const std::optional<Text> path = model::chooseExportFile(text::kObjFilter);
  if (!path) {
    kernel::messageBox(app::constText(text::kExportCancelled));
    return 0;
  }
  const Text folder = objOutputFolder(*path);
  const Text mtlName = concat(objBaseName(*path), app::constText(text::kMtlExtension));
  const Text mtlPath = concat(folder, mtlName);

  // The side files go beside the OBJ file, where the import looks for them.
  struct Output {
    Text path;
    Text content;
  };
  // The OBJ text, by far the largest, is built as a byte set in place and
  // goes to the write-file command without a copy.
  const std::vector<Text> names = materialNames();
  TextBuilder objText(TextBuilder::Layout::kByteSet);
  appendObjText(objText, mtlName, names);
  if (!model::writeBytesFile(*path, objText.finishBytes())) return 0;
  TextBuilder mtlText;
  appendMtlText(mtlText, names);
  const std::array<Output, 4> outputs{{
      {Text::copy(mtlPath), mtlText.finish()},
      {concat(folder, app::constText(text::kBonesFile)), buildBonesText()},
      {concat(folder, app::constText(text::kSkcHeadFile)), Text::copy(store::skcHead())},
      {concat(folder, app::constText(text::kSkcNameFile)), Text::copy(store::modelFileName())},
  }};
  for (const Output& o : outputs)
    if (!model::writeTextFile(o.path, o.content)) return 0;
  kernel::messageBox(concat(app::constText(text::kModelExported), *path));
  return 0;
}

}  // namespace ql::formats
