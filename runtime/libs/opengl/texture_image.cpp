#include "runtime/libs/opengl/texture_image.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#include <system_error>

#include "runtime/paths/paths.h"

// Private copies of the decoder and the scaler: the library exports nothing
// but its three entry points.
#include "common/stb_private.h"
#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#endif
#include <stb_image_resize.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace ql::gl {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNpotExtension = "GL_ARB_texture_non_power_of_two";
constexpr int kNpotCoreMajor = 2;

std::string sizeText(std::int64_t w, std::int64_t h) { return std::to_string(w) + "x" + std::to_string(h); }

Result<std::vector<std::uint8_t>> readWhole(const fs::path& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  if (ec) return fail("texture file " + path.string() + ": " + ec.message());
  if (size > kMaxImageFileBytes || size > static_cast<std::uintmax_t>(std::numeric_limits<int>::max()))
    return fail("texture file " + path.string() + ": " + std::to_string(size) + " bytes is too large");
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail("texture file " + path.string() + ": cannot be opened");
  std::vector<std::uint8_t> bytes(static_cast<size_t>(size));
  if (size != 0 && !in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size)))
    return fail("texture file " + path.string() + ": read failed");
  return bytes;
}

}  // namespace

Result<RgbaImage> decodeImage(std::span<const std::uint8_t> file) {
  if (file.empty()) return fail("image: the file is empty");
  if (file.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
    return fail("image: " + std::to_string(file.size()) + " bytes is too large");
  const int length = static_cast<int>(file.size());

  // The header first, so that a forged size is refused before any pixel
  // memory is taken.
  int w = 0, h = 0, channels = 0;
  if (!stbi_info_from_memory(file.data(), length, &w, &h, &channels))
    return fail(std::string("image: not a picture stb_image reads (") + stbi_failure_reason() + ")");
  if (w < 1 || h < 1 || w > kMaxImageSide || h > kMaxImageSide ||
      static_cast<std::uint64_t>(w) * static_cast<std::uint64_t>(h) > kMaxImagePixels)
    return fail("image: size " + sizeText(w, h) + " is outside 1.." + std::to_string(kMaxImageSide) +
                " per side");

  int dw = 0, dh = 0;
  stbi_uc* decoded = stbi_load_from_memory(file.data(), length, &dw, &dh, &channels, kRgbaChannels);
  if (!decoded) return fail(std::string("image: decoding failed (") + stbi_failure_reason() + ")");
  if (dw != w || dh != h) {
    stbi_image_free(decoded);
    return fail("image: header said " + sizeText(w, h) + ", pixels are " + sizeText(dw, dh));
  }

  RgbaImage image;
  image.width = w;
  image.height = h;
  const size_t row = static_cast<size_t>(w) * kRgbaChannels;
  image.pixels.resize(row * static_cast<size_t>(h));
  // stb gives rows top-down; a texture's first row is the picture's bottom.
  for (int y = 0; y < h; ++y)
    std::memcpy(image.pixels.data() + static_cast<size_t>(y) * row, decoded + static_cast<size_t>(h - 1 - y) * row,
                row);
  stbi_image_free(decoded);
  return image;
}

Result<RgbaImage> loadImageFile(std::string_view gbkPath) {
  if (gbkPath.empty()) return fail("texture file: the path is empty");
  auto native = paths::toNativeResolved(gbkPath);
  if (!native) return native.error();
  auto bytes = readWhole(*native);
  if (!bytes) return bytes.error();
  auto image = decodeImage(*bytes);
  if (!image) return fail("texture file " + native->string() + ": " + image.error().message);
  return image;
}

bool isPowerOfTwo(std::int32_t v) { return v > 0 && (v & (v - 1)) == 0; }

std::int32_t powerOfTwoAtLeast(std::int32_t v, std::int32_t limit) {
  std::int32_t p = 1;
  while (p < v && p <= limit / 2) p *= 2;
  return p;
}

bool needsPowerOfTwo(std::string_view version, std::string_view extensions) {
  int major = 0;
  const char* begin = version.data();
  const char* end = begin + version.size();
  auto [ptr, ec] = std::from_chars(begin, end, major);
  if (ec == std::errc() && major >= kNpotCoreMajor) return false;
  // The extension string is a list of names separated by blanks.
  size_t at = 0;
  while ((at = extensions.find(kNpotExtension, at)) != std::string_view::npos) {
    const size_t after = at + kNpotExtension.size();
    const bool startsName = at == 0 || extensions[at - 1] == ' ';
    const bool endsName = after == extensions.size() || extensions[after] == ' ';
    if (startsName && endsName) return false;
    at = after;
  }
  return true;
}

RgbaImage scaleImage(const RgbaImage& image, std::int32_t width, std::int32_t height) {
  RgbaImage out;
  out.width = std::max(width, 1);
  out.height = std::max(height, 1);
  out.pixels.resize(static_cast<size_t>(out.width) * static_cast<size_t>(out.height) * kRgbaChannels);
  if (image.width < 1 || image.height < 1 ||
      image.pixels.size() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * kRgbaChannels)
    return out;
  // The triangle filter is bilinear filtering; wrapping matches GL_REPEAT.
  stbir_resize_uint8_generic(image.pixels.data(), image.width, image.height, image.width * kRgbaChannels,
                             out.pixels.data(), out.width, out.height, out.width * kRgbaChannels, kRgbaChannels,
                             STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_WRAP, STBIR_FILTER_TRIANGLE,
                             STBIR_COLORSPACE_LINEAR, nullptr);
  return out;
}

RgbaImage fitForTexture(RgbaImage image, bool powerOfTwo, std::int32_t maxSide) {
  maxSide = std::max(maxSide, 1);
  // A power-of-two size must also stay within the limit: take the largest
  // power of two not above it.
  std::int32_t potLimit = 1;
  while (potLimit <= maxSide / 2) potLimit *= 2;
  auto fit = [&](std::int32_t side) {
    return powerOfTwo ? powerOfTwoAtLeast(side, potLimit) : std::min(side, maxSide);
  };
  const std::int32_t w = fit(image.width);
  const std::int32_t h = fit(image.height);
  if (w == image.width && h == image.height) return image;
  return scaleImage(image, w, h);
}

}  // namespace ql::gl
