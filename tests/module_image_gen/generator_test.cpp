// The generated module image, read back with the image reader: windows,
// controls, menu, event wiring, link area, constants and the other segments.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "common/gbk.h"
#include "module/abi.h"
#include "module/forms/unit_props.h"
#include "module/image/image.h"
#include "module/support/globals.h"
#include "runtime/support_lib.h"
#include "tools/qlimagegen/generator.h"
#include "tools/qlimagegen/module_texts.h"
#include "ui/form_ids.h"

namespace {

using namespace ql::image;
using ql::imagegen::GeneratedImage;
namespace abi = ql::abi;
namespace forms = ql::forms;
namespace gen = ql::imagegen;
namespace ui = ql::ui;

std::string G(std::string_view utf8) {
  auto g = ql::utf8ToGbk(utf8);
  EXPECT_TRUE(g.has_value()) << utf8;
  return g.value_or("");
}

GeneratedImage generate(Width width = kNativeWidth) {
  auto g = gen::generateImage({width, sizeof(ql::Globals)});
  EXPECT_TRUE(g.ok()) << (g.ok() ? "" : g.error().message);
  return g.ok() ? std::move(g).value() : GeneratedImage{};
}

Image readBack(const GeneratedImage& g) {
  auto img = readImage(g.bytes, ReadOptions{g.options.width});
  EXPECT_TRUE(img.ok()) << (img.ok() ? "" : img.error().message);
  return img.ok() ? std::move(img).value() : Image{};
}

class GeneratedImageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_ = new GeneratedImage(generate());
    img_ = new Image(readBack(*g_));
  }
  static void TearDownTestSuite() {
    delete img_;
    delete g_;
  }
  const Window& window(uint32_t id) {
    const Window* w = img_->form.window(id);
    EXPECT_NE(w, nullptr) << hex(id);
    return w ? *w : empty_;
  }
  const Unit& unit(uint32_t windowId, uint32_t unitId) {
    const Unit* u = window(windowId).unit(unitId);
    EXPECT_NE(u, nullptr) << hex(unitId);
    return u ? *u : emptyUnit_;
  }
  forms::UnitProps props(const Unit& u) {
    auto p = forms::decodeProps(u.type, u.properties);
    EXPECT_TRUE(p.ok()) << hex(u.id) << ": " << (p.ok() ? "" : p.error().message);
    return p.ok() ? *p : forms::UnitProps{};
  }
  uint32_t entry(std::string_view name) {
    const auto* r = g_->routine(name);
    EXPECT_NE(r, nullptr) << name;
    return r ? r->codeOffset : kNoHandler;
  }
  const Segment& segment(std::string_view name) { return *img_->model.segment(name); }

  static GeneratedImage* g_;
  static Image* img_;
  Window empty_;
  Unit emptyUnit_;
};
GeneratedImage* GeneratedImageTest::g_ = nullptr;
Image* GeneratedImageTest::img_ = nullptr;

// ---- Windows, controls, menu ------------------------------------------------------

TEST_F(GeneratedImageTest, TwoWindowsInOrder) {
  ASSERT_EQ(img_->form.windows.size(), 2u);
  EXPECT_EQ(img_->form.windows[0].id, ui::kMainWindowId);
  EXPECT_EQ(img_->form.windows[1].id, ui::kLogWindowId);
  EXPECT_EQ(img_->form.windows[0].codeUnitId, ui::kMainCodeUnitId);
  EXPECT_EQ(img_->form.windows[1].codeUnitId, ui::kLogCodeUnitId);
}

