#include "tools/qlscenario/scenario.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>

#include "common/gbk.h"
#include "common/utf8_path.h"
#include "runtime/window/headless.h"
#include "tools/qlscenario/app_runner.h"
#include "ui/form_ids.h"

namespace ql::scenario {

namespace fs = std::filesystem;
using window::HeadlessWindowSystem;

namespace {

constexpr int32_t kMaxTicks = 100000;  // one tick line; a typo must not hang the run

struct Syntax {
  std::string_view name;
  Op op;
  size_t minArgs;
  size_t maxArgs;       // SIZE_MAX: any number
  size_t firstNumber;   // arguments from here on are integers
};

constexpr size_t kAny = SIZE_MAX;

// "answer" and "mouse" pick their operation by their first argument.
constexpr Syntax kSyntax[] = {
    {"program-folder", Op::ProgramFolder, 1, 1, kAny},
    {"memory-file", Op::MemoryFile, 1, 1, kAny},
    {"write-file", Op::WriteFile, 2, 2, kAny},
    {"gl", Op::OffscreenGl, 1, 1, kAny},
    {"choose-list", Op::ChooseList, 1, 1, 0},
    {"choose-combo", Op::ChooseCombo, 1, 1, 0},
    {"menu", Op::Menu, 1, 1, kAny},
    {"tick", Op::Tick, 0, 1, 0},
    {"mouse", Op::Mouse, 3, 4, 1},
    {"wheel", Op::Wheel, 3, 3, 0},
    {"key", Op::Key, 1, 1, kAny},
    {"scroll", Op::Scroll, 1, 1, 0},
    {"move-main", Op::MoveMain, 2, 2, 0},
    {"resize-main", Op::ResizeMain, 2, 2, 0},
    {"resize-log", Op::ResizeLog, 2, 2, 0},
    {"close-main", Op::CloseMain, 0, 0, kAny},
    {"expect-file", Op::ExpectFile, 1, 1, kAny},
    {"expect-no-file", Op::ExpectNoFile, 1, 1, kAny},
    {"expect-box", Op::ExpectBox, 1, 1, kAny},
    {"expect-no-box", Op::ExpectNoBox, 0, 0, kAny},
    {"expect-log", Op::ExpectLog, 1, 1, kAny},
    {"expect-list", Op::ExpectList, 0, kAny, kAny},
    {"answer", Op::AnswerBox, 2, 2, kAny},
};

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The key-state bit of a button word.
std::optional<int32_t> mouseButton(std::string_view word) {
  if (word == "left") return window::keys::kLeftButton;
  if (word == "right") return window::keys::kRightButton;
  if (word == "middle") return window::keys::kMiddleButton;
  return std::nullopt;
}

// The virtual-key code of a key word or number.
std::optional<int32_t> virtualKey(std::string_view word) {
  if (word == "home") return window::vk::kHome;
  if (word == "end") return window::vk::kEnd;
  int32_t code = 0;
  auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), code);
  if (ec != std::errc() || end != word.data() + word.size() || code <= 0 || code > 0xFF) return std::nullopt;
  return code;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool isSetupOp(Op op) {
  switch (op) {
    case Op::ProgramFolder:
    case Op::MemoryFile:
    case Op::WriteFile:
    case Op::AnswerBox:
    case Op::AnswerDialog:
    case Op::CancelDialog:
    case Op::OffscreenGl:
      return true;
    default:
      return false;
  }
}

bool isExpectation(Op op) {
  switch (op) {
    case Op::ExpectFile:
    case Op::ExpectNoFile:
    case Op::ExpectBox:
    case Op::ExpectNoBox:
    case Op::ExpectLog:
    case Op::ExpectList:
      return true;
    default:
      return false;
  }
}

// Shows GBK text as one UTF-8 line: line breaks and other control bytes as escapes.
std::string shown(std::string_view gbk) {
  std::string s = gbkToUtf8Lossy(gbk), out;
  for (char c : s) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '"') out += "\\\"";
    else out += c;
  }
  return "\"" + out + "\"";
}

