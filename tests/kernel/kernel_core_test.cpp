// The kernel's pieces that need no loaded image: finding the image's end in
// the memory map, and mapping window definitions onto the window system.
#include <gtest/gtest.h>

#include "module/abi.h"
#include "module/forms/unit_props.h"
#include "runtime/kernel/core/form_build.h"
#include "runtime/kernel/core/image_bounds.h"
#include "runtime/window/headless.h"
#include "tests/kernel/test_module.h"

namespace ql::rt::test {
namespace {

using window::ControlKind;

// ---- Image bounds ------------------------------------------------------------------

constexpr char kMaps[] =
    "00400000-00452000 r-xp 00000000 08:02 173521      /usr/bin/qltool\n"
    "00652000-00653000 rw-p 00052000 08:02 173521      /usr/bin/qltool\n"
    "00653000-00655000 rw-p 00053000 08:02 173521      /usr/bin/qltool\n"
    "00655000-00656000 rw-p 00000000 00:00 0 \n"
    "00700000-00710000 rw-p 00000000 00:00 0           [heap]\n"
    "00800000-00801000 r--p 00000000 00:00 0 \n"
    "not a mapping line\n"
    "00900000-00902000 rw-p 00000000 00:00 0 \n"
    "00902000-00903000 ---p 00000000 00:00 0 \n";

TEST(ImageBounds, RegionEndFollowsSeamlessWritableMappings) {
  struct Case {
    const char* name;
    uintptr_t address;
    std::optional<uintptr_t> end;
  } cases[] = {
      {"section mapped in three pieces", 0x652010, 0x656000},
      {"address in the last piece", 0x655fff, 0x656000},
      {"gap ends the region", 0x700000, 0x710000},
      {"read-only mapping", 0x800010, std::nullopt},
      {"executable text", 0x400000, std::nullopt},
      {"inaccessible page ends the region", 0x900100, 0x902000},
      {"unmapped address", 0x500000, std::nullopt},
      {"one past a mapping's end", 0x710000, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(writableRegionEnd(kMaps, c.address), c.end);
  }
}

TEST(ImageBounds, SpanOfLiveMemory) {
  std::vector<uint8_t> heap(64);
  auto span = imageSpan(heap.data());
  ASSERT_TRUE(span.ok()) << span.error().message;
  EXPECT_GE(*span, heap.size());
  EXPECT_FALSE(imageSpan(nullptr).ok());
  // Code is not writable: the loader could not fix it up.
  EXPECT_FALSE(imageSpan(reinterpret_cast<const void*>(&writableRegionEnd)).ok());
}

// ---- Window definitions ------------------------------------------------------------------

TEST(FormBuild, MainWindowCarriesEveryControlKindAndTheMenu) {
  const image::Form form = testForm();
  auto def = buildWindowDef(form.windows[0]);
  ASSERT_TRUE(def.ok()) << def.error().message;
  EXPECT_EQ(def->id, kMain);
  EXPECT_EQ(def->unitId, kMainUnit);
  EXPECT_EQ(def->title, gbk("测试窗口"));
  EXPECT_EQ(def->rect, (window::Rect{50, 50, 640, 480}));
  EXPECT_FALSE(def->visible);

  ASSERT_EQ(def->menu.size(), 4u);
  EXPECT_EQ(def->menu[0].id, kMenuFile);
  EXPECT_EQ(def->menu[0].level, 0);
  EXPECT_EQ(def->menu[1].caption, gbk("打开"));
  EXPECT_EQ(def->menu[1].level, 1);
  EXPECT_EQ(def->menu[3].id, kMenuAbout);

  ASSERT_EQ(def->controls.size(), 7u);
  const ControlKind kinds[] = {ControlKind::ListBox,    ControlKind::ComboBox, ControlKind::DrawingArea,
                               ControlKind::VScrollBar, ControlKind::TextBox,  ControlKind::Timer,
                               ControlKind::FileDialog};
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(def->controls[i].kind, kinds[i]) << i;

  const auto& list = def->controls[0];
  EXPECT_EQ(list.name, gbk("列表框1"));
  EXPECT_EQ(list.rect, (window::Rect{0, 0, 104, 264}));
  EXPECT_TRUE(list.visible);
  const auto& combo = def->controls[1];
  ASSERT_EQ(combo.entries.size(), 5u);
  EXPECT_EQ(combo.entries[4], gbk("纹理模式"));
  EXPECT_EQ(combo.font.name, gbk("宋体"));
  EXPECT_EQ(combo.font.height, 12);
  EXPECT_TRUE(combo.font.bold);
  const auto& scroll = def->controls[3];
  EXPECT_EQ(scroll.scroll.minimum, 1);
  EXPECT_EQ(scroll.scroll.maximum, 100);
  EXPECT_EQ(scroll.scroll.pageStep, 10);
  EXPECT_EQ(scroll.scroll.lineStep, 1);
  EXPECT_EQ(scroll.scroll.position, 30);
  EXPECT_EQ(def->controls[4].text, gbk("初始"));
  const auto& timer = def->controls[5];
  EXPECT_EQ(timer.intervalMs, 50);
  EXPECT_FALSE(timer.visible);
  const auto& dialog = def->controls[6].dialog;
  EXPECT_EQ(dialog.kind, window::FileDialogKind::Open);
  EXPECT_EQ(dialog.title, gbk("请指定文件"));
  EXPECT_EQ(dialog.fileName, "ptexture.pak");
  EXPECT_EQ(dialog.filter, gbk("流星打包文件|*.pak"));
  EXPECT_EQ(dialog.defaultExtension, "*.pak|*.pak");
}

TEST(FormBuild, MalformedWindowsAreRefusedNamingTheUnit) {
  struct Case {
    const char* name;
    std::function<void(image::Window&)> spoil;
    const char* reason;
  } cases[] = {
      {"control type the window system lacks", [](image::Window& w) { w.units[5].type = 0x00010099; },
       "no control of this type"},
      {"sorted list box", [](image::Window& w) { w.units[5].properties = forms::encodeProps(forms::ListBoxProps{true}); },
       "sorted"},
      {"settings cut short", [](image::Window& w) { w.units[6].properties.resize(3); }, "0x16000002"},
      {"settings of another layout", [](image::Window& w) { w.units[8].properties = forms::encodeProps(forms::TimerProps{5}); },
       "0x16000004"},
      {"window without its own unit", [](image::Window& w) { w.units.erase(w.units.begin()); }, "no unit of its own"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    image::Window w = testForm().windows[0];
    c.spoil(w);
    auto def = buildWindowDef(w);
    ASSERT_FALSE(def.ok());
    EXPECT_NE(def.error().message.find(c.reason), std::string::npos) << def.error().message;
  }
}

// The kernel decides from the type code whether a written value is a text's
// address; the window system must agree on every property it answers.
TEST(FormBuild, TextPropertiesAgreeWithTheWindowSystem) {
  const image::Form form = testForm();
  const image::Window& w = form.windows[0];
  auto def = buildWindowDef(w);
  ASSERT_TRUE(def.ok());
  window::HeadlessWindowSystem ws;
  ASSERT_TRUE(ws.createWindow(*def).ok());
  int answered = 0;
  for (const image::Unit& u : w.units) {
    if (u.isMenuItem()) continue;
    for (int32_t number = 0; number <= 24; ++number) {
      auto v = ws.property(kMain, u.id, number);
      if (!v) continue;
      ++answered;
      EXPECT_EQ(std::holds_alternative<std::string>(*v), isTextProperty(u.type, number))
          << "unit " << std::hex << u.id << " property " << std::dec << number;
    }
  }
  EXPECT_GT(answered, 20);
}

}  // namespace
}  // namespace ql::rt::test
