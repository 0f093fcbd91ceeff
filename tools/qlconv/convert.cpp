#include "tools/qlconv/convert.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <fstream>
#include <system_error>

#ifdef QLCONV_PICTURES
#include <GL/gl.h>

#include "runtime/window/offscreen.h"
#include "tools/picture/picture.h"
#endif

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

// The main window's design around 画板1 (the layout keeps these margins).
constexpr int kMainDesignWidth = 640;
constexpr int kMainDesignHeight = 480;
constexpr int kAreaDesignWidth = 504;
constexpr int kAreaDesignHeight = 448;
// The start of the log line for a texture that did not load.
constexpr char kTextureFailedUtf8[] = "纹理文件载入失败 [";

// What the writers show when the file is written (the prefix, then the path).
constexpr char kObjAc3dWrittenUtf8[] = "已输出模型: ";
constexpr char kSkcWrittenUtf8[] = "已输出SKC文件到 ";

window::Id exportMenuItem(Format f) {
  switch (f) {
    case Format::Obj: return ui::kMenuExportObjId;
    case Format::Ac3d: return ui::kMenuExportAc3dId;
    case Format::Skc: return ui::kMenuExportSkcId;
    case Format::Png: break;  // drawn, not exported
  }
  return 0;
}

std::string exportMenuName(Format f) {
  switch (f) {
    case Format::Obj: return "文件/输出/OBJ格式";
    case Format::Ac3d: return "文件/输出/AC3D格式";
    case Format::Skc: return "文件/输出/SKC格式";
    case Format::Png: break;
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

// The texture folder of the temporary program: the files of `from`, linked.
// BMP files are copied instead: converting a texture writes NAME.bmp beside
// it, and must not write through a link into the user's folder.
Status linkTextures(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code fileError;
    if (!it->is_regular_file(fileError)) continue;
    const fs::path target = to / it->path().filename();
    std::string ext = it->path().extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".bmp")
      fs::copy_file(it->path(), target, fileError);
    else
      fs::create_symlink(it->path(), target, fileError);
    if (fileError) return fail("cannot take the texture " + it->path().string() + ": " + fileError.message());
  }
  if (ec) return fail("cannot list the textures in " + from.string() + ": " + ec.message());
  return Ok{};
}

// The temporary program: its memory file names the game folder and its
// texture folder exists, so the start asks nothing; the game folder's pmodel
// holds the SKC input under its own name.
Status prepareProgram(const ConvertRequest& r, const fs::path& work) {
  std::error_code ec;
  fs::create_directories(work / apprun::kTextureFolderName, ec);
  if (!ec) fs::create_directories(work / kGameFolderName / kModelFolderName, ec);
  if (ec) return fail("cannot make the temporary program folder: " + ec.message());
  if (auto s = writeFile(work / apprun::kMemoryFileName, kGameFolderText); !s) return s;
  if (!r.textures.empty()) {
    if (auto s = linkTextures(r.textures, work / apprun::kTextureFolderName); !s) return s;
  }
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

// Lines of a log text that start with `prefix`.
int32_t countLines(std::string_view log, std::string_view prefix) {
  int32_t n = 0;
  for (size_t at = 0; at < log.size();) {
    size_t end = log.find("\r\n", at);
    if (end == std::string_view::npos) end = log.size();
    if (log.substr(at, end - at).starts_with(prefix)) ++n;
    at = end + 2;
  }
  return n;
}

#ifdef QLCONV_PICTURES
// One tick of 时钟1 and the frame it presented in 画板1.
Result<picture::Picture> tickAndRead(window::HeadlessWindowSystem& windows) {
  auto* surface = dynamic_cast<window::OffscreenSurface*>(windows.glTarget(ui::kMainWindowId, ui::kDrawingArea1Id));
  if (!surface) return fail("no picture: the view has no OpenGL surface");
  const int32_t swaps = surface->swapCount();
  auto ticked = windows.tick(ui::kMainWindowId, ui::kTimer1Id);
  if (!ticked || !*ticked || surface->swapCount() == swaps) return fail("no picture: the view drew no frame");
  return picture::Picture::fromPixels(surface->width(), surface->height(), surface->readPixels());
}

// The view's first frame as a PNG file. For a transparent background it is
// drawn a second time on transparent black: what shows the clear colour in
// both frames is background.
Status drawPicture(window::HeadlessWindowSystem& windows, const ConvertRequest& r) {
  auto onWhite = tickAndRead(windows);
  if (!onWhite) return onWhite.error();
  picture::Picture out = std::move(*onWhite);
  if (out.width != r.width || out.height != r.height)
    return fail("no picture: the view is " + std::to_string(out.width) + " x " + std::to_string(out.height) +
                " pixels, not " + std::to_string(r.width) + " x " + std::to_string(r.height));
  if (r.transparent) {
    auto* surface = dynamic_cast<window::OffscreenSurface*>(windows.glTarget(ui::kMainWindowId, ui::kDrawingArea1Id));
    if (!surface->makeCurrent()) return fail("no picture: the view's OpenGL context is gone");
    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    auto onBlack = tickAndRead(windows);
    if (!onBlack) return onBlack.error();
    for (int32_t y = 0; y < out.height; ++y)
      for (int32_t x = 0; x < out.width; ++x) {
        const picture::Rgba w = out.at(x, y), b = onBlack->at(x, y);
        const bool background = w == picture::Rgba{255, 255, 255, 255} && b == picture::Rgba{0, 0, 0, 0};
        out.set(x, y, background ? picture::Rgba{} : picture::Rgba{w.r, w.g, w.b, 255});
      }
  } else {
    for (size_t i = 3; i < out.rgba.size(); i += 4) out.rgba[i] = 255;  // the view shows no alpha
  }
  return picture::writePng(out, r.output);
}
#else
Status drawPicture(window::HeadlessWindowSystem&, const ConvertRequest&) {
  return fail("no picture: this build of qlconv draws none");
}
#endif

}  // namespace

