#include "module/image/image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>

#include "common/gbk.h"
#include "module/abi.h"
#include "tests/image/test_images.h"

namespace {

using namespace ql::image;
using namespace ql::image::test;
namespace abi = ql::abi;
using ql::ByteVec;

const ByteVec& shippedBytes() {
  static const ByteVec bytes = mustWrite(shippedModel());
  return bytes;
}

Image readOk(const ByteVec& bytes) {
  auto img = readImage(bytes);
  EXPECT_TRUE(img.ok()) << (img.ok() ? "" : img.error().message);
  if (!img) return Image{};
  return std::move(img).value();
}

uint32_t at32(const ByteVec& b, size_t at) { return ql::loadU32(b.data() + at); }
void put32(ByteVec& b, size_t at, uint32_t v) { ql::storeU32(b.data() + at, v); }

// ---- The 32-bit image lands exactly on the shipped layout --------------------------

TEST(ShippedLayout, HeaderWordsAndLayout) {
  const ByteVec& b = shippedBytes();
  ASSERT_EQ(b.size(), kContentEnd);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()), 36),
            std::string("QVKM / MADE BY Q COMPILER - QUELM \0\0", 36));
  const uint32_t words[15] = {0x01CA, 1, 3, 0, 0x106F0, 1, kStartRoutine, kConstHeader, kFormHeader, kHlpfnHeader,
                              kCodeHeader, kVarHeader, kConstHeader, kDllFileName, kDllCommandName};
  for (size_t i = 0; i < 15; ++i) EXPECT_EQ(at32(b, 0x24 + 4 * i), words[i]) << "header word at " << hex(0x24 + 4 * i);

  Image img = readOk(b);
  EXPECT_EQ(img.width, Width::k32);
  EXPECT_EQ(img.contentEnd, kContentEnd);
  EXPECT_EQ(img.model.sectionSize, 0u);
  EXPECT_EQ(img.dllFileName, "shell32.dll");
  EXPECT_EQ(img.dllCommandName, "ShellExecuteA");
  EXPECT_EQ(img.model.startRoutine, kStartRoutine - kCodeData);

  struct Expect {
    const char* name;
    uint32_t flags, header, data, stored, mem;
    size_t fixups;
  };
  const Expect segs[6] = {
      {"@const", 0x01, kConstHeader, kConstData, kConstSize, kConstSize, 0},
      {"@form", 0x01, kFormHeader, kFormData, kFormSize, kFormSize, 0},
      {"@hlpfn", 0x01, kHlpfnHeader, kHlpfnData, 52, 52, 0},
      {"@code", 0x05, kCodeHeader, kCodeData, kCodeSize, kCodeSize, 738},
      {"@var", 0x13, kVarHeader, kNoData, 0, kVarSize, 0},
      {"@reloc1", 0x01, kReloc1Header, kReloc1Data, 1360, 1360, 0},
  };
  ASSERT_EQ(img.model.segments.size(), 6u);
  for (size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(segs[i].name);
    const Segment& s = img.model.segments[i];
    EXPECT_EQ(s.name, segs[i].name);
    EXPECT_EQ(s.flags, segs[i].flags);
    EXPECT_EQ(s.memSize, segs[i].mem);
    EXPECT_EQ(s.fixups.size(), segs[i].fixups);
    EXPECT_EQ(img.placements[i].headerOffset, segs[i].header);
    EXPECT_EQ(img.placements[i].dataOffset, segs[i].data);
    EXPECT_EQ(img.placements[i].storedSize, segs[i].stored);
    // The raw header: size 56 + 4 per fixup, the chain link to the next one.
    EXPECT_EQ(at32(b, segs[i].header), 56 + 4 * segs[i].fixups);
    EXPECT_EQ(at32(b, segs[i].header + 4), i < 5 ? segs[i + 1].header : kChainEnd);
  }
  // @var: nothing stored, its size still counts for memory.
  EXPECT_FALSE(img.model.segments[4].data.has_value());
  EXPECT_EQ(at32(b, kVarHeader + 40), 0u);
  EXPECT_EQ(at32(b, kVarHeader + 44), 0xFFFFFFFFu);

  ASSERT_EQ(img.model.libraries.size(), 6u);
  EXPECT_EQ(img.model.libraries[0].name, "kbase");
  EXPECT_EQ(img.model.libraries[5].minor, 5u);
}

