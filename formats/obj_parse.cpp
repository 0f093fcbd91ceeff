#include "formats/obj_parse.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/gbk.h"
#include "common/text_split.h"

namespace ql::obj {
namespace {

using text::Tokens;

// A token as the NUL-terminated text the host's conversions take. Number
// tokens are short and live in the buffer; a longer one (a name) gets a
// string of its own.
class TokenText {
 public:
  explicit TokenText(std::string_view token) {
    if (token.size() < sizeof buffer_) {
      std::memcpy(buffer_, token.data(), token.size());
      buffer_[token.size()] = '\0';
      text_ = buffer_;
    } else {
      long_.assign(token);
      text_ = long_.c_str();
    }
  }
  TokenText(const TokenText&) = delete;
  TokenText& operator=(const TokenText&) = delete;
  const char* c_str() const { return text_; }

 private:
  char buffer_[48];
  std::string long_;
  const char* text_;
};

// How many corners an f line names after its keyword.
int32_t cornerCount(Tokens t) {
  int32_t n = 0;
  while (!t.next().empty()) ++n;
  return n;
}

// One corner of a face: "v", "v/vt", "v//vn" or "v/vt/vn" (the normal
// number is not used).
struct CornerText {
  std::string_view vertex;
  std::string_view texCoord;  // empty: the corner names none
};
CornerText cutCorner(std::string_view corner) {
  const size_t slash = corner.find('/');
  if (slash == std::string_view::npos) return {corner, {}};
  const std::string_view rest = corner.substr(slash + 1);
  return {corner.substr(0, slash), rest.substr(0, rest.find('/'))};
}

class ObjReader {
 public:
  ObjReader(const Counts& counts, Tables tables, Host& host, ObjResult& result)
      : counts_(counts), tables_(tables), host_(host), result_(result),
        texCoords_(size_t(counts.texCoordLines) * 2, 0.0f) {}

  bool line(std::string_view text, int32_t number) {
    line_ = number;
    Tokens t(text);
    const std::string_view k = t.next();
    // A line with fewer than two tokens has nothing to say.
    if (!t.more()) return true;
    if (k == "v") return vertex(t);
    if (k == "vt") return texCoord(t);
    if (k == "f") return face(t);
    if (k == "usemtl") return useMaterial(t);
    if (k == "mtllib") return materialLibrary(t);
    // vn, vp, g, o, s, l, p, usemap and everything else: no effect.
    return true;
  }

  int32_t vertices() const { return vertexRow_; }
  int32_t triangles() const { return triangleRow_; }

  std::optional<Fault> fault;

 private:
  bool refuse(Problem p, int32_t value = 0, int32_t limit = 0) {
    fault = Fault{p, false, line_, value, limit};
    return false;
  }

  // The next n numbers of the line, converted; false when it has fewer.
  template <size_t N>
  bool numbers(Tokens& t, std::array<double, N>& out) {
    for (double& v : out) {
      const std::string_view token = t.next();
      if (token.empty()) return false;
      v = host_.toDouble(TokenText(token).c_str());
    }
    return true;
  }

  bool vertex(Tokens& t) {
    std::array<double, 3> xyz{};
    if (!numbers(t, xyz)) return refuse(Problem::kShortVertexLine);
    // The file's y becomes −z and its z becomes y: the game's up axis.
    float* row = &tables_.vertexRows[size_t(vertexRow_++) * kVertexColumns];
    row[0] = float(xyz[0]);
    row[2] = float(-xyz[1]);
    row[1] = float(xyz[2]);
    return true;
  }

  bool texCoord(Tokens& t) {
    std::array<double, 2> uv{};
    if (!numbers(t, uv)) return refuse(Problem::kShortTexCoordLine);
    const size_t k = size_t(texCoordRow_++);
    const float u = float(uv[0]);
    const float v = float(uv[1]);
    texCoords_[2 * k] = u;
    texCoords_[2 * k + 1] = v;
    // Line k also gives vertex row k its pair, until a corner overwrites it.
    float* row = &tables_.vertexRows[k * kVertexColumns];
    row[3] = u;
    row[4] = v;
    return true;
  }

  // A corner's number as a 1-based line: a negative one counts back from the
  // lines read so far, as OBJ defines. 0 when it names no line.
  int32_t lineNumber(int32_t n, int32_t readSoFar, int32_t lines, Problem outside, Problem before) {
    if (n < 0) {
      const int64_t back = int64_t(readSoFar) + 1 + n;
      if (back >= 1) return int32_t(back);
      refuse(before, n, readSoFar);
      return 0;
    }
    if (n >= 1 && n <= lines) return n;
    refuse(outside, n, lines);
    return 0;
  }

