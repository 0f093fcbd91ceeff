#include "tools/qlconv/convert.h"

#include <unistd.h>

#include <fstream>
#include <system_error>

#include "common/gbk.h"
#include "module/support/globals.h"
#include "tools/qlscenario/app_runner.h"
#include "ui/form_ids.h"

namespace ql::qlconv {

namespace {

// The program folder the module is told about. Relative, so that what the
// program derives from it (the texture folder .\lx_ptx_tmp, hence the map_Kd
// paths of MTL files) is the same on every run and points beside the output
// rather than into a temporary folder that is gone afterwards. Each
// conversion runs in its own process with its own temporary current folder.
constexpr char kProgramFolder[] = ".";
constexpr char kGameFolderName[] = "game";
constexpr char kGameFolderText[] = ".\\game";  // the memory file's content
constexpr char kModelFolderName[] = "pmodel";

// What the writers show when the file is written (the prefix, then the path).
constexpr char kObjAc3dWrittenUtf8[] = "已输出模型: ";
constexpr char kSkcWrittenUtf8[] = "已输出SKC文件到 ";

window::Id exportMenuItem(Format f) {
  switch (f) {
    case Format::Obj: return ui::kMenuExportObjId;
    case Format::Ac3d: return ui::kMenuExportAc3dId;
    case Format::Skc: return ui::kMenuExportSkcId;
    case Format::Gltf: return ui::kMenuExportGltfId;
  }
  return 0;
}

std::string exportMenuName(Format f) {
  switch (f) {
    case Format::Obj: return "文件/输出/OBJ格式";
    case Format::Ac3d: return "文件/输出/AC3D格式";
    case Format::Skc: return "文件/输出/SKC格式";
    case Format::Gltf: return "文件/输出/glTF格式";
  }
  return "?";
}

class Messages {
 public:
  explicit Messages(FILE* out) : out_(out) {}
  void line(const std::string& utf8) {
    std::fputs(utf8.c_str(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
  }

 private:
  FILE* out_;
};

Status writeFile(const fs::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  if (!out.flush()) return fail("cannot write " + file.string());
  return Ok{};
}

// The texture folder of the temporary program: a link to each file of the
// folder given. What the program writes there (the BMP copies it makes of
// other pictures) stays in the temporary folder.
Status linkTextures(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  if (!fs::is_directory(from, ec)) return fail("the texture folder " + from.string() + " is not a folder");
  for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    if (!it->is_regular_file(typeError)) continue;
    fs::create_symlink(it->path(), to / it->path().filename(), ec);
    if (ec) break;
  }
  if (ec) return fail("cannot link the textures of " + from.string() + ": " + ec.message());
  return Ok{};
}

// The temporary program: its memory file names the game folder and its
// texture folder exists (with the textures given, or empty), so the start
// asks nothing; the game folder's pmodel holds the SKC input under its own
// name.
Status prepareProgram(const ConvertRequest& r, const fs::path& work) {
  std::error_code ec;
  fs::create_directories(work / apprun::kTextureFolderName, ec);
  if (!ec && !r.textureDir.empty())
    if (auto s = linkTextures(r.textureDir, work / apprun::kTextureFolderName); !s) return s;
  if (!ec) fs::create_directories(work / kGameFolderName / kModelFolderName, ec);
  if (ec) return fail("cannot make the temporary program folder: " + ec.message());
  if (auto s = writeFile(work / apprun::kMemoryFileName, kGameFolderText); !s) return s;
  if (r.kind == InputKind::Skc) {
    const fs::path entry = work / kGameFolderName / kModelFolderName / r.input.filename();
    fs::create_symlink(r.input, entry, ec);
    if (ec) {
      ec.clear();
      fs::copy_file(r.input, entry, ec);
      if (ec) return fail("cannot put the model into the game folder: " + ec.message());
    }
  }
  return Ok{};
}

}  // namespace

std::vector<std::string> childArgs(const ConvertRequest& r) {
  return {kChildFlag,
          std::string(inputKindName(r.kind)),
          std::string(formatName(r.to)),
          r.input.string(),
          r.output.string(),
          r.runtimeDir.string(),
          r.textureDir.string()};
}

std::optional<ConvertRequest> parseChildArgs(std::span<const std::string> args) {
  if (args.size() != 7 || args[0] != kChildFlag) return std::nullopt;
  ConvertRequest r;
  const auto kind = parseInputKind(args[1]);
  const auto to = parseFormat(args[2]);
  if (!kind || !to || args[3].empty() || args[4].empty()) return std::nullopt;
  r.kind = *kind;
  r.to = *to;
  r.input = args[3];
  r.output = args[4];
  r.runtimeDir = args[5];
  r.textureDir = args[6];
  if (!r.input.is_absolute() || !r.output.is_absolute()) return std::nullopt;
  return r;
}

int convertOne(const ConvertRequest& r, FILE* messagesFile) {
  Messages messages(messagesFile);
  auto refuse = [&](const std::string& why) {
    messages.line("not converted: " + why);
    return 1;
  };

  // The module sees paths as GBK texts; a name GBK cannot hold cannot be
  // given to it.
  auto inputText = apprun::modulePath(r.input);
  if (!inputText) return refuse(inputText.error().message);
  auto outputText = apprun::modulePath(r.output);
  if (!outputText) return refuse(outputText.error().message);
  auto entryText = apprun::modulePath(r.input.filename());
  if (!entryText) return refuse(entryText.error().message);
  auto written = utf8ToGbk(r.to == Format::Skc ? kSkcWrittenUtf8 : kObjAc3dWrittenUtf8);
  if (!written) return refuse("no GBK form of the writer's message");
  const std::string successText = *written + *outputText;

  std::error_code ec;
  const fs::path outputFolder = r.output.parent_path();
  const bool madeFolder = !fs::exists(outputFolder, ec);
  fs::create_directories(outputFolder, ec);
  if (ec) return refuse("cannot make the folder " + outputFolder.string() + ": " + ec.message());
  // A failed conversion leaves no empty folder of its own behind.
  auto refuseAndTidy = [&](const std::string& why) {
    std::error_code ignored;
    if (madeFolder && fs::is_empty(outputFolder, ignored)) fs::remove(outputFolder, ignored);
    return refuse(why);
  };

  apprun::TempFolder work("qlconv");
  if (!work.ok()) return refuseAndTidy("cannot make a temporary folder");
  if (auto s = prepareProgram(r, work.path()); !s) return refuseAndTidy(s.error().message);
  if (chdir(work.path().c_str()) != 0) return refuseAndTidy("cannot enter the temporary program folder");

  apprun::AppRunner::Options options;
  if (!r.runtimeDir.empty()) options.runtimeDir = r.runtimeDir;
  options.offscreenGl = false;  // nothing is drawn; textures stay unloaded
  apprun::AppRunner app(options);
  window::HeadlessWindowSystem& windows = app.windows();

  LogFollower log;
  auto passOnLog = [&](std::string_view text) {
    for (const std::string& l : log.update(text)) messages.line(messageLine(l));
  };
  // Every box is answered OK, after the log lines written before it.
  windows.setUnscriptedBoxAnswerer([&](const window::HeadlessWindowSystem::MessageBoxShown& box) {
    passOnLog(app.snapshot().logText);
    messages.line(messageLine(box.text));
    return 0;
  });

  std::string failure;
  // Step 1: the model is read into the store.
  app.step([&] {
    if (r.kind == InputKind::Skc) {
      const std::vector<std::string> list = app.snapshot().modelList;
      int32_t index = -1;
      for (size_t i = 0; i < list.size() && index < 0; ++i)
        if (list[i] == *entryText) index = int32_t(i);
      if (index < 0) {
        failure = "the model list does not show " + r.input.filename().string();
        return;
      }
      if (auto s = windows.chooseListEntry(ui::kMainWindowId, ui::kListBox1Id, index); !s)
        failure = "choosing the model failed: " + s.error().message;
    } else {
      const bool gltf = r.kind == InputKind::Gltf;
      const std::string menu = gltf ? "文件/打开/打开glTF格式" : "文件/打开/打开OBJ格式";
      const size_t dialogs = windows.fileDialogs().size();
      windows.confirmFileDialog(*inputText);
      if (auto s = windows.clickMenu(ui::kMainWindowId, gltf ? ui::kMenuImportGltfId : ui::kMenuImportObjId); !s)
        failure = menu + " failed: " + s.error().message;
      else if (windows.fileDialogs().size() == dialogs)
        failure = menu + " asked for no file (the import is missing from this build)";
    }
    passOnLog(app.snapshot().logText);
    if (failure.empty() && !globals().modelLoaded) failure = "no model was read from " + r.input.string();
  });
  // Step 2: the export writes it.
  app.step([&] {
    if (!failure.empty()) return;  // no answer for the export's dialog is left behind
    const size_t dialogs = windows.fileDialogs().size();
    const size_t boxes = windows.messageBoxes().size();
    windows.confirmFileDialog(*outputText);
    if (auto s = windows.clickMenu(ui::kMainWindowId, exportMenuItem(r.to)); !s) {
      failure = exportMenuName(r.to) + " failed: " + s.error().message;
      return;
    }
    passOnLog(app.snapshot().logText);
    if (windows.fileDialogs().size() == dialogs) {
      failure = exportMenuName(r.to) + " asked for no file (the writer is missing from this build)";
      return;
    }
    const auto& shown = windows.messageBoxes();
    bool reported = false;
    for (size_t i = boxes; i < shown.size(); ++i) reported = reported || shown[i].text == successText;
    if (!reported) failure = "the writer did not report " + r.output.string() + " as written";
  });

  auto result = app.run(kProgramFolder);
  if (!result) return refuseAndTidy(result.error().message);
  passOnLog(result->last.logText);
  if (auto rest = log.rest()) messages.line(messageLine(*rest));

  if (!result->exception.empty() && failure.empty()) failure = "the program stopped: " + result->exception;
  if (result->stage == kQlStageRuntimeError && failure.empty())
    failure = "runtime error " + std::to_string(result->errorCode) + ": " + gbkToUtf8Lossy(result->detail);
  if (result->stage == kQlStageLoadFailed) failure = "the module image was refused: " + gbkToUtf8Lossy(result->detail);
  if (failure.empty() && result->stepsRun != result->stepsQueued)
    failure = "the program ended before the conversion was done (" + result->describe() + ")";
  if (failure.empty() && !fs::is_regular_file(r.output, ec)) failure = r.output.string() + " was not written";
  if (!failure.empty()) return refuseAndTidy(failure);
  return 0;
}

}  // namespace ql::qlconv