TEST(ShippedLayout, FixupsOfEveryKind) {
  Image img = readOk(shippedBytes());
  const Segment& code = *img.model.segment("@code");
  std::map<FixupKind, size_t> byKind;
  for (const Fixup& f : code.fixups) ++byKind[f.kind];
  EXPECT_EQ(byKind[FixupKind::kServiceSlot], 13u);
  EXPECT_EQ(byKind[FixupKind::kConst], 448u);
  EXPECT_EQ(byKind[FixupKind::kVar], 276u);
  EXPECT_EQ(byKind[FixupKind::kCode], 1u);

  // The field holds an offset, not an address: 0x24 in the first stub is slot 9.
  std::map<uint32_t, uint32_t> slotAt;  // stub field offset -> slot
  for (const Fixup& f : code.fixups)
    if (f.kind == FixupKind::kServiceSlot) slotAt[f.fieldOffset] = img.serviceSlot(code, f);
  ASSERT_EQ(slotAt.size(), 13u);
  EXPECT_EQ(slotAt.begin()->first, kStubsStart + 2);
  size_t i = 0;
  for (auto [field, slot] : slotAt) EXPECT_EQ(slot, kStubSlots[i++]) << "stub field " << hex(field);
  const Fixup first{kStubsStart + 2, FixupKind::kServiceSlot};
  EXPECT_EQ(img.fieldValue(code, first), 0x24u);
  EXPECT_EQ(img.serviceSlot(code, first), 9u);
}

TEST(ShippedLayout, Reloc1IsReadByCountsNotByDeclaredSize) {
  const ByteVec& b = shippedBytes();
  Image img = readOk(b);
  for (size_t g = 0; g < 4; ++g) EXPECT_EQ(img.reloc1.groups[g].size(), kGroupSizes[g]) << "group " << g;
  const uint32_t last = img.reloc1.groups[3].back();
  const Segment& code = *img.model.segment("@code");
  EXPECT_EQ(ql::loadU32(code.data->data() + last), kLastTypeCode);

  // Declared 1,360 bytes, groups 1,364: the last offset lies after the declared data.
  EXPECT_EQ(at32(b, kReloc1Header + 40), 0x550u);
  EXPECT_EQ(at32(b, kReloc1Data + 0x550), last);
  EXPECT_EQ(img.model.segment("@reloc1")->data->size(), 1364u);
  // A reader bound by the declared size loses that offset.
  EXPECT_FALSE(decodeReloc1(ql::ByteSpan(b).subspan(kReloc1Data, 0x550)).ok());
}

TEST(ShippedLayout, WindowsUnitsAndMenus) {
  Image img = readOk(shippedBytes());
  ASSERT_EQ(img.form.windows.size(), 2u);
  const Window& main = *img.form.window(kMainWindow);
  EXPECT_EQ(main.codeUnitId, 0x19000001u);
  EXPECT_EQ(main.listWord, 1u);
  EXPECT_EQ(main.recordWord, 7u);
  ASSERT_EQ(main.windowUnit(), &main.units[0]);
  EXPECT_EQ(main.units[0].left, 50);
  EXPECT_EQ(main.units[0].width, 640);
  ASSERT_EQ(main.units[0].events.size(), 4u);
  EXPECT_EQ(main.units[0].events[0], (Event{0, kCreateHandler}));

  // Menu nested three levels, depth-first; items with sub-items run nothing.
  const Unit* file = main.unit(kFileMenu);
  const Unit* open = main.unit(kOpenMenu);
  const Unit* openObj = main.unit(kOpenObjItem);
  ASSERT_TRUE(file && open && openObj);
  EXPECT_EQ(file->level, 0u);
  EXPECT_EQ(open->level, 1u);
  EXPECT_EQ(openObj->level, 2u);
  EXPECT_EQ(file->handler, kNoHandler);
  EXPECT_EQ(openObj->handler, kOpenObjHandler);
  EXPECT_EQ(ql::gbkToUtf8(openObj->caption).value(), "打开OBJ格式");
  EXPECT_TRUE(file->name.empty());

  const Unit* list = main.unit(kListBox);
  ASSERT_TRUE(list);
  EXPECT_EQ(ql::gbkToUtf8(list->name).value(), "列表框1");
  EXPECT_EQ(list->flags, 5u);
  EXPECT_EQ(list->layoutWord, 4u);
  EXPECT_EQ(list->events, (std::vector<Event>{{1, 0x1200}}));
  const Unit* area = main.unit(0x16000003);
  ASSERT_TRUE(area);
  EXPECT_EQ(area->events[2], (Event{-6, 0x1240}));

  // An empty event table, and properties read through the checked cursor.
  const Unit* dialog = main.unit(kDialog);
  ASSERT_TRUE(dialog);
  EXPECT_TRUE(dialog->events.empty());
  PropertyCursor c(dialog->properties);
  EXPECT_EQ(c.text().value(), "ptexture.pak");
  EXPECT_EQ(c.u32().value(), 7u);
  EXPECT_TRUE(c.atEnd());

  PropertyCursor title(main.units[0].properties);
  EXPECT_EQ(ql::gbkToUtf8(title.text().value()).value(), "青岚三维工具 V0.24  by vrel");

  const Window& log = *img.form.window(kLogWindow);
  EXPECT_EQ(log.units.size(), 2u);
  EXPECT_EQ(log.unit(kEditBox)->top, 48);
}

