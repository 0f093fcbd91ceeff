// The image object linked into this executable: where it lies, that it reads
// back as an image, and that a loader which applies its fixups generically and
// calls the start routine through the header gets the module running.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstring>

#include "fake_runtime.h"
#include "module/abi.h"
#include "module/app/image_link.h"
#include "module/app/start.h"
#include "module/image/image.h"
#include "module/support/support.h"
#include "qvkm_image.h"
#include "tools/qlimagegen/generator.h"
#include "ui/form_ids.h"
#include "ui/main_window.h"

namespace {

using namespace ql::image;
namespace abi = ql::abi;
namespace gen = ql::gen;

ql::ByteSpan embedded() {
  return ql::ByteSpan(static_cast<const uint8_t*>(ql_module_image_address()), gen::kImageSize);
}

TEST(EmbeddedImage, AddressPointsAtTheSignature) {
  const ql::ByteSpan image = embedded();
  EXPECT_EQ(reinterpret_cast<uintptr_t>(image.data()) % 16, 0u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data()), kSignatureSize),
            std::string(kSignatureText) + std::string(2, '\0'));
  EXPECT_EQ(findSignature(image), std::optional<size_t>(0));
}

TEST(EmbeddedImage, ReadsBackFromMemory) {
  auto img = readImage(embedded(), ReadOptions{kNativeWidth});
  ASSERT_TRUE(img.ok()) << img.error().message;
  EXPECT_EQ(img->contentEnd, gen::kImageSize);
  EXPECT_EQ(img->placements[*img->segmentIndex(kConstSegment)].dataOffset, gen::kConstData);
  EXPECT_EQ(img->placements[*img->segmentIndex(kCodeSegment)].dataOffset, gen::kCodeData);
  EXPECT_EQ(img->header.startRoutine, gen::kCodeData + gen::code::kStart);
  EXPECT_NE(img->form.window(ql::ui::kMainWindowId), nullptr);
  EXPECT_NE(img->form.window(ql::ui::kLogWindowId), nullptr);
}

TEST(EmbeddedImage, SameBytesAsTheGeneratorSaveTheEntries) {
  auto g = ql::imagegen::generateImage({kNativeWidth, sizeof(ql::Globals)});
  ASSERT_TRUE(g.ok()) << g.error().message;
  const ql::ByteSpan image = embedded();
  ASSERT_EQ(g->bytes.size(), image.size());
  ASSERT_EQ(g->entriesOffset, gen::kEntries);
  const size_t entriesEnd = gen::kEntries + gen::kEntryCount * sizeof(void*);
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + gen::kEntries, g->bytes.begin()));
  EXPECT_TRUE(std::equal(image.begin() + entriesEnd, image.end(), g->bytes.begin() + entriesEnd));

  // Each entry holds its routine's address.
  struct Case {
    uint32_t offset;
    abi::Routine routine;
  };
  const Case cases[] = {
      {gen::code::kStart, &ql::app::startRoutine},       {gen::code::kCleanup, &ql::app::cleanupRoutine},
      {gen::code::kMainCreated, &ql::ui::onMainCreated}, {gen::code::kMainMoved, &ql::ui::onMainMoved},
      {gen::code::kLogResized, &ql::ui::onLogResized},   {gen::code::kModeChanged, &ql::ui::onModeChanged},
      {gen::code::kTimerTick, &ql::ui::onTimerTick},
  };
  for (const Case& c : cases) {
    abi::Routine r;
    std::memcpy(&r, image.data() + gen::kCodeData + c.offset, sizeof r);
    EXPECT_EQ(r, c.routine) << "entry at @code + " << hex(c.offset);
  }
}

