// The fixed-size records of the module image, field by field, as they lie in
// the image (little-endian). The reader loads them field by field with
// loadU32, so host byte order and struct packing never matter; the structs
// name the fields and pin the sizes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ql::image {

// ---- Signature field (module offset 0) ---------------------------------------
// 34 characters ending in a space, then two NUL bytes.
inline constexpr std::string_view kSignatureText = "QVKM / MADE BY Q COMPILER - QUELM ";
constexpr size_t kSignatureSize = 36;
static_assert(kSignatureText.size() == 34);

// ---- Header words (module offset 0x24) ----------------------------------------
constexpr uint32_t kHeaderWordsOffset = 0x24;
constexpr size_t kHeaderWordCount = 15;

struct HeaderWords {
  uint32_t firstSegment;        // 0x24 module offset of the first segment header (chain start)
  uint32_t formatWords[4];      // 0x28..0x34 format words (1, 3, 0, 0x106F0); the module never reads them
  uint32_t dllCount;            // 0x38 number of DLL command declarations (0 or 1: the header holds one)
  uint32_t startRoutine;        // 0x3C module offset of the start routine, inside @code's data
  uint32_t constHeader;         // 0x40 module offset of the @const segment header
  uint32_t formHeader;          // 0x44 module offset of the @form segment header
  uint32_t hlpfnHeader;         // 0x48 module offset of the @hlpfn segment header
  uint32_t codeHeader;          // 0x4C module offset of the @code segment header
  uint32_t varHeader;           // 0x50 module offset of the @var segment header
  uint32_t dllSegmentHeader;    // 0x54 DLL command 0: header offset of the segment holding its names
  uint32_t dllFileName;         // 0x58 DLL command 0: offset of the DLL file name in that segment's data
  uint32_t dllCommandName;      // 0x5C DLL command 0: offset of the command name in that segment's data
};
static_assert(sizeof(HeaderWords) == kHeaderWordCount * 4);

constexpr std::array<uint32_t, 4> kFormatWords = {1, 3, 0, 0x106F0};

// ---- Library table (module offset 0x60) ----------------------------------------
// NUL-terminated records of five CR-separated fields; a lone NUL ends it.
constexpr uint32_t kLibraryTableOffset = kHeaderWordsOffset + kHeaderWordCount * 4;
static_assert(kLibraryTableOffset == 0x60);
constexpr char kLibraryFieldSeparator = '\r';
constexpr size_t kLibraryFieldCount = 5;
constexpr size_t kLibraryIdDigits = 32;

// ---- Segment header (56 bytes, then 4 bytes per fixup) -------------------------
constexpr size_t kSegmentNameSize = 20;

struct SegmentHeader {
  uint32_t headerSize;              // 0  56 + 4 * fixupCount
  uint32_t next;                    // 4  module offset of the next header; kChainEnd ends the chain
  uint32_t flags;                   // 8  segment flags (kSegment* below)
  char name[kSegmentNameSize];      // 12 NUL-padded ASCII name
  uint32_t reserved0;               // 32 0
  uint32_t memSize;                 // 36 size of the data in memory
  uint32_t storedSize;              // 40 size of the data in the image (0 when nothing is stored)
  uint32_t dataOffset;              // 44 module offset of the data (kNoData when nothing is stored)
  uint32_t fixupCount;              // 48 number of fixup words after the header
  uint32_t reserved1;               // 52 0
};
constexpr uint32_t kSegmentHeaderSize = 56;
static_assert(sizeof(SegmentHeader) == kSegmentHeaderSize);
constexpr uint32_t kFixupWordSize = 4;

constexpr uint32_t kChainEnd = 0xFFFFFFFF;  // `next` of the last segment header
constexpr uint32_t kNoData = 0xFFFFFFFF;    // `dataOffset` of a segment with nothing stored

// Segment flags. 0x01 is set in every segment, 0x04 marks code, 0x02 and
// 0x10 the variable segment (writable, zero-filled, not stored).
constexpr uint32_t kSegmentLoaded = 0x01;
constexpr uint32_t kSegmentWritable = 0x02;
constexpr uint32_t kSegmentCode = 0x04;
constexpr uint32_t kSegmentZeroFilled = 0x10;

// Names of the six segments.
inline constexpr std::string_view kConstSegment = "@const";
inline constexpr std::string_view kFormSegment = "@form";
inline constexpr std::string_view kHlpfnSegment = "@hlpfn";
inline constexpr std::string_view kCodeSegment = "@code";
inline constexpr std::string_view kVarSegment = "@var";
inline constexpr std::string_view kReloc1Segment = "@reloc1";

// ---- Fixups ----------------------------------------------------------------------
// One 32-bit word: (byte offset of the field in the segment's data) * 8 + kind.
constexpr uint32_t kFixupKindBits = 3;
constexpr uint32_t kFixupKindMask = (1u << kFixupKindBits) - 1;
constexpr uint32_t kMaxFixupFieldOffset = 0xFFFFFFFFu >> kFixupKindBits;

// ---- @hlpfn ------------------------------------------------------------------------
constexpr uint32_t kServiceSlotCount = 13;

// ---- @reloc1 -----------------------------------------------------------------------
// Four groups, each a u32 count and that many u32 offsets of 32-bit immediates
// in @code.
constexpr size_t kReloc1GroupCount = 4;
constexpr uint32_t kReloc1ImmediateSize = 4;
// NOTE: the header declares the groups 4 bytes shorter than they are; a
// reader goes by the counts, a compatible writer declares the same shortfall.
constexpr uint32_t kReloc1Shortfall = 4;

// ---- @form -------------------------------------------------------------------------
constexpr uint32_t kWindowListEntrySize = 8;   // L / 8 windows: an id and a word without meaning each
constexpr size_t kUnitReservedSize = 20;       // zero bytes after a unit's type code
constexpr size_t kPropertiesLeadSize = 20;     // zero bytes that open the type-specific properties
constexpr uint32_t kUnitLayoutWord = 4;        // the unit word with value 4 (the runtime's business)
constexpr uint32_t kNoHandler = 0xFFFFFFFF;    // a menu item without click handler
constexpr size_t kMenuItemTailWords = 4;       // zero words after a menu item's handler

}  // namespace ql::image
