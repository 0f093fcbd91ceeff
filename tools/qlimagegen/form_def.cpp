// The two windows of @form: the main window with its menu and controls, and
// the log window with the log box. Positions, sizes and settings are the
// tool's design; the event tables name the routines that exist.
#include <functional>

#include "module/abi.h"
#include "module/forms/unit_props.h"
#include "tools/qlimagegen/generator.h"
#include "tools/qlimagegen/routines.h"
#include "ui/form_ids.h"

namespace ql::imagegen {
namespace {

using image::Event;
using image::Unit;
using image::Window;
namespace ev = ui::event;

// Unit flags words: the runtime's business; these are the values the tool's
// windows have always carried.
constexpr uint32_t kFlagsHidden = 0;
constexpr uint32_t kFlagsShown = 1;        // window, drawing area, scroll bar
constexpr uint32_t kFlagsInputControl = 5; // list box, combo box, edit box

constexpr int32_t kCharsetGb2312 = 134;
constexpr int32_t kWeightBold = 700;

struct Wiring {
  int32_t event;
  std::string_view routine;
};

class FormBuilder {
 public:
  explicit FormBuilder(const std::vector<RoutineEntry>& routines) : routines_(routines) {}

  // The code offset of a routine that exists, nullopt for one still to come;
  // an unknown name is an error (a typo in the wiring).
  Result<std::optional<uint32_t>> handler(std::string_view name) {
    for (const auto& r : routines_)
      if (r.name == name) return std::optional<uint32_t>(r.codeOffset);
    for (const auto& r : kRoutines)
      if (r.name == name) return std::optional<uint32_t>();
    return fail("wiring names routine " + std::string(name) + ", which is not in the routine table");
  }

  Result<std::vector<Event>> events(std::initializer_list<Wiring> wiring) {
    std::vector<Event> out;
    for (const Wiring& w : wiring) {
      auto h = handler(w.routine);
      if (!h) return h.error();
      if (*h) out.push_back(Event{w.event, **h});
    }
    return out;
  }

  Result<Unit> placed(uint32_t id, std::string_view utf8Name, int32_t left, int32_t top, int32_t width,
                      int32_t height, uint32_t flags, std::initializer_list<Wiring> wiring,
                      const forms::UnitProps& props) {
    Unit u;
    u.id = id;
    u.type = forms::typeCodeOf(props);
    auto name = gbk(utf8Name, "unit name");
    if (!name) return name.error();
    u.name = *name;
    u.left = left;
    u.top = top;
    u.width = width;
    u.height = height;
    u.flags = flags;
    auto ev = events(wiring);
    if (!ev) return ev.error();
    u.events = std::move(*ev);
    u.properties = forms::encodeProps(props);
    return u;
  }

  Result<Unit> menuItem(uint32_t id, uint32_t level, std::string_view utf8Caption, std::string_view routine) {
    Unit u;
    u.id = id;
    u.type = abi::kTypeMenuItem;
    u.level = level;
    auto caption = gbk(utf8Caption, "menu caption");
    if (!caption) return caption.error();
    u.caption = *caption;
    if (!routine.empty()) {
      auto h = handler(routine);
      if (!h) return h.error();
      if (*h) u.handler = **h;
    }
    return u;
  }

