// The contact sheet of qlconv --sheet: one picture per model in a grid, each
// with its file name under it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "tools/picture/picture.h"

namespace ql::qlconv {

struct SheetEntry {
  std::string label;                     // UTF-8
  std::optional<picture::Picture> tile;  // nothing: the model was not drawn
};

// A font that can show every character of a text, as fontconfig finds one
// (the CJK families first). The caller says so when there is none.
class LabelFont {
 public:
  static Result<LabelFont> find(const std::vector<std::string>& texts);
  LabelFont(LabelFont&&) noexcept;
  LabelFont& operator=(LabelFont&&) noexcept;
  ~LabelFont();
  const std::string& file() const;
  // Draws `utf8` in black, `pixelHeight` high, centred in the box (x, y, w,
  // h); a text wider than the box is made smaller, down to a readable size,
  // and then cut with "…".
  void draw(picture::Picture& on, const std::string& utf8, int x, int y, int w, int h, int pixelHeight) const;

 private:
  struct Impl;
  explicit LabelFont(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Rows of tiles (about as many columns as rows), each with a label strip
// under it; a model that was not drawn gets a crossed-out grey tile. Without
// a font the labels are left out. White (or transparent) between the tiles.
picture::Picture composeSheet(const std::vector<SheetEntry>& entries, int tileWidth, int tileHeight, bool transparent,
                              const LabelFont* font);

}  // namespace ql::qlconv
