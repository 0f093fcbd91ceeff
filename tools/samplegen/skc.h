// SKC text in the layout of the game's own model files (CR LF line ends,
// fixed-width number fields, keywords padded to ten columns, a last line
// "}" without a line end).
#pragma once

#include <string>
#include <vector>

#include "tools/samplegen/mesh.h"

namespace ql::samplegen {

struct MaterialSpec {
  std::string texture;  // file name as the model names it, or "NULL"
  bool alpha = false;   // Option ALPHA instead of NONE
  bool twoSide = false;
  double ambient = 1.0, diffuse = 1.0, specular = 0.0;
};

struct SkcStyle {
  std::string author;
  std::string skinName = "S_01";
  // Some exporters wrote colour lines as "Ambient<TAB> 0.70  0.70  0.70".
  bool tabColourLines = false;
  int positionDecimals = 5;  // 5 or 3
};

std::string skcText(const SkcStyle& style, const std::vector<MaterialSpec>& materials, const Mesh& mesh);

}  // namespace ql::samplegen
