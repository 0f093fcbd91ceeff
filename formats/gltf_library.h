// The glTF library (tinygltf over nlohmann-json, Debian's headers), with the
// settings every user of it here shares. It decodes and encodes no image and
// opens no file itself: the export embeds pictures it prepared, and the
// import reads a .gltf's outside buffers through its caller.
#pragma once

#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#define TINYGLTF_NO_FS

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#include <tiny_gltf.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace tinygltf {
// The library's own base64, defined with its implementation (formats/gltf_library.cpp)
// but declared only there.
std::string base64_encode(unsigned char const* bytes, unsigned int length);
std::string base64_decode(std::string const& encoded);
}  // namespace tinygltf
