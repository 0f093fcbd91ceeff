// The OBJ and MTL line readers, apart from the runtime: they cut a file's
// text into lines and tokens, dispatch each line by its keyword and fill
// tables that the caller owns. Number conversion, reading the material
// library and telling the user about an unknown material name are the
// caller's (the import goes to the runtime for them; tests and the fuzz
// target bring their own).
//
// Texts are cut exactly as the rest of the tool cuts them: lines end at CR LF
// only (a bare LF is part of the line), tokens are separated by single blanks
// (two blanks in a row give an empty token, a tab is no separator). A text
// ends at its first NUL byte.
//
// NOTE: the readers work in place. They write NUL bytes behind the tokens
// they convert, so the text they get must be writable and be followed by one
// more writable byte (text.data()[text.size()]).
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/gbk.h"

namespace ql::obj {

// Columns of a vertex row and a triangle row.
constexpr size_t kVertexColumns = 5;    // x, y, z, u, v
constexpr size_t kTriangleColumns = 4;  // material, three 0-based vertex indices
// A line's tokens beyond these are never looked at.
constexpr size_t kMaxTokens = 5;

struct Material {
  std::string name;         // token 2 of its newmtl line
  std::string textureFile;  // its map_Kd line without the first 7 bytes
};

enum class Problem : uint8_t {
  kNoVertexLines,        // the file has no v line
  kNoFaceLines,          // the file has no f line
  kShortVertexLine,      // a v line with fewer than three values
  kShortTexCoordLine,    // a vt line with fewer than two values
  kShortFace,            // an f line with fewer than three corners
  kCornerWithoutTexCoord,// a corner without a texture-coordinate number
  kVertexNumberOutside,  // a corner's vertex number outside 1 … v lines
  kTexCoordNumberOutside,// a corner's texture-coordinate number outside 1 … vt lines
  kMapKdBeforeNewmtl,    // a map_Kd line before any newmtl line (material library)
};

// Why a file was refused, and where: the 1-based line of the OBJ file (or of
// its material library when `inLibrary`); 0 when the whole file is at fault.
struct Fault {
  Problem problem;
  bool inLibrary = false;
  int32_t line = 0;
  int32_t value = 0;  // the number at fault (corner numbers)
  int32_t limit = 0;  // the largest number allowed there
  std::string describe() const;
};

// What the readers ask of their caller.
class Host {
 public:
  virtual ~Host() = default;
  // The runtime's conversions of a NUL-terminated token.
  virtual double toDouble(const char* token) = 0;
  virtual int32_t toInt(const char* token) = 0;
  // The whole content of the material library named on an mtllib line
  // (NUL-terminated token); empty when there is none.
  virtual std::string readLibrary(const char* name) = 0;
  // A usemtl name the library does not hold (NUL-terminated token).
  virtual void materialMissing(const char* name) = 0;
};

// The text of a file's bytes: everything before the first NUL.
std::string_view textOf(std::string_view bytes);

// Calls fn(line, lineNumber) for each CR LF line of `text`, as the runtime's
// split at CR LF cuts it; an empty text has no lines, a text ending in CR LF
// an empty last line. Stops early, returning false, when fn returns false.
template <class Fn>
bool forEachLine(std::string_view text, Fn&& fn) {
  if (text.empty()) return true;
  int32_t number = 0;
  size_t at = 0;        // start of the current line
  size_t from = 0;      // where the next CR LF is looked for
  size_t boundary = 0;  // a character boundary of the line, walked forward
  for (;;) {
    const size_t end = text.find("\r\n", from);
    if (end != std::string_view::npos) {
      // The split is double-byte aware: a GBK lead byte just before the CR
      // takes it as its second byte, and the line goes on. Plain ASCII runs
      // are passed eight bytes at a time.
      while (boundary + 8 <= end) {
        uint64_t word;
        std::memcpy(&word, text.data() + boundary, 8);
        if (word & 0x8080808080808080u) break;
        boundary += 8;
      }
      while (boundary < end) boundary += isGbkLeadByte(uint8_t(text[boundary])) ? 2 : 1;
      if (boundary != end) {
        from = end + 1;
        continue;
      }
    }
    ++number;
    if (!fn(text.substr(at, end == std::string_view::npos ? text.size() - at : end - at), number)) return false;
    if (end == std::string_view::npos) return true;
    at = from = boundary = end + 2;
  }
}

// The numbers of lines the import sizes its tables by.
struct Counts {
  int32_t lines = 0;
  int32_t vertexLines = 0;    // v lines (first token "v", at least two tokens)
  int32_t texCoordLines = 0;  // vt lines
  int32_t faceLines = 0;      // f lines
};
Counts countObjLines(std::string_view text);

// The caller's tables, zero-filled, row-major, at least as many rows as
// tableRows() gives for the file's counts.
struct Tables {
  std::span<float> vertexRows;      // rows × kVertexColumns
  std::span<int32_t> triangleRows;  // rows × kTriangleColumns
};

// The rows the readers may fill: a vertex row per v line, or per vt line when
// there are more (vt line k gives vertex row k its pair), a triangle row per
// f line; never fewer than one.
struct TableRows {
  int32_t vertexRows;
  int32_t triangleRows;
};
TableRows tableRows(const Counts& counts);

struct ObjResult {
  int32_t vertexCount = 0;
  int32_t triangleCount = 0;
  // The material library in use: the caller's previous one until an mtllib
  // line replaces it.
  std::vector<Material> library;
  bool libraryRead = false;  // an mtllib line was met
};

// 取材质库中材质号: the 1-based position of the first material of that
// name, 0 when there is none.
int32_t materialNumber(const std::vector<Material>& library, std::string_view name);

// Reads a material library's text into `out` (emptied first).
std::optional<Fault> parseMtl(std::span<char> text, std::vector<Material>& out);

// Reads an OBJ text counted by countObjLines() into `tables` and `result`
// (whose library holds the previous one on entry). On a fault the tables
// hold a partial model and must be dropped.
std::optional<Fault> parseObj(std::span<char> text, const Counts& counts, Tables tables, Host& host,
                              ObjResult& result);

}  // namespace ql::obj
