// The module image as the build generates it: the @const pool, the two
// windows, @code's link area and routine entries, and every other segment,
// laid out by writeImage. emitSource/emitHeader turn the result into the C++
// object that is linked into the executable and the header module code uses.
//
// @code's data, for a pointer width w:
//   link area   13 fields (kind 0): w * slot        -> address of service slot i
//               1 field  (kind 1): 0                -> @const base
//               1 field  (kind 2): 0                -> @var base
//               1 field  (kind 3): clean-up entry   -> address of that entry
//   entries     one w-byte routine address per routine with a symbol
// The entries are zero in the bytes writeImage gives; the emitted object puts
// the routines' addresses there, so the linker and dynamic loader relocate
// them like any other function pointer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/result.h"
#include "module/image/image.h"

namespace ql::imagegen {

constexpr uint32_t kLinkSlotFields = 13;
constexpr uint32_t kLinkConstField = 13;
constexpr uint32_t kLinkVarField = 14;
constexpr uint32_t kLinkCleanupField = 15;
constexpr uint32_t kLinkFieldCount = 16;
// @code's data starts on this boundary so every field and entry is aligned.
constexpr uint32_t kCodeAlignment = 16;

struct GeneratorOptions {
  image::Width width = image::kNativeWidth;
  uint32_t varSize = 0;  // size of the module-wide variables (@var)
};

enum class ConstKind { kText, kByteSet, kDouble, kShape };

struct ConstEntry {
  std::string name;
  ConstKind kind = ConstKind::kText;
  uint32_t offset = 0;  // in @const's data
  ByteVec bytes;        // as stored (texts with their NUL, byte sets with count and length)
  std::string source;   // texts and byte sets: the UTF-8 source text
};

struct RoutineEntry {
  std::string name;
  std::string symbol;
  uint32_t codeOffset = 0;  // of its entry, in @code's data
};

struct GeneratedImage {
  GeneratorOptions options;
  image::ImageModel model;
  ByteVec bytes;  // writeImage(model): the entries are zero here
  std::vector<ConstEntry> constants;
  std::vector<RoutineEntry> routines;
  // Module offsets of the segments' data (from the written layout).
  uint32_t constData = 0, formData = 0, hlpfnData = 0, codeData = 0;
  uint32_t entriesOffset = 0;  // module offset of the first routine entry

  const ConstEntry* constant(std::string_view name) const;
  const RoutineEntry* routine(std::string_view name) const;
  uint32_t width() const { return image::bytesOf(options.width); }
  // Module offset of link-area field i.
  uint32_t linkField(uint32_t i) const { return codeData + i * width(); }
};

// GBK bytes of a UTF-8 source text; fails naming the text when GBK lacks a character.
Result<std::string> gbk(std::string_view utf8, std::string_view what);

Result<image::Form> buildForm(const std::vector<RoutineEntry>& routines);
Result<GeneratedImage> generateImage(const GeneratorOptions& options);

std::string emitHeader(const GeneratedImage& g);
std::string emitSource(const GeneratedImage& g, const std::string& headerName);

}  // namespace ql::imagegen
