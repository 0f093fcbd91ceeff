// The OBJ and MTL line readers, apart from the runtime: they cut a file's
// text into lines and tokens, dispatch each line by its keyword and fill
// tables that the caller owns. Number conversion, reading the material
// library and telling the user about an unknown material name are the
// caller's (the import goes to the runtime for them; tests and the fuzz
// target bring their own).
//
// Files come from the tool's own writer and from other programs, so lines
// end at CR LF, LF or CR and tokens are separated by runs of blanks and TABs
// (common/text_split.h); the tool's own files, with CR LF and single blanks,
// read as they always did. A text ends at its first NUL byte.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ql::obj {

// Columns of a vertex row and a triangle row.
constexpr size_t kVertexColumns = 5;    // x, y, z, u, v
constexpr size_t kTriangleColumns = 4;  // material, three 0-based vertex indices

struct Material {
  std::string name;         // token 2 of its newmtl line
  std::string textureFile;  // the file its map_Kd line names, see textureFileOf()
};

enum class Problem : uint8_t {
  kNoVertexLines,        // the file has no v line
  kNoFaceLines,          // the file has no f line
  kShortVertexLine,      // a v line with fewer than three values
  kShortTexCoordLine,    // a vt line with fewer than two values
  kShortFace,            // an f line with fewer than three corners
  kVertexNumberOutside,  // a corner's vertex number outside 1 … v lines
  kTexCoordNumberOutside,// a corner's texture-coordinate number outside 1 … vt lines
  kVertexNumberBefore,   // a relative vertex number reaching before the first v line
  kTexCoordNumberBefore, // a relative texture-coordinate number reaching before the first vt line
  kMapKdBeforeNewmtl,    // a map_Kd line before any newmtl line (material library)
};

// Why a file was refused, and where: the 1-based line of the OBJ file (or of
// its material library when `inLibrary`); 0 when the whole file is at fault.
struct Fault {
  Problem problem;
  bool inLibrary = false;
  int32_t line = 0;
  int32_t value = 0;  // the number at fault (corner numbers), as written
  int32_t limit = 0;  // the largest number allowed there; for a relative one the lines read before
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

// The numbers of lines the import sizes its tables by.
struct Counts {
  int32_t lines = 0;
  int32_t vertexLines = 0;    // v lines (first token "v", at least two tokens)
  int32_t texCoordLines = 0;  // vt lines
  int32_t faceLines = 0;      // f lines
  int32_t triangles = 0;      // what the f lines become: n − 2 for n corners
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
// triangle of the f lines; never fewer than one.
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

// The texture file a map_Kd value names, in the form of the tool's paths:
// options before the name (-s 1 1 1, -bm 1, …) and quotes around it
// dropped, "/" separators made backslashes. On Linux a value written as Linux
// programs write paths (UTF-8, no backslash) is turned into GBK, as the
// runtime turns the paths it is given.
std::string textureFileOf(std::string_view value);

// Reads a material library's text into `out` (emptied first).
std::optional<Fault> parseMtl(std::string_view text, std::vector<Material>& out);

// Reads an OBJ text counted by countObjLines() into `tables` and `result`
// (whose library holds the previous one on entry). On a fault the tables
// hold a partial model and must be dropped.
std::optional<Fault> parseObj(std::string_view text, const Counts& counts, Tables tables, Host& host,
                              ObjResult& result);

}  // namespace ql::obj
