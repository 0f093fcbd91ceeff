// The sample game folder's content: four characters and their textures.
#pragma once

#include <string>
#include <vector>

#include "tools/samplegen/mesh.h"
#include "tools/samplegen/skc.h"
#include "tools/samplegen/textures.h"

namespace ql::samplegen {

struct SampleModel {
  std::string fileName;  // in pmodel/
  SkcStyle style;
  std::vector<MaterialSpec> materials;
  Mesh mesh;
};

std::vector<SampleModel> sampleModels();
std::vector<TextureSpec> sampleTextures();

}  // namespace ql::samplegen
