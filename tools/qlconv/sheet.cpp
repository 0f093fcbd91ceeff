#include "tools/qlconv/sheet.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>
#include <memory>

#include "common/gbk.h"

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace ql::qlconv {

namespace {

constexpr const char* kFamilies[] = {"WenQuanYi Micro Hei", "Noto Sans CJK SC", "sans-serif"};
constexpr int kGap = 8;              // around and between the cells
constexpr int kMinLabelHeight = 9;   // pixels; smaller is not worth reading
constexpr picture::Rgba kInk{0, 0, 0, 255};
constexpr picture::Rgba kMissingTile{225, 225, 225, 255};
constexpr picture::Rgba kMissingCross{150, 150, 150, 255};
const std::u32string kEllipsis = U"…";

}  // namespace

struct LabelFont::Impl {
  std::string file;
  std::string bytes;
  stbtt_fontinfo info{};

  int width(const std::u32string& text, float scale) const {
    int advance = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      int a = 0, lsb = 0;
      stbtt_GetCodepointHMetrics(&info, int(text[i]), &a, &lsb);
      advance += a;
      if (i + 1 < text.size()) advance += stbtt_GetCodepointKernAdvance(&info, int(text[i]), int(text[i + 1]));
    }
    return int(std::ceil(advance * scale));
  }
};

LabelFont::LabelFont(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
LabelFont::LabelFont(LabelFont&&) noexcept = default;
LabelFont& LabelFont::operator=(LabelFont&&) noexcept = default;
LabelFont::~LabelFont() = default;
const std::string& LabelFont::file() const { return impl_->file; }

Result<LabelFont> LabelFont::find(const std::vector<std::string>& texts) {
  if (!FcInit()) return fail("fontconfig cannot start");
  // The font's bytes are read here; fontconfig is needed no longer.
  struct Done {
    ~Done() { FcFini(); }
  } done;
  std::u32string wanted;
  for (const std::string& t : texts) wanted += utf8CodePoints(t);
  for (const char* family : kFamilies) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) continue;
    FcChar8* file = nullptr;
    int index = 0;
    FcCharSet* charset = nullptr;
    bool covers = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
                  FcPatternGetCharSet(match, FC_CHARSET, 0, &charset) == FcResultMatch;
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    for (char32_t c : wanted) covers = covers && FcCharSetHasChar(charset, FcChar32(c));
    std::string path = covers ? reinterpret_cast<const char*>(file) : "";
    FcPatternDestroy(match);
    if (path.empty()) continue;
    auto impl = std::make_unique<Impl>();
    impl->file = path;
    std::ifstream in(path, std::ios::binary);
    impl->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const auto* data = reinterpret_cast<const unsigned char*>(impl->bytes.data());
    const int offset = stbtt_GetFontOffsetForIndex(data, index);
    if (impl->bytes.empty() || offset < 0 || !stbtt_InitFont(&impl->info, data, offset)) continue;
    return LabelFont(std::move(impl));
  }
  return fail("no installed font shows every file name (fonts-wqy-microhei has one)");
}

void LabelFont::draw(picture::Picture& on, const std::string& utf8, int x, int y, int w, int h,
                     int pixelHeight) const {
  const stbtt_fontinfo& info = impl_->info;
  std::u32string text = utf8CodePoints(utf8);
  int px = pixelHeight;
  float scale = stbtt_ScaleForPixelHeight(&info, float(px));
  while (impl_->width(text, scale) > w && px > kMinLabelHeight) scale = stbtt_ScaleForPixelHeight(&info, float(--px));
  while (impl_->width(text, scale) > w && text.size() > 1) text = text.substr(0, text.size() - 2) + kEllipsis;
  int ascent = 0, descent = 0, lineGap = 0;
  stbtt_GetFontVMetrics(&info, &ascent, &descent, &lineGap);
  const int baseline = y + (h - int(std::lround((ascent - descent) * scale))) / 2 + int(std::lround(ascent * scale));
  float pen = float(x + (w - impl_->width(text, scale)) / 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const int c = int(text[i]);
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetCodepointBitmapBox(&info, c, scale, scale, &x0, &y0, &x1, &y1);
    const int gw = x1 - x0, gh = y1 - y0;
    if (gw > 0 && gh > 0) {
      std::vector<unsigned char> coverage(size_t(gw) * size_t(gh));
      stbtt_MakeCodepointBitmap(&info, coverage.data(), gw, gh, gw, scale, scale, c);
      picture::Picture glyph(gw, gh);
      for (int gy = 0; gy < gh; ++gy)
        for (int gx = 0; gx < gw; ++gx)
          glyph.set(gx, gy, {kInk.r, kInk.g, kInk.b, coverage[size_t(gy) * size_t(gw) + size_t(gx)]});
      on.draw(glyph, int(std::lround(pen)) + x0, baseline + y0);
    }
    int advance = 0, lsb = 0;
    stbtt_GetCodepointHMetrics(&info, c, &advance, &lsb);
    pen += advance * scale;
    if (i + 1 < text.size()) pen += stbtt_GetCodepointKernAdvance(&info, c, int(text[i + 1])) * scale;
  }
}

picture::Picture composeSheet(const std::vector<SheetEntry>& entries, int tileWidth, int tileHeight, bool transparent,
                              const LabelFont* font) {
  const int n = std::max<int>(1, int(entries.size()));
  const int columns = int(std::ceil(std::sqrt(double(n))));
  const int rows = (n + columns - 1) / columns;
  const int labelPixels = std::max(12, tileWidth / 14);
  const int labelHeight = font ? labelPixels + kGap : 0;
  const int cellWidth = tileWidth + kGap, cellHeight = tileHeight + labelHeight + kGap;
  picture::Picture sheet(kGap + columns * cellWidth, kGap + rows * cellHeight,
                         transparent ? picture::Rgba{} : picture::Rgba{255, 255, 255, 255});
  for (size_t i = 0; i < entries.size(); ++i) {
    const int x = kGap + int(i % size_t(columns)) * cellWidth, y = kGap + int(i / size_t(columns)) * cellHeight;
    if (entries[i].tile) {
      sheet.draw(*entries[i].tile, x, y);
    } else {
      picture::Picture missing(tileWidth, tileHeight, kMissingTile);
      for (int k = 0; k < std::min(tileWidth, tileHeight); ++k) {
        const int kx = k * tileWidth / std::min(tileWidth, tileHeight);
        const int ky = k * tileHeight / std::min(tileWidth, tileHeight);
        missing.set(kx, ky, kMissingCross);
        missing.set(tileWidth - 1 - kx, ky, kMissingCross);
      }
      sheet.draw(missing, x, y);
    }
    if (font) font->draw(sheet, entries[i].label, x, y + tileHeight, tileWidth, labelHeight, labelPixels);
  }
  return sheet;
}

}  // namespace ql::qlconv
