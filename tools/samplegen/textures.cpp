#include "tools/samplegen/textures.h"

#include <stb_image_write.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <stdexcept>

namespace ql::samplegen {
namespace {

constexpr int kJpegQuality = 90;
constexpr int kFrame = 4;  // dark border, so tiling shows in the view

struct Rgba {
  uint8_t r, g, b, a;
};

Rgba hsv(double h, double s, double v, uint8_t a = 255) {
  h = h - std::floor(h);
  const double c = v * s, x = c * (1 - std::fabs(std::fmod(h * 6, 2.0) - 1)), m = v - c;
  double r = 0, g = 0, b = 0;
  switch (int(h * 6) % 6) {
    case 0: r = c, g = x; break;
    case 1: r = x, g = c; break;
    case 2: g = c, b = x; break;
    case 3: g = x, b = c; break;
    case 4: r = x, b = c; break;
    default: r = c, b = x; break;
  }
  auto to8 = [m](double f) { return uint8_t(std::lround((f + m) * 255)); };
  return {to8(r), to8(g), to8(b), a};
}

Rgba pixel(const TextureSpec& spec, int x, int y) {
  if (x < kFrame || y < kFrame || x >= kTextureSize - kFrame || y >= kTextureSize - kFrame)
    return hsv(spec.hue, 0.6, 0.25);
  const double h = spec.hue;
  switch (spec.pattern) {
    case Pattern::kChecker: {
      const bool odd = ((x / 32) + (y / 32)) % 2 != 0;
      if (x % 32 == 0 || y % 32 == 0) return {30, 30, 30, 255};
      return odd ? hsv(h + (x + y) / 1024.0, 0.85, 0.95) : hsv(h + 0.5, 0.35, 1.0);
    }
    case Pattern::kStripes: {
      const int band = ((x + y) / 24) % 6;
      if (spec.alphaHoles && band == 5) return {0, 0, 0, 0};
      return hsv(h + band / 6.0, 0.9, 0.9, spec.alphaHoles && band == 4 ? 128 : 255);
    }
    case Pattern::kRings: {
      const double r = std::hypot(x - 128.0, y - 128.0);
      const int ring = int(r / 14);
      return hsv(h + ring * 0.09, 0.8, ring % 2 ? 0.95 : 0.7);
    }
    case Pattern::kPlaid: {
      const bool across = (y / 20) % 3 == 0, down = (x / 20) % 3 == 0;
      if (across && down) return hsv(h + 0.33, 0.9, 0.6);
      if (across || down) return hsv(h + 0.15, 0.7, 0.9);
      return hsv(h, 0.5, 1.0);
    }
    case Pattern::kScales: {
      const int cx = (x / 32) * 32 + 16, cy = (y / 32) * 32 + 16;
      const double r = std::hypot(x - cx, y - cy);
      if (r > 13) return hsv(h + 0.55, 0.9, 0.5);
      return hsv(h + r / 60.0, 0.9, 1.0 - r / 40.0);
    }
  }
  return {255, 0, 255, 255};
}

void appendToVector(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* p = static_cast<const uint8_t*>(data);
  out->insert(out->end(), p, p + size);
}

std::vector<uint8_t> encodeTga(const TextureSpec& spec) {
  // NOTE: 18-byte header, image type 2 (uncompressed true colour), 32 bits
  // per pixel with 8 alpha bits, rows from the bottom up (descriptor 0x08).
  std::array<uint8_t, 18> header{};
  header[2] = 2;
  header[12] = kTextureSize & 0xFF;
  header[13] = kTextureSize >> 8;
  header[14] = kTextureSize & 0xFF;
  header[15] = kTextureSize >> 8;
  header[16] = 32;
  header[17] = 0x08;
  std::vector<uint8_t> out(header.begin(), header.end());
  out.reserve(out.size() + kTextureSize * kTextureSize * 4);
  for (int row = kTextureSize - 1; row >= 0; --row)
    for (int x = 0; x < kTextureSize; ++x) {
      const Rgba p = pixel(spec, x, row);
      out.insert(out.end(), {p.b, p.g, p.r, p.a});
    }
  return out;
}

}  // namespace

std::vector<uint8_t> encodeTexture(const TextureSpec& spec) {
  if (spec.format == ImageFormat::kTga) return encodeTga(spec);

  std::vector<uint8_t> rgb;
  rgb.reserve(kTextureSize * kTextureSize * 3);
  for (int y = 0; y < kTextureSize; ++y)
    for (int x = 0; x < kTextureSize; ++x) {
      const Rgba p = pixel(spec, x, y);
      rgb.insert(rgb.end(), {p.r, p.g, p.b});
    }
  std::vector<uint8_t> out;
  const int ok = spec.format == ImageFormat::kJpeg
                     ? stbi_write_jpg_to_func(appendToVector, &out, kTextureSize, kTextureSize, 3, rgb.data(), kJpegQuality)
                     : stbi_write_bmp_to_func(appendToVector, &out, kTextureSize, kTextureSize, 3, rgb.data());
  if (!ok || out.empty()) throw std::runtime_error("cannot encode texture " + spec.archiveName);
  return out;
}

}  // namespace ql::samplegen
