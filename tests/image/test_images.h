// Module images built for the tests, field by field from the format: a 32-bit
// image shaped like the shipped one (same header words, segment offsets,
// fixup counts and @reloc1 groups) and a small 64-bit one.
#pragma once

#include "module/image/image.h"

namespace ql::image::test {

// The layout the 32-bit image must land on.
constexpr uint32_t kConstHeader = 0x01CA;
constexpr uint32_t kFormHeader = 0x0C86;
constexpr uint32_t kHlpfnHeader = 0x1BD4;
constexpr uint32_t kCodeHeader = 0x1C40;
constexpr uint32_t kVarHeader = 0xE107;
constexpr uint32_t kReloc1Header = 0xE13F;
constexpr uint32_t kConstData = 0x0202;
constexpr uint32_t kFormData = 0x0CBE;
constexpr uint32_t kHlpfnData = 0x1C0C;
constexpr uint32_t kCodeData = 0x2800;
constexpr uint32_t kReloc1Data = 0xE177;
constexpr uint32_t kStartRoutine = 0xE083;  // module offset
constexpr uint32_t kDllFileName = 0x0A6A;
constexpr uint32_t kDllCommandName = 0x0A76;
constexpr uint32_t kContentEnd = 0xE6CB;    // @reloc1 data + 1,364
constexpr uint32_t kSectionSize = 0xF000;

constexpr uint32_t kConstSize = 2692, kFormSize = 3862, kCodeSize = 47367, kVarSize = 108;
constexpr uint32_t kLibraryTableSize = 362;
constexpr size_t kGroupSizes[4] = {139, 4, 92, 102};
constexpr uint32_t kLastTypeCode = 0x0001000F;

// Service stubs at the end of @code: FF 25 and a 32-bit field, in this slot order.
constexpr uint32_t kStubSlots[13] = {9, 10, 11, 12, 8, 6, 1, 3, 4, 2, 0, 7, 5};
constexpr uint32_t kStubSize = 6;
constexpr uint32_t kStubsStart = kCodeSize - 13 * kStubSize;

// Ids of the windows and units of the test form.
constexpr uint32_t kMainWindow = 0x52000001, kLogWindow = 0x52000002;
constexpr uint32_t kMainUnit = 0x06000001, kLogUnit = 0x06000002;
constexpr uint32_t kFileMenu = 0x26000001, kOpenMenu = 0x26000002, kOpenObjItem = 0x26000003;
constexpr uint32_t kListBox = 0x16000001, kDialog = 0x16000006, kEditBox = 0x16000010;

// Handler code offsets used in the form.
constexpr uint32_t kCreateHandler = 0x1000, kOpenObjHandler = 0x1100;

Form shippedForm();                     // two windows, 3-level menu, before padding
ImageModel shippedModel(bool padToSection = false);  // the 32-bit image
ImageModel small64Model();                // a 64-bit image with a container control

ByteVec mustWrite(const ImageModel& model);  // writeImage or abort with the reason

}  // namespace ql::image::test