// ---- Round trips ----------------------------------------------------------------------

TEST(RoundTrip, WrittenReadWrittenIsIdentical) {
  struct Case {
    const char* name;
    ImageModel model;
  };
  const Case cases[] = {{"32-bit", shippedModel()}, {"32-bit padded", shippedModel(true)}, {"64-bit", small64Model()}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ByteVec first = mustWrite(c.model);
    Image img = readOk(first);
    EXPECT_TRUE(img.model == c.model);
    auto second = writeImage(img.model);
    ASSERT_TRUE(second.ok()) << second.error().message;
    EXPECT_EQ(*second, first);
    auto form = encodeForm(img.form);
    ASSERT_TRUE(form.ok());
    EXPECT_EQ(*form, *img.model.segment("@form")->data);
  }
}

TEST(RoundTrip, PaddedToTheSectionWithZeros) {
  const ByteVec b = mustWrite(shippedModel(true));
  ASSERT_EQ(b.size(), kSectionSize);
  for (size_t i = kContentEnd; i < b.size(); ++i) ASSERT_EQ(b[i], 0) << "at " << hex(i);
  Image img = readOk(b);
  EXPECT_EQ(img.contentEnd, kContentEnd);
  EXPECT_EQ(img.model.sectionSize, kSectionSize);
}

TEST(Image64, PointerSizedSlotsAndFields) {
  const ByteVec b = mustWrite(small64Model());
  Image img = readOk(b);
  EXPECT_EQ(img.width, Width::k64);
  EXPECT_EQ(img.model.segment("@hlpfn")->memSize, 104u);
  const Segment& code = *img.model.segment("@code");
  ASSERT_EQ(code.fixups.size(), 4u);
  EXPECT_EQ(img.fieldValue(code, code.fixups[0]), 72u);
  EXPECT_EQ(img.serviceSlot(code, code.fixups[0]), 9u);
  EXPECT_EQ(img.fieldValue(code, code.fixups[1]), 8u);
  EXPECT_EQ(img.dllFileName, "libc.so");
  EXPECT_EQ(img.dllCommandName, "puts");
  const Window& w = img.form.windows[0];
  EXPECT_EQ(w.unit(0x16000011)->contained, (std::vector<uint32_t>{0x16000012}));
  EXPECT_EQ(w.unit(0x16000012)->container, 0x16000011u);
  EXPECT_EQ(w.unit(0x16000012)->left, -5);

  // A loader asks for its own width.
  EXPECT_TRUE(readImage(b, {Width::k64}).ok());
  auto wrong = readImage(b, {Width::k32});
  ASSERT_FALSE(wrong.ok());
  EXPECT_NE(wrong.error().message.find("64-bit service slots"), std::string::npos) << wrong.error().message;
  EXPECT_FALSE(readImage(shippedBytes(), {Width::k64}).ok());
}