// The log text cut at CR LF into lines, the last one dropped when empty.
std::vector<std::string> logLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t cut = text.find("\r\n", start);
    if (cut == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, cut - start));
    start = cut + 2;
  }
  return lines;
}

apprun::AppRunner::Options appOptions(const RunOptions& o) {
  apprun::AppRunner::Options a;
  if (!o.runtimeDir.empty()) a.runtimeDir = o.runtimeDir;
  return a;
}

class Runner {
 public:
  Runner(const Scenario& s, const RunOptions& o, std::ostream& out)
      : scenario_(s), options_(o), out_(out), app_(appOptions(o)) {}

  bool run();

 private:
  bool fails(const Command& c, const std::string& why) {
    out_ << "FAIL line " << c.line << ": " << why << "\n";
    ok_ = false;
    return false;
  }
  Result<std::string> expand(std::string_view text) const;
  Result<fs::path> pathArg(const Command& c, size_t i) const;
  Result<std::string> gbkArg(const Command& c, size_t i) const;
  bool setup(const Command& c);
  void act(const Command& c);
  void expect(const Command& c, bool afterEnd);
  void reportShown(const HeadlessWindowSystem& w);

  const Scenario& scenario_;
  const RunOptions& options_;
  std::ostream& out_;
  bool ok_ = true;
  std::unique_ptr<apprun::TempFolder> temp_;
  fs::path programDir_;
  apprun::AppRunner app_;
  size_t boxesShown_ = 0;
  size_t dialogsShown_ = 0;
  std::vector<bool> scriptIsBox_;  // the scripted answers in order: box or dialog
  size_t answersReported_ = 0;
  apprun::Snapshot lastSeen_;
};

Result<std::string> Runner::expand(std::string_view text) const {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '$') {
      out += text[i++];
      continue;
    }
    size_t end = i + 1;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
    const std::string name(text.substr(i + 1, end - i - 1));
    if (name == "PROGRAM") out += u8text(programDir_);
    else if (name == "SCENARIO") out += u8text(options_.scenarioDir);
    else if (name == "TEMP") out += u8text(temp_->path());
    else if (auto it = options_.variables.find(name); it != options_.variables.end()) out += it->second;
    else return fail("unknown variable $" + name);
    i = end;
  }
  return out;
}

Result<fs::path> Runner::pathArg(const Command& c, size_t i) const {
  auto text = expand(c.args[i]);
  if (!text) return text.error();
  fs::path p = u8path(*text);
  // Relative paths count from the program folder.
  if (p.is_relative()) p = programDir_ / p;
  return p.lexically_normal();
}

Result<std::string> Runner::gbkArg(const Command& c, size_t i) const {
  auto text = expand(c.args[i]);
  if (!text) return text.error();
  auto gbk = utf8ToGbk(*text);
  if (!gbk) return fail("\"" + *text + "\" has no GBK form");
  return *gbk;
}

bool Runner::setup(const Command& c) {
  switch (c.op) {
    case Op::ProgramFolder:
      return true;  // taken before everything else
    case Op::OffscreenGl:
      app_.setOffscreenGl(c.args[0] == "on");
      return true;
    case Op::MemoryFile: {
      auto game = pathArg(c, 0);
      if (!game) return fails(c, game.error().message);
      auto status = apprun::seedFinishedFirstStart(programDir_, *game);
      if (!status) return fails(c, status.error().message);
      out_ << "memory file: " << shown(*apprun::modulePath(*game)) << "\n";
      return true;
    }
    case Op::WriteFile: {
      auto path = pathArg(c, 0);
      if (!path) return fails(c, path.error().message);
      auto content = gbkArg(c, 1);
      if (!content) return fails(c, content.error().message);
      std::error_code ec;
      fs::create_directories(path->parent_path(), ec);
      std::ofstream f(*path, std::ios::binary | std::ios::trunc);
      f.write(content->data(), std::streamsize(content->size()));
      if (!f.flush()) return fails(c, "cannot write " + u8text(*path));
      return true;
    }
    case Op::AnswerBox:
      app_.windows().answerMessageBox(c.numbers[0]);
      scriptIsBox_.push_back(true);
      return true;
    case Op::CancelDialog:
      app_.windows().cancelFileDialog();
      scriptIsBox_.push_back(false);
      return true;
    case Op::AnswerDialog: {
      auto path = pathArg(c, 0);
      if (!path) return fails(c, path.error().message);
      auto module = apprun::modulePath(*path);
      if (!module) return fails(c, module.error().message);
      app_.windows().confirmFileDialog(*module);
      scriptIsBox_.push_back(false);
      return true;
    }
    default:
      return fails(c, "not a set-up command");
  }
}