TEST_F(GeneratedImageTest, WindowAndControlPlacement) {
  struct Case {
    uint32_t window, unit, type;
    std::string_view name;
    int32_t left, top, width, height;
    uint32_t flags;
  };
  const Case cases[] = {
      {ui::kMainWindowId, ui::kMainWindowUnitId, abi::kTypeWindow, "", 50, 50, 640, 480, 1},
      {ui::kMainWindowId, ui::kListBox1Id, abi::kTypeListBox, "列表框1", 0, 0, 104, 264, 5},
      {ui::kMainWindowId, ui::kComboBox1Id, abi::kTypeComboBox, "组合框1", 0, 416, 104, 20, 5},
      {ui::kMainWindowId, ui::kDrawingArea1Id, abi::kTypeDrawingArea, "画板1", 112, 0, 504, 448, 1},
      {ui::kMainWindowId, ui::kScrollBar2Id, abi::kTypeVScrollBar, "纵向滚动条2", 616, 0, 16, 456, 1},
      {ui::kMainWindowId, ui::kTimer1Id, abi::kTypeTimer, "时钟1", 0, 0, 0, 0, 0},
      {ui::kMainWindowId, ui::kFileDialog1Id, abi::kTypeFileDialog, "通用对话框1", 0, 0, 0, 0, 0},
      {ui::kMainWindowId, ui::kFileDialog2Id, abi::kTypeFileDialog, "通用对话框2", 0, 0, 0, 0, 0},
      {ui::kMainWindowId, ui::kFileDialog3Id, abi::kTypeFileDialog, "通用对话框3", 0, 0, 0, 0, 0},
      {ui::kMainWindowId, ui::kFileDialog4Id, abi::kTypeFileDialog, "通用对话框4", 0, 0, 0, 0, 0},
      {ui::kLogWindowId, ui::kLogWindowUnitId, abi::kTypeWindow, "", 50, 50, 397, 144, 1},
      {ui::kLogWindowId, ui::kTextBox1Id, abi::kTypeTextBox, "编辑框1", 8, 48, 80, 20, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + hex(c.unit));
    const Unit& u = unit(c.window, c.unit);
    EXPECT_EQ(u.type, c.type);
    EXPECT_EQ(u.name, G(c.name));
    EXPECT_EQ(u.remark, "");
    EXPECT_EQ(u.left, c.left);
    EXPECT_EQ(u.top, c.top);
    EXPECT_EQ(u.width, c.width);
    EXPECT_EQ(u.height, c.height);
    EXPECT_EQ(u.flags, c.flags);
    EXPECT_EQ(u.container, 0u);
    EXPECT_TRUE(u.contained.empty());
  }
  // The main window: its own unit, 16 menu items, 9 controls; the log window: itself and the log box.
  EXPECT_EQ(window(ui::kMainWindowId).units.size(), 26u);
  EXPECT_EQ(window(ui::kLogWindowId).units.size(), 2u);
  EXPECT_EQ(abi::idKind(window(ui::kMainWindowId).units[0].id), abi::kIdWindowUnit);
}

TEST_F(GeneratedImageTest, ControlSettings) {
  auto title = std::get<forms::WindowProps>(props(unit(ui::kMainWindowId, ui::kMainWindowUnitId))).title;
  EXPECT_EQ(title, G("青岚三维工具 V0.24  by vrel"));
  EXPECT_EQ(std::get<forms::WindowProps>(props(unit(ui::kLogWindowId, ui::kLogWindowUnitId))).title, "");
  EXPECT_FALSE(std::get<forms::ListBoxProps>(props(unit(ui::kMainWindowId, ui::kListBox1Id))).sorted);

  const auto combo = std::get<forms::ComboBoxProps>(props(unit(ui::kMainWindowId, ui::kComboBox1Id)));
  const char* entries[] = {"点模式", "线框式1", "线框式2", "线框式3", "纹理模式"};
  ASSERT_EQ(combo.entries.size(), 5u);
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(combo.entries[i].text, G(entries[i]));
    EXPECT_EQ(combo.entries[i].value, int32_t(i + 1));
  }
  EXPECT_EQ(combo.fontName, G("宋体"));
  EXPECT_EQ(combo.fontHeight, 12);
  EXPECT_EQ(combo.fontWeight, 700);
  EXPECT_EQ(combo.charset, 134);  // GB2312

  EXPECT_EQ(std::get<forms::ScrollBarProps>(props(unit(ui::kMainWindowId, ui::kScrollBar2Id))),
            (forms::ScrollBarProps{1, 100, 10, 1, 30}));
  EXPECT_EQ(std::get<forms::TimerProps>(props(unit(ui::kMainWindowId, ui::kTimer1Id))).intervalMs, 50);
  const auto box = std::get<forms::TextBoxProps>(props(unit(ui::kLogWindowId, ui::kTextBox1Id)));
  EXPECT_TRUE(box.multiLine);
  EXPECT_EQ(box.scrollBars, forms::kScrollHorizontal | forms::kScrollVertical);
  EXPECT_EQ(box.text, "");
}