TEST(Image64, FieldOf8BytesMustFitInTheData) {
  // The last 8-byte field of @code ends exactly at the data's end; one byte
  // further is outside, although a 4-byte field would still fit.
  ImageModel m = small64Model();
  Segment& code = *m.segment("@code");
  code.fixups.push_back({56, FixupKind::kVar});
  ql::storeU64(code.data->data() + 56, 0);
  EXPECT_TRUE(writeImage(m).ok());
  code.fixups.back().fieldOffset = 57;
  auto r = writeImage(m);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().message.find("field at 0x39 of 0x8 bytes"), std::string::npos) << r.error().message;
}

// ---- Bad images ---------------------------------------------------------------------------

TEST(BadImage, EveryTruncationIsRejected) {
  const ByteVec& b = shippedBytes();
  for (size_t len = 0; len < b.size(); ++len) {
    auto r = readImage(ql::ByteSpan(b.data(), len));
    ASSERT_FALSE(r.ok()) << "prefix of " << hex(len) << " bytes accepted";
    ASSERT_FALSE(r.error().message.empty());
  }
  // Also through a copy that ends exactly at the cut, so ASan sees any read past it.
  for (size_t len : {size_t(0x5F), size_t(kConstHeader + 3), size_t(kCodeData + 100), size_t(kContentEnd - 1)}) {
    ByteVec cut(b.begin(), b.begin() + len);
    EXPECT_FALSE(readImage(cut).ok()) << hex(len);
  }
}

struct Patch {
  const char* name;
  std::function<void(ByteVec&)> apply;
  const char* reason;  // part of the expected message
};

// Offsets inside the first window record of @form (see the format: list size,
// two ids, two words, then the record's header).
constexpr uint32_t kRecord0 = kFormData + 4 + 16;
constexpr uint32_t kUnitCount0 = kRecord0 + 16;
constexpr uint32_t kUnitIds0 = kRecord0 + 24;
uint32_t firstUnitOf(const ByteVec& b) { return kUnitIds0 + 8 * at32(b, kUnitCount0); }
// Inside a window unit's body: type, 20 zeros, two empty texts, word, four
// placement values, word, container, count 0, layout word, two words, byte,
// flags, word: the event count follows.
constexpr uint32_t kEventCountInWindowUnit = 4 + 79;

