// The module image: an in-memory model, a checked reader and a writer.
//
//   ql::Result<Image>  readImage(ByteSpan bytes, ReadOptions)   bytes -> checked Image
//   ql::Result<ByteVec> writeImage(const ImageModel&)            model -> bytes
//   encodeForm / decodeForm, encodeReloc1 / decodeReloc1         @form and @reloc1 data
//   PropertyCursor                                               type-specific unit properties
//
// Layout written (and found in every image of ours): signature, header words,
// library table, then each segment's header, its fixups and its stored data,
// back to back in chain order, then zeros up to ImageModel::sectionSize. The
// reader does not rely on that order: it follows the offsets, and checks every
// offset, count and length against the buffer before touching the bytes, so a
// bad image is rejected with a reason that names the record, its index and the
// values (hex), and nothing outside the buffer is read.
//
// Round trip: writeImage(readImage(writeImage(m))->model) gives the same bytes
// as writeImage(m).
//
// Pointer width. Images for 32-bit code have 4-byte service slots and 32-bit
// fixup fields; ours for 64-bit code have 8-byte slots and fields. The width is
// derived from the size of @hlpfn (13 slots of 4 or 8 bytes); everything else
// (header words, segment headers, @form, @reloc1) keeps its widths, and segment
// sizes always come from the segment headers.
//
// Texts (library fields, unit names, captions, property texts) are the image's
// own bytes (GBK); nothing is converted here.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/result.h"
#include "module/image/format.h"

namespace ql::image {

// ---- Limits (outside counts are checked against these before any allocation)
constexpr size_t kMaxSegments = 64;
constexpr size_t kMaxLibraries = 255;  // a type code holds row + 1 in 16 bits

// ---- Pointer width --------------------------------------------------------------
enum class Width : uint32_t { k32 = 4, k64 = 8 };
constexpr uint32_t bytesOf(Width w) { return uint32_t(w); }
constexpr uint32_t hlpfnSize(Width w) { return kServiceSlotCount * bytesOf(w); }
constexpr Width kNativeWidth = sizeof(void*) == 8 ? Width::k64 : Width::k32;

// ---- Library table ---------------------------------------------------------------
// One row; the row number (from 0) identifies the library in type codes and
// library-command calls. Row 0 is the kernel library.
struct LibraryRow {
  std::string name;         // e.g. "kbase"
  std::string id;           // 32 hexadecimal digits; a loader matches rows to libraries by it
  uint32_t major = 0;       // written as a decimal text
  uint32_t minor = 0;       // written as a decimal text
  std::string description;  // free text (GBK), no CR, no NUL

  bool operator==(const LibraryRow&) const = default;
};

// ---- Segments ---------------------------------------------------------------------
enum class FixupKind : uint8_t {
  kServiceSlot = 0,  // field holds bytesOf(width) * slot; target @hlpfn
  kConst = 1,        // field holds an offset in @const
  kVar = 2,          // field holds an offset in @var
  kCode = 3,         // field holds an offset in @code (a routine passed as a value)
};
constexpr uint32_t kFixupKindCount = 4;

// A field of bytesOf(width) bytes at `fieldOffset` in the segment's data; the
// loader adds the target's base address to the offset the field holds.
struct Fixup {
  uint32_t fieldOffset = 0;
  FixupKind kind = FixupKind::kConst;

  bool operator==(const Fixup&) const = default;
};
constexpr uint32_t encodeFixup(Fixup f) { return f.fieldOffset << kFixupKindBits | uint32_t(f.kind); }

struct Segment {
  std::string name;      // 1 to 19 ASCII bytes, e.g. "@code"
  uint32_t flags = kSegmentLoaded;
  uint32_t memSize = 0;  // size in memory; at least the declared stored size
  // Stored bytes; nullopt when nothing is stored (data offset kNoData, stored
  // size 0: @var). For @reloc1 these are all the group bytes (encodeReloc1);
  // the writer declares kReloc1Shortfall bytes fewer.
  std::optional<ByteVec> data;
  std::vector<Fixup> fixups;  // in stored order (a loader applies them in any)

  bool operator==(const Segment&) const = default;
};

// ---- @form ------------------------------------------------------------------------
struct Event {
  int32_t number = 0;            // >= 0 the type's own events, < 0 events common to all controls
  uint32_t handler = kNoHandler; // code offset of the handler in @code

