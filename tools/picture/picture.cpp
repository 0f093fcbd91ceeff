#include "tools/picture/picture.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

// Private copies of stb: the symbols stay inside this file.
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#endif
#include <stb_image.h>
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace ql::picture {

namespace {
constexpr int kChannels = 4;

std::size_t offsetOf(const Picture& p, std::int32_t x, std::int32_t y) {
  return (std::size_t(y) * std::size_t(p.width) + std::size_t(x)) * kChannels;
}

void appendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::string*>(context);
  out->append(static_cast<const char*>(data), std::size_t(size));
}
}  // namespace

Picture::Picture(std::int32_t w, std::int32_t h, Rgba fill) : width(std::max(0, w)), height(std::max(0, h)) {
  rgba.resize(std::size_t(width) * height * kChannels);
  for (std::size_t i = 0; i < rgba.size(); i += kChannels) {
    rgba[i] = fill.r;
    rgba[i + 1] = fill.g;
    rgba[i + 2] = fill.b;
    rgba[i + 3] = fill.a;
  }
}

Result<Picture> Picture::fromPixels(std::int32_t w, std::int32_t h, std::vector<std::uint8_t> pixels) {
  if (w <= 0 || h <= 0 || pixels.size() != std::size_t(w) * std::size_t(h) * kChannels)
    return fail("a picture of " + std::to_string(w) + " x " + std::to_string(h) + " pixels cannot hold " +
                std::to_string(pixels.size()) + " bytes");
  Picture p;
  p.width = w;
  p.height = h;
  p.rgba = std::move(pixels);
  return p;
}

Rgba Picture::at(std::int32_t x, std::int32_t y) const {
  if (x < 0 || y < 0 || x >= width || y >= height) return {};
  const std::size_t i = offsetOf(*this, x, y);
  return {rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
}

void Picture::set(std::int32_t x, std::int32_t y, Rgba c) {
  if (x < 0 || y < 0 || x >= width || y >= height) return;
  const std::size_t i = offsetOf(*this, x, y);
  rgba[i] = c.r;
  rgba[i + 1] = c.g;
  rgba[i + 2] = c.b;
  rgba[i + 3] = c.a;
}

void Picture::draw(const Picture& other, std::int32_t x, std::int32_t y) {
  for (std::int32_t row = 0; row < other.height; ++row)
    for (std::int32_t col = 0; col < other.width; ++col) {
      const Rgba src = other.at(col, row);
      if (src.a == 255) {
        set(x + col, y + row, src);
        continue;
      }
      if (src.a == 0) continue;
      const Rgba dst = at(x + col, y + row);
      auto mix = [&](std::uint8_t s, std::uint8_t d) {
        return std::uint8_t((s * src.a + d * (255 - src.a) + 127) / 255);
      };
      set(x + col, y + row,
          {mix(src.r, dst.r), mix(src.g, dst.g), mix(src.b, dst.b),
           std::uint8_t(src.a + (dst.a * (255 - src.a) + 127) / 255)});
    }
}

Status writePng(const Picture& p, const std::filesystem::path& file) {
  if (!p.valid()) return fail("no picture to write to " + file.string());
  std::string bytes;
  if (!stbi_write_png_to_func(appendBytes, &bytes, p.width, p.height, kChannels, p.rgba.data(),
                              p.width * kChannels))
    return fail("cannot encode a PNG for " + file.string());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out.flush()) return fail("cannot write " + file.string());
  return Ok{};
}

Result<Picture> readPng(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return fail("cannot read " + file.string());
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int w = 0, h = 0, channels = 0;
  stbi_uc* data = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), int(bytes.size()), &w, &h,
                                        &channels, kChannels);
  if (!data) return fail(file.string() + " is no PNG picture: " + stbi_failure_reason());
  Picture p;
  p.width = w;
  p.height = h;
  p.rgba.assign(data, data + std::size_t(w) * h * kChannels);
  stbi_image_free(data);
  return p;
}

Difference compare(const Picture& a, const Picture& b, int tolerance) {
  Difference d;
  d.total = std::int64_t(a.width) * a.height;
  d.sameSize = a.valid() && b.valid() && a.width == b.width && a.height == b.height;
  if (!d.sameSize) {
    d.differing = d.total;
    return d;
  }
  for (std::size_t i = 0; i < a.rgba.size(); i += kChannels) {
    bool differs = false;
    for (int k = 0; k < kChannels; ++k) differs = differs || std::abs(int(a.rgba[i + k]) - int(b.rgba[i + k])) > tolerance;
    d.differing += differs ? 1 : 0;
  }
  return d;
}

std::optional<std::string> baselineMismatch(const Picture& frame, const std::filesystem::path& baseline,
                                            const std::filesystem::path& candidate, int tolerance, double share) {
  if (!frame.valid()) return "no picture to compare with " + baseline.string();
  auto expected = readPng(baseline);
  const Difference d = expected ? compare(frame, *expected, tolerance) : Difference{};
  if (expected && d.sameSize && d.fraction() <= share) return std::nullopt;
  std::string why = !expected   ? "no baseline (" + expected.error().message + ")"
                    : !d.sameSize ? "another size than the baseline " + baseline.string()
                                  : std::to_string(d.differing) + " of " + std::to_string(d.total) +
                                        " pixels differ from the baseline " + baseline.string();
  std::error_code ec;
  std::filesystem::create_directories(candidate.parent_path(), ec);
  const Status written = writePng(frame, candidate);
  return why + "; the picture is in " + candidate.string() +
         (written ? "" : " (not written: " + written.error().message + ")");
}

}  // namespace ql::picture
