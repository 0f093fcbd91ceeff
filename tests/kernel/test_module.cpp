#include "tests/kernel/test_module.h"

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/mman.h>
#endif
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "common/gbk.h"
#include "module/forms/unit_props.h"
#include "runtime/support_lib.h"
#include "tests/kernel/test_ids.h"

namespace ql::rt::test {

namespace {

using image::Event;
using image::Unit;

intptr_t startRoutine(intptr_t, intptr_t, intptr_t) {
  ++module().startRuns;
  if (module().start) module().start();
  return 0;
}

intptr_t cleanupRoutine(intptr_t, intptr_t, intptr_t) {
  ++module().cleanupRuns;
  if (module().onCleanup) module().onCleanup();
  return 0;
}

template <int N>
intptr_t handler(intptr_t a, intptr_t b, intptr_t c) {
  module().calls.push_back({N, a, b, c});
  if (module().onHandler[N]) module().onHandler[N]();
  return 0;
}

template <int... N>
constexpr std::array<abi::Routine, sizeof...(N)> handlerTable(std::integer_sequence<int, N...>) {
  return {&handler<N>...};
}
constexpr auto kHandlers = handlerTable(std::make_integer_sequence<int, kHandlerCount>{});

Unit windowUnit(uint32_t id, int32_t l, int32_t t, int32_t w, int32_t h, const char* title, std::vector<Event> events) {
  Unit u;
  u.id = id;
  u.type = abi::kTypeWindow;
  u.left = l, u.top = t, u.width = w, u.height = h;
  u.flags = 1;
  u.events = std::move(events);
  u.properties = forms::encodeProps(forms::WindowProps{gbk(title)});
  return u;
}

Unit menuItem(uint32_t id, uint32_t level, const char* caption, uint32_t handlerAt) {
  Unit u;
  u.id = id;
  u.type = abi::kTypeMenuItem;
  u.level = level;
  u.caption = gbk(caption);
  u.handler = handlerAt;
  return u;
}

Unit control(uint32_t id, const char* name, int32_t l, int32_t t, int32_t w, int32_t h, uint32_t flags,
             std::vector<Event> events, const forms::UnitProps& props) {
  Unit u;
  u.id = id;
  u.type = forms::typeCodeOf(props);
  u.name = gbk(name);
  u.left = l, u.top = t, u.width = w, u.height = h;
  u.flags = flags;
  u.events = std::move(events);
  u.properties = forms::encodeProps(props);
  return u;
}

}  // namespace

image::Form testForm(const ImageOptions& o) {
  image::Window main;
  main.id = kMain;
  main.codeUnitId = 0x19000001;
  main.units.push_back(windowUnit(kMainUnit, 50, 50, 640, 480, "测试窗口",
                                  {{0, handlerOffset(hCreated)},
                                   {2, handlerOffset(hDestroying)},
                                   {3, handlerOffset(hMoved)},
                                   {4, handlerOffset(hResized)}}));
  main.units.push_back(menuItem(kMenuFile, 0, "文件", image::kNoHandler));
  main.units.push_back(menuItem(kMenuOpen, 1, "打开", handlerOffset(hMenuOpen)));
  main.units.push_back(menuItem(kMenuHelp, 0, "帮助", image::kNoHandler));
  main.units.push_back(menuItem(kMenuAbout, 1, "关于", o.aboutHandler));

  forms::ComboBoxProps combo;
  for (const char* e : {"点模式", "线框式1", "线框式2", "线框式3", "纹理模式"})
    combo.entries.push_back({gbk(e), int32_t(combo.entries.size() + 1)});
  combo.fontName = gbk("宋体");
  combo.fontHeight = 12;
  combo.fontWeight = 700;
  combo.charset = 134;
  forms::FileDialogProps dialog;
  dialog.title = gbk("请指定文件");
  dialog.fileName = "ptexture.pak";
  dialog.filter = gbk("流星打包文件|*.pak");
  dialog.defaultExtension = "*.pak|*.pak";
  forms::TextBoxProps text{true, forms::kScrollHorizontal | forms::kScrollVertical, gbk("初始")};

  main.units.push_back(control(kList, "列表框1", 0, 0, 104, 264, 5, {{1, handlerOffset(hList)}}, forms::ListBoxProps{}));
  main.units.push_back(control(kCombo, "组合框1", 0, 416, 104, 20, 5, {{0, handlerOffset(hCombo)}}, combo));
  main.units.push_back(control(kArea, "画板1", 112, 0, 504, 448, 1,
                               {{-1, handlerOffset(hMouseDown)},
                                {-2, handlerOffset(hMouseUp)},
                                {-6, handlerOffset(hMouseMove)}},
                               forms::DrawingAreaProps{}));
  main.units.push_back(control(kScroll, "纵向滚动条2", 616, 0, 16, 456, 1, {}, forms::ScrollBarProps{1, 100, 10, 1, 30}));
  main.units.push_back(control(kText, "编辑框2", 8, 48, 80, 20, 5, {}, text));
  main.units.push_back(control(kTimer, "时钟1", 0, 0, 0, 0, 0, {{0, handlerOffset(hTick)}}, forms::TimerProps{50}));
  main.units.push_back(control(kDialog, "通用对话框1", 0, 0, 0, 0, 0, {}, dialog));
  if (o.extraControlType) {
    Unit odd = control(0x16000020, "odd", 0, 0, 10, 10, 1, {}, forms::DrawingAreaProps{});
    odd.type = o.extraControlType;
    main.units.push_back(odd);
  }

  image::Window log;
  log.id = kLog;
  log.codeUnitId = 0x19000002;
  log.units.push_back(windowUnit(kLogUnit, 50, 50, 397, 144, "", {{4, handlerOffset(hLogResized)}}));
  log.units.push_back(control(kLogText, "编辑框1", 8, 48, 80, 20, 5, {}, forms::TextBoxProps{true, 3, ""}));

  image::Form form;
  form.windows = {main, log};
  return form;
}

namespace {
void putPointer(ByteVec& b, uint32_t at, uintptr_t value) { std::memcpy(b.data() + at, &value, sizeof value); }
}  // namespace

Module& module() {
  static Module m;
  return m;
}

std::string gbk(const char* utf8) {
  auto s = utf8ToGbk(utf8);
  if (!s) std::abort();
  return *s;
}

BuiltImage buildImage(const ImageOptions& o) {
  image::ImageModel m;
  m.libraries = {{"kbase", o.row0Id.empty() ? support::kKernelId : o.row0Id, 1, 0, "kernel"},
                 {"qltest", kTestLibId, 1, 0, "test library"},
                 {"absent", kNoSuchLibId, 1, 0, "no such library"},
                 {"special", support::kSpecialId, 1, 0, "special functions"}};

  image::Segment cst{"@const", 0x01, kConstSize, ByteVec(kConstSize, 0), {}};
  const std::string names = "shell32.dll";
  std::memcpy(cst.data->data() + kConstDll, names.c_str(), names.size() + 1);
  if (o.dllFunction.size() > 13) {
    std::fprintf(stderr, "buildImage: DLL function name \"%s\" is longer than its 13 bytes\n", o.dllFunction.c_str());
    std::abort();
  }
  std::memcpy(cst.data->data() + kConstFunction, o.dllFunction.c_str(), o.dllFunction.size() + 1);
  std::memcpy(cst.data->data() + kConstHello, "hello", 6);

  auto form = image::encodeForm(testForm(o));
  if (!form) {
    std::fprintf(stderr, "encodeForm: %s\n", form.error().message.c_str());
    std::abort();
  }
  image::Segment frm{"@form", 0x01, uint32_t(form->size()), *form, {}};

  // The loader takes images of its own pointer width only, as the shipped
  // program's generator makes them.
  const image::Width width = o.otherWidth == (image::kNativeWidth == image::Width::k64) ? image::Width::k32
                                                                                       : image::Width::k64;
  image::Segment hlp{"@hlpfn", 0x01, image::hlpfnSize(width), ByteVec(image::hlpfnSize(width), 0), {}};

  image::Segment code{"@code", 0x05, kCodeSize, ByteVec(kCodeSize, 0), {}};
  ByteVec& k = *code.data;
  putPointer(k, kStartEntry, reinterpret_cast<uintptr_t>(&startRoutine));
  putPointer(k, kCleanupEntry, reinterpret_cast<uintptr_t>(&cleanupRoutine));
  for (int h = 0; h < kHandlerCount; ++h) putPointer(k, handlerOffset(h), reinterpret_cast<uintptr_t>(kHandlers[h]));
  if (!o.otherWidth) {
    putPointer(k, kFieldHlpfn, 0);
    putPointer(k, kFieldSlot9, sizeof(void*) * abi::kSlotEndProgram);
    putPointer(k, kFieldConst, kConstHello);
    putPointer(k, kFieldVar, kVarProbe);
    putPointer(k, kFieldCleanup, kCleanupEntry);
    code.fixups = {{kFieldConst, image::FixupKind::kConst},
                   {kFieldHlpfn, image::FixupKind::kServiceSlot},
                   {kFieldCleanup, image::FixupKind::kCode},
                   {kFieldVar, image::FixupKind::kVar},
                   {kFieldSlot9, image::FixupKind::kServiceSlot}};
  }

  image::Reloc1 reloc;
  image::Segment var{"@var", 0x13, kVarSize, std::nullopt, {}};
  image::Segment rel{"@reloc1", 0x01, image::reloc1DeclaredSize(reloc), image::encodeReloc1(reloc), {}};
  m.segments = {cst, frm, hlp, code, var, rel};
  m.startRoutine = kStartEntry;
  if (o.dllCommand) m.dllCommand = image::DllCommand{"@const", kConstDll, kConstFunction};

  auto bytes = image::writeImage(m);
  if (!bytes) {
    std::fprintf(stderr, "writeImage: %s\n", bytes.error().message.c_str());
    std::abort();
  }
  BuiltImage built;
  built.bytes = std::move(bytes).value();
  auto read = image::readImage(built.bytes);
  if (!read) std::abort();
  built.codeData = read->placements[*read->segmentIndex(image::kCodeSegment)].dataOffset;
  if (o.badSignature) built.bytes[0] = 'X';
  return built;
}

MappedImage::MappedImage(const BuiltImage& image) : codeData_(image.codeData) {
#if defined(_WIN32)
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const size_t page = size_t(info.dwPageSize);
#else
  const size_t page = size_t(sysconf(_SC_PAGESIZE));
#endif
  const size_t body = (image.bytes.size() + page - 1) / page * page;
  mapped_ = body + page;
#if defined(_WIN32)
  void* p = VirtualAlloc(nullptr, mapped_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!p) std::abort();
  base_ = static_cast<uint8_t*>(p);
  DWORD old = 0;
  if (!VirtualProtect(base_ + body, page, PAGE_NOACCESS, &old)) std::abort();
#else
  void* p = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) std::abort();
  base_ = static_cast<uint8_t*>(p);
  if (mprotect(base_ + body, page, PROT_NONE) != 0) std::abort();
#endif
  std::memcpy(base_, image.bytes.data(), image.bytes.size());
  module().code = code();
}

MappedImage::~MappedImage() {
  if (module().code == code()) module().code = nullptr;
#if defined(_WIN32)
  VirtualFree(base_, 0, MEM_RELEASE);
#else
  munmap(base_, mapped_);
#endif
}

uintptr_t codeField(uint32_t offset) {
  uintptr_t v;
  std::memcpy(&v, module().code + offset, sizeof v);
  return v;
}

}  // namespace ql::rt::test