  bool operator==(const Event&) const = default;
};

// One unit: the window's own unit (id kind 0x06), a menu item (0x26, type
// abi::kTypeMenuItem) or a control (0x16). Menu items use the menu fields,
// every other unit the placement fields; the others stay at their defaults.
struct Unit {
  uint32_t id = 0;
  uint32_t type = 0;     // library-qualified type code: (row + 1) * 65536 + type number
  std::string name;      // empty for windows and menu items
  std::string remark;

  // Menu item.
  uint32_t level = 0;    // 0 top-level menu, 1 its items, 2 their sub-items
  std::string caption;
  uint32_t handler = kNoHandler;  // click handler's code offset, kNoHandler for none

  // Window and control.
  int32_t left = 0, top = 0, width = 0, height = 0;
  uint32_t container = 0;               // id of the containing control, 0 for the window
  std::vector<uint32_t> contained;      // ids of contained controls
  uint32_t layoutWord = kUnitLayoutWord;
  uint32_t flags = 0;                   // 0 hidden control, 1 window/drawing area/scroll bar, 5 list/combo/edit
  std::vector<Event> events;
  ByteVec properties;  // type-specific properties after their 20 leading zero bytes

  bool isMenuItem() const;
  bool operator==(const Unit&) const = default;
};

struct Window {
  uint32_t id = 0;          // high byte 0x52: how code names the window
  uint32_t listWord = 0;    // its word in the window list's second row (no meaning for a reader)
  uint32_t recordWord = 0;  // first word of its record (no meaning for a reader)
  uint32_t codeUnitId = 0;  // high byte 0x19
  std::vector<Unit> units;  // the window's own unit, its menu items (menu order, depth-first), its controls

  const Unit* unit(uint32_t unitId) const;
  const Unit* windowUnit() const;  // the unit with id kind 0x06
  bool operator==(const Window&) const = default;
};

struct Form {
  std::vector<Window> windows;

  const Window* window(uint32_t windowId) const;
  bool operator==(const Form&) const = default;
};

// @form data <-> Form. decodeForm checks the layout completely (every count
// and length against the data, ids by kind, reserved words zero, menu levels,
// container and contained ids within the window) but not handler offsets,
// which need @code: readImage checks those. Messages give positions as
// `base` + offset in `data` (readImage passes the module offset of @form's data).
Result<ByteVec> encodeForm(const Form& form);
Result<Form> decodeForm(ByteSpan data, uint64_t base = 0);

// ---- @reloc1 ------------------------------------------------------------------------
// Offsets in @code of 32-bit immediates: 0 window/unit/control/menu ids, 1 DLL
// command indices, 2 support-library rows, 3 library-qualified type codes.
struct Reloc1 {
  std::array<std::vector<uint32_t>, kReloc1GroupCount> groups;

  bool operator==(const Reloc1&) const = default;
};

ByteVec encodeReloc1(const Reloc1& reloc);
// The memory and declared stored size a compatible writer gives @reloc1.
uint32_t reloc1DeclaredSize(const Reloc1& reloc);
// Reads the groups by their counts from the start of `from` (which may run on
// past the groups); `consumed` receives the bytes taken. `base` is the
// module offset of `from`, for messages.
Result<Reloc1> decodeReloc1(ByteSpan from, size_t* consumed = nullptr, uint64_t base = 0);

// ---- The whole image ------------------------------------------------------------------
struct DllCommand {
  std::string segment{kConstSegment};  // segment whose data holds the two names
  uint32_t fileNameOffset = 0;         // NUL-terminated DLL file name, e.g. "shell32.dll"
  uint32_t commandNameOffset = 0;      // NUL-terminated function name, e.g. "ShellExecuteA"

  bool operator==(const DllCommand&) const = default;
};

// Everything writeImage needs; readImage gives one back. A generator fills
// it like this:
//   model.libraries = {{"kbase", "<32 hex digits>", 1, 0, "..."}, ...};
//   model.segments  = {@const, @form, @hlpfn, @code, @var, @reloc1}   (chain order)
//     @form.data   = encodeForm(form);            memSize = its size
//     @hlpfn.data  = 13 * width zero bytes;       memSize = its size
//     @var.data    = nullopt;                     memSize = size of the variables
//     @reloc1.data = encodeReloc1(reloc);         memSize = reloc1DeclaredSize(reloc)
//   model.startRoutine = offset of the start routine in @code's data;
//   model.dllCommand   = DllCommand{"@const", offsetOfDllName, offsetOfFunctionName};
// The writer derives every layout word (chain start, next links, data offsets,
// the five segment-header words, the start routine's module offset).
struct ImageModel {
  std::array<uint32_t, 4> formatWords = kFormatWords;
  uint32_t startRoutine = 0;              // offset in @code's data
  std::optional<DllCommand> dllCommand;   // the header holds at most one
  std::vector<LibraryRow> libraries;
  std::vector<Segment> segments;          // chain order; the six named segments must all be present
  uint32_t sectionSize = 0;               // pad with zeros up to this size (0: no padding)

