// The pixel-format record (type 0x00020001) that the module hands to the
// OpenGL binding's ChoosePixelFormat and SetPixelFormat: the fields of the
// Windows PIXELFORMATDESCRIPTOR, in its order and widths. Standalone so the
// runtime's binding can read the same layout.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ql::gl {

struct PixelFormatRequest {
  uint16_t nSize;           // size of the record: 40
  uint16_t nVersion;        // 1
  uint32_t dwFlags;         // PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER …
  uint8_t iPixelType;       // PFD_TYPE_RGBA = 0
  uint8_t cColorBits;       // colour bits without alpha
  uint8_t cRedBits;
  uint8_t cRedShift;
  uint8_t cGreenBits;
  uint8_t cGreenShift;
  uint8_t cBlueBits;
  uint8_t cBlueShift;
  uint8_t cAlphaBits;
  uint8_t cAlphaShift;
  uint8_t cAccumBits;
  uint8_t cAccumRedBits;
  uint8_t cAccumGreenBits;
  uint8_t cAccumBlueBits;
  uint8_t cAccumAlphaBits;
  uint8_t cDepthBits;       // depth buffer bits
  uint8_t cStencilBits;
  uint8_t cAuxBuffers;
  uint8_t iLayerType;       // PFD_MAIN_PLANE = 0
  uint8_t bReserved;
  uint32_t dwLayerMask;
  uint32_t dwVisibleMask;
  uint32_t dwDamageMask;
};
static_assert(sizeof(PixelFormatRequest) == 40);
static_assert(offsetof(PixelFormatRequest, iPixelType) == 8);
static_assert(offsetof(PixelFormatRequest, cDepthBits) == 23);
static_assert(offsetof(PixelFormatRequest, dwLayerMask) == 28);

constexpr uint32_t kPfdDoubleBuffer = 0x1;
constexpr uint32_t kPfdDrawToWindow = 0x4;
constexpr uint32_t kPfdSupportOpenGl = 0x20;

}  // namespace ql::gl