TEST(BadImage, EachFaultIsRejectedWithItsReason) {
  const Patch patches[] = {
      {"signature", [](ByteVec& b) { b[3] = 'X'; }, "signature field"},
      {"chain loops back", [](ByteVec& b) { put32(b, kReloc1Header + 4, kConstHeader); }, "segment chain loops"},
      {"chain links to itself", [](ByteVec& b) { put32(b, kConstHeader + 4, kConstHeader); }, "segment chain loops"},
      {"first header past the end", [](ByteVec& b) { put32(b, 0x24, 0x10000); }, "do not fit in the image"},
      {"next header past the end", [](ByteVec& b) { put32(b, kVarHeader + 4, 0xFFFFFFF0); }, "do not fit in the image"},
      {"data offset past the end", [](ByteVec& b) { put32(b, kCodeHeader + 44, 0xFFFFFF00); }, "runs past the end"},
      {"stored size past the end", [](ByteVec& b) { put32(b, kConstHeader + 40, 0x7FFFFFFF); put32(b, kConstHeader + 36, 0x7FFFFFFF); }, "runs past the end"},
      {"data over another segment's header", [](ByteVec& b) { put32(b, kCodeHeader + 44, kHlpfnData); }, "overlaps"},
      {"data over the library table", [](ByteVec& b) { put32(b, kConstHeader + 44, 0x100); }, "overlaps signature, header words and library table"},
      {"header inside another segment's data", [](ByteVec& b) {
         // @reloc1's header moved into @code's data, still linked from @var.
         std::copy(b.begin() + kReloc1Header, b.begin() + kReloc1Header + 56, b.begin() + kCodeData + 0x5000);
         put32(b, kVarHeader + 4, kCodeData + 0x5000);
       }, "overlaps segment 3 (@code) data"},
      {"stored more than memory", [](ByteVec& b) { put32(b, kConstHeader + 36, 10); }, "more than its memory size"},
      {"nothing stored but a size", [](ByteVec& b) { put32(b, kVarHeader + 40, 4); }, "stores nothing"},
      {"fixup count past the end",
       [](ByteVec& b) { put32(b, kCodeHeader + 48, 0x3FFFFFF0); put32(b, kCodeHeader, 56 + 4 * 0x3FFFFFF0u); },
       "runs past the end"},
      {"header size disagrees", [](ByteVec& b) { put32(b, kCodeHeader, 56); }, "header size 0x38"},
      {"reserved word", [](ByteVec& b) { put32(b, kFormHeader + 52, 1); }, "reserved words"},
      {"name without NUL", [](ByteVec& b) { std::fill(b.begin() + kFormHeader + 12, b.begin() + kFormHeader + 32, 'a'); }, "no NUL"},
      {"segment missing", [](ByteVec& b) { b[kVarHeader + 12 + 3] = 'z'; }, "no @var segment"},
      {"segment twice", [](ByteVec& b) { b[kVarHeader + 12 + 1] = 'f'; b[kVarHeader + 12 + 2] = 'o'; b[kVarHeader + 12 + 3] = 'r'; b[kVarHeader + 12 + 4] = 'm'; }, "appears twice"},
      {"segment header word", [](ByteVec& b) { put32(b, 0x44, kHlpfnHeader); }, "header word 0x44"},
      {"start routine outside @code", [](ByteVec& b) { put32(b, 0x3C, kCodeData - 1); }, "start routine"},
      {"two DLL commands", [](ByteVec& b) { put32(b, 0x38, 2); }, "DLL commands"},
      {"DLL name past its segment", [](ByteVec& b) { put32(b, 0x5C, kConstSize); }, "DLL command name"},
      {"DLL segment unknown", [](ByteVec& b) { put32(b, 0x54, 0x1234); }, "none in the chain"},
      {"@hlpfn size", [](ByteVec& b) { put32(b, kHlpfnHeader + 36, 48); put32(b, kHlpfnHeader + 40, 48); }, "not 13 slots"},
      {"fixup kind", [](ByteVec& b) { put32(b, kCodeHeader + 56, at32(b, kCodeHeader + 56) | 7); }, "kind 0x7"},
      {"fixup field past @code", [](ByteVec& b) { put32(b, kCodeHeader + 56, (kCodeSize - 2) << 3 | 1); }, "lies outside the stored data"},
      {"slot value not a slot", [](ByteVec& b) { put32(b, kCodeData + kStubsStart + 2, 0x25); }, "times a slot"},
      {"slot value past 13", [](ByteVec& b) { put32(b, kCodeData + kStubsStart + 2, 4 * 13); }, "times a slot"},
      {"@const value past @const", [](ByteVec& b) { put32(b, kCodeData + 0x100, kConstSize); }, "past @const"},
      {"@var value past @var", [](ByteVec& b) { put32(b, kCodeData + 0x2000, kVarSize); }, "past @var"},
      {"@code value past @code", [](ByteVec& b) { put32(b, kCodeData + 0x3200, kCodeSize); }, "past @code"},
      {"@reloc1 declared in full", [](ByteVec& b) { put32(b, kReloc1Header + 40, 1364); put32(b, kReloc1Header + 36, 1364); }, "declares 0x554"},
      {"@reloc1 count past the end", [](ByteVec& b) { put32(b, kReloc1Data, 0x20000000); }, "@reloc1 group 0: count 0x20000000 needs 0x4 bytes each from 0xe17b, 0x550 left"},
      {"@reloc1 offset outside @code", [](ByteVec& b) { put32(b, kReloc1Data + 4, kCodeSize - 3); }, "@reloc1 group 0 offset 0"},
      {"library row fields", [](ByteVec& b) { b[0x60 + 5] = 'x'; }, "4 CR-separated fields"},
      {"library identifier", [](ByteVec& b) { b[0x60 + 6] = 'g'; }, "not 32 hexadecimal digits"},
      {"library version", [](ByteVec& b) { b[0x60 + 6 + 33] = 'a'; }, "not two decimal numbers"},
      {"@form list size", [](ByteVec& b) { put32(b, kFormData, 12); }, "not a multiple of 8"},
      {"@form window count past the end", [](ByteVec& b) { put32(b, kFormData, 0x7FFFFFF8); }, "window count"},
      {"@form window id kind", [](ByteVec& b) { put32(b, kFormData + 4, 0x51000001); }, "kind not 0x52"},
      {"@form unit count past the record", [](ByteVec& b) { put32(b, kUnitCount0, 0x10000000); }, "unit count"},
      {"@form parts past @form", [](ByteVec& b) { put32(b, kRecord0 + 20, 0x100000); }, "ids, offsets and units"},
      {"@form unit length runs past",
       [](ByteVec& b) { put32(b, firstUnitOf(b), 0xFFFFFF00); }, "length 0xffffff00"},
      {"@form unit length short",
       [](ByteVec& b) { put32(b, firstUnitOf(b), 20); }, "needs 0x14 bytes, 0x10 left"},
      {"@form unit offset", [](ByteVec& b) { put32(b, kUnitIds0 + 4 * at32(b, kUnitCount0) + 4, 1); }, "offset 0x1"},
      {"@form event count runs past",
       [](ByteVec& b) { put32(b, firstUnitOf(b) + kEventCountInWindowUnit, 0x10000000); }, "event count"},
      {"@form event handler outside @code",
       [](ByteVec& b) { put32(b, firstUnitOf(b) + kEventCountInWindowUnit + 8, kCodeSize); }, "handler 0xb907"},
      {"@form reserved unit bytes", [](ByteVec& b) { b[firstUnitOf(b) + 4 + 4 + 7] = 1; }, "reserved bytes"},
  };
  for (const Patch& p : patches) {
    SCOPED_TRACE(p.name);
    ByteVec b = shippedBytes();
    p.apply(b);
    auto r = readImage(b);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find(p.reason), std::string::npos) << r.error().message;
  }
}