void Runner::reportShown(const HeadlessWindowSystem& w) {
  auto box = [&] {
    const auto& b = w.messageBoxes()[boxesShown_++];
    out_ << "box " << shown(b.text) << (b.style == window::kStyleOkCancel ? " [OK|Cancel]" : " [OK]");
    if (b.caption) out_ << " caption " << shown(*b.caption);
    out_ << " -> " << b.answer << "\n";
  };
  auto dialog = [&] {
    const auto& d = w.fileDialogs()[dialogsShown_++];
    out_ << "dialog " << (d.kind == window::FileDialogKind::Save ? "save " : "open ") << shown(d.title)
         << " filter " << shown(d.filter) << " folder " << shown(d.initialFolder) << " file " << shown(d.fileName)
         << " -> " << (d.confirmed ? shown(d.answer) : std::string("cancelled")) << "\n";
  };
  // Boxes and dialogs take their answers from one queue in script order, so
  // that order is the order in which they were shown.
  for (; answersReported_ < scriptIsBox_.size(); ++answersReported_) {
    const bool isBox = scriptIsBox_[answersReported_];
    if (isBox && boxesShown_ < w.messageBoxes().size()) box();
    else if (!isBox && dialogsShown_ < w.fileDialogs().size()) dialog();
    else break;
  }
  // Shown without a fitting answer (the run fails on those).
  while (boxesShown_ < w.messageBoxes().size()) box();
  while (dialogsShown_ < w.fileDialogs().size()) dialog();
  out_.flush();
}

void Runner::act(const Command& c) {
  using namespace ql::ui;
  HeadlessWindowSystem& w = app_.windows();
  reportShown(w);
  out_ << "> line " << c.line << ": " << c.name;
  for (const auto& a : c.args) out_ << " " << a;
  out_ << std::endl;
  Status status = Ok{};
  switch (c.op) {
    case Op::ChooseList: status = w.chooseListEntry(kMainWindowId, kListBox1Id, c.numbers[0]); break;
    case Op::ChooseCombo: status = w.chooseComboEntry(kMainWindowId, kComboBox1Id, c.numbers[0]); break;
    case Op::Menu: {
      auto item = apprun::menuItemByPath(c.args[0]);
      if (!item) {
        fails(c, item.error().message);
        return;
      }
      status = w.clickMenu(kMainWindowId, *item);
      break;
    }
    case Op::Tick: {
      const int32_t n = c.numbers.empty() ? 1 : c.numbers[0];
      int32_t delivered = 0;
      for (int32_t i = 0; i < n; ++i) delivered += w.tickAll();
      out_ << "  ticks delivered: " << delivered << "\n";
      break;
    }
    case Op::Mouse: {
      const std::string& kind = c.args[0];
      const int32_t number = kind == "down"     ? window::event::kMouseDown
                             : kind == "up"     ? window::event::kMouseUp
                             : kind == "double" ? window::event::kMouseDoubleClick
                                                : window::event::kMouseMove;
      // The button is held from the press to the release.
      const int32_t button = c.args.size() == 4 ? *mouseButton(c.args[3]) : window::keys::kLeftButton;
      const int32_t keys = kind == "up" ? 0 : button;
      status = w.mouse(kMainWindowId, kDrawingArea1Id, number, c.numbers[0], c.numbers[1], keys);
      break;
    }
    case Op::Wheel:
      status = w.mouse(kMainWindowId, kDrawingArea1Id, window::event::kMouseWheel, c.numbers[0], c.numbers[1],
                       window::keys::withWheel(0, c.numbers[2] * window::keys::kWheelNotch));
      break;
    case Op::Key: status = w.key(kMainWindowId, kDrawingArea1Id, *virtualKey(c.args[0])); break;
    case Op::Scroll: status = w.scroll(kMainWindowId, kScrollBar2Id, c.numbers[0]); break;
    case Op::MoveMain:
    case Op::ResizeMain:
    case Op::ResizeLog: {
      const window::Id id = c.op == Op::ResizeLog ? kLogWindowId : kMainWindowId;
      auto at = [&](int32_t number) {
        auto v = w.property(id, 0, number);
        return v && std::holds_alternative<int32_t>(*v) ? std::get<int32_t>(*v) : 0;
      };
      window::Rect r{at(window::prop::kLeft), at(window::prop::kTop), at(window::prop::kWidth),
                     at(window::prop::kHeight)};
      if (c.op == Op::MoveMain) {
        r.left = c.numbers[0];
        r.top = c.numbers[1];
      } else {
        r.width = c.numbers[0];
        r.height = c.numbers[1];
      }
      status = w.userMoveResize(id, r);
      break;
    }
    case Op::CloseMain: status = w.userClose(kMainWindowId); break;
    default: break;
  }
  if (!status) fails(c, status.error().message);
  reportShown(w);
}

