// Image files made ready for a GL texture: decoded to RGBA and, for a context
// that only takes power-of-two sizes, scaled. No GL calls here, so that the
// decisions can be tested without a context.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace ql::gl {

// Larger pictures are refused before decoding: a texture of the tool is a
// few hundred pixels wide, and a forged header must not make us allocate
// gigabytes.
inline constexpr std::int32_t kMaxImageSide = 16384;
inline constexpr std::uint64_t kMaxImagePixels = 64ull * 1024 * 1024;
inline constexpr std::uint64_t kMaxImageFileBytes = 512ull * 1024 * 1024;
inline constexpr int kRgbaChannels = 4;

struct RgbaImage {
  std::int32_t width = 0;
  std::int32_t height = 0;
  // 4 bytes per pixel, rows BOTTOM-UP: the first row is the bottom of the
  // picture, which is where a GL texture's t = 0 lies.
  std::vector<std::uint8_t> pixels;
};

// Any format stb_image reads (TGA 24/32-bit uncompressed or RLE, BMP, JPEG,
// PNG, …); the format is told by the content, not the name.
Result<RgbaImage> decodeImage(std::span<const std::uint8_t> file);
// A module path (GBK, '\' separators; resolved ignoring ASCII case), read
// whole and decoded.
Result<RgbaImage> loadImageFile(std::string_view gbkPath);

bool isPowerOfTwo(std::int32_t v);
// The smallest power of two not below v, at most `limit` (itself a power of
// two); 1 for v below 1.
std::int32_t powerOfTwoAtLeast(std::int32_t v, std::int32_t limit);
// True when a context of this GL_VERSION and GL_EXTENSIONS takes only
// power-of-two texture sizes: before OpenGL 2.0 and without
// GL_ARB_texture_non_power_of_two.
bool needsPowerOfTwo(std::string_view version, std::string_view extensions);

// Bilinear scaling that wraps at the edges, as the texture repeats.
RgbaImage scaleImage(const RgbaImage& image, std::int32_t width, std::int32_t height);
// The image as the context can take it: each side at most maxSide (a power
// of two, GL_MAX_TEXTURE_SIZE), and a power of two when powerOfTwo is set.
// Returns the image unchanged when it already fits.
RgbaImage fitForTexture(RgbaImage image, bool powerOfTwo, std::int32_t maxSide);

}  // namespace ql::gl
