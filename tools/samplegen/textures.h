// The sample textures: 256x256 images with bold, colourful patterns, so a
// screenshot shows at once whether a model is textured and how.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ql::samplegen {

inline constexpr int kTextureSize = 256;

enum class ImageFormat { kTga, kJpeg, kBmp };
enum class Pattern { kChecker, kStripes, kRings, kPlaid, kScales };

struct TextureSpec {
  std::string archiveName;  // as stored in the package, letter case included
  ImageFormat format;
  Pattern pattern;
  double hue;               // 0..1, the pattern's leading colour
  bool alphaHoles = false;  // TGA only: transparent gaps for ALPHA materials
};

// The file bytes: TGA 32-bit uncompressed (bottom-up rows), baseline JPEG,
// or 24-bit BMP.
std::vector<uint8_t> encodeTexture(const TextureSpec& spec);

}  // namespace ql::samplegen