TEST(BadImage, ReasonNamesRecordIndexAndValues) {
  ByteVec b = shippedBytes();
  put32(b, kCodeHeader + 44, 0xFFFFFF00);
  auto r = readImage(b);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message,
            "segment 3 (@code) header at 0x1c40: data at 0xffffff00 of 0xb907 bytes runs past the end of the image at "
            "0xe6cb");

  // Inside @form, positions are module offsets too.
  b = shippedBytes();
  const uint32_t unit0 = firstUnitOf(b);
  ASSERT_EQ(unit0, 0xD92u);
  put32(b, unit0, 0xFFFFFF00);
  r = readImage(b);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message.rfind("@form window 0 (id 0x52000001) unit 0 (id 0x6000001): length 0xffffff00 at 0xd92 "
                                    "runs past the window record",
                                    0),
            0u)
      << r.error().message;
}

TEST(BadImage, LibraryTableWithoutEndingRecord) {
  // Signature, header words, then rows that run to the end of the buffer.
  ByteVec head(shippedBytes().begin(), shippedBytes().begin() + 0x60);
  const std::string row = "kbase\r0123456789ABCDEF0123456789ABCDEF\r1\r0\rkernel";
  struct Case {
    const char* name;
    std::string tail;
  };
  const Case cases[] = {
      {"no rows, nothing after the header", ""},
      {"row without its NUL", row},
      {"row, no ending record", row + std::string(1, '\0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ByteVec b = head;
    b.insert(b.end(), c.tail.begin(), c.tail.end());
    auto r = readImage(b);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find("no ending record"), std::string::npos) << r.error().message;
  }
}

// ---- @form on its own ------------------------------------------------------------------------

TEST(Form, EveryTruncationIsRejected) {
  const ByteVec form = encodeForm(shippedForm()).value();
  for (size_t len = 0; len < form.size(); ++len)
    ASSERT_FALSE(decodeForm(ql::ByteSpan(form.data(), len)).ok()) << "prefix of " << hex(len) << " bytes";
  ByteVec longer = form;
  longer.push_back(0);
  auto r = decodeForm(longer);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().message.find("bytes after the last window record"), std::string::npos) << r.error().message;
}