void Runner::expect(const Command& c, bool afterEnd) {
  HeadlessWindowSystem* w = afterEnd ? app_.lastWindows() : &app_.windows();
  if (!afterEnd) {
    reportShown(*w);
    lastSeen_ = app_.snapshot();
  }
  auto check = [&](bool held, const std::string& what) {
    out_ << (held ? "ok   " : "FAIL ") << "line " << c.line << ": " << what << (afterEnd ? " (after the end)" : "")
         << "\n";
    if (!held) ok_ = false;
  };
  switch (c.op) {
    case Op::ExpectFile:
    case Op::ExpectNoFile: {
      auto path = pathArg(c, 0);
      if (!path) return (void)fails(c, path.error().message);
      std::error_code ec;
      const bool exists = fs::exists(*path, ec);
      check(exists == (c.op == Op::ExpectFile), (exists ? "exists: " : "missing: ") + path->string());
      break;
    }
    case Op::ExpectBox: {
      auto text = gbkArg(c, 0);
      if (!text) return (void)fails(c, text.error().message);
      bool found = false;
      for (const auto& b : w->messageBoxes()) found = found || b.text == *text;
      check(found, "message box " + shown(*text));
      break;
    }
    case Op::ExpectNoBox:
      check(w->messageBoxes().empty(), std::to_string(w->messageBoxes().size()) + " message boxes shown");
      break;
    case Op::ExpectLog: {
      auto text = gbkArg(c, 0);
      if (!text) return (void)fails(c, text.error().message);
      bool found = false;
      for (const auto& line : logLines(lastSeen_.logText)) found = found || line == *text;
      check(found, "log line " + shown(*text));
      break;
    }
    case Op::ExpectList: {
      std::vector<std::string> wanted;
      for (size_t i = 0; i < c.args.size(); ++i) {
        auto text = gbkArg(c, i);
        if (!text) return (void)fails(c, text.error().message);
        wanted.push_back(*text);
      }
      std::string seen;
      for (const auto& e : lastSeen_.modelList) seen += " " + shown(e);
      check(wanted == lastSeen_.modelList, "model list:" + (seen.empty() ? std::string(" (empty)") : seen));
      break;
    }
    default: break;
  }
}

