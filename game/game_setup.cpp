#include "game/game_setup.h"

#include <cstdint>

#include "module/app/image_link.h"
#include "module/support/globals.h"
#include "module/support/kernel.h"
#include "qvkm_image.h"
#include "ui/units.h"

namespace ql::game {
namespace {

namespace text = gen::text;

constexpr int32_t kNotFound = -1;
constexpr int32_t kFirstPosition = 1;

TextRef constant(uint32_t offset) { return app::constText(offset); }

// The full path the user confirmed in an open-file dialog; absent after a cancel.
Text askForFile(UnitRef dialog) {
  if (!kernel::showFileDialog(ui::kMainWindow, dialog)) return {};
  return prop::readText(dialog, prop::kFileName);
}

}  // namespace

Text quotedProgramPath(TextRef openCommand) {
  const TextRef quote = constant(text::kQuote);
  const int32_t first = kernel::find(openCommand, quote, kFirstPosition);
  // A position past the last representable one cannot occur for a text the
  // runtime handed out, but the next search must not start by overflowing.
  if (first == kNotFound || first >= INT32_MAX) return {};
  const int32_t second = kernel::find(openCommand, quote, first + 1);
  if (second == kNotFound || second <= first) return {};
  return kernel::mid(openCommand, first, second - first + 1);
}

void discoverArchiveTool() {
  TextVar winrar = store::winrarPath();
  const Text command = kernel::registryText(constant(text::kWinrarRegistryKey));
  if (!command.empty()) {
    Text program = quotedProgramPath(command);
    if (!program.empty()) winrar.set(std::move(program));
  }
  if (!winrar.empty()) return;
  // No usable registry entry: the user names the program; a cancel leaves
  // the path empty, and a later extraction then fails visibly.
  Text chosen = askForFile(ui::kFileDialog2);
  if (!chosen.absent()) winrar.set(std::move(chosen));
}

void extractPackage(TextRef archive, TextRef destination) {
  const Text commandLine = concat(store::winrarPath().get(), constant(text::kExtractCommand), archive,
                                  constant(text::kQuoteSpaceQuote), destination, constant(text::kQuote));
  const bool ran = kernel::runAndWait(commandLine);
  kernel::messageBox(constant(ran ? text::kExtractSucceeded : text::kExtractFailed));
}

void setUpGameFolder() {
  TextVar textureFolder = store::textureFolder();
  const Text programFolder = kernel::programFolder();
  textureFolder.set(concat(programFolder, constant(text::kTextureFolderName)));
  const Text memoryFile = concat(programFolder, constant(text::kMemoryFileName));

  // Both existence tests go through the runtime's file search: an exact path
  // either names itself back or gives "". The searches end with the set-up.
  svc::FileSearch folderSearch(textureFolder.get(), abi::kSearchFolders);
  svc::FileSearch memorySearch(memoryFile, abi::kSearchFiles);
  bool haveBoth = !folderSearch.next().empty();
  if (haveBoth) haveBoth = !memorySearch.next().empty();

  if (haveBoth) {
    const Bytes content = kernel::readFile(memoryFile);
    // Taken as written, a trailing blank or line break included.
    store::gameFolder().set(kernel::bytesToText(content));
  } else {
    kernel::messageBox(constant(text::kNoTextureFolder));
    const Text chosen = askForFile(ui::kFileDialog1);
    if (!chosen.absent()) {
      kernel::messageBox(concat(constant(text::kExtractPackagePrefix), chosen, constant(text::kCloseBracket)));
      extractPackage(chosen, concat(textureFolder.get(), constant(text::kBackslash)));
      // The game folder is remembered whatever the extraction gave: the next
      // start asks again only while the texture folder is missing.
      const int32_t lastBackslash = kernel::findLast(chosen, constant(text::kBackslash));
      store::gameFolder().set(kernel::left(chosen, lastBackslash - 1));
      kernel::writeFile(memoryFile, kernel::toBytes(store::gameFolder().get()));
    }
  }
  folderSearch.close();
  memorySearch.close();
}

}  // namespace ql::game
