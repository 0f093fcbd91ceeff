// The OpenGL binding's command numbers (library row 1) and the layout of the
// drawing command that is ours alone.
//
// Handles: a device context and a rendering context are small numbers of the
// binding's own making, not pointers; an unknown number is refused (result 0
// or false), never followed. A device context stands for a drawing area,
// reached by its native handle through the host's window service; every
// rendering context of one area stands for that area's single GL context.
//
// No current context: every GL command is skipped (texture loads report
// failure, a generated texture name is 0). While a context waits to become
// current because its window has no GL yet (an FLTK window before it is first
// shown), state commands (matrices, viewport, clear values, enables, colour,
// texture binding, point size, hints) are kept, up to kMaxDeferredCalls, and
// replayed in order when the context becomes current; drawing is skipped.
#pragma once

#include <cstdint>

#include "module/abi.h"

namespace ql::gl {

enum Command : std::int32_t {
  kCmdChoosePixelFormat = 0x000,  // dc, pixel-format record (type 0x00020001) -> format number, 0 when unservable
  kCmdSetPixelFormat = 0x004,     // dc, format, record -> boolean
  kCmdCreateContext = 0x008,      // dc -> rendering context, 0 when the dc has no pixel format
  kCmdMakeCurrent = 0x00C,        // dc, rc -> boolean; (0, 0) or rc 0 releases
  kCmdDeleteContext = 0x010,      // rc -> boolean
  kCmdGetDc = 0x014,              // window handle -> dc, 0 when the handle names no drawing area
  kCmdReleaseDc = 0x01C,          // window handle, dc -> 1 released, 0 not
  kCmdLoadIdentity = 0x020,
  kCmdMatrixMode = 0x024,
  kCmdTranslated = 0x028,
  kCmdRotated = 0x02C,
  kCmdViewport = 0x03C,
  kCmdPerspective = 0x050,
  kCmdBegin = 0x054,
  kCmdEnd = 0x058,
  kCmdVertex3d = 0x05C,
  kCmdHint = 0x080,
  kCmdDepthFunc = 0x08C,
  kCmdSwapBuffers = 0x098,  // dc -> boolean
  kCmdClear = 0x0A8,
  kCmdClearColor = 0x0B0,  // four singles
  kCmdClearDepth = 0x0B4,
  kCmdColor4d = 0x0C0,
  kCmdEnable = 0x0C8,
  kCmdShadeModel = 0x0E8,
  kCmdBindTexture = 0x0EC,
  kCmdTexCoord2d = 0x0FC,
  kCmdGenTexture = 0x104,      // target, address of an int32 variable
  kCmdLoadBmpTexture = 0x10C,  // path -> boolean
  kCmdPointSize = 0x1AC,       // single
  kCmdDeleteTextures = 0x1D4,  // omitted, integer array
  kCmdLoadTgaTexture = 0x1F4,  // path, omitted, address of width, address of height -> boolean

  // ---- Ours: a whole triangle list in one call ----------------------------
  // Arguments:
  //   0 vertex table: a float array (tag kTagFloatArray) of two dimensions,
  //     rows = vertices, at least 5 columns: x, y, z, u, v (the module's
  //     vertexTable);
  //   1 triangle table: an integer array (kTagIntArray) of two dimensions,
  //     at least 4 columns: material number counting from 0, then three
  //     vertex numbers counting from 0 (the module's triangleTable);
  //   2 count: integer, the triangles to draw from the top of the table
  //     (clamped to its rows);
  //   3 mode: integer, the primitive type each triangle is drawn with;
  //   4 texture ids (optional): an integer list, one texture name per
  //     material, material 0 first. When given, each triangle is drawn with
  //     the texture of its material bound (a material outside the list draws
  //     with texture 0), and the texture bound before the call is bound again
  //     afterwards. When omitted the bound texture covers every triangle.
  //   5 texture environment (optional): integer, GL_MODULATE, GL_DECAL,
  //     GL_BLEND or GL_REPLACE; the triangles are drawn under that
  //     GL_TEXTURE_ENV_MODE and the one before is set again afterwards.
  //     GL_REPLACE shows textures in their own colours while a triangle
  //     without a complete texture keeps the current colour. Omitted or any
  //     other value: the environment stays as it is.
  // Result: integer, the number of triangles drawn. A triangle naming a
  // vertex outside the vertex table is skipped.
  // The screen shows exactly what one glBegin(mode) / three glTexCoord2d +
  // glVertex3d pairs (u, v then x, y, z of vertices a, b, c) / glEnd per
  // triangle, in table order, shows: where each triangle is one primitive of
  // its own anyway (points, GL_LINES, GL_TRIANGLES, GL_TRIANGLE_STRIP) the
  // triangles go to GL in large batches of vertex arrays; line loops, line
  // strips and the other modes keep one begin/end per triangle, without the
  // cost of a command per vertex. A mode that is no primitive type draws
  // nothing.
  kCmdDrawTriangleList = 0x800,
};

inline constexpr std::uint32_t kTagFloatArray = abi::kTagFloat + abi::kTagArrayFlag;

inline constexpr std::int32_t kPixelFormatNumber = 1;  // the one format the binding offers
inline constexpr std::size_t kMaxDeferredCalls = 4096;

}  // namespace ql::gl
