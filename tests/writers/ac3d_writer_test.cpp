// The AC3D text the writer builds from the store, byte for byte.
#include "formats/ac3d_writer.h"
#include "tools/qlimagegen/module_texts.h"
#include "writer_host.h"

namespace writers {
namespace {

using ql::formats::buildAc3dText;

const std::string kHeader(ql::imagegen::kAc3dHeader);

// The lines of a text cut at CR LF; the text must end with one.
std::vector<std::string> crlfLines(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  for (size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) out.push_back(text.substr(at, end - at));
  EXPECT_EQ(at, text.size()) << "text does not end with CR LF";
  return out;
}

class Ac3dText : public WriterHost {
 protected:
  // Three vertices and two triangles that use them in different orders.
  void fillSmallModel() {
    setVertices({{1.5f, 2, -3, 0.25f, 0.75f}, {0, 0.5f, 41, 1, 0}, {-2, 1, 0.125f, 1.5f, -0.5f}});
    setBoneTexts({"1 0 1", "1 0 1", "1 0 1"});
    setTriangles({{0, 0, 1, 2}, {1, 2, 0, 1}});
    vars.modelLoaded = 1;
  }
};

TEST_F(Ac3dText, OneTextureWholeFile) {
  fillSmallModel();
  setTexturePaths({"C:\\x\\lx_ptx_tmp\\body.tga"});
  EXPECT_EQ(take(buildAc3dText()), kHeader +
                                       "\r\ntexture \"body.tga\"\r\n"
                                       "numvert 3\r\n"
                                       "1.5 2 -3\r\n"
                                       "0 0.5 41\r\n"
                                       "-2 1 0.125\r\n"
                                       "numsurf 2\r\n"
                                       "SURF 0x00\r\nmat 0\r\nrefs 3\r\n"
                                       "0 0.25 0.75\r\n"
                                       "1 1 0\r\n"
                                       "2 1.5 -0.5\r\n"
                                       "SURF 0x00\r\nmat 0\r\nrefs 3\r\n"
                                       "2 1.5 -0.5\r\n"
                                       "0 0.25 0.75\r\n"
                                       "1 1 0\r\n"
                                       "kids 0\r\n");
}

TEST_F(Ac3dText, HeaderKeepsItsBlanksAndRunsIntoTheTextureLine) {
  fillSmallModel();
  setTexturePaths({"C:\\t\\a.tga"});
  const std::string text = take(buildAc3dText());
  ASSERT_EQ(kHeader.size(), 166u);
  EXPECT_EQ(text.substr(0, 166), kHeader);
  EXPECT_NE(text.find("rgb 1 1 1  amb 0.2 0.2 0.2  emis 0 0 0  spec 0.5 0.5 0.5  shi 10  trans 0\r\n"), std::string::npos);
  const std::string seam = "loc 0 0.795615 0\r\ntexture \"a.tga\"\r\n";
  EXPECT_EQ(text.substr(150, seam.size()), seam);
}

TEST_F(Ac3dText, TextureNameByNumberOfTextures) {
  struct Case {
    const char* name;
    std::vector<std::string> paths;
    std::string line;
  };
  const Case cases[] = {
      {"one: entry 1", {"C:\\x\\lx_ptx_tmp\\body.tga"}, "texture \"body.tga\""},
      {"two: entry 2", {"C:\\x\\one.tga", "C:\\x\\two.jpg"}, "texture \"two.jpg\""},
      {"three: still entry 2", {"C:\\x\\one.tga", "D:\\y\\z\\two.tga", "C:\\x\\three.tga"}, "texture \"two.tga\""},
      {"no backslash: empty name", {"body.tga"}, "texture \"\""},
      {"none: empty name", {}, "texture \"\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fillSmallModel();
    setTexturePaths(c.paths);
    const auto lines = crlfLines(take(buildAc3dText()));
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[6], "loc 0 0.795615 0");
    EXPECT_EQ(lines[7], c.line);
  }
}

TEST_F(Ac3dText, OneLinePerVertexAndSixLinesPerTriangle) {
  constexpr int kVertices = 40, kTriangles = 25;
  std::vector<std::array<float, 5>> vertices;
  for (int i = 0; i < kVertices; ++i) vertices.push_back({float(i), float(-i), 0.5f, float(i) / 64, 1 - float(i) / 64});
  std::vector<std::array<int32_t, 4>> triangles;
  for (int t = 0; t < kTriangles; ++t) triangles.push_back({t % 3, (t * 7) % kVertices, (t * 11 + 1) % kVertices, t});
  triangles[0][1] = 0;
  setVertices(vertices);
  setTriangles(triangles);
  setTexturePaths({"C:\\a.tga"});

  const auto lines = crlfLines(take(buildAc3dText()));
  ASSERT_EQ(lines.size(), 8u + 1 + kVertices + 1 + 6 * kTriangles + 1);
  EXPECT_EQ(lines[8], "numvert 40");
  EXPECT_EQ(lines[9 + 7], "7 -7 0.5");
  const size_t surfaces = 9 + kVertices;
  EXPECT_EQ(lines[surfaces], "numsurf 25");
  for (int t = 0; t < kTriangles; ++t) {
    SCOPED_TRACE(t);
    const size_t g = surfaces + 1 + 6 * size_t(t);
    EXPECT_EQ(lines[g], "SURF 0x00");
    EXPECT_EQ(lines[g + 1], "mat 0");
    EXPECT_EQ(lines[g + 2], "refs 3");
    for (int corner = 0; corner < 3; ++corner) {
      const int32_t index = triangles[size_t(t)][size_t(corner) + 1];
      const auto& v = vertices[size_t(index)];
      EXPECT_EQ(lines[g + 3 + size_t(corner)],
                std::to_string(index) + " " + take(ql::kernel::toText(v[3])) + " " + take(ql::kernel::toText(v[4])));
    }
  }
  // Column 2 of the first triangle holds 0: its first reference is vertex row 1.
  EXPECT_EQ(lines[surfaces + 4], "0 0 1");
  EXPECT_EQ(lines.back(), "kids 0");
}

TEST_F(Ac3dText, CornersOutsideTheVerticesGetNoCoordinates) {
  setVertices({{1, 1, 1, 0.25f, 0.5f}, {2, 2, 2, 0.75f, 1}});
  // Indices past the last vertex or negative (a bad import): written as
  // stored, texture coordinates 0 0, no row outside the table read.
  setTriangles({{0, 1, 2, -1}, {5, 0, 1000000, 1}});
  setTexturePaths({"C:\\a.tga"});
  const auto lines = crlfLines(take(buildAc3dText()));
  ASSERT_EQ(lines.size(), 8u + 1 + 2 + 1 + 12 + 1);
  EXPECT_EQ(lines[15], "1 0.75 1");
  EXPECT_EQ(lines[16], "2 0 0");
  EXPECT_EQ(lines[17], "-1 0 0");
  EXPECT_EQ(lines[21], "0 0.25 0.5");
  EXPECT_EQ(lines[22], "1000000 0 0");
  EXPECT_EQ(lines[23], "1 0.75 1");
}

TEST_F(Ac3dText, EmptyModel) {
  setVertices({});
  setTriangles({});
  EXPECT_EQ(take(buildAc3dText()), kHeader + "\r\ntexture \"\"\r\nnumvert 0\r\nnumsurf 0\r\nkids 0\r\n");
}

}  // namespace
}  // namespace writers
