#include "formats/obj_parse.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ql::obj {
namespace {

// The first tokens of a line, in place: each runs from `begin` up to its
// separator (a blank, or the end of the line).
struct Tokens {
  std::array<std::span<char>, kMaxTokens> token;
  size_t count = 0;  // held at kMaxTokens: later tokens are never read

  std::string_view keyword() const { return std::string_view(token[0].data(), token[0].size()); }
  // The token as a NUL-terminated text: the byte behind it (its separator,
  // the line's CR or the byte after the text) becomes NUL.
  const char* text(size_t i) const {
    token[i].data()[token[i].size()] = '\0';
    return token[i].data();
  }
};

Tokens tokenize(std::span<char> line) {
  Tokens t;
  // NOTE: an empty line has no tokens at all, "x" one, " " two empty ones.
  if (line.empty()) return t;
  size_t start = 0;
  for (;;) {
    const void* hit = std::memchr(line.data() + start, ' ', line.size() - start);
    const size_t end = hit ? size_t(static_cast<const char*>(hit) - line.data()) : line.size();
    t.token[t.count++] = line.subspan(start, end - start);
    if (!hit || t.count == kMaxTokens) return t;
    start = end + 1;
  }
}

// The lines of a writable text, as spans of it.
template <class Fn>
bool forEachWritableLine(std::span<char> text, Fn&& fn) {
  return forEachLine(std::string_view(text.data(), text.size()), [&](std::string_view line, int32_t number) {
    return fn(text.subspan(size_t(line.data() - text.data()), line.size()), number);
  });
}

class ObjReader {
 public:
  ObjReader(const Counts& counts, Tables tables, Host& host, ObjResult& result)
      : counts_(counts), tables_(tables), host_(host), result_(result),
        texCoords_(size_t(counts.texCoordLines) * 2, 0.0f) {}