std::vector<std::string> childArgs(const ConvertRequest& r) {
  return {kChildFlag,
          std::string(inputKindName(r.kind)),
          std::string(formatName(r.to)),
          r.input.string(),
          r.output.string(),
          r.runtimeDir.string(),
          std::to_string(r.width),
          std::to_string(r.height),
          r.transparent ? "transparent" : "white",
          r.textures.string()};
}

std::optional<ConvertRequest> parseChildArgs(std::span<const std::string> args) {
  if (args.size() != 10 || args[0] != kChildFlag) return std::nullopt;
  ConvertRequest r;
  const auto kind = parseInputKind(args[1]);
  const auto to = parseFormat(args[2]);
  if (!kind || !to || args[3].empty() || args[4].empty()) return std::nullopt;
  r.kind = *kind;
  r.to = *to;
  r.input = args[3];
  r.output = args[4];
  r.runtimeDir = args[5];
  auto size = [](const std::string& text) -> std::optional<int> {
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || v < kMinPictureSize || v > kMaxPictureSize)
      return std::nullopt;
    return v;
  };
  const auto width = size(args[6]), height = size(args[7]);
  if (!width || !height || (args[8] != "white" && args[8] != "transparent")) return std::nullopt;
  r.width = *width;
  r.height = *height;
  r.transparent = args[8] == "transparent";
  r.textures = args[9];
  if (!r.input.is_absolute() || !r.output.is_absolute()) return std::nullopt;
  if (!r.textures.empty() && !r.textures.is_absolute()) return std::nullopt;
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
  const bool picture = r.to == Format::Png;
  if (picture && !apprun::offscreenGlAvailable())
    return refuse("no picture: this build has no offscreen OpenGL to draw with");

  // The run has made the folder before any conversion started (and tidies
  // it afterwards); a child started alone makes it here.
  std::error_code ec;
  const fs::path outputFolder = r.output.parent_path();
  fs::create_directories(outputFolder, ec);
  if (ec) return refuse("cannot make the folder " + outputFolder.string() + ": " + ec.message());

  apprun::TempFolder work("qlconv");
  if (!work.ok()) return refuse("cannot make a temporary folder");
  if (auto s = prepareProgram(r, work.path()); !s) return refuse(s.error().message);
  if (chdir(work.path().c_str()) != 0) return refuse("cannot enter the temporary program folder");

  apprun::AppRunner::Options options;
  if (!r.runtimeDir.empty()) options.runtimeDir = r.runtimeDir;
  // Only a picture is drawn; conversions leave the textures unloaded.
  options.offscreenGl = picture;
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

  auto failedText = utf8ToGbk(kTextureFailedUtf8);
  if (!failedText) return refuse("no GBK form of the texture message");
  const std::string textureFailedText = *failedText;
  std::string failure;
  // Step 1: the model is read into the store (for a picture, into a view of
  // the picture's size, so that the load frames it for that size).
  app.step([&] {
    if (picture) {
      // The drawing area is the main window less what the design puts
      // around it.
      const window::Rect outer{0, 0, r.width + kMainDesignWidth - kAreaDesignWidth,
                               r.height + kMainDesignHeight - kAreaDesignHeight};
      if (auto s = windows.userMoveResize(ui::kMainWindowId, outer); !s) {
        failure = "cannot size the view: " + s.error().message;
        return;
      }
    }
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
      const size_t dialogs = windows.fileDialogs().size();
      windows.confirmFileDialog(*inputText);
      if (auto s = windows.clickMenu(ui::kMainWindowId, ui::kMenuImportObjId); !s)
        failure = "文件/打开/打开OBJ格式 failed: " + s.error().message;
      else if (windows.fileDialogs().size() == dialogs)
        failure = "文件/打开/打开OBJ格式 asked for no file (the OBJ import is missing from this build)";
    }
    passOnLog(app.snapshot().logText);
    if (failure.empty() && !globals().modelLoaded) failure = "no model was read from " + r.input.string();
  });
  // Step 2 of a picture: the first frame after the load, read back.
  if (picture) {
    app.step([&] {
      if (!failure.empty()) return;
      if (auto s = drawPicture(windows, r); !s) failure = s.error().message;
      const int32_t missing = countLines(app.snapshot().logText, textureFailedText);
      if (missing > 0)
        messages.line(std::to_string(missing) + (missing == 1 ? " texture" : " textures") +
                      " did not load; the model shows red there, as in the tool");
    });
  }
  // Step 2 of a conversion: the export writes it.
  if (!picture) app.step([&] {
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
  if (!result) return refuse(result.error().message);
  passOnLog(result->last.logText);
  if (auto rest = log.rest()) messages.line(messageLine(*rest));

  if (!result->exception.empty() && failure.empty()) failure = "the program stopped: " + result->exception;
  if (result->stage == kQlStageRuntimeError && failure.empty())
    failure = "runtime error " + std::to_string(result->errorCode) + ": " + gbkToUtf8Lossy(result->detail);
  if (result->stage == kQlStageLoadFailed) failure = "the module image was refused: " + gbkToUtf8Lossy(result->detail);
  if (failure.empty() && result->stepsRun != result->stepsQueued)
    failure = "the program ended before the conversion was done (" + result->describe() + ")";
  if (failure.empty() && !fs::is_regular_file(r.output, ec)) failure = r.output.string() + " was not written";
  if (!failure.empty()) return refuse(failure);
  return 0;
}

}  // namespace ql::qlconv