// A loader in miniature: fills @hlpfn, applies every @code fixup by kind
// without knowing what the fields are for, and calls the start routine
// through the header word. Done once per process: fixups add to the fields.
TEST(EmbeddedImage, GenericLoaderStartsTheModule) {
  fake::Runtime rt;
  auto img = readImage(embedded(), ReadOptions{kNativeWidth});
  ASSERT_TRUE(img.ok()) << img.error().message;
  uint8_t* image = static_cast<uint8_t*>(ql_module_image_address());
  auto dataOf = [&](std::string_view name) { return image + img->placements[*img->segmentIndex(name)].dataOffset; };
  uint8_t* hlpfn = dataOf(kHlpfnSegment);
  uint8_t* code = dataOf(kCodeSegment);
  const Segment& codeSeg = *img->model.segment(kCodeSegment);

  std::memcpy(hlpfn, rt.slots(), abi::kSlotCount * sizeof(void*));
  alignas(16) uint8_t vars[gen::kVarSize] = {};
  for (const Fixup& f : codeSeg.fixups) {
    uintptr_t base = 0;
    switch (f.kind) {
      case FixupKind::kServiceSlot: base = reinterpret_cast<uintptr_t>(hlpfn); break;
      case FixupKind::kConst: base = reinterpret_cast<uintptr_t>(dataOf(kConstSegment)); break;
      case FixupKind::kVar: base = reinterpret_cast<uintptr_t>(vars); break;
      case FixupKind::kCode: base = reinterpret_cast<uintptr_t>(code); break;
    }
    uintptr_t field;
    std::memcpy(&field, code + f.fieldOffset, sizeof field);
    field += base;
    std::memcpy(code + f.fieldOffset, &field, sizeof field);
  }

  std::fesetround(FE_UPWARD);
  abi::Routine start;
  std::memcpy(&start, image + img->header.startRoutine, sizeof start);
  EXPECT_THROW(start(0, 0, 0), fake::ProgramEnded);
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);

  // The routine ran in order: clean-up registered with its entry's address,
  // the main window opened, the message loop run.
  ASSERT_EQ(rt.supportCalls.size(), 1u);
  EXPECT_EQ(rt.supportCalls[0].selector, abi::kSupportRegisterCleanup);
  EXPECT_EQ(rt.supportCalls[0].a, reinterpret_cast<intptr_t>(code + gen::code::kCleanup));
  EXPECT_EQ(rt.openedWindows, std::vector<uint32_t>{ql::ui::kMainWindowId});
  EXPECT_EQ(rt.messageLoops, 1);

  // The globals live in the loader's block and have their start-up shapes.
  auto* g = reinterpret_cast<ql::Globals*>(vars);
  EXPECT_EQ(&ql::globals(), g);
  for (void* list : {g->materialLibrary, g->boneTexts, g->texturePaths, g->textureIds}) {
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(ql::arr::elementCount(list), 0u);
  }
  for (void* table : {g->vertexTable, g->triangleTable}) {
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(ql::arr::elementCount(table), 5u);
  }
  // The constants are reached through the link area.
  EXPECT_EQ(ql::app::constText(gen::text::kCrLf).view(), "\r\n");
  EXPECT_EQ(ql::app::constBytes(gen::byteset::kSkcHeaderTemplate).size(), 110u);

  // At the end the runtime calls what was registered: every block goes.
  EXPECT_GT(rt.liveBlocks(), 0u);
  const auto* cleanupEntry = reinterpret_cast<const abi::Routine*>(rt.supportCalls[0].a);
  (*cleanupEntry)(0, 0, 0);
  EXPECT_EQ(rt.liveBlocks(), 0u);
  EXPECT_EQ(g->vertexTable, nullptr);

  ql::svc::setSlotTable(nullptr);
  ql::setGlobals(nullptr);
  ql::app::setConstBase(nullptr);
}

TEST(FloatingPoint, ResetRestoresDefaults) {
  std::fesetround(FE_TOWARDZERO);
  ql::app::resetFloatingPoint();
  EXPECT_EQ(std::fegetround(), FE_TONEAREST);
#if defined(__x86_64__) && defined(__GNUC__)
  uint32_t mxcsr = 0;
  asm volatile("stmxcsr %0" : "=m"(mxcsr));
  EXPECT_EQ(mxcsr & 0xFFC0u, 0x1F80u);  // all masked, round to nearest, no flush to zero
  uint16_t x87 = 0;
  asm volatile("fnstcw %0" : "=m"(x87));
  EXPECT_EQ(x87 & 0x0F3Fu, 0x033Fu);  // all masked, 64-bit precision, round to nearest
#endif
  // 2.5 rounds to even under round-to-nearest.
  volatile double half = 2.5;
  EXPECT_EQ(std::nearbyint(half), 2.0);
}

}  // namespace