TEST(Form, InconsistentFormsAreRefused) {
  struct Case {
    const char* name;
    std::function<void(Form&)> change;
    const char* reason;
  };
  const Case cases[] = {
      {"menu level skips", [](Form& f) { f.windows[0].units[2].level = 2; }, "menu level 0x2 follows level 0x0"},
      {"first menu item not top-level", [](Form& f) { f.windows[0].units[1].level = 1; }, "follows level none"},
      {"container is no control", [](Form& f) { f.windows[1].units[1].container = 0x16000999; }, "container id 0x16000999"},
      {"contained is no control", [](Form& f) { f.windows[1].units[1].contained = {kLogUnit}; }, "contained id 0x6000002"},
      {"two window units", [](Form& f) { f.windows[1].units[1].id = 0x06000003; }, "2 window units"},
      {"unit id twice", [](Form& f) { f.windows[0].units[16].id = kListBox; }, "appears twice"},
      {"window id twice", [](Form& f) { f.windows[1].id = kMainWindow; }, "appears twice"},
      {"unit id kind", [](Form& f) { f.windows[0].units[15].id = 0x17000001; }, "kind 0x17"},
      {"menu id with another type", [](Form& f) { f.windows[0].units[1].type = abi::kTypeListBox; }, "menu item id with type code"},
      {"code unit id kind", [](Form& f) { f.windows[0].codeUnitId = 0x18000001; }, "kind 0x19"},
      {"text with NUL", [](Form& f) { f.windows[0].units[15].name = std::string("a\0b", 3); }, "NUL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Form f = shippedForm();
    c.change(f);
    auto r = encodeForm(f);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find(c.reason), std::string::npos) << r.error().message;
  }
}

TEST(PropertyCursor, ChecksEveryRead) {
  ByteVec p;
  appendPropertyText(p, "abc");
  appendPropertyU32(p, 0xFFFFFFFE);
  p.push_back(9);
  PropertyCursor c(p, "list box properties");
  EXPECT_EQ(c.text().value(), "abc");
  EXPECT_EQ(c.i32().value(), -2);
  EXPECT_EQ(c.remaining(), 1u);
  auto shortRead = c.u32();
  ASSERT_FALSE(shortRead.ok());
  EXPECT_EQ(shortRead.error().message, "list box properties: u32 at 0xb needs 0x4 bytes, 0x1 left");
  EXPECT_EQ(c.u8().value(), 9);
  EXPECT_TRUE(c.atEnd());

  ByteVec bad;
  appendPropertyU32(bad, 5);
  bad.push_back('x');
  auto t = PropertyCursor(bad).text();
  ASSERT_FALSE(t.ok());
  EXPECT_EQ(t.error().message, "properties: text at 0x0 of length 0x5 runs past the end (0x1 bytes left)");
}

// ---- Writer ------------------------------------------------------------------------------------

TEST(Writer, RefusesModelsItCannotWriteFaithfully) {
  struct Case {
    const char* name;
    std::function<void(ImageModel&)> change;
    const char* reason;
  };
  const Case cases[] = {
      {"segment name too long", [](ImageModel& m) { m.segments[0].name = std::string(20, 'c'); }, "1 to 19 bytes"},
      {"segment twice", [](ImageModel& m) { m.segments.push_back(m.segments[0]); }, "appears twice"},
      {"no @code", [](ImageModel& m) { m.segments.erase(m.segments.begin() + 3); }, "no @code segment"},
      {"library field with CR", [](ImageModel& m) { m.libraries[1].description = "a\rb"; }, "NUL or CR"},
      {"library identifier", [](ImageModel& m) { m.libraries[1].id = "xyz"; }, "not 32 hexadecimal digits"},
      {"fixup field not encodable", [](ImageModel& m) { m.segments[3].fixups[0].fieldOffset = 0x20000000; }, "cannot be encoded"},
      {"fixup field outside the data", [](ImageModel& m) { m.segments[3].fixups[0].fieldOffset = kCodeSize; }, "outside the stored data"},
      {"start routine outside @code", [](ImageModel& m) { m.startRoutine = kCodeSize; }, "start routine"},
      {"DLL names in a missing segment", [](ImageModel& m) { m.dllCommand->segment = "@nothere"; }, "@nothere"},
      {"@reloc1 without its groups", [](ImageModel& m) { m.segments[5].data.reset(); }, "must hold its groups"},
      {"@reloc1 memory size", [](ImageModel& m) { m.segments[5].memSize = 1000; }, "more than its memory size"},
      {"@reloc1 offset outside @code", [](ImageModel& m) {
         Reloc1 r;
         r.groups[1] = {kCodeSize};
         m.segments[5].data = encodeReloc1(r);
         m.segments[5].memSize = reloc1DeclaredSize(r);
       }, "@reloc1 group 1 offset 0"},
      {"section smaller than the image", [](ImageModel& m) { m.sectionSize = 0x1000; }, "section size 0x1000"},
      {"menu handler outside @code", [](ImageModel& m) {
         Form f = decodeForm(*m.segments[1].data).value();
         f.windows[0].units[3].handler = kCodeSize;
         m.segments[1].data = encodeForm(f).value();
         m.segments[1].memSize = uint32_t(m.segments[1].data->size());
       }, "click handler 0xb907"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ImageModel m = shippedModel();
    c.change(m);
    auto r = writeImage(m);
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find(c.reason), std::string::npos) << r.error().message;
  }
}