  // Reads one corner: its 0-based vertex index, and the pair of its texture
  // coordinate given to that vertex.
  bool corner(std::string_view token, int32_t& vertexIndex) {
    const CornerText c = cutCorner(token);
    const int32_t written = host_.toInt(TokenText(c.vertex).c_str());
    const int32_t a =
        lineNumber(written, vertexRow_, counts_.vertexLines, Problem::kVertexNumberOutside, Problem::kVertexNumberBefore);
    if (a == 0) return false;
    vertexIndex = a - 1;
    // Without a texture-coordinate number the vertex keeps its pair.
    if (c.texCoord.empty()) return true;
    // The same text converts to the same number: corners as the OBJ writer
    // gives them ("7/7") cost one conversion, not two.
    const int32_t writtenB = c.texCoord == c.vertex ? written : host_.toInt(TokenText(c.texCoord).c_str());
    const int32_t b = lineNumber(writtenB, texCoordRow_, counts_.texCoordLines, Problem::kTexCoordNumberOutside,
                                 Problem::kTexCoordNumberBefore);
    if (b == 0) return false;
    // One pair per vertex: the corner's pair replaces the row's (0, 0 while
    // vt line b is still to come).
    float* v = &tables_.vertexRows[size_t(vertexIndex) * kVertexColumns];
    v[3] = texCoords_[2 * size_t(b - 1)];
    v[4] = texCoords_[2 * size_t(b - 1) + 1];
    return true;
  }

  // A polygon of n corners becomes n − 2 triangles, a fan from its first
  // corner, each with the current material.
  bool face(Tokens& t) {
    if (cornerCount(t) < 3) return refuse(Problem::kShortFace);
    int32_t first = 0, previous = 0, current = 0;
    for (int32_t k = 0;; ++k) {
      const std::string_view token = t.next();
      if (token.empty()) return true;
      if (!corner(token, current)) return false;
      if (k == 0) first = current;
      if (k >= 2) {
        int32_t* row = &tables_.triangleRows[size_t(triangleRow_++) * kTriangleColumns];
        row[0] = material_;
        row[1] = first;
        row[2] = previous;
        row[3] = current;
      }
      previous = current;
    }
  }

  bool useMaterial(Tokens& t) {
    const TokenText name(t.next());
    const int32_t number = materialNumber(result_.library, name.c_str());
    if (number == 0) host_.materialMissing(name.c_str());
    material_ = number - 1;
    return true;
  }

  bool materialLibrary(Tokens& t) {
    const std::string content = host_.readLibrary(TokenText(t.next()).c_str());
    std::vector<Material> library;
    if (auto f = parseMtl(textOf(content), library)) {
      fault = f;
      return false;
    }
    result_.library = std::move(library);
    result_.libraryRead = true;
    return true;
  }

  const Counts& counts_;
  Tables tables_;
  Host& host_;
  ObjResult& result_;
  std::vector<float> texCoords_;  // the pair of each vt line, (0, 0) until it is read
  int32_t line_ = 0;
  int32_t vertexRow_ = 0, texCoordRow_ = 0, triangleRow_ = 0;
  int32_t material_ = 0;  // faces before the first usemtl get material 0
};

const char* problemText(Problem p) {
  switch (p) {
    case Problem::kNoVertexLines: return "no v line";
    case Problem::kNoFaceLines: return "no f line";
    case Problem::kShortVertexLine: return "v line with fewer than three values";
    case Problem::kShortTexCoordLine: return "vt line with fewer than two values";
    case Problem::kShortFace: return "f line with fewer than three corners";
    case Problem::kVertexNumberOutside: return "vertex number outside the v lines";
    case Problem::kTexCoordNumberOutside: return "texture-coordinate number outside the vt lines";
    case Problem::kVertexNumberBefore: return "relative vertex number before the first v line";
    case Problem::kTexCoordNumberBefore: return "relative texture-coordinate number before the first vt line";
    case Problem::kMapKdBeforeNewmtl: return "map_Kd before any newmtl";
  }
  return "unknown problem";
}

// The options a map_Kd line may give before its file name, and how many
// values each takes; -o, -s and -t take one to three numbers.
struct MapOption {
  std::string_view name;
  int values;
  bool upToThreeNumbers;
};
constexpr MapOption kMapOptions[] = {
    {"-blendu", 1, false}, {"-blendv", 1, false}, {"-boost", 1, false},  {"-cc", 1, false},
    {"-clamp", 1, false},  {"-imfchan", 1, false}, {"-texres", 1, false}, {"-bm", 1, false},
    {"-type", 1, false},   {"-mm", 2, false},      {"-o", 3, true},       {"-s", 3, true},
    {"-t", 3, true},
};

// A whole token that reads as a decimal number ("1", "-0.5", "2e3").
bool isNumber(std::string_view s) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const size_t from = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == from) return false;
  }
  return i == s.size();
}

