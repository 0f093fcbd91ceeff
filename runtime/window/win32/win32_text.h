// Texts and dialog fields as the Win32 controls want them. Kept apart from
// the backend so that tests check them without opening a window.
#pragma once

#include <string>
#include <string_view>

#include "runtime/window/window_system.h"

namespace ql::window::win32 {

// GBK -> UTF-16 for showing: bytes that are no GBK show as the code page's
// default character instead of failing.
std::wstring displayText(std::string_view gbk);

// Menu captions: a lone '&' would underline the next character
// (and hide itself), so it is doubled; CR and LF are dropped.
std::wstring menuText(std::string_view gbk);

// Multi-line edit controls break lines only at CR LF: lone CRs and LFs
// become CR LF.
std::wstring editText(std::string_view gbk);

// "desc|*.a;*.b|desc2|*.c" -> L"desc\0*.a;*.b\0desc2\0*.c\0\0" (the string
// holds the NULs; its data() is what OPENFILENAMEW.lpstrFilter takes).
// Empty when the filter has no usable pair: the dialog then shows all files.
std::wstring dialogFilter(std::string_view gbkFilter);

// The designed family names are Chinese; Windows knows the common ones under
// their English names too, and Wine's font replacements only match those.
std::wstring fontFamily(std::string_view gbkName);

// Where a file dialog starts and what it offers as the name. The preset may
// be a full path from an earlier run: its folder then serves when no initial
// folder is set, and only its last part is offered.
struct DialogStart {
  std::wstring folder;    // empty: the system's choice
  std::wstring fileName;  // empty: none offered
  std::wstring defaultExtension;  // without the dot; save dialogs only
};
DialogStart dialogStart(const FileDialogSpec& spec);

}  // namespace ql::window::win32
