// Texture files as pictures a glTF file can embed: PNG and JPEG as they are,
// any other picture (TGA, BMP, ...) converted to PNG.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ql::gltf {

struct EmbeddedImage {
  std::string mimeType;  // "image/png" or "image/jpeg"
  std::string bytes;
};

// Nothing when the bytes are no picture the decoder knows, or one larger
// than kMaxImageSide on a side.
std::optional<EmbeddedImage> embeddableImage(std::string_view file);

inline constexpr int kMaxImageSide = 16384;

}  // namespace ql::gltf