// The part of a map_Kd value after its options.
std::string_view fileNameAfterOptions(std::string_view value) {
  Tokens t(value);
  for (;;) {
    const Tokens before = t;
    const std::string_view token = t.next();
    const MapOption* option = nullptr;
    for (const MapOption& o : kMapOptions)
      if (o.name == token) option = &o;
    if (!option) return before.rest();
    for (int i = 0; i < option->values; ++i) {
      const Tokens beforeValue = t;
      const std::string_view v = t.next();
      if (option->upToThreeNumbers && !isNumber(v)) {
        t = beforeValue;
        break;
      }
    }
  }
}

}  // namespace

std::string Fault::describe() const {
  std::string s = inLibrary ? "material library" : "OBJ file";
  if (line > 0) s += " line " + std::to_string(line);
  s += ": ";
  s += problemText(problem);
  if (problem == Problem::kVertexNumberOutside || problem == Problem::kTexCoordNumberOutside)
    s += " (" + std::to_string(value) + ", allowed 1.." + std::to_string(limit) + ")";
  if (problem == Problem::kVertexNumberBefore || problem == Problem::kTexCoordNumberBefore)
    s += " (" + std::to_string(value) + ", " + std::to_string(limit) + " read before)";
  return s;
}

std::string_view textOf(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

Counts countObjLines(std::string_view text) {
  Counts c;
  text::forEachLine(textOf(text), [&](std::string_view line, int32_t number) {
    c.lines = number;
    Tokens t(line);
    const std::string_view k = t.next();
    // A keyword counts when a token follows it.
    if (k.size() > 2 || !t.more()) return true;
    if (k == "v") {
      ++c.vertexLines;
    } else if (k == "vt") {
      ++c.texCoordLines;
    } else if (k == "f") {
      ++c.faceLines;
      const int64_t corners = cornerCount(t);
      if (corners >= 3) c.triangles = int32_t(std::min<int64_t>(c.triangles + corners - 2, INT32_MAX));
    }
    return true;
  });
  return c;
}

TableRows tableRows(const Counts& counts) {
  return TableRows{std::max({counts.vertexLines, counts.texCoordLines, 1}), std::max(counts.triangles, 1)};
}

int32_t materialNumber(const std::vector<Material>& library, std::string_view name) {
  for (size_t i = 0; i < library.size(); ++i)
    if (library[i].name == name) return int32_t(i + 1);
  return 0;
}

std::string textureFileOf(std::string_view value) {
  std::string_view name = fileNameAfterOptions(value);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
  std::string file(name);
#ifndef _WIN32
  // NOTE: a name that holds a backslash is in the tool's own form already
  // (its earlier files, Windows programs); GBK text is seldom valid UTF-8.
  if (file.find('\\') == std::string::npos) {
    if (auto gbk = linuxPathToGbk(file)) return std::move(*gbk);
  }
#endif
  // A slash is never the second byte of a GBK character: swapped byte-wise.
  std::replace(file.begin(), file.end(), '/', '\\');
  return file;
}

std::optional<Fault> parseMtl(std::string_view text, std::vector<Material>& out) {
  out.clear();
  std::optional<Fault> fault;
  text::forEachLine(textOf(text), [&](std::string_view line, int32_t number) {
    Tokens t(line);
    const std::string_view k = t.next();
    if (!t.more()) return true;
    if (k == "newmtl") {
      out.push_back(Material{std::string(t.next()), std::string()});
    } else if (k == "map_Kd") {
      if (out.empty()) {
        fault = Fault{Problem::kMapKdBeforeNewmtl, true, number};
        return false;
      }
      // The file name keeps the blanks inside it.
      out.back().textureFile = textureFileOf(t.rest());
    }
    // Ka, Kd, Ks, Ns and the rest: no effect.
    return true;
  });
  return fault;
}

std::optional<Fault> parseObj(std::string_view text, const Counts& counts, Tables tables, Host& host,
                              ObjResult& result) {
  if (counts.vertexLines == 0) return Fault{Problem::kNoVertexLines};
  if (counts.faceLines == 0) return Fault{Problem::kNoFaceLines};
  ObjReader reader(counts, tables, host, result);
  text::forEachLine(textOf(text), [&](std::string_view line, int32_t number) { return reader.line(line, number); });
  if (reader.fault) return reader.fault;
  result.vertexCount = reader.vertices();
  result.triangleCount = reader.triangles();
  return std::nullopt;
}

}  // namespace ql::obj
