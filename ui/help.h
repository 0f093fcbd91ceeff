// The Help menu: three web pages opened after a confirmation, and the check
// for a newer version against the update-information text on our pages host.
//
// Handlers are module routines: the runtime calls them through their entries
// in @code with three arguments, which these handlers ignore.
#pragma once

#include <cstdint>

#include "module/support/text.h"

namespace ql::ui {

// 百度贴吧, 访问论坛获取帮助, 当前版本说明: ask (OK / Cancel, caption 帮助),
// then hand the page's address to the shell.
intptr_t openForumBar(intptr_t, intptr_t, intptr_t);
intptr_t openHelpThread(intptr_t, intptr_t, intptr_t);
intptr_t openVersionNotes(intptr_t, intptr_t, intptr_t);

// 检测新版本: fetches the update text; a version above ours with a page to
// show leads to a question whether to open that page, anything else to the
// note that no update was found.
intptr_t updateCheck(intptr_t, intptr_t, intptr_t);

// The page the update text announces, or an absent text when it announces
// none: line 1 "ver N" with N above the current version, line 2 "add URL"
// with URL an http:// or https:// address free of control characters (lines
// split at CR LF, words at single blanks).
Text announcedUpdatePage(TextRef updateText);

}  // namespace ql::ui
