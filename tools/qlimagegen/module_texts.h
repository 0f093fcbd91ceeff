// Everything the module keeps in @const: its texts (written here in UTF-8 and
// converted to GBK when the image is generated), the writers' fixed templates
// as byte sets, the doubles and the array shapes code copies from.
//
// Each entry's name becomes a constant of the generated header
// (ql::gen::text::kNoOutputData is the @const offset of "没有可输出的数据!").
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace ql::imagegen {

struct TextDef {
  std::string_view name;
  std::string_view utf8;
};

struct ByteSetDef {
  std::string_view name;
  std::string_view utf8;   // converted to GBK; the byte set holds the bytes without a NUL
  uint32_t expectedSize;   // in bytes after conversion, checked when generating
};

struct DoubleDef {
  std::string_view name;
  double value;
};

struct ShapeDef {
  std::string_view name;
  std::vector<uint32_t> sizes;  // one per dimension
};

std::span<const TextDef> moduleTexts();
std::span<const ByteSetDef> moduleByteSets();
std::span<const DoubleDef> moduleDoubles();
std::span<const ShapeDef> moduleShapes();

// The names of the DLL command declaration, looked up among moduleTexts().
inline constexpr std::string_view kDllFileNameText = "kShell32";
inline constexpr std::string_view kDllCommandNameText = "kShellExecuteA";

// The fixed templates, kept apart so their sizes are checked at compile time.
inline constexpr std::string_view kSkcHeaderTemplate =
    "# Character Skin Export for Interserv\r\n"
    "#\t\t\t\tHalvin Ostrebe\r\n"
    "Static Skins: 1 Dynamic Skins: 0\r\n"
    "Static Skin S_01";
static_assert(kSkcHeaderTemplate.size() == 110);

inline constexpr std::string_view kSkcMaterialTemplate =
    "    ColorKey  0 0 0 0\r\n"
    "    Ambient   1.000 1.000 1.000\r\n"
    "    Diffuse   1.000 1.000 1.000\r\n"
    "    Specular  1.000 1.000 1.000\r\n"
    "    Emissive  0.000 0.000 0.000\r\n"
    "    Opacity   1.000\r\n"
    "    Option    NONE\r\n"
    "    TwoSide   TRUE";
static_assert(kSkcMaterialTemplate.size() == 214);

inline constexpr std::string_view kAc3dHeader =
    "AC3Db\r\n"
    "MATERIAL \"ac3dmat1\" rgb 1 1 1  amb 0.2 0.2 0.2  emis 0 0 0  spec 0.5 0.5 0.5  shi 10  trans 0\r\n"
    "OBJECT world\r\n"
    "kids 1\r\n"
    "OBJECT poly\r\n"
    "name \"tree\"\r\n"
    "loc 0 0.795615 0";
static_assert(kAc3dHeader.size() == 166);

}  // namespace ql::imagegen