TEST_F(GeneratedImageTest, FileDialogSettings) {
  struct Case {
    uint32_t id;
    forms::DialogKind kind;
    std::string_view title, fileName, filter, defaultExtension;
  };
  const Case cases[] = {
      {ui::kFileDialog1Id, forms::DialogKind::Open, "请指定流星安装目录（即Meteor.exe所在目录）", "ptexture.pak",
       "流星打包文件|*.pak", "*.pak|*.pak"},
      {ui::kFileDialog2Id, forms::DialogKind::Open, "“需要使用WINRAR解压数据，请指定WINRAR目录”", "winrar.exe",
       "*.exe", "*.exe"},
      {ui::kFileDialog3Id, forms::DialogKind::Save, "请指定所要保存的文件名", "", "AC3D模型格式|*.ac|OBJ模型格式|*.obj",
       "*.ac"},
      {ui::kFileDialog4Id, forms::DialogKind::Open, "", "", "OBJ格式|*.obj", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(hex(c.id));
    const auto d = std::get<forms::FileDialogProps>(props(unit(ui::kMainWindowId, c.id)));
    EXPECT_EQ(d.kind, c.kind);
    EXPECT_EQ(d.title, G(c.title));
    EXPECT_EQ(d.fileName, G(c.fileName));
    EXPECT_EQ(d.filter, G(c.filter));
    EXPECT_EQ(d.defaultExtension, G(c.defaultExtension));
    EXPECT_EQ(d.initialFolder, "");
  }
  // The title of 通用对话框2 carries the typographic quotation marks in GBK (A1B0, A1B1).
  const auto d2 = std::get<forms::FileDialogProps>(props(unit(ui::kMainWindowId, ui::kFileDialog2Id)));
  ASSERT_GE(d2.title.size(), 2u);
  EXPECT_EQ(d2.title.substr(0, 2), "\xA1\xB0");
  EXPECT_EQ(d2.title.substr(d2.title.size() - 2), "\xA1\xB1");
}

TEST_F(GeneratedImageTest, MenuLevelsAndCaptionsInOrder) {
  struct Item {
    uint32_t id, level;
    std::string_view caption;
    std::string_view routine;  // empty: an item with sub-items runs nothing
  };
  const Item expected[] = {
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
  std::vector<const Unit*> items;
  for (const Unit& u : window(ui::kMainWindowId).units)
    if (u.isMenuItem()) items.push_back(&u);
  ASSERT_EQ(items.size(), std::size(expected));
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(items[i]->id, expected[i].id);
    EXPECT_EQ(items[i]->type, abi::kTypeMenuItem);
    EXPECT_EQ(items[i]->level, expected[i].level);
    EXPECT_EQ(items[i]->caption, G(expected[i].caption));
    EXPECT_EQ(items[i]->name, "");
    EXPECT_EQ(items[i]->handler, expected[i].routine.empty() ? kNoHandler : entry(expected[i].routine));
  }
}

// ---- Event wiring -------------------------------------------------------------------

TEST_F(GeneratedImageTest, EventsNameTheirHandlersEntries) {
  struct Case {
    uint32_t window, unit;
    std::vector<Event> events;
  };
  const Case cases[] = {
      {ui::kMainWindowId,
       ui::kMainWindowUnitId,
       {{0, entry("kMainCreated")}, {2, entry("kViewRelease")}, {3, entry("kMainMoved")}, {4, entry("kViewportUpdate")}}},
      {ui::kLogWindowId, ui::kLogWindowUnitId, {{4, entry("kLogResized")}}},
      {ui::kMainWindowId, ui::kComboBox1Id, {{0, entry("kModeChanged")}}},
      {ui::kMainWindowId, ui::kTimer1Id, {{0, entry("kTimerTick")}}},
      {ui::kMainWindowId, ui::kListBox1Id, {{1, entry("kModelSelected")}}},
      {ui::kMainWindowId,
       ui::kDrawingArea1Id,
       {{-1, entry("kMouseDown")}, {-2, entry("kMouseUp")}, {-6, entry("kMouseMove")}}},
      // The scroll bar is only read by the frame; the log box has no events.
      {ui::kMainWindowId, ui::kScrollBar2Id, {}},
      {ui::kLogWindowId, ui::kTextBox1Id, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(hex(c.unit));
    EXPECT_EQ(unit(c.window, c.unit).events, c.events);
  }
}

TEST_F(GeneratedImageTest, EveryHandlerOffsetIsARoutineEntry) {
  std::set<uint32_t> entries;
  for (const auto& r : g_->routines) entries.insert(r.codeOffset);
  const uint32_t w = g_->width();
  const Segment& code = segment(kCodeSegment);
  size_t events = 0;
  for (const Window& win : img_->form.windows)
    for (const Unit& u : win.units) {
      if (u.isMenuItem() && u.handler != kNoHandler) {
        EXPECT_TRUE(entries.count(u.handler)) << hex(u.id);
      }
      for (const Event& e : u.events) {
        ++events;
        EXPECT_TRUE(entries.count(e.handler)) << hex(u.id) << " event " << e.number << " -> " << hex(e.handler);
        // An entry lies behind the link area, aligned, inside @code.
        EXPECT_GE(e.handler, gen::kLinkFieldCount * w);
        EXPECT_EQ(e.handler % w, 0u);
        EXPECT_LE(e.handler + w, code.data->size());
      }
    }
  EXPECT_EQ(events, 11u);
  EXPECT_EQ(img_->model.startRoutine, entry("kStart"));
}

// ---- @code: link area and fixups ----------------------------------------------------------

TEST_F(GeneratedImageTest, LinkAreaFixups) {
  const Segment& code = segment(kCodeSegment);
  const uint32_t w = g_->width();
  ASSERT_EQ(code.fixups.size(), 16u);
  EXPECT_EQ(code.flags, 0x05u);
  std::map<FixupKind, int> perKind;
  std::set<uint32_t> slots;
  for (const Fixup& f : code.fixups) {
    ++perKind[f.kind];
    const uint64_t value = img_->fieldValue(code, f);
    switch (f.kind) {
      case FixupKind::kServiceSlot:
        slots.insert(img_->serviceSlot(code, f));
        EXPECT_EQ(f.fieldOffset, img_->serviceSlot(code, f) * w);
        break;
      case FixupKind::kConst:
        EXPECT_EQ(f.fieldOffset, gen::kLinkConstField * w);
        EXPECT_EQ(value, 0u);
        break;
      case FixupKind::kVar:
        EXPECT_EQ(f.fieldOffset, gen::kLinkVarField * w);
        EXPECT_EQ(value, 0u);
        break;
      case FixupKind::kCode:
        EXPECT_EQ(f.fieldOffset, gen::kLinkCleanupField * w);
        EXPECT_EQ(value, entry("kCleanup"));
        break;
    }
  }
  EXPECT_EQ(perKind[FixupKind::kServiceSlot], 13);
  EXPECT_EQ(perKind[FixupKind::kConst], 1);
  EXPECT_EQ(perKind[FixupKind::kVar], 1);
  EXPECT_EQ(perKind[FixupKind::kCode], 1);
  EXPECT_EQ(slots.size(), 13u);
  // Entries are aligned in memory for the native code that reads them.
  EXPECT_EQ(g_->codeData % gen::kCodeAlignment, 0u);
  EXPECT_EQ(g_->entriesOffset, g_->codeData + gen::kLinkFieldCount * w);
}

TEST_F(GeneratedImageTest, OtherSegments) {
  const Segment& hlpfn = segment(kHlpfnSegment);
  EXPECT_EQ(*hlpfn.data, ql::ByteVec(13 * sizeof(void*), 0));
  const Segment& var = segment(kVarSegment);
  EXPECT_EQ(var.memSize, sizeof(ql::Globals));
  EXPECT_FALSE(var.data.has_value());
  EXPECT_EQ(var.flags, 0x13u);
  const Segment& reloc = segment(kReloc1Segment);
  for (const auto& group : img_->reloc1.groups) EXPECT_TRUE(group.empty());
  EXPECT_EQ(reloc.memSize, 12u);  // 16 bytes of groups declared 4 short
  EXPECT_EQ(reloc.data->size(), 16u);
  EXPECT_EQ(segment(kConstSegment).flags, 0x01u);
  EXPECT_EQ(segment(kFormSegment).flags, 0x01u);
  for (size_t i = 0; i < 6; ++i)
    if (img_->model.segments[i].name != kCodeSegment) {
      EXPECT_TRUE(img_->model.segments[i].fixups.empty());
    }
}

TEST_F(GeneratedImageTest, HeaderLibrariesAndDllCommand) {
  EXPECT_EQ(img_->header.formatWords[0], 1u);
  EXPECT_EQ(img_->header.formatWords[3], 0x106F0u);
  EXPECT_EQ(img_->header.dllCount, 1u);
  EXPECT_EQ(img_->dllFileName, "shell32.dll");
  EXPECT_EQ(img_->dllCommandName, "ShellExecuteA");
  EXPECT_EQ(img_->header.dllSegmentHeader, img_->header.constHeader);
  const char* ids[] = {ql::support::kKernelId, ql::support::kOpenGlId, ql::support::kRegexId,
                       ql::support::kImageConvId, ql::support::kSpecialId, ql::support::kInternetId};
  ASSERT_EQ(img_->model.libraries.size(), 6u);
  EXPECT_EQ(img_->model.libraries[0].name, "kbase");
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(img_->model.libraries[i].id, ids[i]) << "row " << i;
}

// ---- @const ----------------------------------------------------------------------------------

TEST_F(GeneratedImageTest, ByteSetTemplatesHoldTheirExactBytes) {
  // Written out again here, line by line, independently of the generator's source.
  const std::string header = std::string("# Character Skin Export for Interserv\r\n") + "#\t\t\t\tHalvin Ostrebe\r\n" +
                             "Static Skins: 1 Dynamic Skins: 0\r\n" + "Static Skin S_01";
  const std::string material = std::string("    ColorKey  0 0 0 0\r\n") + "    Ambient   1.000 1.000 1.000\r\n" +
                               "    Diffuse   1.000 1.000 1.000\r\n" + "    Specular  1.000 1.000 1.000\r\n" +
                               "    Emissive  0.000 0.000 0.000\r\n" + "    Opacity   1.000\r\n" +
                               "    Option    NONE\r\n" + "    TwoSide   TRUE";
  const std::string ac3d = std::string("AC3Db\r\n") +
                           "MATERIAL \"ac3dmat1\" rgb 1 1 1  amb 0.2 0.2 0.2  emis 0 0 0  spec 0.5 0.5 0.5  shi 10  "
                           "trans 0\r\n" +
                           "OBJECT world\r\nkids 1\r\nOBJECT poly\r\nname \"tree\"\r\nloc 0 0.795615 0";
  struct Case {
    const char* name;
    const std::string& bytes;
    uint32_t size;
  };
  const Case cases[] = {{"kSkcHeaderTemplate", header, 110}, {"kSkcMaterialTemplate", material, 214},
                        {"kAc3dHeader", ac3d, 166}};
  const ql::ByteVec& pool = *segment(kConstSegment).data;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto* e = g_->constant(c.name);
    ASSERT_NE(e, nullptr);
    ASSERT_TRUE(ql::inBounds(e->offset, 8 + c.size, pool.size()));
    EXPECT_EQ(ql::loadU32(pool.data() + e->offset), 1u);
    EXPECT_EQ(ql::loadU32(pool.data() + e->offset + 4), c.size);
    EXPECT_EQ(c.bytes.size(), c.size);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(pool.data() + e->offset + 8), c.size), c.bytes);
  }
}