TEST(Writer, ImageWithoutDllCommand) {
  ImageModel m = small64Model();
  m.dllCommand.reset();
  const ByteVec b = mustWrite(m);
  EXPECT_EQ(at32(b, 0x38), 0u);
  EXPECT_EQ(at32(b, 0x54), 0u);
  Image img = readOk(b);
  EXPECT_FALSE(img.model.dllCommand.has_value());
  EXPECT_TRUE(img.dllFileName.empty());
}

// ---- Embedded images and the inspector ------------------------------------------------------

TEST(Embedded, SignatureIsFoundInsideAnExecutable) {
  ByteVec exe(0x1234, 0xCC);
  const std::string almost = "QVKM / MADE BY Q COMPILER - QUELM X";  // no NULs after it: not a signature
  exe.insert(exe.begin() + 0x100, almost.begin(), almost.end());
  const size_t at = exe.size();
  exe.insert(exe.end(), shippedBytes().begin(), shippedBytes().end());
  exe.insert(exe.end(), 64, 0xEE);  // whatever follows the section
  ASSERT_EQ(findSignature(exe), at);
  auto img = readImage(ql::ByteSpan(exe).subspan(at));
  ASSERT_TRUE(img.ok()) << img.error().message;
  EXPECT_EQ(img->contentEnd, kContentEnd);
  EXPECT_FALSE(findSignature(ql::ByteSpan(exe).first(at)).has_value());
}

#ifdef QVKM_DUMP_PATH
std::string runDump(const std::string& file, int* status) {
  std::string out;
  // Double quotes: both the POSIX shell and Windows' cmd.exe take them.
  FILE* p = popen((std::string(QVKM_DUMP_PATH) + " \"" + file + "\" 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  *status = pclose(p);
  return out;
}

TEST(Inspector, PrintsAnEmbeddedImage) {
  const std::string path = ::testing::TempDir() + "qvkm_dump_test.exe";
  ByteVec exe(0x400, 0x4D);
  exe.insert(exe.end(), shippedBytes().begin(), shippedBytes().end());
  FILE* f = fopen(path.c_str(), "wb");
  ASSERT_TRUE(f);
  fwrite(exe.data(), 1, exe.size(), f);
  fclose(f);
  int status = -1;
  const std::string out = runDump(path, &status);
  EXPECT_EQ(status, 0) << out;
  for (const char* expected :
       {"module image at file offset 0x400", "0x3c start routine          0xe083 (@code + 0xb883)",
        "\"shell32.dll\"!\"ShellExecuteA\"", "3 @code    flags 0x5 header 0x1c40 data 0x2800",
        "fixups 738 (slot 13, const 448, var 276, code 1)", "4 @var     flags 0x13 header 0xe107 data none",
        "139 ids, 4 DLL command indices, 92 library rows, 102 type codes", "window 0x52000001",
        "0x26000003 menu item level 2     \"打开OBJ格式\" click handler 0x1100",
        "0x26000001 menu item level 0 \"文件\" click handler none",
        "0x16000001 list box \"列表框1\" at 0,0 size 104x264 flags 0x5", "event -6 -> handler 0x1240"})
    EXPECT_NE(out.find(expected), std::string::npos) << "missing: " << expected << "\n" << out;

  ByteVec broken = exe;
  put32(broken, 0x400 + kReloc1Header + 4, kConstHeader);
  f = fopen(path.c_str(), "wb");
  fwrite(broken.data(), 1, broken.size(), f);
  fclose(f);
  const std::string err = runDump(path, &status);
  EXPECT_NE(status, 0);
  EXPECT_NE(err.find("segment chain loops"), std::string::npos) << err;
  std::remove(path.c_str());
}
#endif

}  // namespace
