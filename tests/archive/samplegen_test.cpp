// The sample game folder: the generated models must read like the game's
// own SKC files, and the texture package must unpack to every texture the
// models name.
#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <stb_image.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/archive/test_support.h"

namespace fs = std::filesystem;
using ql::test::listFolder;
using ql::test::readFile;
using ql::test::runChild;
using ql::test::TempDir;

namespace {

const std::string kSamplegen = QL_SAMPLEGEN_EXE;
const std::string kUnpack = QL_UNPACK_EXE;
constexpr char kHeader[] = "# Character Skin Export for Interserv";

std::vector<std::string> splitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2)
    lines.push_back(text.substr(start, at - start));
  lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    if (j > i) out.push_back(line.substr(i, j - i));
    i = j;
  }
  return out;
}

bool number(const std::string& s, double& v) {
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size();
}
bool integer(const std::string& s, long& v) {
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && end == s.data() + s.size();
}

long countAfter(const std::string& line, const std::string& prefix) {
  long v = -1;
  if (line.rfind(prefix, 0) != 0 || !integer(line.substr(prefix.size()), v)) return -1;
  return v;
}

// What the models show across the folder, so the sample covers every
// variant the tool must read.
struct Seen {
  std::set<std::string> textures, options, twoSides, skinNames, extensions;
  bool tabColourLines = false, threeDecimals = false, fiveDecimals = false, uvOutside = false;
  std::set<long> influenceCounts;
  double minZ = 1e9, maxZ = -1e9;
};