TEST_F(GeneratedImageTest, TextsAreGbkAndNulTerminated) {
  const ql::ByteVec& pool = *segment(kConstSegment).data;
  for (const gen::TextDef& t : gen::moduleTexts()) {
    SCOPED_TRACE(std::string(t.name));
    const auto* e = g_->constant(t.name);
    ASSERT_NE(e, nullptr);
    auto stored = ql::readCString(pool, e->offset);
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(ql::gbkToUtf8(*stored).value_or("<not GBK>"), t.utf8);
  }
  // Spot checks of the bytes themselves.
  struct Case {
    const char* name;
    std::string_view gbk;
  };
  const Case cases[] = {
      {"kHelpCaption", "\xB0\xEF\xD6\xFA"},                                   // 帮助
      {"kNoOutputData", "\xC3\xBB\xD3\xD0\xBF\xC9\xCA\xE4\xB3\xF6\xB5\xC4\xCA\xFD\xBE\xDD!"},  // 没有可输出的数据!
      {"kCrLf", "\r\n"},
      {"kEmpty", ""},
  };
  for (const Case& c : cases) {
    const auto* e = g_->constant(c.name);
    ASSERT_NE(e, nullptr) << c.name;
    EXPECT_EQ(ql::readCString(pool, e->offset).value_or("<none>"), c.gbk) << c.name;
  }
}

