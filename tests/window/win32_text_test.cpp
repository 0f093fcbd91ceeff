// The Win32 backend's text and dialog-field conversions; no window needed.
#include "runtime/window/win32/win32_text.h"

#include <gtest/gtest.h>

#include "common/gbk.h"

namespace ql::window::win32 {
namespace {

// A wide string with embedded NULs, written as pieces.
std::wstring joined(std::initializer_list<const wchar_t*> pieces) {
  std::wstring out;
  for (const wchar_t* p : pieces) {
    out += p;
    out += L'\0';
  }
  return out;
}

TEST(Win32Text, FilterBecomesDoubleNulList) {
  struct Case {
    const char* filter;
    std::wstring expected;
  };
  const Case cases[] = {
      {"", L""},
      {"OBJ\xB8\xF1\xCA\xBD|*.obj", joined({L"OBJ格式", L"*.obj", L""})},
      {"AC3D|*.ac|OBJ|*.obj", joined({L"AC3D", L"*.ac", L"OBJ", L"*.obj", L""})},
      {"img|*.jpg;*.png", joined({L"img", L"*.jpg;*.png", L""})},
      {"*.exe", joined({L"*.exe", L"*.exe", L""})},  // a lone pattern describes itself
      {"a|", L""},                                   // no pattern: no list at all
      {"|*.x", joined({L"", L"*.x", L""})},
  };
  for (const auto& c : cases) {
    const std::wstring got = dialogFilter(c.filter);
    EXPECT_EQ(got, c.expected) << c.filter;
    // What the dialog reads: pairs up to the first empty string.
    if (!got.empty()) {
      EXPECT_EQ(got.back(), L'\0');
      EXPECT_EQ(got[got.size() - 2], L'\0');
    }
  }
}

TEST(Win32Text, FilterPieceWithNulDoesNotCutTheList) {
  const std::string filter("a\0b|*.a|c|*.c", 13);
  EXPECT_EQ(dialogFilter(filter), joined({L"ab", L"*.a", L"c", L"*.c", L""}));
}

TEST(Win32Text, ChineseCaptionsRoundTrip) {
  const std::string captions[] = {
      "\xC7\xE0\xE1\xB0\xC8\xFD\xCE\xAC\xB9\xA4\xBE\xDF V0.24",  // 青岚三维工具 V0.24
      "\xB4\xF2\xBF\xAA" "OBJ\xB8\xF1\xCA\xBD",                  // 打开OBJ格式
      "\xC1\xF7\xD0\xC7\xBA\xFB\xB5\xFB\xBD\xA3",                // 流星蝴蝶剑
      "\x95\x5C\\x",  // a trail byte 0x5C is no separator
  };
  for (const auto& gbk : captions) {
    const std::wstring wide = displayText(gbk);
    auto back = wideToGbk(wide);
    ASSERT_TRUE(back.has_value()) << gbk;
    EXPECT_EQ(*back, gbk);
  }
  EXPECT_EQ(displayText("\xC7\xE0\xE1\xB0"), L"青岚");
}

TEST(Win32Text, BrokenGbkStillShows) {
  // A lone lead byte at the end: shown as something, the rest kept.
  const std::wstring shown = displayText("ab\xC7");
  ASSERT_GE(shown.size(), 3u);
  EXPECT_EQ(shown.substr(0, 2), L"ab");
}

TEST(Win32Text, MenuAndEditTexts) {
  EXPECT_EQ(menuText("a&b"), L"a&&b");
  EXPECT_EQ(menuText("\xCE\xC4\xBC\xFE\r\n"), L"文件");
  EXPECT_EQ(editText("a\r\nb\nc\rd"), L"a\r\nb\r\nc\r\nd");
  EXPECT_EQ(editText("\n\n"), L"\r\n\r\n");
  EXPECT_EQ(editText("x\r"), L"x\r\n");
}

TEST(Win32Text, FontFamiliesMapToNamesWindowsAndWineKnow) {
  EXPECT_EQ(fontFamily("\xCB\xCE\xCC\xE5"), L"SimSun");  // 宋体
  EXPECT_EQ(fontFamily("\xBA\xDA\xCC\xE5"), L"SimHei");  // 黑体
  EXPECT_EQ(fontFamily("Arial"), L"Arial");
  EXPECT_EQ(fontFamily("\xC1\xA5\xCA\xE9"), L"隶书");  // unknown: passed on as it is
}

TEST(Win32Text, DialogStartFromPresetAndFolder) {
  struct Case {
    const char* name;
    FileDialogKind kind;
    std::string fileName, initialFolder, defaultExtension;
    std::wstring folder, file, ext;
  };
  const Case cases[] = {
      {"plain name", FileDialogKind::Open, "a.obj", "", "", L"", L"a.obj", L""},
      {"full path gives the folder", FileDialogKind::Open, "C:\\g\\pmodel\\m.skc", "", "", L"C:\\g\\pmodel", L"m.skc",
       L""},
      {"initial folder wins", FileDialogKind::Open, "C:\\g\\m.skc", "D:\\out", "", L"D:\\out", L"m.skc", L""},
      {"drive root", FileDialogKind::Open, "C:\\m.skc", "", "", L"C:\\", L"m.skc", L""},
      {"chinese folder", FileDialogKind::Save, "C:\\\xC7\xE0\xE1\xB0\\x", "", "*.ac", L"C:\\青岚", L"x", L"ac"},
      {"trail byte 0x5C", FileDialogKind::Open, "\x95\x5C.obj", "", "", L"", L"\x661E.obj", L""},
      {"save with double extension spec", FileDialogKind::Save, "", "", "*.pak|*.pak", L"", L"", L"pak"},
      {"open ignores the extension", FileDialogKind::Open, "", "", "*.ac", L"", L"", L""},
      {"wildcard extension", FileDialogKind::Save, "", "", "*.*", L"", L"", L""},
  };
  for (const auto& c : cases) {
    FileDialogSpec spec;
    spec.kind = c.kind;
    spec.fileName = c.fileName;
    spec.initialFolder = c.initialFolder;
    spec.defaultExtension = c.defaultExtension;
    const DialogStart start = dialogStart(spec);
    EXPECT_EQ(start.folder, c.folder) << c.name;
    EXPECT_EQ(start.fileName, c.file) << c.name;
    EXPECT_EQ(start.defaultExtension, c.ext) << c.name;
  }
}

}  // namespace
}  // namespace ql::window::win32
