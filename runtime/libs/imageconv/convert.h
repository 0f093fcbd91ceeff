// Image conversion to BMP, apart from the library's command plumbing so that
// tests can call it with native paths.
#pragma once

#include <filesystem>

#include "common/result.h"

namespace ql::imageconv {

// Largest source file and image we accept; beyond these a texture is not a
// texture and decoding would only exhaust memory.
inline constexpr uintmax_t kMaxSourceBytes = 256ull * 1024 * 1024;
inline constexpr int kMaxSide = 16384;

// Reads any image stb_image decodes (TGA, PNG, JPEG, BMP, PSD, GIF, HDR, PIC,
// PNM) and writes it as an uncompressed 24-bit BMP, the form every BMP
// loader reads; an alpha channel is dropped. The target is written only when
// the whole image was decoded and encoded: a failed conversion leaves an
// existing target untouched.
Status convertToBmp(const std::filesystem::path& source, const std::filesystem::path& target);

}  // namespace ql::imageconv