TEST_F(GeneratedImageTest, DoublesAndShapes) {
  const ql::ByteVec& pool = *segment(kConstSegment).data;
  for (const gen::DoubleDef& d : gen::moduleDoubles()) {
    const auto* e = g_->constant(d.name);
    ASSERT_NE(e, nullptr);
    double v;
    std::memcpy(&v, pool.data() + e->offset, 8);
    EXPECT_EQ(v, d.value) << d.name;
  }
  struct Case {
    const char* name;
    std::vector<uint32_t> words;
  };
  const Case cases[] = {{"kEmptyList", {1, 0}}, {"kFiveElements", {1, 5}}};
  for (const Case& c : cases) {
    const auto* e = g_->constant(c.name);
    ASSERT_NE(e, nullptr) << c.name;
    EXPECT_EQ(e->bytes.size(), 4 * c.words.size()) << c.name;
    for (size_t i = 0; i < c.words.size(); ++i)
      EXPECT_EQ(ql::loadU32(pool.data() + e->offset + 4 * i), c.words[i]) << c.name << " word " << i;
  }
}

// ---- Both pointer widths; failures ------------------------------------------------------------

TEST(GeneratedImageWidth, ThirtyTwoBitImageHasFourByteFields) {
  auto g = gen::generateImage({Width::k32, 108});
  ASSERT_TRUE(g.ok()) << g.error().message;
  auto img = readImage(g->bytes, ReadOptions{Width::k32});
  ASSERT_TRUE(img.ok()) << img.error().message;
  const Segment& code = *img->model.segment(kCodeSegment);
  EXPECT_EQ(img->model.segment(kHlpfnSegment)->data->size(), 52u);
  EXPECT_EQ(code.data->size(), (gen::kLinkFieldCount + g->routines.size()) * 4);
  for (const Fixup& f : code.fixups)
    if (f.kind == FixupKind::kServiceSlot) {
      EXPECT_EQ(img->fieldValue(code, f), 4u * img->serviceSlot(code, f));
    }
  EXPECT_EQ(img->model.segment(kVarSegment)->memSize, 108u);
  EXPECT_EQ(g->routine("kMainCreated")->codeOffset % 4, 0u);
}

TEST(GeneratedImageWidth, NoVariablesIsAnError) {
  auto g = gen::generateImage({kNativeWidth, 0});
  ASSERT_FALSE(g.ok());
  EXPECT_NE(g.error().message.find("@var"), std::string::npos) << g.error().message;
}

TEST(GeneratedImageWidth, GenerationIsDeterministic) {
  EXPECT_EQ(generate().bytes, generate().bytes);
}

}  // namespace
