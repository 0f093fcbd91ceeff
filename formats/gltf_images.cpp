#include "formats/gltf_images.h"

#include <climits>
#include <cstring>
#include <memory>

#include "common/stb_private.h"

namespace ql::gltf {
namespace {

constexpr unsigned char kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr unsigned char kJpegStart[] = {0xFF, 0xD8, 0xFF};

bool startsWith(std::string_view file, const unsigned char* prefix, size_t length) {
  return file.size() >= length && std::memcmp(file.data(), prefix, length) == 0;
}

void appendBytes(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), size_t(size));
}

struct StbFree {
  void operator()(stbi_uc* p) const { stbi_image_free(p); }
};

}  // namespace

std::optional<EmbeddedImage> embeddableImage(std::string_view file) {
  if (file.size() > size_t(INT_MAX)) return std::nullopt;
  const auto* bytes = reinterpret_cast<const stbi_uc*>(file.data());
  int width = 0, height = 0, channels = 0;
  // NOTE: the header is checked before anything is decoded: a picture of a
  // forged size must not make us allocate gigabytes.
  if (!stbi_info_from_memory(bytes, int(file.size()), &width, &height, &channels)) return std::nullopt;
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) return std::nullopt;
  // PNG and JPEG go in as they are, once the decoder knows them.
  if (startsWith(file, kPngSignature, sizeof kPngSignature)) return EmbeddedImage{"image/png", std::string(file)};
  if (startsWith(file, kJpegStart, sizeof kJpegStart)) return EmbeddedImage{"image/jpeg", std::string(file)};

  // An alpha channel (a 32-bit TGA) is kept: alpha-masked materials need it.
  const int keep = (channels == 2 || channels == 4) ? 4 : 3;
  std::unique_ptr<stbi_uc, StbFree> pixels(stbi_load_from_memory(bytes, int(file.size()), &width, &height, &channels, keep));
  if (!pixels) return std::nullopt;
  EmbeddedImage out{"image/png", {}};
  if (!stbi_write_png_to_func(appendBytes, &out.bytes, width, height, keep, pixels.get(), width * keep)) return std::nullopt;
  return out;
}

}  // namespace ql::gltf
