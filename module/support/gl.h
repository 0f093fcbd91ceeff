// The OpenGL binding's commands (support library row 1), one wrapper each.
// Platform handles (window handle, device context, rendering context) are
// pointer-sized values.
#pragma once

#include <cstdint>

#include "module/support/args.h"
#include "module/support/pixel_format.h"

namespace ql::gl {

enum Code : int32_t {
  kChoosePixelFormat = 0x000,
  kSetPixelFormat = 0x004,
  kCreateContext = 0x008,
  kMakeCurrent = 0x00C,
  kDeleteContext = 0x010,
  kGetDc = 0x014,
  kReleaseDc = 0x01C,
  kLoadIdentity = 0x020,
  kMatrixMode = 0x024,
  kTranslated = 0x028,
  kRotated = 0x02C,
  kViewport = 0x03C,
  kPerspective = 0x050,
  kBegin = 0x054,
  kEnd = 0x058,
  kVertex3d = 0x05C,
  kHint = 0x080,
  kDepthFunc = 0x08C,
  kSwapBuffers = 0x098,
  kClear = 0x0A8,
  kClearColor = 0x0B0,
  kClearDepth = 0x0B4,
  kColor4d = 0x0C0,
  kEnable = 0x0C8,
  kShadeModel = 0x0E8,
  kBindTexture = 0x0EC,
  kTexCoord2d = 0x0FC,
  kGenTexture = 0x104,
  kLoadBmpTexture = 0x10C,
  kPointSize = 0x1AC,
  kDeleteTextures = 0x1D4,
  kLoadTgaTexture = 0x1F4,
  kDrawTriangleList = 0x800,  // the binding's own
};

// Texture environment modes for drawTriangleList.
constexpr int32_t kTextureEnvModulate = 0x2100;  // GL_MODULATE, OpenGL's default
constexpr int32_t kTextureEnvReplace = 0x1E01;   // GL_REPLACE

int32_t choosePixelFormat(intptr_t dc, const PixelFormatRequest& request);
bool setPixelFormat(intptr_t dc, int32_t format, const PixelFormatRequest& request);
intptr_t createContext(intptr_t dc);
bool makeCurrent(intptr_t dc, intptr_t rc);  // (0, 0) releases
bool deleteContext(intptr_t rc);
intptr_t getDc(intptr_t windowHandle);
int32_t releaseDc(intptr_t windowHandle, intptr_t dc);
void loadIdentity();
void matrixMode(int32_t mode);
void translated(double x, double y, double z);
void rotated(double angle, double x, double y, double z);
void viewport(int32_t x, int32_t y, int32_t width, int32_t height);
void perspective(double fovY, double aspect, double zNear, double zFar);
void begin(int32_t mode);
void end();
void vertex3d(double x, double y, double z);
void hint(int32_t target, int32_t mode);
void depthFunc(int32_t func);
bool swapBuffers(intptr_t dc);
void clear(int32_t mask);
void clearColor(float r, float g, float b, float a);
void clearDepth(double depth);
void color4d(double r, double g, double b, double a);
void enable(int32_t capability);
void shadeModel(int32_t mode);
void bindTexture(int32_t target, int32_t texture);
void texCoord2d(double s, double t);
// Generates one texture name into `name` (passed by reference).
void genTexture(int32_t target, int32_t& name);
// Loads a BMP file into the bound texture; false when the file could not be
// read or decoded, or there is no context (the texture then stays empty).
bool loadBmpTexture(TextRef path);
void pointSize(float size);
// Deletes every texture name held in an integer list.
void deleteTextures(const IntList& names);
void deleteTextures(const ArrayVar<int32_t>& names);
// Loads a TGA file into the bound texture; width and height come back
// through the two variables. False as for loadBmpTexture.
bool loadTgaTexture(TextRef path, int32_t& width, int32_t& height);

// The binding's one-call drawing of a triangle list: triangles 1..count of
// `triangles` (rows: material number from 0, then three vertex numbers from
// 0) with vertices from `vertices` (rows: x, y, z, u, v), each triangle its
// own `mode` primitive in table order, the same as one begin/end with three
// texture-coordinate/vertex pairs per triangle. A triangle naming a vertex
// outside `vertices` is skipped; a mode that is no primitive draws nothing.
// With `textureIds` (one texture name per material, material 0 first) each
// triangle gets its material's texture bound, a material outside the list
// none, and the earlier binding comes back afterwards. `textureEnv` (0: left
// alone) is the texture environment mode while drawing. Returns the number
// of triangles drawn; 0 when either table is missing.
int32_t drawTriangleList(const ArrayVar<float>& vertices, const ArrayVar<int32_t>& triangles, int32_t count,
                         int32_t mode, const ArrayVar<int32_t>* textureIds = nullptr, int32_t textureEnv = 0);

}  // namespace ql::gl