bool Runner::run() {
  temp_ = std::make_unique<apprun::TempFolder>("qlscenario");
  if (!temp_->ok()) {
    out_ << "FAIL: cannot make a temporary folder\n";
    return false;
  }
  // The program folder: as given, or one with a Chinese name in the temporary folder.
  programDir_ = temp_->path() / u8path("青岚工具");
  for (const Command& c : scenario_.commands) {
    if (c.op != Op::ProgramFolder) continue;
    auto text = expand(c.args[0]);
    if (!text) return fails(c, text.error().message);
    programDir_ = u8path(*text).lexically_normal();
  }
  std::error_code ec;
  fs::create_directories(programDir_, ec);
  if (ec) {
    out_ << "FAIL: cannot create the program folder " << u8text(programDir_) << ": " << ec.message() << "\n";
    return false;
  }
  auto programText = apprun::modulePath(programDir_);
  if (!programText) {
    out_ << "FAIL: " << programText.error().message << "\n";
    return false;
  }
  out_ << "program folder: " << shown(*programText) << "\n";

  app_.setOffscreenGl(options_.offscreenGl && apprun::offscreenGlAvailable());
  for (const Command& c : scenario_.commands)
    if (isSetupOp(c.op) && !setup(c)) return false;

  // Every other line becomes one loop step; those the program does not get
  // to (it ended first) are looked at afterwards.
  std::vector<bool> done(scenario_.commands.size(), false);
  for (size_t i = 0; i < scenario_.commands.size(); ++i) {
    const Command& c = scenario_.commands[i];
    if (isSetupOp(c.op)) continue;
    app_.step([this, &c, &done, i] {
      done[i] = true;
      if (isExpectation(c.op)) expect(c, false);
      else act(c);
    });
  }
  out_ << "start" << std::endl;
  auto result = app_.run(*programText);
  if (!result) {
    out_ << "FAIL: " << result.error().message << "\n";
    return false;
  }
  // What the last step left (or the start showed, when no step ran).
  reportShown(*app_.lastWindows());
  lastSeen_ = result->last;
  out_ << "end: " << result->describe() << "\n";

  for (size_t i = 0; i < scenario_.commands.size(); ++i) {
    const Command& c = scenario_.commands[i];
    if (isSetupOp(c.op) || done[i]) continue;
    if (isExpectation(c.op)) expect(c, true);
    else fails(c, "not done: the program had ended");
  }

  out_ << "log:\n";
  for (const auto& line : logLines(result->last.logText)) out_ << "  " << gbkToUtf8Lossy(line) << "\n";
  out_ << "model list:";
  for (const auto& e : result->last.modelList) out_ << " " << shown(e);
  out_ << "\n";

  if (!result->endedCleanly()) {
    out_ << "FAIL: the program did not end cleanly\n";
    ok_ = false;
  }
  if (result->unusedAnswers != 0) {
    out_ << "FAIL: " << result->unusedAnswers << " scripted answers were not used\n";
    ok_ = false;
  }
  out_ << (ok_ ? "PASSED" : "FAILED") << "\n";
  return ok_;
}

}  // namespace

Result<std::vector<std::string>> splitWords(std::string_view line) {
  std::vector<std::string> words;
  size_t i = 0;
  while (true) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i == line.size() || line[i] == '#') break;
    std::string word;
    if (line[i] != '"') {
      while (i < line.size() && !isBlank(line[i])) word += line[i++];
      words.push_back(std::move(word));
      continue;
    }
    ++i;
    bool closed = false;
    while (i < line.size()) {
      const char ch = line[i++];
      if (ch == '"') {
        closed = true;
        break;
      }
      if (ch != '\\') {
        word += ch;
        continue;
      }
      if (i == line.size()) return fail("a backslash ends the line");
      const char e = line[i++];
      switch (e) {
        case 'r': word += '\r'; break;
        case 'n': word += '\n'; break;
        case 't': word += '\t'; break;
        case '"': word += '"'; break;
        case '\\': word += '\\'; break;
        case 'x': {
          const int hi = i < line.size() ? hexDigit(line[i]) : -1;
          const int lo = i + 1 < line.size() ? hexDigit(line[i + 1]) : -1;
          if (hi < 0 || lo < 0) return fail("\\x needs two hexadecimal digits");
          word += char(hi * 16 + lo);
          i += 2;
          break;
        }
        default: return fail(std::string("unknown escape \\") + e);
      }
    }
    if (!closed) return fail("a quotation is not closed");
    if (i < line.size() && !isBlank(line[i])) return fail("a quotation runs into the next word");
    words.push_back(std::move(word));
  }
  return words;
}