void checkSkc(const std::string& name, const std::string& text, Seen& seen) {
  SCOPED_TRACE(name);
  ASSERT_EQ(text.rfind(std::string(kHeader) + "\r\n", 0), 0u);
  ASSERT_TRUE(text.ends_with("\r\n\r\n}")) << "must end with an empty line and a last line \"}\" without a line end";
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      ASSERT_TRUE(i > 0 && text[i - 1] == '\r') << "bare LF at byte " << i;
    }
    if (text[i] == '\r') {
      ASSERT_TRUE(i + 1 < text.size() && text[i + 1] == '\n') << "bare CR at byte " << i;
    }
  }

  const auto lines = splitCrLf(text);
  ASSERT_GE(lines.size(), 8u);
  EXPECT_EQ(lines[1].rfind("#\t\t\t\t", 0), 0u) << lines[1];
  EXPECT_GT(lines[1].size(), 5u);
  EXPECT_EQ(lines[2], "Static Skins: 1 Dynamic Skins: 0");
  EXPECT_EQ(lines[3].rfind("Static Skin ", 0), 0u);
  seen.skinNames.insert(lines[3].substr(12));
  EXPECT_EQ(lines[4], "{");

  const long materials = countAfter(lines[5], "  Materials: ");
  ASSERT_GE(materials, 2) << lines[5];
  ASSERT_LE(materials, 8) << lines[5];
  size_t n = 6;
  const std::vector<std::string> kMaterialKeywords = {"ColorKey", "Ambient", "Diffuse", "Specular",
                                                      "Emissive", "Opacity", "Option",  "TwoSide"};
  for (long m = 0; m < materials; ++m, n += 10) {
    ASSERT_LT(n + 9, lines.size());
    EXPECT_EQ(lines[n], "  Material") << "line " << n + 1;
    ASSERT_EQ(lines[n + 1].rfind("    Texture   ", 0), 0u) << lines[n + 1];
    const std::string texture = lines[n + 1].substr(14);
    EXPECT_FALSE(texture.empty());
    EXPECT_EQ(texture.find(' '), std::string::npos) << texture;
    seen.textures.insert(texture);
    if (const auto dot = texture.rfind('.'); dot != std::string::npos) seen.extensions.insert(texture.substr(dot));
    for (size_t k = 0; k < kMaterialKeywords.size(); ++k) {
      const std::string& line = lines[n + 2 + k];
      ASSERT_EQ(line.rfind("    " + kMaterialKeywords[k], 0), 0u) << "line " << n + 3 + k << ": " << line;
      if (line.find('\t') != std::string::npos) seen.tabColourLines = true;
    }
    seen.options.insert(words(lines[n + 8]).back());
    seen.twoSides.insert(words(lines[n + 9]).back());
  }

  const long vertices = countAfter(lines[n], "  Vertices: ");
  ASSERT_GE(vertices, 300) << lines[n];
  ASSERT_LE(vertices, 1500) << lines[n];
  ++n;
  for (long v = 0; v < vertices; ++v, ++n) {
    ASSERT_LT(n, lines.size());
    const std::string& line = lines[n];
    ASSERT_EQ(line.rfind("    v ", 0), 0u) << "line " << n + 1 << ": " << line;
    const auto w = words(line);
    ASSERT_GE(w.size(), 11u) << line;
    ASSERT_TRUE(w[0] == "v" && w[4] == "vt" && w[7] == "Bones") << line;
    double x, y, z, tu, tv;
    ASSERT_TRUE(number(w[1], x) && number(w[2], y) && number(w[3], z) && number(w[5], tu) && number(w[6], tv))
        << line;
    const size_t decimals = w[1].size() - w[1].find('.') - 1;
    (decimals == 3 ? seen.threeDecimals : seen.fiveDecimals) = true;
    EXPECT_TRUE(decimals == 3 || decimals == 5) << line;
    seen.minZ = std::min(seen.minZ, z);
    seen.maxZ = std::max(seen.maxZ, z);
    if (tu < 0 || tu > 1 || tv < 0 || tv > 1) seen.uvOutside = true;
    EXPECT_TRUE(tu > -0.1 && tu < 1.1 && tv > -0.1 && tv < 1.1) << line;

    long influences = 0;
    ASSERT_TRUE(integer(w[8], influences)) << line;
    ASSERT_GE(influences, 1) << line;
    ASSERT_LE(influences, 5) << line;
    ASSERT_EQ(w.size(), size_t(9 + 2 * influences)) << line;
    seen.influenceCounts.insert(influences);
    double sum = 0;
    for (long k = 0; k < influences; ++k) {
      long bone = -1;
      double weight = 0;
      ASSERT_TRUE(integer(w[9 + 2 * k], bone) && number(w[10 + 2 * k], weight)) << line;
      EXPECT_GE(bone, 0) << line;
      EXPECT_GT(weight, 0) << line;
      sum += weight;
    }
    EXPECT_NEAR(sum, 1.0, 1e-9) << line;
  }

  // The reader takes the triangle count from the line right after the last vertex.
  const long triangles = countAfter(lines[n], "  Triangles: ");
  ASSERT_GE(triangles, 300) << "line " << n + 1 << ": " << lines[n];
  ASSERT_LE(triangles, 1500) << lines[n];
  ++n;
  for (long t = 0; t < triangles; ++t, ++n) {
    ASSERT_LT(n, lines.size());
    const auto w = words(lines[n]);
    ASSERT_EQ(lines[n].rfind("    f 3 ", 0), 0u) << "line " << n + 1 << ": " << lines[n];
    ASSERT_EQ(w.size(), 6u) << lines[n];
    long m, a, b, c;
    ASSERT_TRUE(integer(w[2], m) && integer(w[3], a) && integer(w[4], b) && integer(w[5], c)) << lines[n];
    EXPECT_TRUE(m >= 0 && m < materials) << "line " << n + 1 << ": " << lines[n];
    for (const long index : {a, b, c}) EXPECT_TRUE(index >= 0 && index < vertices) << "line " << n + 1 << ": " << lines[n];
  }
  ASSERT_EQ(lines.size(), n + 2);
  EXPECT_EQ(lines[n], "");
  EXPECT_EQ(lines[n + 1], "}");
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

void checkTextureFile(const std::string& name, const std::string& bytes) {
  SCOPED_TRACE(name);
  int w = 0, h = 0, comp = 0;
  ASSERT_TRUE(stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), int(bytes.size()), &w, &h, &comp));
  EXPECT_EQ(w, 256);
  EXPECT_EQ(h, 256);
  const std::string ext = lower(name.substr(name.rfind('.')));
  if (ext == ".tga") {
    ASSERT_GE(bytes.size(), 18u + 256 * 256 * 4);
    EXPECT_EQ(bytes[2], 2) << "uncompressed true-colour";
    EXPECT_EQ(bytes[16], 32) << "32 bits per pixel";
  } else if (ext == ".jpg") {
    EXPECT_EQ(bytes.rfind("\xFF\xD8", 0), 0u);
    EXPECT_NE(bytes.find("\xFF\xC0"), std::string::npos) << "baseline frame";
    EXPECT_EQ(bytes.find("\xFF\xC2"), std::string::npos) << "not progressive";
  } else if (ext == ".bmp") {
    EXPECT_EQ(bytes.rfind("BM", 0), 0u);
  } else {
    ADD_FAILURE() << "unexpected texture type";
  }
}

