#include "runtime/libs/imageconv/convert.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

// Private copies of the decoders and the encoder: the library exports nothing
// but its three entry points.
#include "common/stb_private.h"

namespace ql::imageconv {
namespace fs = std::filesystem;

namespace {

constexpr int kBmpChannels = 3;

Result<std::vector<unsigned char>> readWhole(const fs::path& path) {
  std::error_code ec;
  const uintmax_t size = fs::file_size(path, ec);
  if (ec) return fail("cannot read " + path.string() + ": " + ec.message());
  if (size > kMaxSourceBytes)
    return fail("source " + path.string() + " has " + std::to_string(size) + " bytes, more than " +
                std::to_string(kMaxSourceBytes));
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> bytes(static_cast<size_t>(size));
  if (!in || !in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size())))
    return fail("cannot read " + path.string());
  return bytes;
}

void appendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<unsigned char>*>(context);
  const auto* p = static_cast<const unsigned char*>(data);
  out->insert(out->end(), p, p + size);
}

// Written beside the target and renamed over it, so that a reader never sees
// half a file and a failed write keeps the old one.
Status writeWhole(const fs::path& target, const std::vector<unsigned char>& bytes) {
  fs::path temporary = target;
  temporary += ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return fail("cannot create " + temporary.string());
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(temporary, ignored);
      return fail("cannot write " + temporary.string());
    }
  }
  std::error_code ec;
  fs::rename(temporary, target, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temporary, ignored);
    return fail("cannot replace " + target.string() + ": " + ec.message());
  }
  return Ok{};
}

}  // namespace

Status convertToBmp(const fs::path& source, const fs::path& target) {
  auto bytes = readWhole(source);
  if (!bytes) return bytes.error();
  const auto& data = *bytes;
  if (data.size() > size_t(INT32_MAX)) return fail("source too large");
  const int length = static_cast<int>(data.size());

  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(data.data(), length, &width, &height, &channels))
    return fail("not an image stb_image reads: " + source.string() + " (" + stbi_failure_reason() + ")");
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
    return fail("image " + source.string() + " is " + std::to_string(width) + "x" + std::to_string(height) +
                ", outside 1.." + std::to_string(kMaxSide));

  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load_from_memory(data.data(), length, &width, &height, &channels, kBmpChannels), stbi_image_free);
  if (!pixels) return fail("cannot decode " + source.string() + ": " + stbi_failure_reason());

  std::vector<unsigned char> bmp;
  bmp.reserve(size_t(width) * size_t(height) * kBmpChannels + 64);
  if (!stbi_write_bmp_to_func(appendBytes, &bmp, width, height, kBmpChannels, pixels.get()))
    return fail("cannot encode " + target.string());
  return writeWhole(target, bmp);
}

}  // namespace ql::imageconv