Result<Scenario> parseScenario(std::string_view text) {
  Scenario s;
  int lineNo = 0;
  bool programFolderSeen = false;
  for (size_t start = 0; start <= text.size();) {
    size_t cut = text.find('\n', start);
    if (cut == std::string_view::npos) cut = text.size();
    const std::string_view line = text.substr(start, cut - start);
    start = cut + 1;
    ++lineNo;
    const std::string where = "line " + std::to_string(lineNo) + ": ";
    auto words = splitWords(line);
    if (!words) return fail(where + words.error().message);
    if (words->empty()) continue;

    const std::string name = words->front();
    const Syntax* syntax = nullptr;
    for (const Syntax& k : kSyntax)
      if (k.name == name) syntax = &k;
    if (!syntax) return fail(where + "unknown command \"" + name + "\"");
    Command c;
    c.line = lineNo;
    c.name = name;
    c.op = syntax->op;
    c.args.assign(words->begin() + 1, words->end());
    if (c.args.size() < syntax->minArgs || c.args.size() > syntax->maxArgs)
      return fail(where + name + " takes " +
                  (syntax->minArgs == syntax->maxArgs ? std::to_string(syntax->minArgs)
                   : syntax->maxArgs == kAny        ? "at least " + std::to_string(syntax->minArgs)
                                                     : std::to_string(syntax->minArgs) + " or " +
                                                           std::to_string(syntax->maxArgs)) +
                  " arguments, not " + std::to_string(c.args.size()));

    if (c.op == Op::AnswerBox) {
      const std::string& kind = c.args[0];
      if (kind == "dialog") {
        c.op = c.args[1] == "cancel" ? Op::CancelDialog : Op::AnswerDialog;
        c.args.erase(c.args.begin());
      } else if (kind == "box") {
        c.args.erase(c.args.begin());
        c.numbers.push_back(0);
        const std::string& b = c.args[0];
        auto [end, ec] = std::from_chars(b.data(), b.data() + b.size(), c.numbers[0]);
        if (ec != std::errc() || end != b.data() + b.size() || (c.numbers[0] != 0 && c.numbers[0] != 1))
          return fail(where + "answer box takes the button 0 (OK) or 1 (Cancel), not \"" + b + "\"");
      } else {
        return fail(where + "answer takes \"box\" or \"dialog\", not \"" + kind + "\"");
      }
    }
    size_t numbersEnd = c.args.size();
    if (c.op == Op::Mouse) {
      const std::string& kind = c.args[0];
      if (kind != "down" && kind != "move" && kind != "up" && kind != "double")
        return fail(where + "mouse takes down, move, up or double, not \"" + kind + "\"");
      if (c.args.size() == 4) {
        if (!mouseButton(c.args[3])) return fail(where + "mouse: no button \"" + c.args[3] + "\" (left, right, middle)");
        numbersEnd = 3;
      }
    }
    if (c.op == Op::Key && !virtualKey(c.args[0]))
      return fail(where + "key takes home, end or a virtual-key code, not \"" + c.args[0] + "\"");
    if (c.op == Op::OffscreenGl && c.args[0] != "on" && c.args[0] != "off")
      return fail(where + "gl takes on or off, not \"" + c.args[0] + "\"");
    if (c.op == Op::ProgramFolder) {
      if (programFolderSeen) return fail(where + "a second program-folder");
      programFolderSeen = true;
    }
    for (size_t i = syntax->firstNumber; i < numbersEnd && c.op != Op::AnswerBox; ++i) {
      const std::string& a = c.args[i];
      int32_t v = 0;
      auto [end, ec] = std::from_chars(a.data(), a.data() + a.size(), v);
      if (ec != std::errc() || end != a.data() + a.size())
        return fail(where + name + ": \"" + a + "\" is not a whole number");
      c.numbers.push_back(v);
    }
    if (c.op == Op::Tick && !c.numbers.empty() && (c.numbers[0] < 1 || c.numbers[0] > kMaxTicks))
      return fail(where + "tick takes a count from 1 to " + std::to_string(kMaxTicks));
    s.commands.push_back(std::move(c));
  }
  return s;
}

bool runScenario(const Scenario& scenario, const RunOptions& options, std::ostream& out) {
  Runner runner(scenario, options, out);
  return runner.run();
}

}  // namespace ql::scenario
