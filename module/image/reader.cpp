// Reading a module image. Two passes: the first checks every piece's bounds
// (header, library table, segment chain, fixup lists, stored data, @reloc1
// groups) without copying anything, so a truncated or hostile image fails
// cheaply; the second decodes and cross-checks the contents.
#include <algorithm>
#include <charconv>
#include <cstring>

#include "module/image/detail.h"

namespace ql::image {

using detail::Cursor;

namespace {

std::string segmentWhere(size_t index, std::string_view name, uint32_t headerOffset) {
  std::string s = "segment " + std::to_string(index);
  if (!name.empty()) s += " (" + std::string(name) + ")";
  return s + " header at " + hex(headerOffset);
}

HeaderWords loadHeaderWords(const uint8_t* p) {
  HeaderWords h{};
  uint32_t words[kHeaderWordCount];
  for (size_t i = 0; i < kHeaderWordCount; ++i) words[i] = loadU32(p + 4 * i);
  h.firstSegment = words[0];
  for (size_t i = 0; i < 4; ++i) h.formatWords[i] = words[1 + i];
  h.dllCount = words[5];
  h.startRoutine = words[6];
  h.constHeader = words[7];
  h.formHeader = words[8];
  h.hlpfnHeader = words[9];
  h.codeHeader = words[10];
  h.varHeader = words[11];
  h.dllSegmentHeader = words[12];
  h.dllFileName = words[13];
  h.dllCommandName = words[14];
  return h;
}

SegmentHeader loadSegmentHeader(const uint8_t* p) {
  SegmentHeader h{};
  h.headerSize = loadU32(p + 0);
  h.next = loadU32(p + 4);
  h.flags = loadU32(p + 8);
  std::memcpy(h.name, p + 12, kSegmentNameSize);
  h.reserved0 = loadU32(p + 32);
  h.memSize = loadU32(p + 36);
  h.storedSize = loadU32(p + 40);
  h.dataOffset = loadU32(p + 44);
  h.fixupCount = loadU32(p + 48);
  h.reserved1 = loadU32(p + 52);
  return h;
}

// ---- Library table ---------------------------------------------------------------

bool isHexDigit(char ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

// A decimal text in its one canonical spelling, so that rows write back
// unchanged.
std::optional<uint32_t> parseDecimal(std::string_view s) {
  if (s.empty() || (s.size() > 1 && s[0] == '0')) return std::nullopt;
  uint32_t v = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

Result<LibraryRow> parseLibraryRow(std::string_view record, size_t index, uint64_t at) {
  // Messages are built only on failure: truncated images reach here often.
  auto where = [&] { return "library table row " + std::to_string(index) + " at " + hex(at); };
  std::string_view fields[kLibraryFieldCount];
  size_t count = 0, start = 0;
  while (true) {
    size_t cr = record.find(kLibraryFieldSeparator, start);
    if (count < kLibraryFieldCount)
      fields[count] = record.substr(start, cr == std::string_view::npos ? std::string_view::npos : cr - start);
    ++count;
    if (cr == std::string_view::npos) break;
    start = cr + 1;
  }
  if (count != kLibraryFieldCount)
    return fail(where() + ": " + std::to_string(count) + " CR-separated fields, expected 5");
  LibraryRow row;
  row.name = fields[0];
  row.id = fields[1];
  if (row.id.size() != kLibraryIdDigits || !std::all_of(row.id.begin(), row.id.end(), isHexDigit))
    return fail(where() + ": identifier \"" + row.id + "\" is not 32 hexadecimal digits");
  auto major = parseDecimal(fields[2]);
  auto minor = parseDecimal(fields[3]);
  if (!major || !minor)
    return fail(where() + ": version \"" + std::string(fields[2]) + "\".\"" + std::string(fields[3]) +
                "\" is not two decimal numbers");
  row.major = *major;
  row.minor = *minor;
  row.description = fields[4];
  return row;
}

// Rows from kLibraryTableOffset up to the empty record; `end` receives the
// offset after that record.
Result<std::vector<LibraryRow>> readLibraryTable(ByteSpan image, uint32_t* end) {
  std::vector<LibraryRow> rows;
  uint64_t pos = kLibraryTableOffset;
  while (true) {
    if (pos >= image.size())
      return fail("library table has no ending record: it runs to the end of the image at " + hex(image.size()) +
                  " after " + std::to_string(rows.size()) + " rows");
    auto record = readCString(image, pos);
    if (!record)
      return fail("library table row " + std::to_string(rows.size()) + " at " + hex(pos) +
                  " has no NUL before the end of the image at " + hex(image.size()) + " (no ending record)");
    if (record->empty()) break;
    if (rows.size() == kMaxLibraries)
      return fail("library table holds more than " + std::to_string(kMaxLibraries) + " rows");
    QL_TRY(LibraryRow row, parseLibraryRow(*record, rows.size(), pos));
    rows.push_back(std::move(row));
    pos += record->size() + 1;
  }
  *end = uint32_t(pos + 1);
  return rows;
}

// ---- Segment chain ------------------------------------------------------------------

struct ChainEntry {
  SegmentHeader header{};
  std::string name;
  SegmentPlacement placement;
  uint64_t end = 0;  // first byte after its header, fixups and data
};

Result<std::string> segmentName(const SegmentHeader& h, size_t index, uint32_t pos) {
  auto where = [&] { return segmentWhere(index, "", pos); };
  const char* nul = static_cast<const char*>(std::memchr(h.name, 0, kSegmentNameSize));
  if (!nul) return fail(where() + ": name has no NUL in its 20 bytes");
  std::string name(h.name, nul);
  if (name.empty()) return fail(where() + ": empty name");
  for (const char* p = nul; p < h.name + kSegmentNameSize; ++p)
    if (*p != 0) return fail(where() + ": name padding byte " + hex(p - h.name) + " is " + hex(uint8_t(*p)) + ", expected 0");
  for (char ch : name)
    if (ch < 0x21 || ch > 0x7E) return fail(where() + ": name byte " + hex(uint8_t(ch)) + " is not printable ASCII");
  return name;
}

Result<std::vector<ChainEntry>> walkChain(ByteSpan image, uint32_t first) {
  std::vector<ChainEntry> chain;
  uint32_t pos = first;
  while (pos != kChainEnd) {
    const size_t index = chain.size();
    for (size_t k = 0; k < chain.size(); ++k)
      if (chain[k].placement.headerOffset == pos)
        return fail("segment chain loops: segment " + std::to_string(index - 1) + " links back to the header at " +
                    hex(pos) + " of segment " + std::to_string(k) + " (" + chain[k].name + ")");
    if (index == kMaxSegments) return fail("segment chain holds more than " + std::to_string(kMaxSegments) + " headers");
    if (!inBounds(pos, kSegmentHeaderSize, image.size()))
      return fail(segmentWhere(index, "", pos) + ": 0x38 bytes do not fit in the image of " + hex(image.size()) +
                  " bytes");
    ChainEntry e;
    e.header = loadSegmentHeader(image.data() + pos);
    const SegmentHeader& h = e.header;
    QL_TRY(e.name, segmentName(h, index, pos));
    auto where = [&] { return segmentWhere(index, e.name, pos); };
    for (const auto& other : chain)
      if (other.name == e.name) return fail(where() + ": name appears twice in the chain");
    if (h.reserved0 != 0 || h.reserved1 != 0)
      return fail(where() + ": reserved words " + hex(h.reserved0) + ", " + hex(h.reserved1) + ", expected 0");
    const uint64_t headerSize = kSegmentHeaderSize + uint64_t(kFixupWordSize) * h.fixupCount;
    if (h.headerSize != headerSize)
      return fail(where() + ": header size " + hex(h.headerSize) + " but " + hex(h.fixupCount) + " fixups need " +
                  hex(headerSize));
    if (!inBounds(pos, headerSize, image.size()))
      return fail(where() + ": header with " + hex(h.fixupCount) + " fixups (" + hex(headerSize) +
                  " bytes) runs past the end of the image at " + hex(image.size()));
    e.end = pos + headerSize;
    if (h.dataOffset == kNoData) {
      if (h.storedSize != 0)
        return fail(where() + ": stores nothing (data offset " + hex(kNoData) + ") but declares " + hex(h.storedSize) +
                    " stored bytes");
    } else {
      if (!inBounds(h.dataOffset, h.storedSize, image.size()))
        return fail(where() + ": data at " + hex(h.dataOffset) + " of " + hex(h.storedSize) +
                    " bytes runs past the end of the image at " + hex(image.size()));
      e.end = std::max<uint64_t>(e.end, uint64_t(h.dataOffset) + h.storedSize);
    }
    if (h.storedSize > h.memSize)
      return fail(where() + ": stores " + hex(h.storedSize) + " bytes, more than its memory size " + hex(h.memSize));
    e.placement = SegmentPlacement{pos, h.dataOffset, h.storedSize};
    pos = h.next;
    chain.push_back(std::move(e));
  }
  return chain;
}

const ChainEntry* byName(const std::vector<ChainEntry>& chain, std::string_view name) {
  for (const auto& e : chain)
    if (e.name == name) return &e;
  return nullptr;
}

ByteSpan storedData(ByteSpan image, const ChainEntry& e) {
  if (e.placement.dataOffset == kNoData) return {};
  return image.subspan(e.placement.dataOffset, e.placement.storedSize);
}

// A loader patches fixup fields in place, so no piece may share bytes with
// another: a field in @code must never be a segment header's word.
Status checkNoOverlap(const std::vector<ChainEntry>& chain, uint32_t libraryEnd, const ChainEntry& reloc,
                      size_t relocBytes) {
  struct Piece {
    uint64_t start, end;
    std::string what;
  };
  std::vector<Piece> pieces;
  pieces.push_back({0, libraryEnd, "signature, header words and library table"});
  for (size_t i = 0; i < chain.size(); ++i) {
    const ChainEntry& e = chain[i];
    const uint64_t h = e.placement.headerOffset;
    pieces.push_back({h, h + e.header.headerSize, segmentWhere(i, e.name, e.placement.headerOffset)});
    if (e.placement.dataOffset != kNoData) {
      const uint64_t d = e.placement.dataOffset;
      const uint64_t size = &e == &reloc ? relocBytes : e.placement.storedSize;
      if (size) pieces.push_back({d, d + size, "segment " + std::to_string(i) + " (" + e.name + ") data"});
    }
  }
  std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.start < b.start; });
  for (size_t i = 1; i < pieces.size(); ++i)
    if (pieces[i].start < pieces[i - 1].end)
      return fail(pieces[i].what + " (" + hex(pieces[i].start) + ".." + hex(pieces[i].end) + ") overlaps " +
                  pieces[i - 1].what + " (" + hex(pieces[i - 1].start) + ".." + hex(pieces[i - 1].end) + ")");
  return Ok{};
}

// ---- Fixups ---------------------------------------------------------------------------

struct Targets {
  uint32_t constSize, varSize, codeSize;
};

Status checkFixups(ByteSpan image, const ChainEntry& e, size_t index, Width width, const Targets& t,
                   std::vector<Fixup>* out) {
  const uint32_t w = bytesOf(width);
  const ByteSpan data = storedData(image, e);
  out->reserve(e.header.fixupCount);
  for (uint32_t i = 0; i < e.header.fixupCount; ++i) {
    const uint64_t at = uint64_t(e.placement.headerOffset) + kSegmentHeaderSize + uint64_t(kFixupWordSize) * i;
    const uint32_t word = loadU32(image.data() + at);
    auto fw = [&] {
      return segmentWhere(index, e.name, e.placement.headerOffset) + ": fixup " + std::to_string(i) + " (" + hex(word) +
             " at " + hex(at) + ")";
    };
    const uint32_t kind = word & kFixupKindMask;
    const uint32_t field = word >> kFixupKindBits;
    if (kind >= kFixupKindCount) return fail(fw() + ": kind " + hex(kind) + " is none of 0 to 3");
    if (!inBounds(field, w, data.size()))
      return fail(fw() + ": field at " + hex(field) + " of " + hex(w) + " bytes lies outside the stored data of " +
                  hex(data.size()) + " bytes");
    const uint64_t value = width == Width::k64 ? loadU64(data.data() + field) : loadU32(data.data() + field);
    switch (FixupKind(kind)) {
      case FixupKind::kServiceSlot:
        if (value % w != 0 || value / w >= kServiceSlotCount)
          return fail(fw() + ": field holds " + hex(value) + ", not " + hex(w) + " times a slot below 13");
        break;
      case FixupKind::kConst:
        if (value >= t.constSize)
          return fail(fw() + ": field holds " + hex(value) + ", past @const of " + hex(t.constSize) + " bytes");
        break;
      case FixupKind::kVar:
        if (value >= t.varSize)
          return fail(fw() + ": field holds " + hex(value) + ", past @var of " + hex(t.varSize) + " bytes");
        break;
      case FixupKind::kCode:
        if (value >= t.codeSize)
          return fail(fw() + ": field holds " + hex(value) + ", past @code of " + hex(t.codeSize) + " bytes");
        break;
    }
    out->push_back(Fixup{field, FixupKind(kind)});
  }
  return Ok{};
}

// Handlers named by @form must lie in @code's stored data.
Status checkHandlers(const Form& form, uint32_t codeSize) {
  for (size_t wi = 0; wi < form.windows.size(); ++wi) {
    const Window& w = form.windows[wi];
    for (size_t ui = 0; ui < w.units.size(); ++ui) {
      const Unit& u = w.units[ui];
      auto where = [&] {
        return "@form window " + std::to_string(wi) + " (id " + hex(w.id) + ") unit " + std::to_string(ui) + " (id " +
               hex(u.id) + ")";
      };
      if (u.isMenuItem()) {
        if (u.handler != kNoHandler && u.handler >= codeSize)
          return fail(where() + ": click handler " + hex(u.handler) + " lies past @code of " + hex(codeSize) + " bytes");
        continue;
      }
      for (size_t ei = 0; ei < u.events.size(); ++ei)
        if (u.events[ei].handler >= codeSize)
          return fail(where() + ": event " + std::to_string(ei) + " (number " + std::to_string(u.events[ei].number) +
                      ") handler " + hex(u.events[ei].handler) + " lies past @code of " + hex(codeSize) + " bytes");
    }
  }
  return Ok{};
}

}  // namespace

// ---- Image -------------------------------------------------------------------------------

const Segment* ImageModel::segment(std::string_view name) const {
  for (const auto& s : segments)
    if (s.name == name) return &s;
  return nullptr;
}

Segment* ImageModel::segment(std::string_view name) {
  for (auto& s : segments)
    if (s.name == name) return &s;
  return nullptr;
}

std::optional<size_t> Image::segmentIndex(std::string_view name) const {
  for (size_t i = 0; i < model.segments.size(); ++i)
    if (model.segments[i].name == name) return i;
  return std::nullopt;
}

uint64_t Image::fieldValue(const Segment& segment, const Fixup& fixup) const {
  const uint8_t* p = segment.data->data() + fixup.fieldOffset;
  return width == Width::k64 ? loadU64(p) : loadU32(p);
}

uint32_t Image::serviceSlot(const Segment& segment, const Fixup& fixup) const {
  return uint32_t(fieldValue(segment, fixup) / bytesOf(width));
}

std::optional<size_t> findSignature(ByteSpan bytes) {
  static constexpr char kField[kSignatureSize] = "QVKM / MADE BY Q COMPILER - QUELM \0";
  static_assert(sizeof(kField) == kSignatureSize);
  if (bytes.size() < kSignatureSize) return std::nullopt;
  auto it = std::search(bytes.begin(), bytes.end(), kField, kField + kSignatureSize,
                        [](uint8_t a, char b) { return a == uint8_t(b); });
  if (it == bytes.end()) return std::nullopt;
  return size_t(it - bytes.begin());
}

Result<Image> readImage(ByteSpan bytes, ReadOptions options) {
  // ---- Pass 1: bounds of every piece.
  if (bytes.size() < kLibraryTableOffset)
    return fail("image of " + hex(bytes.size()) + " bytes is shorter than its signature and header words (" +
                hex(kLibraryTableOffset) + ")");
  if (findSignature(bytes.first(kSignatureSize)) != 0) return fail("signature field at 0x0 is not \"" + std::string(kSignatureText) + "\" and two NULs");
  if (bytes.size() > kNoData) return fail("image of " + hex(bytes.size()) + " bytes is too large for 32-bit offsets");

  Image img;
  img.header = loadHeaderWords(bytes.data() + kHeaderWordsOffset);
  const HeaderWords& h = img.header;
  if (h.dllCount > 1)
    return fail("header word 0x38 declares " + hex(h.dllCount) + " DLL commands; the header holds one");

  uint32_t libraryEnd = 0;
  QL_TRY(img.model.libraries, readLibraryTable(bytes, &libraryEnd));
  QL_TRY(std::vector<ChainEntry> chain, walkChain(bytes, h.firstSegment));

  static constexpr std::string_view kRequired[] = {kConstSegment, kFormSegment, kHlpfnSegment,
                                                  kCodeSegment,  kVarSegment,  kReloc1Segment};
  for (auto name : kRequired)
    if (!byName(chain, name)) return fail("segment chain has no " + std::string(name) + " segment");
  const ChainEntry& constSeg = *byName(chain, kConstSegment);
  const ChainEntry& formSeg = *byName(chain, kFormSegment);
  const ChainEntry& hlpfnSeg = *byName(chain, kHlpfnSegment);
  const ChainEntry& codeSeg = *byName(chain, kCodeSegment);
  const ChainEntry& varSeg = *byName(chain, kVarSegment);
  const ChainEntry& relocSeg = *byName(chain, kReloc1Segment);
  for (const ChainEntry* e : {&constSeg, &formSeg, &hlpfnSeg, &codeSeg, &relocSeg})
    if (e->placement.dataOffset == kNoData) return fail(e->name + " segment stores no data");

  // @reloc1 goes by its counts, which may run past the declared size.
  const ByteSpan relocFrom = bytes.subspan(relocSeg.placement.dataOffset);
  size_t relocBytes = 0;
  QL_TRY(img.reloc1, decodeReloc1(relocFrom, &relocBytes, relocSeg.placement.dataOffset));
  if (relocBytes - kReloc1Shortfall != relocSeg.placement.storedSize)
    return fail("@reloc1 declares " + hex(relocSeg.placement.storedSize) + " stored bytes; its groups take " +
                hex(relocBytes) + " (a compatible image declares " + hex(kReloc1Shortfall) + " fewer)");

  QL_CHECK(checkNoOverlap(chain, libraryEnd, relocSeg, relocBytes));
  uint64_t end = libraryEnd;
  for (const auto& e : chain) end = std::max(end, e.end);
  end = std::max<uint64_t>(end, uint64_t(relocSeg.placement.dataOffset) + relocBytes);
  img.contentEnd = uint32_t(end);

  // ---- Pass 2: contents.
  struct Named {
    const char* word;
    uint32_t value;
    const ChainEntry& seg;
  };
  for (const Named& n : {Named{"0x40 (@const)", h.constHeader, constSeg}, Named{"0x44 (@form)", h.formHeader, formSeg},
                         Named{"0x48 (@hlpfn)", h.hlpfnHeader, hlpfnSeg}, Named{"0x4c (@code)", h.codeHeader, codeSeg},
                         Named{"0x50 (@var)", h.varHeader, varSeg}})
    if (n.value != n.seg.placement.headerOffset)
      return fail(std::string("header word ") + n.word + " is " + hex(n.value) + " but that segment's header lies at " +
                  hex(n.seg.placement.headerOffset));

  const uint32_t slotsSize = hlpfnSeg.placement.storedSize;
  if (hlpfnSeg.header.memSize != slotsSize || (slotsSize != hlpfnSize(Width::k32) && slotsSize != hlpfnSize(Width::k64)))
    return fail("@hlpfn holds " + hex(slotsSize) + " stored bytes of " + hex(hlpfnSeg.header.memSize) +
                " in memory, not 13 slots of 4 or 8 bytes");
  img.width = slotsSize == hlpfnSize(Width::k64) ? Width::k64 : Width::k32;
  if (options.width && *options.width != img.width)
    return fail("image has " + std::to_string(bytesOf(img.width) * 8) + "-bit service slots, this loader needs " +
                std::to_string(bytesOf(*options.width) * 8) + "-bit ones");

  const uint32_t codeStart = codeSeg.placement.dataOffset;
  const uint32_t codeSize = codeSeg.placement.storedSize;
  if (h.startRoutine < codeStart || h.startRoutine - codeStart >= codeSize)
    return fail("header word 0x3c: start routine at " + hex(h.startRoutine) + " lies outside @code's data at " +
                hex(codeStart) + " of " + hex(codeSize) + " bytes");
  img.model.startRoutine = h.startRoutine - codeStart;
  img.model.formatWords = {h.formatWords[0], h.formatWords[1], h.formatWords[2], h.formatWords[3]};

  if (h.dllCount == 1) {
    const ChainEntry* names = nullptr;
    for (const auto& e : chain)
      if (e.placement.headerOffset == h.dllSegmentHeader) names = &e;
    if (!names) return fail("header word 0x54: DLL command 0 names segment header " + hex(h.dllSegmentHeader) + ", which is none in the chain");
    const ByteSpan data = storedData(bytes, *names);
    auto file = readCString(data, h.dllFileName);
    auto command = readCString(data, h.dllCommandName);
    if (!file) return fail("header word 0x58: DLL file name at " + hex(h.dllFileName) + " is no NUL-terminated text in " + names->name + "'s " + hex(data.size()) + " bytes");
    if (!command) return fail("header word 0x5c: DLL command name at " + hex(h.dllCommandName) + " is no NUL-terminated text in " + names->name + "'s " + hex(data.size()) + " bytes");
    img.dllFileName = *file;
    img.dllCommandName = *command;
    img.model.dllCommand = DllCommand{names->name, h.dllFileName, h.dllCommandName};
  } else if (h.dllSegmentHeader != 0 || h.dllFileName != 0 || h.dllCommandName != 0) {
    return fail("header words 0x54..0x5c describe a DLL command, but word 0x38 declares none");
  }

  const Targets targets{constSeg.header.memSize, varSeg.header.memSize, codeSeg.header.memSize};
  img.model.segments.reserve(chain.size());
  for (size_t i = 0; i < chain.size(); ++i) {
    const ChainEntry& e = chain[i];
    Segment s;
    s.name = e.name;
    s.flags = e.header.flags;
    s.memSize = e.header.memSize;
    QL_CHECK(checkFixups(bytes, e, i, img.width, targets, &s.fixups));
    if (&e == &relocSeg) {
      const ByteSpan groups = relocFrom.first(relocBytes);
      s.data = ByteVec(groups.begin(), groups.end());
    } else if (e.placement.dataOffset != kNoData) {
      const ByteSpan data = storedData(bytes, e);
      s.data = ByteVec(data.begin(), data.end());
    }
    img.model.segments.push_back(std::move(s));
    img.placements.push_back(e.placement);
  }

  QL_TRY(img.form, decodeForm(storedData(bytes, formSeg), formSeg.placement.dataOffset));
  QL_CHECK(checkHandlers(img.form, codeSize));
  for (size_t g = 0; g < kReloc1GroupCount; ++g)
    for (size_t i = 0; i < img.reloc1.groups[g].size(); ++i) {
      const uint32_t off = img.reloc1.groups[g][i];
      if (!inBounds(off, kReloc1ImmediateSize, codeSize))
        return fail("@reloc1 group " + std::to_string(g) + " offset " + std::to_string(i) + ": immediate at " + hex(off) +
                    " lies outside @code's " + hex(codeSize) + " bytes");
    }

  img.model.sectionSize = bytes.size() > img.contentEnd ? uint32_t(bytes.size()) : 0;
  return img;
}

}  // namespace ql::image
