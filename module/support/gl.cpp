#include "module/support/gl.h"

namespace ql::gl {

using namespace ql::args;

namespace {
template <class... A>
abi::CmdResult call(int32_t code, const A&... a) {
  return libraryCall(abi::kRowOpenGl, code, a...);
}
// An empty integer list: a missing list still travels as a list.
alignas(8) constexpr uint32_t kEmptyList[2] = {1, 0};
constexpr uint32_t kTagFloatArray = abi::kTagFloat + abi::kTagArrayFlag;
}  // namespace

int32_t choosePixelFormat(intptr_t dc, const PixelFormatRequest& request) {
  return result::integer(call(kChoosePixelFormat, handle(dc), object(&request, abi::kTypePixelFormat)));
}
bool setPixelFormat(intptr_t dc, int32_t format, const PixelFormatRequest& request) {
  return result::boolean(
      call(kSetPixelFormat, handle(dc), integer(format), object(&request, abi::kTypePixelFormat)));
}
intptr_t createContext(intptr_t dc) { return result::handle(call(kCreateContext, handle(dc))); }
bool makeCurrent(intptr_t dc, intptr_t rc) { return result::boolean(call(kMakeCurrent, handle(dc), handle(rc))); }
bool deleteContext(intptr_t rc) { return result::boolean(call(kDeleteContext, handle(rc))); }
intptr_t getDc(intptr_t windowHandle) { return result::handle(call(kGetDc, handle(windowHandle))); }
int32_t releaseDc(intptr_t windowHandle, intptr_t dc) {
  return result::integer(call(kReleaseDc, handle(windowHandle), handle(dc)));
}
void loadIdentity() { call(kLoadIdentity); }
void matrixMode(int32_t mode) { call(kMatrixMode, integer(mode)); }
void translated(double x, double y, double z) { call(kTranslated, dbl(x), dbl(y), dbl(z)); }
void rotated(double angle, double x, double y, double z) { call(kRotated, dbl(angle), dbl(x), dbl(y), dbl(z)); }
void viewport(int32_t x, int32_t y, int32_t width, int32_t height) {
  call(kViewport, integer(x), integer(y), integer(width), integer(height));
}
void perspective(double fovY, double aspect, double zNear, double zFar) {
  call(kPerspective, dbl(fovY), dbl(aspect), dbl(zNear), dbl(zFar));
}
void begin(int32_t mode) { call(kBegin, integer(mode)); }
void end() { call(kEnd); }
void vertex3d(double x, double y, double z) { call(kVertex3d, dbl(x), dbl(y), dbl(z)); }
void hint(int32_t target, int32_t mode) { call(kHint, integer(target), integer(mode)); }
void depthFunc(int32_t func) { call(kDepthFunc, integer(func)); }
bool swapBuffers(intptr_t dc) { return result::boolean(call(kSwapBuffers, handle(dc))); }
void clear(int32_t mask) { call(kClear, integer(mask)); }
void clearColor(float r, float g, float b, float a) { call(kClearColor, single(r), single(g), single(b), single(a)); }
void clearDepth(double depth) { call(kClearDepth, dbl(depth)); }
void color4d(double r, double g, double b, double a) { call(kColor4d, dbl(r), dbl(g), dbl(b), dbl(a)); }
void enable(int32_t capability) { call(kEnable, integer(capability)); }
void shadeModel(int32_t mode) { call(kShadeModel, integer(mode)); }
void bindTexture(int32_t target, int32_t texture) { call(kBindTexture, integer(target), integer(texture)); }
void texCoord2d(double s, double t) { call(kTexCoord2d, dbl(s), dbl(t)); }
void genTexture(int32_t target, int32_t& name) { call(kGenTexture, integer(target), intRef(&name)); }
bool loadBmpTexture(TextRef path) { return result::boolean(call(kLoadBmpTexture, text(path))); }
void pointSize(float size) { call(kPointSize, single(size)); }
void deleteTextures(const ArrayVar<int32_t>& names) {
  call(kDeleteTextures, omitted(), intArray(names.block() ? names.block() : kEmptyList));
}
void deleteTextures(const IntList& names) { deleteTextures(static_cast<const ArrayVar<int32_t>&>(names)); }
bool loadTgaTexture(TextRef path, int32_t& width, int32_t& height) {
  return result::boolean(call(kLoadTgaTexture, text(path), omitted(), intRef(&width), intRef(&height)));
}

int32_t drawTriangleList(const ArrayVar<float>& vertices, const ArrayVar<int32_t>& triangles, int32_t count,
                         int32_t mode, const ArrayVar<int32_t>* textureIds, int32_t textureEnv) {
  if (!vertices.block() || !triangles.block()) return 0;
  const abi::Arg textures =
      textureIds ? intArray(textureIds->block() ? textureIds->block() : kEmptyList) : omitted();
  const abi::Arg env = textureEnv != 0 ? integer(textureEnv) : omitted();
  return result::integer(call(kDrawTriangleList, address(vertices.block(), kTagFloatArray),
                              intArray(triangles.block()), integer(count), integer(mode), textures, env));
}

}  // namespace ql::gl