  bool line(std::span<char> text, int32_t number) {
    line_ = number;
    const Tokens t = tokenize(text);
    if (t.count < 2) return true;
    const std::string_view k = t.keyword();
    if (k == "#") return true;
    if (k == "v") return vertex(t);
    if (k == "vt") return texCoord(t);
    if (k == "f") return face(t);
    if (k == "usemtl") return useMaterial(t);
    if (k == "mtllib") return materialLibrary(t);
    // vn, g, s, o and everything else: recognised or not, no effect.
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

  bool vertex(const Tokens& t) {
    if (t.count < 4) return refuse(Problem::kShortVertexLine);
    // The file's y becomes −z and its z becomes y: the game's up axis.
    float* row = &tables_.vertexRows[size_t(vertexRow_++) * kVertexColumns];
    row[0] = float(host_.toDouble(t.text(1)));
    row[2] = float(-host_.toDouble(t.text(2)));
    row[1] = float(host_.toDouble(t.text(3)));
    return true;
  }

  bool texCoord(const Tokens& t) {
    if (t.count < 3) return refuse(Problem::kShortTexCoordLine);
    const size_t k = size_t(texCoordRow_++);
    const float u = float(host_.toDouble(t.text(1)));
    const float v = float(host_.toDouble(t.text(2)));
    texCoords_[2 * k] = u;
    texCoords_[2 * k + 1] = v;
    // Line k also gives vertex row k its pair, until a corner overwrites it.
    float* row = &tables_.vertexRows[k * kVertexColumns];
    row[3] = u;
    row[4] = v;
    return true;
  }

  bool face(const Tokens& t) {
    if (t.count < 4) return refuse(Problem::kShortFace);
    int32_t* row = &tables_.triangleRows[size_t(triangleRow_++) * kTriangleColumns];
    row[0] = material_;
    for (size_t k = 1; k <= 3; ++k) {
      // A corner is "a/b" or "a/b/n"; the normal number n is not used.
      std::span<char> corner = t.token[k];
      const void* slash = std::memchr(corner.data(), '/', corner.size());
      if (!slash) return refuse(Problem::kCornerWithoutTexCoord);
      const size_t split = size_t(static_cast<const char*>(slash) - corner.data());
      std::span<char> first = corner.first(split);
      std::span<char> rest = corner.subspan(split + 1);
      const void* slash2 = std::memchr(rest.data(), '/', rest.size());
      std::span<char> second = slash2 ? rest.first(size_t(static_cast<const char*>(slash2) - rest.data())) : rest;
      if (second.empty()) return refuse(Problem::kCornerWithoutTexCoord);
      first.data()[first.size()] = '\0';
      second.data()[second.size()] = '\0';
      const int32_t a = host_.toInt(first.data());
      // The same text converts to the same number: corners as the OBJ writer
      // gives them ("7/7") cost one conversion, not two.
      const bool sameText =
          std::string_view(first.data(), first.size()) == std::string_view(second.data(), second.size());
      const int32_t b = sameText ? a : host_.toInt(second.data());
      if (a < 1 || a > counts_.vertexLines) return refuse(Problem::kVertexNumberOutside, a, counts_.vertexLines);
      if (b < 1 || b > counts_.texCoordLines) return refuse(Problem::kTexCoordNumberOutside, b, counts_.texCoordLines);
      row[k] = a - 1;
      // One pair per vertex: the corner's pair replaces the row's (0, 0 while
      // vt line b is still to come).
      float* v = &tables_.vertexRows[size_t(a - 1) * kVertexColumns];
      v[3] = texCoords_[2 * size_t(b - 1)];
      v[4] = texCoords_[2 * size_t(b - 1) + 1];
    }
    return true;
  }

  bool useMaterial(const Tokens& t) {
    const char* name = t.text(1);
    const int32_t number = materialNumber(result_.library, name);
    if (number == 0) host_.materialMissing(name);
    material_ = number - 1;
    return true;
  }

  bool materialLibrary(const Tokens& t) {
    std::string content = host_.readLibrary(t.text(1));
    content.resize(textOf(content).size());
    // The reader needs one writable byte behind the text.
    content.reserve(content.size() + 1);
    std::vector<Material> library;
    if (auto f = parseMtl(std::span<char>(content.data(), content.size()), library)) {
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
    case Problem::kCornerWithoutTexCoord: return "corner without a texture-coordinate number";
    case Problem::kVertexNumberOutside: return "vertex number outside the v lines";
    case Problem::kTexCoordNumberOutside: return "texture-coordinate number outside the vt lines";
    case Problem::kMapKdBeforeNewmtl: return "map_Kd before any newmtl";
  }
  return "unknown problem";
}

}  // namespace

std::string Fault::describe() const {
  std::string s = inLibrary ? "material library" : "OBJ file";
  if (line > 0) s += " line " + std::to_string(line);
  s += ": ";
  s += problemText(problem);
  if (problem == Problem::kVertexNumberOutside || problem == Problem::kTexCoordNumberOutside)
    s += " (" + std::to_string(value) + ", allowed 1.." + std::to_string(limit) + ")";
  return s;
}

std::string_view textOf(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

Counts countObjLines(std::string_view text) {
  Counts c;
  forEachLine(text, [&](std::string_view line, int32_t number) {
    c.lines = number;
    // A keyword counts when a blank follows it: the line then has two tokens.
    if (line.size() >= 2 && line[0] == 'v' && line[1] == ' ') ++c.vertexLines;
    else if (line.size() >= 3 && line[0] == 'v' && line[1] == 't' && line[2] == ' ') ++c.texCoordLines;
    else if (line.size() >= 2 && line[0] == 'f' && line[1] == ' ') ++c.faceLines;
    return true;
  });
  return c;
}

TableRows tableRows(const Counts& counts) {
  return TableRows{std::max({counts.vertexLines, counts.texCoordLines, 1}), std::max(counts.faceLines, 1)};
}

int32_t materialNumber(const std::vector<Material>& library, std::string_view name) {
  for (size_t i = 0; i < library.size(); ++i)
    if (library[i].name == name) return int32_t(i + 1);
  return 0;
}

std::optional<Fault> parseMtl(std::span<char> text, std::vector<Material>& out) {
  out.clear();
  std::optional<Fault> fault;
  forEachWritableLine(text, [&](std::span<char> line, int32_t number) {
    const Tokens t = tokenize(line);
    if (t.count < 2) return true;
    const std::string_view k = t.keyword();
    if (k == "newmtl") {
      out.push_back(Material{std::string(t.text(1)), std::string()});
    } else if (k == "map_Kd") {
      if (out.empty()) {
        fault = Fault{Problem::kMapKdBeforeNewmtl, true, number};
        return false;
      }
      // Everything after "map_Kd" and one blank, later blanks included.
      constexpr size_t kKeywordAndBlank = 7;
      out.back().textureFile.assign(line.data() + kKeywordAndBlank, line.size() - kKeywordAndBlank);
    }
    // Ka, Kd, Ks, Ns and the rest: no effect.
    return true;
  });
  return fault;
}

std::optional<Fault> parseObj(std::span<char> text, const Counts& counts, Tables tables, Host& host,
                              ObjResult& result) {
  if (counts.vertexLines == 0) return Fault{Problem::kNoVertexLines};
  if (counts.faceLines == 0) return Fault{Problem::kNoFaceLines};
  ObjReader reader(counts, tables, host, result);
  forEachWritableLine(text, [&](std::span<char> line, int32_t number) { return reader.line(line, number); });
  if (reader.fault) return reader.fault;
  result.vertexCount = reader.vertices();
  result.triangleCount = reader.triangles();
  return std::nullopt;
}

}  // namespace ql::obj
