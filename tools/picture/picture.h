// RGBA pictures (rows top-down, 4 bytes a pixel): frames read back from the
// view, written to and read from PNG files, put together and compared.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"

namespace ql::picture {

struct Rgba {
  std::uint8_t r = 0, g = 0, b = 0, a = 0;
  bool operator==(const Rgba&) const = default;
};

struct Picture {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> rgba;  // width × height × 4

  Picture() = default;
  Picture(std::int32_t w, std::int32_t h, Rgba fill = {});
  // From pixels as OffscreenSurface::readPixels gives them; the pixel count
  // must match the size.
  static Result<Picture> fromPixels(std::int32_t w, std::int32_t h, std::vector<std::uint8_t> pixels);

  bool valid() const { return width > 0 && height > 0 && rgba.size() == std::size_t(width) * height * 4; }
  // Outside the picture: transparent black.
  Rgba at(std::int32_t x, std::int32_t y) const;
  void set(std::int32_t x, std::int32_t y, Rgba c);
  // Copies `other` with its top-left corner at (x, y), clipped to this one;
  // its alpha blends it over what is there.
  void draw(const Picture& other, std::int32_t x, std::int32_t y);
};

Status writePng(const Picture& p, const std::filesystem::path& file);
Result<Picture> readPng(const std::filesystem::path& file);

// How far two pictures of one size are apart: a pixel differs when one of
// its four channels differs by more than `tolerance`.
struct Difference {
  bool sameSize = false;
  std::int64_t differing = 0;  // pixels
  std::int64_t total = 0;
  double fraction() const { return total ? double(differing) / double(total) : 1.0; }
};
Difference compare(const Picture& a, const Picture& b, int tolerance);

// A frame against its baseline picture: nothing when at most `share` of its
// pixels differ by more than `tolerance`; otherwise (also without a
// baseline) why not, and the frame is written to `candidate` to look at.
std::optional<std::string> baselineMismatch(const Picture& frame, const std::filesystem::path& baseline,
                                            const std::filesystem::path& candidate, int tolerance, double share);

}  // namespace ql::picture