 private:
  const std::vector<RoutineEntry>& routines_;
};

Result<forms::UnitProps> fileDialog(forms::DialogKind kind, std::string_view title, std::string_view fileName,
                                    std::string_view filter, std::string_view defaultExtension) {
  forms::FileDialogProps p;
  p.kind = kind;
  for (auto [out, in] : {std::pair{&p.title, title}, std::pair{&p.fileName, fileName}, std::pair{&p.filter, filter},
                         std::pair{&p.defaultExtension, defaultExtension}}) {
    auto g = gbk(in, "file dialog setting");
    if (!g) return g.error();
    *out = *g;
  }
  return forms::UnitProps(p);
}

#define QL_GEN_TRY(lhs, expr)             \
  auto lhs##_r = (expr);                  \
  if (!lhs##_r) return lhs##_r.error();   \
  auto lhs = std::move(*lhs##_r)

Result<Window> mainWindow(FormBuilder& b) {
  Window w;
  w.id = ui::kMainWindowId;
  w.codeUnitId = ui::kMainCodeUnitId;

  QL_GEN_TRY(title, gbk("青岚三维工具 V0.24  by vrel", "main window title"));
  QL_GEN_TRY(self, b.placed(ui::kMainWindowUnitId, "", 50, 50, 640, 480, kFlagsShown,
                            {{ev::kWindowCreated, "kMainCreated"},
                             {ev::kWindowDestroyed, "kViewRelease"},
                             {ev::kWindowMoved, "kMainMoved"},
                             {ev::kWindowResized, "kViewportUpdate"}},
                            forms::WindowProps{title}));
  w.units.push_back(std::move(self));

  struct Item {
    uint32_t id, level;
    std::string_view caption, routine;
  };
  static constexpr Item kMenu[] = {
      {ui::kMenuFileId, 0, "文件", ""},
      {ui::kMenuOpenId, 1, "打开", ""},
      {ui::kMenuImportObjId, 2, "打开OBJ格式", "kImportObj"},
      {ui::kMenuImportGltfId, 2, "打开glTF格式", "kImportGltf"},
      {ui::kMenuExportId, 1, "输出", ""},
      {ui::kMenuExportObjId, 2, "OBJ格式", "kExportObj"},
      {ui::kMenuExportAc3dId, 2, "AC3D格式", "kExportAc3d"},
      {ui::kMenuExportSkcId, 2, "SKC格式", "kExportSkc"},
      {ui::kMenuExportGltfId, 2, "glTF格式", "kExportGltf"},
      {ui::kMenuSaveId, 1, "保存", ""},
      {ui::kMenuSaveToGameId, 2, "保存到游戏", "kSaveToGame"},
      {ui::kMenuHelpId, 0, "帮助", ""},
      {ui::kMenuForumBarId, 1, "百度贴吧", "kOpenForumBar"},
      {ui::kMenuHelpThreadId, 1, "访问论坛获取帮助", "kOpenHelpThread"},
      {ui::kMenuUpdateCheckId, 1, "检测新版本", "kUpdateCheck"},
      {ui::kMenuVersionNotesId, 1, "当前版本说明", "kOpenVersionNotes"},
  };
  for (const Item& item : kMenu) {
    QL_GEN_TRY(u, b.menuItem(item.id, item.level, item.caption, item.routine));
    w.units.push_back(std::move(u));
  }

  QL_GEN_TRY(list, b.placed(ui::kListBox1Id, "列表框1", 0, 0, 104, 264, kFlagsInputControl,
                            {{ev::kListEntryChosen, "kModelSelected"}}, forms::ListBoxProps{false}));
  w.units.push_back(std::move(list));

  forms::ComboBoxProps combo;
  int32_t value = 1;
  for (std::string_view entry : {"点模式", "线框式1", "线框式2", "线框式3", "纹理模式"}) {
    QL_GEN_TRY(text, gbk(entry, "combo box entry"));
    combo.entries.push_back(forms::ComboEntry{text, value++});
  }
  QL_GEN_TRY(font, gbk("宋体", "combo box font"));
  combo.fontName = font;
  combo.fontHeight = 12;
  combo.fontWeight = kWeightBold;
  combo.charset = kCharsetGb2312;
  QL_GEN_TRY(comboUnit, b.placed(ui::kComboBox1Id, "组合框1", 0, 416, 104, 20, kFlagsInputControl,
                                 {{ev::kComboSelectionChanged, "kModeChanged"}}, combo));
  w.units.push_back(std::move(comboUnit));

  QL_GEN_TRY(area, b.placed(ui::kDrawingArea1Id, "画板1", 112, 0, 504, 448, kFlagsShown,
                            {{ev::kMouseDown, "kMouseDown"}, {ev::kMouseUp, "kMouseUp"}, {ev::kMouseMove, "kMouseMove"}},
                            forms::DrawingAreaProps{}));
  w.units.push_back(std::move(area));

  QL_GEN_TRY(scroll, b.placed(ui::kScrollBar2Id, "纵向滚动条2", 616, 0, 16, 456, kFlagsShown, {},
                              forms::ScrollBarProps{1, 100, 10, 1, 30}));
  w.units.push_back(std::move(scroll));

  QL_GEN_TRY(timer, b.placed(ui::kTimer1Id, "时钟1", 0, 0, 0, 0, kFlagsHidden, {{ev::kTimerTick, "kTimerTick"}},
                             forms::TimerProps{50}));
  w.units.push_back(std::move(timer));

  struct Dialog {
    uint32_t id;
    std::string_view name;
    forms::DialogKind kind;
    std::string_view title, fileName, filter, defaultExtension;
  };
  static constexpr Dialog kDialogs[] = {
      {ui::kFileDialog1Id, "通用对话框1", forms::DialogKind::Open, "请指定流星安装目录（即Meteor.exe所在目录）",
       "ptexture.pak", "流星打包文件|*.pak", "*.pak|*.pak"},
      {ui::kFileDialog2Id, "通用对话框2", forms::DialogKind::Open, "“需要使用WINRAR解压数据，请指定WINRAR目录”",
       "winrar.exe", "*.exe", "*.exe"},
      {ui::kFileDialog3Id, "通用对话框3", forms::DialogKind::Save, "请指定所要保存的文件名", "",
       "AC3D模型格式|*.ac|OBJ模型格式|*.obj", "*.ac"},
      {ui::kFileDialog4Id, "通用对话框4", forms::DialogKind::Open, "", "", "OBJ格式|*.obj", ""},
  };
  for (const Dialog& d : kDialogs) {
    QL_GEN_TRY(props, fileDialog(d.kind, d.title, d.fileName, d.filter, d.defaultExtension));
    QL_GEN_TRY(u, b.placed(d.id, d.name, 0, 0, 0, 0, kFlagsHidden, {}, props));
    w.units.push_back(std::move(u));
  }
  return w;
}

Result<Window> logWindow(FormBuilder& b) {
  Window w;
  w.id = ui::kLogWindowId;
  w.codeUnitId = ui::kLogCodeUnitId;
  QL_GEN_TRY(self, b.placed(ui::kLogWindowUnitId, "", 50, 50, 397, 144, kFlagsShown,
                            {{ev::kWindowResized, "kLogResized"}}, forms::WindowProps{""}));
  w.units.push_back(std::move(self));
  QL_GEN_TRY(box, b.placed(ui::kTextBox1Id, "编辑框1", 8, 48, 80, 20, kFlagsInputControl, {},
                           forms::TextBoxProps{true, forms::kScrollHorizontal | forms::kScrollVertical, ""}));
  w.units.push_back(std::move(box));
  return w;
}

}  // namespace

Result<image::Form> buildForm(const std::vector<RoutineEntry>& routines) {
  FormBuilder b(routines);
  image::Form form;
  QL_GEN_TRY(main, mainWindow(b));
  QL_GEN_TRY(log, logWindow(b));
  form.windows.push_back(std::move(main));
  form.windows.push_back(std::move(log));
  return form;
}

}  // namespace ql::imagegen
