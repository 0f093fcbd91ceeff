// qlsamplegen OUTDIR: writes the sample game folder (pmodel/*.skc and
// ptexture.pak) that the tool is run and tested on. The same bytes on
// every run.
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "tools/samplegen/models.h"
#include "tools/samplegen/pak.h"

namespace fs = std::filesystem;
using namespace ql::samplegen;

namespace {

constexpr char kModelFolder[] = "pmodel";
constexpr char kPackageFile[] = "ptexture.pak";
constexpr char kPackageFolder[] = "texture";

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: qlsamplegen OUTDIR\n";
    return 2;
  }
  try {
    const fs::path outDir = argv[1];
    fs::create_directories(outDir / kModelFolder);
    for (const SampleModel& m : sampleModels()) {
      writeFile(outDir / kModelFolder / m.fileName, skcText(m.style, m.materials, m.mesh));
      std::cout << "qlsamplegen: " << m.fileName << ": " << m.materials.size() << " materials, "
                << m.mesh.vertices.size() << " vertices, " << m.mesh.triangles.size() << " triangles\n";
    }
    std::vector<PakFile> files;
    for (const TextureSpec& t : sampleTextures()) files.push_back({t.archiveName, encodeTexture(t)});
    writePak(outDir / kPackageFile, kPackageFolder, files);
    std::cout << "qlsamplegen: " << kPackageFile << ": " << files.size() << " textures\n";
  } catch (const std::exception& e) {
    std::cerr << "qlsamplegen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
