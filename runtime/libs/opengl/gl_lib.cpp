// The OpenGL binding (library row 1): the window-system calls of WGL put onto
// the runtime's drawing areas, OpenGL 1.1 and GLU passed through, texture
// loading from image files, and one drawing command of our own. Command
// numbers and argument layouts: gl_commands.h.
#include <GL/gl.h>
#include <GL/glu.h>

#include <cstring>
#include <string_view>

#include "runtime/libs/opengl/binding.h"
#include "runtime/libs/opengl/draw_list.h"
#include "runtime/libs/opengl/gl_commands.h"
#include "runtime/libs/opengl/texture_image.h"
#include "runtime/libs/support/lib_support.h"

namespace ql::gl {
namespace {

using lib::Args;

// Platform handles travel pointer-sized in both words of an integer argument.
std::intptr_t handleArg(const Args& args, std::uint32_t index) {
  const abi::Arg* a = args.at(index);
  if (!a || (a->tag != abi::kTagInt && a->tag != abi::kTagBool)) return 0;
  return static_cast<std::intptr_t>(abi::argValue(*a));
}

abi::CmdResult handleResult(std::intptr_t h) {
  return abi::CmdResult{static_cast<std::uint64_t>(h), abi::kTagInt, 0};
}

const PixelFormatRequest* pixelFormatArg(const Args& args, std::uint32_t index, PixelFormatRequest& copy) {
  if (args.tag(index) != abi::kTypePixelFormat) return nullptr;
  const auto* record = args.pointer<const unsigned char>(index);
  if (!record) return nullptr;
  std::memcpy(&copy, record, sizeof copy);
  return &copy;
}

// The address behind a by-reference integer argument; null when absent.
std::int32_t* intVariable(const Args& args, std::uint32_t index) {
  if (args.tag(index) != abi::kTagInt) return nullptr;
  return args.pointer<std::int32_t>(index);
}

void storeInt(std::int32_t* variable, std::int32_t value) {
  if (variable) std::memcpy(variable, &value, sizeof value);
}

const char* glText(GLenum name) {
  const GLubyte* s = glGetString(name);
  return s ? reinterpret_cast<const char*>(s) : "";
}

// Fills the bound GL_TEXTURE_2D from an image file; the picture's size
// (before any scaling) through width and height.
bool loadTexture(std::string_view path, std::int32_t* width, std::int32_t* height) {
  auto image = loadImageFile(path);
  if (!image) return false;
  const std::int32_t pictureWidth = image->width;
  const std::int32_t pictureHeight = image->height;

  GLint maxSide = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
  if (maxSide < 1) return false;  // no context after all
  const bool powerOfTwo = needsPowerOfTwo(glText(GL_VERSION), glText(GL_EXTENSIONS));
  RgbaImage fitted = fitForTexture(std::move(image.value()), powerOfTwo, maxSide);

  while (glGetError() != GL_NO_ERROR) {
  }
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
  glPixelStorei(GL_UNPACK_LSB_FIRST, GL_FALSE);
  // Linear filtering without mipmaps keeps the texture complete; the model's
  // texture coordinates run a little outside 0..1, so the texture repeats.
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, fitted.width, fitted.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
               fitted.pixels.data());
  glPopClientAttrib();
  if (glGetError() != GL_NO_ERROR) return false;
  storeInt(width, pictureWidth);
  storeInt(height, pictureHeight);
  return true;
}

void deleteTextures(const Args& args) {
  if (args.tag(1) != abi::kTagIntArray) return;
  auto names = listView(args.pointer<const void>(1));
  if (!names || names->count() == 0) return;
  std::vector<GLuint> copy(static_cast<size_t>(names->count()));
  std::memcpy(copy.data(), names->elements, copy.size() * sizeof(GLuint));
  glDeleteTextures(static_cast<GLsizei>(copy.size()), copy.data());
}

abi::CmdResult drawTriangleList(const Args& args) {
  if (args.tag(0) != kTagFloatArray || args.tag(1) != abi::kTagIntArray) return lib::intResult(0);
  auto vertices = tableView(args.pointer<const void>(0), kVertexColumns);
  auto triangles = tableView(args.pointer<const void>(1), kTriangleColumns);
  if (!vertices || !triangles) return lib::intResult(0);
  std::optional<ArrayView> textures;
  if (args.tag(4) == abi::kTagIntArray) {
    auto list = listView(args.pointer<const void>(4));
    if (!list) return lib::intResult(0);
    textures = *list;
  }
  const std::int32_t textureEnv = args.tag(5) == abi::kTagInt ? args.integer(5, 0) : 0;
  return lib::intResult(gl::drawTriangleList(*vertices, *triangles, args.integer(2, 0), args.integer(3, -1),
                                             textures ? &*textures : nullptr, textureEnv));
}

// What a command needs from the binding's state.
enum class Kind {
  Window,   // runs always
  State,    // needs a current context; kept while one waits
  Draw,     // needs a current context; skipped otherwise
};

Kind kindOf(std::int32_t code) {
  switch (code) {
    case kCmdChoosePixelFormat:
    case kCmdSetPixelFormat:
    case kCmdCreateContext:
    case kCmdMakeCurrent:
    case kCmdDeleteContext:
    case kCmdGetDc:
    case kCmdReleaseDc:
    case kCmdSwapBuffers:
      return Kind::Window;
    case kCmdLoadIdentity:
    case kCmdMatrixMode:
    case kCmdTranslated:
    case kCmdRotated:
    case kCmdViewport:
    case kCmdPerspective:
    case kCmdHint:
    case kCmdDepthFunc:
    case kCmdClearColor:
    case kCmdClearDepth:
    case kCmdColor4d:
    case kCmdEnable:
    case kCmdShadeModel:
    case kCmdBindTexture:
    case kCmdTexCoord2d:
    case kCmdPointSize:
      return Kind::State;
    default:
      return Kind::Draw;
  }
}

// The result a command gives when it cannot run.
abi::CmdResult refusal(std::int32_t code, const Args& args) {
  switch (code) {
    case kCmdGenTexture:
      storeInt(intVariable(args, 1), 0);  // no name: binding 0 later is harmless
      return lib::noResult();
    case kCmdLoadBmpTexture:
    case kCmdLoadTgaTexture:
      return lib::boolResult(false);
    case kCmdDrawTriangleList:
      return lib::intResult(0);
    default:
      return lib::noResult();
  }
}

abi::CmdResult windowCommand(std::int32_t code, const Args& a) {
  Binding& b = Binding::instance();
  PixelFormatRequest request;
  switch (code) {
    case kCmdChoosePixelFormat:
      return lib::intResult(b.choosePixelFormat(handleArg(a, 0), pixelFormatArg(a, 1, request)));
    case kCmdSetPixelFormat:
      return lib::boolResult(b.setPixelFormat(handleArg(a, 0), a.integer(1, 0), pixelFormatArg(a, 2, request)));
    case kCmdCreateContext:
      return handleResult(b.createContext(handleArg(a, 0)));
    case kCmdMakeCurrent:
      return lib::boolResult(b.makeCurrent(handleArg(a, 0), handleArg(a, 1)));
    case kCmdDeleteContext:
      return lib::boolResult(b.deleteContext(handleArg(a, 0)));
    case kCmdGetDc:
      return handleResult(b.getDc(handleArg(a, 0)));
    case kCmdReleaseDc:
      return lib::intResult(b.releaseDc(handleArg(a, 0), handleArg(a, 1)));
    case kCmdSwapBuffers:
      return lib::boolResult(b.swapBuffers(handleArg(a, 0)));
    default:
      return lib::noResult();
  }
}

// GL commands, with a context current. An argument that is missing or of a
// type that is no number skips the call: GL gets no guessed values.
abi::CmdResult glCommand(std::int32_t code, const Args& a) {
  auto num = [&](std::uint32_t i) { return a.number(i, 0); };
  auto has = [&](std::uint32_t n) {
    for (std::uint32_t i = 0; i < n; ++i) {
      const std::uint32_t t = a.tag(i);
      if (t != abi::kTagInt && t != abi::kTagBool && t != abi::kTagFloat && t != abi::kTagDouble) return false;
    }
    return true;
  };
  auto integer = [&](std::uint32_t i) { return a.integer(i, 0); };
  switch (code) {
    case kCmdLoadIdentity: glLoadIdentity(); break;
    case kCmdMatrixMode: if (has(1)) glMatrixMode(GLenum(integer(0))); break;
    case kCmdTranslated: if (has(3)) glTranslated(num(0), num(1), num(2)); break;
    case kCmdRotated: if (has(4)) glRotated(num(0), num(1), num(2), num(3)); break;
    case kCmdViewport: if (has(4)) glViewport(integer(0), integer(1), integer(2), integer(3)); break;
    case kCmdPerspective: if (has(4)) gluPerspective(num(0), num(1), num(2), num(3)); break;
    case kCmdBegin: if (has(1)) glBegin(GLenum(integer(0))); break;
    case kCmdEnd: glEnd(); break;
    case kCmdVertex3d: if (has(3)) glVertex3d(num(0), num(1), num(2)); break;
    case kCmdHint: if (has(2)) glHint(GLenum(integer(0)), GLenum(integer(1))); break;
    case kCmdDepthFunc: if (has(1)) glDepthFunc(GLenum(integer(0))); break;
    case kCmdClear: if (has(1)) glClear(GLbitfield(integer(0))); break;
    case kCmdClearColor:
      if (has(4)) glClearColor(GLfloat(num(0)), GLfloat(num(1)), GLfloat(num(2)), GLfloat(num(3)));
      break;
    case kCmdClearDepth: if (has(1)) glClearDepth(num(0)); break;
    case kCmdColor4d: if (has(4)) glColor4d(num(0), num(1), num(2), num(3)); break;
    case kCmdEnable: if (has(1)) glEnable(GLenum(integer(0))); break;
    case kCmdShadeModel: if (has(1)) glShadeModel(GLenum(integer(0))); break;
    case kCmdBindTexture: if (has(2)) glBindTexture(GLenum(integer(0)), GLuint(integer(1))); break;
    case kCmdTexCoord2d: if (has(2)) glTexCoord2d(num(0), num(1)); break;
    case kCmdPointSize: if (has(1)) glPointSize(GLfloat(num(0))); break;
    case kCmdGenTexture: {
      std::int32_t* variable = intVariable(a, 1);
      if (!variable) break;
      GLuint name = 0;
      glGenTextures(1, &name);
      storeInt(variable, static_cast<std::int32_t>(name));
      break;
    }
    case kCmdLoadBmpTexture:
      return lib::boolResult(loadTexture(a.text(0), nullptr, nullptr));
    case kCmdLoadTgaTexture:
      return lib::boolResult(loadTexture(a.text(0), intVariable(a, 2), intVariable(a, 3)));
    case kCmdDeleteTextures: deleteTextures(a); break;
    case kCmdDrawTriangleList: return drawTriangleList(a);
    default: break;
  }
  return lib::noResult();
}

void replay(const std::vector<DeferredCall>& calls) {
  for (const DeferredCall& call : calls) {
    alignas(abi::ArgRecord) unsigned char record[abi::argRecordSize(kMaxDeferredArgs)] = {};
    std::memcpy(record, &call.count, 4);
    std::memcpy(record + 4, call.args, sizeof call.args);
    glCommand(call.code, Args(reinterpret_cast<const abi::ArgRecord*>(record)));
  }
}

abi::CmdResult command(std::int32_t code, const abi::ArgRecord* record) {
  const Args args(record);
  const Kind kind = kindOf(code);
  Binding& binding = Binding::instance();
  if (kind == Kind::Window) {
    const abi::CmdResult result = windowCommand(code, args);
    if (code == kCmdMakeCurrent) replay(binding.takeKept());
    return result;
  }
  if (binding.ready()) {
    replay(binding.takeKept());
    return glCommand(code, args);
  }
  if (kind == Kind::State && binding.waiting()) {
    DeferredCall call{code, std::min(args.count(), kMaxDeferredArgs), {}};
    for (std::uint32_t i = 0; i < call.count; ++i) call.args[i] = record->args[i];
    binding.defer(call);
    return lib::noResult();
  }
  // Also for a code the table does not know: nothing to do.
  return refusal(code, args);
}

}  // namespace
}  // namespace ql::gl

QL_EXPORT const QlLibraryInfo* QlLibInfo() {
  static const QlLibraryInfo info{"opengl", ql::support::kOpenGlId, 1, 0, "OpenGL binding"};
  return &info;
}

QL_EXPORT int32_t QlLibInit(const QlHost* host) {
  if (!ql::lib::Host::install(host)) return 0;
  ql::gl::Binding::instance().setHost(host);
  return 1;
}

QL_EXPORT ql::abi::CmdResult QlLibCommand(int32_t code, const ql::abi::ArgRecord* args) {
  return ql::gl::command(code, args);
}
