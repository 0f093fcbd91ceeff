#include "tests/image/test_images.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/gbk.h"
#include "module/abi.h"

namespace ql::image::test {

namespace abi = ql::abi;

namespace {

std::string gbk(const char* utf8) {
  auto s = utf8ToGbk(utf8);
  if (!s) std::abort();
  return *s;
}

Unit menuItem(uint32_t id, uint32_t level, const char* caption, uint32_t handler = kNoHandler) {
  Unit u;
  u.id = id;
  u.type = abi::kTypeMenuItem;
  u.level = level;
  u.caption = gbk(caption);
  u.handler = handler;
  return u;
}

Unit control(uint32_t id, uint32_t type, const char* name, int32_t l, int32_t t, int32_t w, int32_t h, uint32_t flags,
             std::vector<Event> events) {
  Unit u;
  u.id = id;
  u.type = type;
  u.name = gbk(name);
  u.left = l, u.top = t, u.width = w, u.height = h;
  u.flags = flags;
  u.events = std::move(events);
  return u;
}

void put32(ByteVec& b, size_t at, uint32_t v) { storeU32(b.data() + at, v); }

}  // namespace

Form shippedForm() {
  Window main;
  main.id = kMainWindow;
  main.listWord = 0x00000001;
  main.recordWord = 0x00000007;
  main.codeUnitId = 0x19000001;
  Unit mu = control(kMainUnit, abi::kTypeWindow, "", 50, 50, 640, 480, 1,
                    {{0, kCreateHandler}, {2, 0x1010}, {3, 0x1020}, {4, 0x1030}});
  appendPropertyText(mu.properties, gbk("青岚三维工具 V0.24  by vrel"));
  main.units.push_back(mu);
  main.units.push_back(menuItem(kFileMenu, 0, "文件"));
  main.units.push_back(menuItem(kOpenMenu, 1, "打开"));
  main.units.push_back(menuItem(kOpenObjItem, 2, "打开OBJ格式", kOpenObjHandler));
  main.units.push_back(menuItem(0x26000004, 1, "输出"));
  main.units.push_back(menuItem(0x26000005, 2, "OBJ格式", 0x1110));
  main.units.push_back(menuItem(0x26000006, 2, "AC3D格式", 0x1120));
  main.units.push_back(menuItem(0x26000007, 2, "SKC格式", 0x1130));
  main.units.push_back(menuItem(0x26000008, 1, "保存"));
  main.units.push_back(menuItem(0x26000009, 2, "保存到游戏", 0x1140));
  main.units.push_back(menuItem(0x2600000A, 0, "帮助"));
  main.units.push_back(menuItem(0x2600000B, 1, "百度贴吧", 0x1150));
  main.units.push_back(menuItem(0x2600000C, 1, "访问论坛获取帮助", 0x1160));
  main.units.push_back(menuItem(0x2600000D, 1, "检测新版本", 0x1170));
  main.units.push_back(menuItem(0x2600000E, 1, "当前版本说明", 0x1180));
  main.units.push_back(control(kListBox, abi::kTypeListBox, "列表框1", 0, 0, 104, 264, 5, {{1, 0x1200}}));
  main.units.push_back(control(0x16000002, abi::kTypeComboBox, "组合框1", 0, 416, 104, 20, 5, {{0, 0x1210}}));
  main.units.push_back(control(0x16000003, abi::kTypeDrawingArea, "画板1", 112, 0, 504, 448, 1,
                               {{-1, 0x1220}, {-2, 0x1230}, {-6, 0x1240}}));
  main.units.push_back(control(0x16000004, abi::kTypeVScrollBar, "纵向滚动条2", 616, 0, 16, 456, 1, {}));
  main.units.push_back(control(0x16000005, abi::kTypeTimer, "时钟1", 0, 0, 0, 0, 0, {{0, 0x1250}}));
  Unit dialog = control(kDialog, abi::kTypeFileDialog, "通用对话框1", 0, 0, 0, 0, 0, {});  // empty event table
  appendPropertyText(dialog.properties, gbk("ptexture.pak"));
  appendPropertyU32(dialog.properties, 7);
  main.units.push_back(dialog);

  Window log;
  log.id = kLogWindow;
  log.listWord = 0x00000002;
  log.recordWord = 0x00000007;
  log.codeUnitId = 0x19000002;
  log.units.push_back(control(kLogUnit, abi::kTypeWindow, "", 50, 50, 397, 144, 1, {{4, 0x1300}}));
  log.units.push_back(control(kEditBox, abi::kTypeTextBox, "编辑框1", 8, 48, 80, 20, 5, {}));

  Form form;
  form.windows = {main, log};
  return form;
}

ImageModel shippedModel(bool padToSection) {
  ImageModel m;
  m.dllCommand = DllCommand{"@const", kDllFileName, kDllCommandName};
  m.startRoutine = kStartRoutine - kCodeData;

  const char* names[6] = {"kbase", "qlgl", "qlregex", "qlimage", "qlspecial", "qlnet"};
  size_t tableSize = 1;  // the ending record
  for (int i = 0; i < 6; ++i) {
    char id[33];
    std::snprintf(id, sizeof id, "%08X%08X%08X%08X", 0xC0FFEE00u + i, 0x1234u, 0xABCDu * (i + 1), 0x42u);
    LibraryRow r{names[i], id, 1, uint32_t(i), gbk("支持库")};
    m.libraries.push_back(r);
    tableSize += r.name.size() + 1 + 32 + 1 + 1 + 1 + 1 + 1 + r.description.size() + 1;
  }
  // The last row's description field fills the table to its shipped size.
  m.libraries.back().description.append(kLibraryTableSize - tableSize, 'x');

  Segment cst{"@const", 0x01, kConstSize, ByteVec(kConstSize, 0), {}};
  ByteVec& c = *cst.data;
  const double one = 1.0, two = 2.0;
  std::memcpy(&c[0x2F], &one, 8);
  std::memcpy(&c[0x37], &two, 8);
  std::memcpy(&c[kDllFileName], "shell32.dll", 12);
  std::memcpy(&c[kDllCommandName], "ShellExecuteA", 14);

  // @form: the form, with the window's properties filled up to the shipped size.
  Form form = shippedForm();
  auto encoded = encodeForm(form);
  if (!encoded || encoded->size() > kFormSize) std::abort();
  form.windows[0].units[0].properties.resize(form.windows[0].units[0].properties.size() + kFormSize - encoded->size());
  encoded = encodeForm(form);
  if (!encoded || encoded->size() != kFormSize) std::abort();
  Segment frm{"@form", 0x01, kFormSize, *encoded, {}};

  Segment hlp{"@hlpfn", 0x01, hlpfnSize(Width::k32), ByteVec(hlpfnSize(Width::k32), 0), {}};

  Segment code{"@code", 0x05, kCodeSize, ByteVec(kCodeSize, 0x90), {}};
  ByteVec& k = *code.data;
  std::vector<Fixup> stubs, consts, vars;
  for (uint32_t i = 0; i < 13; ++i) {
    const uint32_t at = kStubsStart + kStubSize * i;
    k[at] = 0xFF;
    k[at + 1] = 0x25;
    put32(k, at + 2, 4 * kStubSlots[i]);
    stubs.push_back({at + 2, FixupKind::kServiceSlot});
  }
  for (uint32_t i = 0; i < 448; ++i) {
    put32(k, 0x100 + 16 * i, (i * 6) % kConstSize);
    consts.push_back({0x100 + 16 * i, FixupKind::kConst});
  }
  for (uint32_t i = 0; i < 276; ++i) {
    put32(k, 0x2000 + 16 * i, (i * 4) % kVarSize);
    vars.push_back({0x2000 + 16 * i, FixupKind::kVar});
  }
  put32(k, 0x3200, 0xB000);  // the clean-up routine, passed as a value
  // Unsorted, kinds interleaved, as the shipped list is.
  for (size_t i = 0; i < 448; ++i) {
    code.fixups.push_back(consts[447 - i]);
    if (i < 276) code.fixups.push_back(vars[i]);
    if (i < 13) code.fixups.push_back(stubs[12 - i]);
    if (i == 100) code.fixups.push_back({0x3200, FixupKind::kCode});
  }

  Reloc1 reloc;
  uint32_t at = 0x4000;
  const uint32_t values[4] = {kListBox, 0, 1, abi::kTypeWindow};
  for (size_t g = 0; g < 4; ++g)
    for (size_t i = 0; i < kGroupSizes[g]; ++i, at += 8) {
      put32(k, at, values[g]);
      reloc.groups[g].push_back(at);
    }
  put32(k, reloc.groups[3].back(), kLastTypeCode);

  Segment var{"@var", 0x13, kVarSize, std::nullopt, {}};
  Segment rel{"@reloc1", 0x01, reloc1DeclaredSize(reloc), encodeReloc1(reloc), {}};

  m.segments = {cst, frm, hlp, code, var, rel};
  if (padToSection) m.sectionSize = kSectionSize;
  return m;
}

ImageModel small64Model() {
  ImageModel m;
  m.libraries = {{"kbase", "0123456789abcdef0123456789ABCDEF", 2, 10, "kernel"}};
  Segment cst{"@const", 0x01, 32, ByteVec(32, 0), {}};
  std::memcpy(cst.data->data() + 8, "libc.so\0puts", 13);

  Form form;
  Window w;
  w.id = 0x52000010;
  w.codeUnitId = 0x19000010;
  Unit wu;
  wu.id = 0x06000010;
  wu.type = abi::kTypeWindow;
  wu.width = 300, wu.height = 200, wu.flags = 1;
  wu.events = {{0, 0x00}};
  Unit frame;  // a control holding another
  frame.id = 0x16000011;
  frame.type = 0x00010099;
  frame.name = "frame";
  frame.contained = {0x16000012};
  Unit inner;
  inner.id = 0x16000012;
  inner.type = abi::kTypeListBox;
  inner.name = "inner";
  inner.container = 0x16000011;
  inner.left = -5, inner.top = -7;
  inner.events = {{-1, 0x08}, {1, 0x10}};
  w.units = {wu, frame, inner};
  form.windows = {w};
  auto encoded = encodeForm(form);
  if (!encoded) std::abort();
  Segment frm{"@form", 0x01, uint32_t(encoded->size()), *encoded, {}};

  Segment hlp{"@hlpfn", 0x01, hlpfnSize(Width::k64), ByteVec(hlpfnSize(Width::k64), 0), {}};
  // @code: three routine entries, then a table of 8-byte fields to fix up.
  Segment code{"@code", 0x05, 64, ByteVec(64, 0), {}};
  ByteVec& k = *code.data;
  storeU64(k.data() + 24, 8 * 9);   // slot 9
  storeU64(k.data() + 32, 8);       // @const + 8: "libc.so"
  storeU64(k.data() + 40, 12);      // @var + 12
  storeU64(k.data() + 48, 0x10);    // @code + 0x10: a routine entry
  code.fixups = {{24, FixupKind::kServiceSlot}, {32, FixupKind::kConst}, {40, FixupKind::kVar}, {48, FixupKind::kCode}};
  storeU32(k.data() + 56, abi::kTypeListBox);

  Reloc1 reloc;
  reloc.groups[3] = {56};
  Segment var{"@var", 0x13, 16, std::nullopt, {}};
  Segment rel{"@reloc1", 0x01, reloc1DeclaredSize(reloc), encodeReloc1(reloc), {}};
  m.segments = {cst, frm, hlp, code, var, rel};
  m.startRoutine = 0;
  m.dllCommand = DllCommand{"@const", 8, 16};
  return m;
}

ByteVec mustWrite(const ImageModel& model) {
  auto bytes = writeImage(model);
  if (!bytes) {
    std::fprintf(stderr, "writeImage: %s\n", bytes.error().message.c_str());
    std::abort();
  }
  return std::move(bytes).value();
}

}  // namespace ql::image::test
