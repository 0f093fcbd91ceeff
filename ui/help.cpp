#include "ui/help.h"

#include "module/app/image_link.h"
#include "module/support/array.h"
#include "module/support/byteset.h"
#include "module/support/kernel.h"
#include "module/support/regex.h"
#include "qvkm_image.h"

namespace ql::ui {
namespace {

namespace text = gen::text;

// The version this build is; only a greater number announces an update
// (the window title shows it as V0.24).
constexpr int32_t kCurrentVersion = 25;
// What the message-box command gives for the first button (OK).
constexpr int32_t kFirstButton = 0;
// Bytes that may not appear in an address handed to the shell.
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;

TextRef constant(uint32_t offset) { return app::constText(offset); }

void openInBrowser(TextRef address) {
  // The shell's answer is not examined: without a browser nothing opens and
  // nothing is reported.
  dll::shellExecute(0, constant(text::kShellOpen), address, constant(text::kEmpty), constant(text::kEmpty),
                    dll::kShowNormal);
}

bool askHelpQuestion(TextRef question) {
  return kernel::messageBox(question, kernel::kMbOkCancel, constant(text::kHelpCaption)) == kFirstButton;
}

void openAfterConfirmation(uint32_t question, uint32_t address) {
  if (askHelpQuestion(constant(question))) openInBrowser(constant(address));
}

bool startsWith(TextRef s, TextRef prefix) { return kernel::left(s, kernel::length(prefix)) == prefix; }

// The update text comes from the network, and what it names is handed to the
// shell: only a web address may go there, never a local path, a file: URL or
// another program's scheme.
bool isWebAddress(TextRef address) {
  size_t schemeLength = 0;
  if (startsWith(address, constant(text::kHttpScheme)))
    schemeLength = constant(text::kHttpScheme).size();
  else if (startsWith(address, constant(text::kHttpsScheme)))
    schemeLength = constant(text::kHttpsScheme).size();
  else
    return false;
  if (address.size() <= schemeLength) return false;  // a scheme with no host
  for (const char c : address.view()) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < kFirstPrintable || byte == kDelete) return false;
  }
  return true;
}

}  // namespace

Text announcedUpdatePage(TextRef updateText) {
  const TextList lines = kernel::split(updateText, constant(text::kCrLf));
  if (lines.size() < 1) return {};
  const TextList version = kernel::split(lines.text(1), constant(text::kSpace));
  if (version.size() < 2 || !(version.text(1) == constant(text::kKwVer))) return {};
  if (kernel::toInt(version.text(2)) <= kCurrentVersion) return {};
  if (lines.size() < 2) return {};
  const TextList page = kernel::split(lines.text(2), constant(text::kSpace));
  if (page.size() < 2 || !(page.text(1) == constant(text::kKwAdd))) return {};
  if (page.text(2).empty() || !isWebAddress(page.text(2))) return {};
  return Text::copy(page.text(2));
}

intptr_t openForumBar(intptr_t, intptr_t, intptr_t) {
  openAfterConfirmation(text::kConfirmForumBar, text::kForumBarAddress);
  return 0;
}

intptr_t openHelpThread(intptr_t, intptr_t, intptr_t) {
  openAfterConfirmation(text::kConfirmHelpThread, text::kHelpThreadAddress);
  return 0;
}

intptr_t openVersionNotes(intptr_t, intptr_t, intptr_t) {
  openAfterConfirmation(text::kConfirmVersionNotes, text::kVersionNotesAddress);
  return 0;
}

intptr_t updateCheck(intptr_t, intptr_t, intptr_t) {
  // A failed fetch gives no bytes, which reads as an empty text.
  const Bytes body = net::fetch(constant(text::kUpdateAddress));
  const Text updateText = kernel::bytesToText(body);
  const Text page = announcedUpdatePage(updateText);
  if (page.absent()) {
    kernel::messageBox(constant(text::kNoUpdate));
    return 0;
  }
  if (askHelpQuestion(constant(text::kNewerVersion))) openInBrowser(page);
  return 0;
}

}  // namespace ql::ui
