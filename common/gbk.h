// Conversion between the GBK bytes used everywhere inside the tool and the
// encodings of the operating system (UTF-8 on Linux, UTF-16 on Windows).
// File contents are never converted; only paths and what is shown.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace ql {

// The first byte of a double-byte GBK character. The runtime's text commands
// step over a lead byte and whatever byte follows it as one character.
inline bool isGbkLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }

// nullopt when the input holds a sequence the target cannot represent.
std::optional<std::string> gbkToUtf8(std::string_view gbk);
std::optional<std::string> utf8ToGbk(std::string_view utf8);

// Display helper: invalid bytes become U+FFFD instead of failing.
std::string gbkToUtf8Lossy(std::string_view gbk);

// A path as the tool's texts hold it ("\home\a\游戏\x.tga": GBK, backslashes)
// in the form Linux programs read and write ("/home/a/游戏/x.tga": UTF-8,
// slashes), and back; nullopt when a character has no form on the other side.
// NOTE: a GBK trail byte may be 0x5C, the backslash, so separators are only
// swapped on the UTF-8 side, where a backslash is always a character.
std::optional<std::string> gbkPathToLinux(std::string_view gbkPath);
std::optional<std::string> linuxPathToGbk(std::string_view utf8Path);

// The code points of a UTF-8 text (as these converters write it), for
// comparing and drawing characters one by one.
std::u32string utf8CodePoints(std::string_view utf8);

#ifdef _WIN32
std::optional<std::wstring> gbkToWide(std::string_view gbk);
std::optional<std::string> wideToGbk(std::wstring_view wide);
#endif

}  // namespace ql