  const Segment* segment(std::string_view name) const;
  Segment* segment(std::string_view name);
  bool operator==(const ImageModel&) const = default;
};

// Where a segment lies in the image that was read.
struct SegmentPlacement {
  uint32_t headerOffset = 0;
  uint32_t dataOffset = kNoData;  // module offset of the data, kNoData when nothing is stored
  uint32_t storedSize = 0;        // as declared in the header
};

struct ReadOptions {
  std::optional<Width> width;  // reject images of any other width (a loader passes kNativeWidth)
};

// A checked image. `model` writes back to the same bytes (for images laid out
// as writeImage lays them out); the rest is what a loader or an inspector wants
// without decoding again.
struct Image {
  ImageModel model;
  HeaderWords header{};                    // the fifteen words as stored
  Width width = Width::k32;
  std::vector<SegmentPlacement> placements;  // parallel to model.segments
  Form form;                               // decoded @form
  Reloc1 reloc1;                           // decoded @reloc1 (by counts)
  std::string dllFileName;                 // resolved DLL command names (empty without one)
  std::string dllCommandName;
  uint32_t contentEnd = 0;                 // first byte after the last piece of the image

  // Index in model.segments, or nullopt.
  std::optional<size_t> segmentIndex(std::string_view name) const;
  // The value a fixup field holds (an offset into its target; for kServiceSlot
  // bytesOf(width) * slot). The fixup must belong to `segment` of this image.
  uint64_t fieldValue(const Segment& segment, const Fixup& fixup) const;
  // The service slot a kServiceSlot field names.
  uint32_t serviceSlot(const Segment& segment, const Fixup& fixup) const;
};

// `bytes` starts at the signature and may run on past the image (the rest of
// a section or file); nothing past the last piece is looked at. Besides the
// bounds of every piece, readImage requires: the six named segments, each name
// once; a chain without loops (at most kMaxSegments headers); no two pieces
// sharing bytes (fixups are patched in place); the five segment-header words
// naming those segments; the start routine inside @code's data; @hlpfn of 13
// slots of 4 or 8 bytes; every fixup field inside its segment's data, holding
// an offset inside its target (a whole slot for kServiceSlot); @form as
// decodeForm checks it, with handlers inside @code's data; @reloc1 declared
// kReloc1Shortfall bytes short of its groups, each offset an immediate inside
// @code; library rows of five fields with a 32-digit hexadecimal identifier
// and versions in plain decimal (no sign, no leading zeros, so they write back
// unchanged).
Result<Image> readImage(ByteSpan bytes, ReadOptions options = {});

// Checks the model, lays it out and returns the bytes. The result is read back
// with readImage before it is returned, so a model that the reader would
// reject (a fixup field holding an offset past its target, a handler outside
// @code, ...) fails here with the reader's reason.
Result<ByteVec> writeImage(const ImageModel& model);

// Offset of the first signature field (the 34 characters and two NULs) in
// `bytes`, e.g. inside an executable that embeds an image.
std::optional<size_t> findSignature(ByteSpan bytes);

// ---- Type-specific properties ----------------------------------------------------------
// A checked cursor over Unit::properties for the window system: every read
// checks the remaining bytes and says where it failed.
class PropertyCursor {
 public:
  explicit PropertyCursor(ByteSpan bytes, std::string where = "properties")
      : bytes_(bytes), where_(std::move(where)) {}

  Result<uint32_t> u32();
  Result<int32_t> i32();
  Result<uint8_t> u8();
  // A u32 length, then that many bytes (no NUL).
  Result<std::string> text();
  Result<ByteSpan> bytes(size_t count);

  size_t position() const { return pos_; }
  size_t remaining() const { return bytes_.size() - pos_; }
  bool atEnd() const { return pos_ == bytes_.size(); }

 private:
  Error shortBy(size_t wanted, const char* what) const;

  ByteSpan bytes_;
  size_t pos_ = 0;
  std::string where_;
};

// Appends a property text (u32 length, bytes) for building Unit::properties.
void appendPropertyText(ByteVec& out, std::string_view text);
void appendPropertyU32(ByteVec& out, uint32_t value);

// "0x1ca": how every message shows binary values.
std::string hex(uint64_t value);

}  // namespace ql::image