std::map<std::string, std::string> folderContents(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files[fs::relative(e.path(), root).native()] = readFile(e.path());
  return files;
}

class SampleGame : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto r = runChild(kSamplegen, {game().native()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
  }
  fs::path game() const { return tmp.path() / "game"; }
  TempDir tmp;
};

TEST_F(SampleGame, ModelsReadLikeTheGamesOwn) {
  const auto models = listFolder(game() / "pmodel");
  ASSERT_GE(models.size(), 3u);
  ASSERT_LE(models.size(), 4u);
  Seen seen;
  for (const auto& name : models) {
    EXPECT_TRUE(name.ends_with(".skc")) << name;
    checkSkc(name, readFile(game() / "pmodel" / name), seen);
  }
  EXPECT_EQ(seen.extensions, (std::set<std::string>{".JPG", ".bmp", ".jpg", ".tga"}));
  EXPECT_TRUE(seen.textures.count("NULL"));
  EXPECT_EQ(seen.options, (std::set<std::string>{"ALPHA", "NONE"}));
  EXPECT_EQ(seen.twoSides, (std::set<std::string>{"FALSE", "TRUE"}));
  EXPECT_EQ(seen.skinNames, (std::set<std::string>{"S_01", "s_01"}));
  EXPECT_TRUE(seen.tabColourLines);
  EXPECT_TRUE(seen.threeDecimals && seen.fiveDecimals);
  EXPECT_TRUE(seen.uvOutside);
  EXPECT_EQ(seen.influenceCounts, (std::set<long>{1, 2, 3, 4, 5}));
  EXPECT_GE(seen.minZ, 0.0);
  EXPECT_LT(seen.minZ, 0.5);
  EXPECT_GT(seen.maxZ, 39.0);
  EXPECT_LT(seen.maxZ, 43.0);
}

TEST_F(SampleGame, PackageUnpacksFlatToEveryTextureTheModelsName) {
  const fs::path pak = game() / "ptexture.pak";
  ASSERT_TRUE(fs::is_regular_file(pak));
  EXPECT_FALSE(fs::exists(game() / "texture")) << "textures belong inside the package";

  // A ZIP archive whose files sit in a folder.
  {
    std::unique_ptr<archive, decltype(&archive_read_free)> a(archive_read_new(), archive_read_free);
    archive_read_support_format_all(a.get());
    ASSERT_EQ(archive_read_open_filename(a.get(), pak.c_str(), 65536), ARCHIVE_OK);
    archive_entry* e = nullptr;
    int files = 0;
    while (archive_read_next_header(a.get(), &e) == ARCHIVE_OK) {
      EXPECT_EQ((archive_format(a.get()) & ARCHIVE_FORMAT_BASE_MASK), ARCHIVE_FORMAT_ZIP);
      const std::string name = archive_entry_pathname(e);
      EXPECT_EQ(name.rfind("texture/", 0), 0u) << name;
      if (archive_entry_filetype(e) == AE_IFREG) ++files;
    }
    EXPECT_GT(files, 0);
  }

  const fs::path dest = tmp.path() / "lx_ptx_tmp";
  const auto r = runChild(kUnpack, {"e", pak.native(), dest.native() + "/"});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  std::map<std::string, std::string> byLowerName;
  for (const auto& name : listFolder(dest)) {
    ASSERT_TRUE(fs::is_regular_file(dest / name)) << name;
    byLowerName[lower(name)] = name;
    checkTextureFile(name, readFile(dest / name));
  }
  Seen seen;
  for (const auto& model : listFolder(game() / "pmodel")) checkSkc(model, readFile(game() / "pmodel" / model), seen);
  int caseOnlyMatches = 0;
  for (const auto& texture : seen.textures) {
    if (texture == "NULL") continue;
    const auto it = byLowerName.find(lower(texture));
    ASSERT_NE(it, byLowerName.end()) << texture << " is not in the package";
    if (it->second != texture) ++caseOnlyMatches;
  }
  // Windows data: one model names nm.jpg where the package holds nm.JPG.
  EXPECT_GE(caseOnlyMatches, 1);
}

TEST_F(SampleGame, SameBytesOnEveryRun) {
  const fs::path again = tmp.path() / "again";
  const auto r = runChild(kSamplegen, {again.native()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto first = folderContents(game()), second = folderContents(again);
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.size(), second.size());
  for (const auto& [name, bytes] : first) {
    const auto it = second.find(name);
    ASSERT_NE(it, second.end()) << name;
    EXPECT_TRUE(it->second == bytes) << name << " differs between runs";
  }
}

}  // namespace
