#include "tools/samplegen/skc.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

namespace ql::samplegen {
namespace {

constexpr char kCrLf[] = "\r\n";
constexpr int kKeywordColumns = 10;

std::string format(const char* fmt, auto... args) {
  char buf[128];
  const int n = std::snprintf(buf, sizeof buf, fmt, args...);
  if (n < 0 || size_t(n) >= sizeof buf) throw std::runtime_error("number field too long");
  return std::string(buf, size_t(n));
}

// A value that rounds to zero prints as 0, never as "-0.000".
double tidy(double v, int decimals) { return std::fabs(v) < 0.5 * std::pow(10.0, -decimals) ? 0.0 : v; }

// "    Texture   " : four blanks of indentation, the keyword padded to ten.
std::string keyword(std::string_view word) {
  std::string s = "    ";
  s += word;
  s.append(word.size() < size_t(kKeywordColumns) ? kKeywordColumns - word.size() : 1, ' ');
  return s;
}

std::string colourLine(const SkcStyle& style, const char* word, std::initializer_list<double> values) {
  std::string s;
  if (style.tabColourLines) {
    s = std::string("    ") + word + "\t";
    for (size_t i = 0; const double v : values) s += (i++ ? " " : "") + format("%5.2f", v);
  } else {
    s = keyword(word);
    for (size_t i = 0; const double v : values) s += (i++ ? " " : "") + format("%.3f", v);
  }
  return s;
}

std::string boneText(const std::vector<Influence>& bones) {
  // "2 11 0.83333  2 0.16667": the count, then bone and weight pairs; bone
  // numbers after the first are right-aligned in two columns.
  std::string s = std::to_string(bones.size());
  for (size_t i = 0; i < bones.size(); ++i) {
    s += i == 0 ? format(" %d", bones[i].bone) : format(" %2d", bones[i].bone);
    s += format(" %d.%05d", bones[i].weight / kWeightUnits, bones[i].weight % kWeightUnits);
  }
  return s;
}

std::string vertexLine(const SkcStyle& style, const Vertex& v) {
  const int d = style.positionDecimals;
  const int width = d + 5;
  std::string s = "    v";
  for (const double c : {v.pos.x, v.pos.y, v.pos.z}) s += format("%*.*f", width, d, tidy(c, d));
  s += format(" vt %.3f %.3f", tidy(v.u, 3), tidy(v.v, 3));
  return s + " Bones " + boneText(v.bones);
}

}  // namespace

std::string skcText(const SkcStyle& style, const std::vector<MaterialSpec>& materials, const Mesh& mesh) {
  std::vector<std::string> lines = {
      "# Character Skin Export for Interserv",
      "#\t\t\t\t" + style.author,
      "Static Skins: 1 Dynamic Skins: 0",
      "Static Skin " + style.skinName,
      "{",
      "  Materials: " + std::to_string(materials.size()),
  };
  for (const MaterialSpec& m : materials) {
    lines.push_back("  Material");
    lines.push_back(keyword("Texture") + m.texture);
    lines.push_back(keyword("ColorKey") + "0 0 0 0");
    lines.push_back(colourLine(style, "Ambient", {m.ambient, m.ambient, m.ambient}));
    lines.push_back(colourLine(style, "Diffuse", {m.diffuse, m.diffuse, m.diffuse}));
    lines.push_back(colourLine(style, "Specular", {m.specular, m.specular, m.specular}));
    lines.push_back(colourLine(style, "Emissive", {0.0, 0.0, 0.0}));
    lines.push_back(colourLine(style, "Opacity", {1.0}));
    lines.push_back(keyword("Option") + (m.alpha ? "ALPHA" : "NONE"));
    lines.push_back(keyword("TwoSide") + (m.twoSide ? "TRUE" : "FALSE"));
  }
  lines.push_back("  Vertices: " + std::to_string(mesh.vertices.size()));
  for (const Vertex& v : mesh.vertices) lines.push_back(vertexLine(style, v));
  lines.push_back("  Triangles: " + std::to_string(mesh.triangles.size()));
  for (const Triangle& t : mesh.triangles) lines.push_back(format("    f 3%3d %3d %3d %3d", t.material, t.a, t.b, t.c));
  lines.push_back("");
  lines.push_back("}");

  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += kCrLf;
    text += lines[i];
  }
  return text;
}

}  // namespace ql::samplegen
