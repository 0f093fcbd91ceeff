#include "game/textures.h"

#include <algorithm>

#include "model/model_store.h"
#include "module/app/image_link.h"
#include "module/support/array.h"
#include "module/support/gl.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "module/support/regex.h"
#include "qvkm_image.h"
#include "ui/main_window.h"

namespace ql::game {
namespace {

namespace text = gen::text;

constexpr int32_t kGlTexture2d = 0x0DE1;
constexpr int32_t kNotFound = -1;
constexpr int32_t kNoTexture = 0;  // what genTexture leaves without a GL context

TextRef constText(uint32_t offset) { return app::constText(offset); }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Generates a texture name into slot i, binds it and fills it with `load`.
// False when a name was made but the file did not load into it.
template <class Load>
bool makeTexture(ArrayVar<int32_t> ids, uint32_t i, Load load) {
  int32_t name = kNoTexture;
  gl::genTexture(kGlTexture2d, name);
  ids.at(i) = name;
  // NOTE: without a current context there is no name and nothing to fill.
  if (name == kNoTexture) return true;
  gl::bindTexture(kGlTexture2d, name);
  return load();
}

void logWithPath(uint32_t prefix, TextRef path) {
  ui::appendLogLine(concat(constText(prefix), path, constText(text::kCloseBracket)));
}

// True when no component of `name` is "..".
bool noStepUp(std::string_view name) {
  size_t from = 0;
  while (from <= name.size()) {
    size_t end = from;
    while (end < name.size() && !isSeparator(name[end])) ++end;
    if (name.substr(from, end - from) == "..") return false;
    from = end + 1;
  }
  return true;
}

constexpr size_t kDriveLength = 3;  // "X:\\"

bool startsWithDrive(std::string_view path) {
  if (path.size() < kDriveLength) return false;
  const char letter = char(path[0] | 0x20);
  return letter >= 'a' && letter <= 'z' && path[1] == ':' && isSeparator(path[2]);
}

// Where a path may come from: joined to `folder`, or (OBJ import) a full path
// given as it is.
struct PathOrigin {
  TextRef folder;
  bool fullPathsAllowed;
};

// True when `path` begins with `folder` and a backslash: a name joined to it.
bool joinedTo(std::string_view path, std::string_view folder) {
  return !folder.empty() && path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
         path[folder.size()] == '\\';
}

// Bytes of `path` before its file name: the folder it was joined to with the
// backslash, or for a full path everything up to its last separator.
int32_t fileNameStart(std::string_view path, std::string_view folder) {
  if (joinedTo(path, folder)) return int32_t(folder.size() + 1);
  const size_t last = path.find_last_of("\\/");
  return last == std::string_view::npos ? 0 : int32_t(last + 1);
}

void prepare(const PathOrigin& origin) {
  auto paths = store::texturePaths();
  auto ids = store::textureIds();
  const std::string_view folder = origin.folder.view();
  // Both lists are made together; a slot beyond textureIds has nowhere to go.
  const uint32_t count = std::min(store::listEntries(paths), store::listEntries(ids));
  IntList notLoaded;

  for (uint32_t i = 1; i <= count; ++i) {
    const TextRef path = paths.text(i);
    if (path.empty()) continue;  // the material names no texture
    // NOTE: converting writes a file beside the texture: only inside the
    // folder the name was joined to, never where a name with ".." or a drive
    // would point. A full path from a material library names its file itself.
    const bool allowed = joinedTo(path.view(), folder)
                             ? insideFolder(path.view(), folder)
                             : origin.fullPathsAllowed && fullPathWithoutClimbing(path.view());
    if (!allowed) {
      logWithPath(text::kTextureOutsideFolder, path);
      continue;
    }
    const int32_t p = kernel::findLast(path, constText(text::kDot));
    // A file name without a dot (a dot in the folder's name does not count)
    // has no extension to go by.
    if (p == kNotFound || p <= fileNameStart(path.view(), folder)) continue;
    const Text base = kernel::left(path, p - 1);
    const Text extension = kernel::right(path, kernel::length(path) - p);

    bool loaded;
    if (extension == constText(text::kTga)) {
      loaded = makeTexture(ids, i, [&] {
        int32_t width = 0;
        int32_t height = 0;
        return gl::loadTgaTexture(path, width, height);
      });
    } else {
      const Text bmpName = concat(base, constText(text::kBmpExtension));
      if (!(extension == constText(text::kBmp))) imgconv::toBmp(path, bmpName);
      loaded = makeTexture(ids, i, [&] { return gl::loadBmpTexture(bmpName); });
    }
    if (!loaded) notLoaded.append(int32_t(i));
  }

  for (uint32_t k = 1; k <= store::listEntries(notLoaded); ++k) {
    logWithPath(text::kTextureLoadFailed, paths.text(notLoaded.get(k)));
  }
}

}  // namespace

bool insideFolder(std::string_view path, std::string_view folder) {
  if (folder.empty() || path.size() <= folder.size() + 1) return false;
  if (path.substr(0, folder.size()) != folder || path[folder.size()] != '\\') return false;
  const std::string_view name = path.substr(folder.size() + 1);
  if (isSeparator(name.front()) || name.find(':') != std::string_view::npos) return false;
  return noStepUp(name);
}

bool isFullPath(std::string_view path) {
  return startsWithDrive(path) || (!path.empty() && isSeparator(path.front()));
}

bool fullPathWithoutClimbing(std::string_view path) {
  // Past a drive's colon no other colon (a second drive, a stream name).
  const size_t from = startsWithDrive(path) ? kDriveLength : 0;
  return isFullPath(path) && path.find(':', from) == std::string_view::npos && noStepUp(path);
}

void releaseTextures() { gl::deleteTextures(store::textureIds()); }

void prepareTextures() { prepare(PathOrigin{store::textureFolder(), false}); }

void prepareTextures(TextRef baseFolder) { prepare(PathOrigin{baseFolder, true}); }

}  // namespace ql::game
