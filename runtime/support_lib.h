// The interface between the kernel library and a support library. Each
// support library is a shared library of its own in the runtime package; the
// kernel loads it, matches it to a row of the image's library table by its
// identifier, hands it the host services and forwards that row's commands.
#pragma once

#include "module/abi.h"

extern "C" {

// Services the kernel lends to a support library. Every text, byte set or
// array a library returns is allocated through `allocate`, so the module can
// free it through its free slot.
struct QlHost {
  uint32_t version;  // kQlHostVersion
  void* (*allocate)(uintptr_t size);
  void* (*reallocate)(void* block, uintptr_t size);
  void (*release)(void* block);
  // Never returns. (Not marked [[noreturn]]: the attribute does not apply
  // to a pointer, and clang refuses it there.)
  void (*runtimeError)(int32_t code);
  // Window-system services for the OpenGL binding (device context, buffer
  // swap, current context); null until the window system provides them.
  intptr_t (*windowService)(int32_t op, intptr_t a, intptr_t b, intptr_t c);
};
constexpr uint32_t kQlHostVersion = 1;

// Operations of QlHost::windowService, asked by the OpenGL binding.
enum QlWindowServiceOp : int32_t {
  // a: a control's native handle (kernel command 0x35C). Answers the
  // control's ql::window::DrawingSurface* (runtime/window/window_system.h),
  // or 0 when the handle names no drawing area (b and c unused).
  kQlWindowSurfaceOfHandle = 1,
};

struct QlLibraryInfo {
  const char* name;
  const char* identifier;  // 32 hexadecimal digits, as in the library table
  int32_t majorVersion;
  int32_t minorVersion;
  const char* description;
};

// Exported by every support library under these names.
using QlLibInfoFn = const QlLibraryInfo* (*)();
using QlLibInitFn = int32_t (*)(const QlHost* host);  // non-zero on success
using QlLibCommandFn = ql::abi::CmdResult (*)(int32_t code, const ql::abi::ArgRecord* args);
}

namespace ql::support {
inline constexpr char kInfoSymbol[] = "QlLibInfo";
inline constexpr char kInitSymbol[] = "QlLibInit";
inline constexpr char kCommandSymbol[] = "QlLibCommand";

// File names of the runtime's libraries in the package.
inline constexpr char kKernelFile[] = "kbase.qlr";
inline constexpr char kOpenGlFile[] = "qlgl.qlr";
inline constexpr char kRegexFile[] = "qlregex.qlr";
inline constexpr char kImageConvFile[] = "qlimgcv.qlr";
inline constexpr char kSpecialFile[] = "qlspec.qlr";
inline constexpr char kInternetFile[] = "qlnet.qlr";
inline constexpr char kArchiveAdapterFile[] = "qlunpack";

// Identifiers of the library-table rows (32 hex digits each).
inline constexpr char kKernelId[] = "5B1E2C77A4D04F3E9C2A6B81D3F0E145";
inline constexpr char kOpenGlId[] = "8E3D4A6F12B74C09A5E1F2D3C4B5A697";
inline constexpr char kRegexId[] = "2C7F9E1A3B5D4E60817A9C0B2D4F6E83";
inline constexpr char kImageConvId[] = "D4A1B2C3E5F6478990A1B2C3D4E5F607";
inline constexpr char kSpecialId[] = "6F5E4D3C2B1A49887766554433221100";
inline constexpr char kInternetId[] = "A0B1C2D3E4F5468798A9BACBDCEDFE0F";
}  // namespace ql::support
