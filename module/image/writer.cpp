// Writing a module image: check what the bytes cannot express, lay the pieces
// out back to back, then read the result back so that every image we hand out
// is one the reader accepts and that reads back as the same model.
#include <algorithm>

#include "module/image/detail.h"

namespace ql::image {

namespace {

bool holds(std::string_view s, char ch) { return s.find(ch) != std::string_view::npos; }

Status checkLibraries(const std::vector<LibraryRow>& rows) {
  if (rows.size() > kMaxLibraries) return fail("more than " + std::to_string(kMaxLibraries) + " library rows");
  for (size_t i = 0; i < rows.size(); ++i) {
    const LibraryRow& r = rows[i];
    const std::string where = "library row " + std::to_string(i) + " (" + r.name + ")";
    for (const std::string* s : {&r.name, &r.id, &r.description})
      if (holds(*s, '\0') || holds(*s, kLibraryFieldSeparator)) return fail(where + ": a field holds a NUL or CR byte");
  }
  return Ok{};
}

Status checkSegments(const ImageModel& m) {
  if (m.segments.size() > kMaxSegments) return fail("more than " + std::to_string(kMaxSegments) + " segments");
  for (size_t i = 0; i < m.segments.size(); ++i) {
    const Segment& s = m.segments[i];
    const std::string where = "segment " + std::to_string(i) + " (" + s.name + ")";
    if (s.name.empty() || s.name.size() >= kSegmentNameSize) return fail(where + ": name must be 1 to 19 bytes");
    for (char ch : s.name)
      if (ch < 0x21 || ch > 0x7E) return fail(where + ": name byte " + hex(uint8_t(ch)) + " is not printable ASCII");
    for (size_t k = 0; k < i; ++k)
      if (m.segments[k].name == s.name) return fail(where + ": name appears twice");
    if (s.data && s.data->size() > kNoData - 1) return fail(where + ": data too large");
    if (s.name == kReloc1Segment && (!s.data || s.data->size() < kReloc1Shortfall))
      return fail(where + ": must hold its groups (encodeReloc1)");
    if (s.fixups.size() > (kNoData - kSegmentHeaderSize) / kFixupWordSize) return fail(where + ": too many fixups");
    for (size_t f = 0; f < s.fixups.size(); ++f)
      if (s.fixups[f].fieldOffset > kMaxFixupFieldOffset || uint32_t(s.fixups[f].kind) >= kFixupKindCount)
        return fail(where + ": fixup " + std::to_string(f) + " (field " + hex(s.fixups[f].fieldOffset) + ", kind " +
                    hex(uint32_t(s.fixups[f].kind)) + ") cannot be encoded");
  }
  return Ok{};
}

void writeLibraryTable(ByteWriter& out, const std::vector<LibraryRow>& rows) {
  for (const LibraryRow& r : rows) {
    out.bytes(r.name);
    out.u8(kLibraryFieldSeparator);
    out.bytes(r.id);
    out.u8(kLibraryFieldSeparator);
    out.bytes(std::to_string(r.major));
    out.u8(kLibraryFieldSeparator);
    out.bytes(std::to_string(r.minor));
    out.u8(kLibraryFieldSeparator);
    out.cstring(r.description);
  }
  out.u8(0);  // the empty record ends the table
}

uint32_t declaredStoredSize(const Segment& s) {
  if (!s.data) return 0;
  const uint32_t size = uint32_t(s.data->size());
  return s.name == kReloc1Segment ? size - kReloc1Shortfall : size;
}

}  // namespace

Result<ByteVec> writeImage(const ImageModel& m) {
  QL_CHECK(checkLibraries(m.libraries));
  QL_CHECK(checkSegments(m));
  if (m.dllCommand && !m.segment(m.dllCommand->segment))
    return fail("DLL command names segment " + m.dllCommand->segment + ", which the model does not hold");

  ByteWriter table;
  writeLibraryTable(table, m.libraries);

  // Layout: every segment's header, fixups and data back to back.
  std::vector<uint32_t> headerAt(m.segments.size()), dataAt(m.segments.size(), kNoData);
  uint64_t pos = uint64_t(kLibraryTableOffset) + table.size();
  for (size_t i = 0; i < m.segments.size(); ++i) {
    const Segment& s = m.segments[i];
    headerAt[i] = uint32_t(pos);
    pos += kSegmentHeaderSize + uint64_t(kFixupWordSize) * s.fixups.size();
    if (s.data) {
      dataAt[i] = uint32_t(pos);
      pos += s.data->size();
    }
    if (pos >= kNoData) return fail("image would exceed 32-bit offsets at segment " + std::to_string(i));
  }
  if (m.sectionSize != 0 && m.sectionSize < pos)
    return fail("section size " + hex(m.sectionSize) + " is smaller than the image's " + hex(pos) + " bytes");

  auto headerOf = [&](std::string_view name) -> uint32_t {
    for (size_t i = 0; i < m.segments.size(); ++i)
      if (m.segments[i].name == name) return headerAt[i];
    return kChainEnd;  // the read-back check names the missing segment
  };
  uint32_t codeData = 0;
  for (size_t i = 0; i < m.segments.size(); ++i)
    if (m.segments[i].name == kCodeSegment && dataAt[i] != kNoData) codeData = dataAt[i];

  ByteWriter out;
  out.bytes(kSignatureText);
  out.zeros(kSignatureSize - kSignatureText.size());
  out.u32(m.segments.empty() ? kChainEnd : headerAt[0]);
  for (uint32_t w : m.formatWords) out.u32(w);
  out.u32(m.dllCommand ? 1 : 0);
  out.u32(uint32_t(uint64_t(codeData) + m.startRoutine));  // wraps only for a model the read-back rejects
  for (auto name : {kConstSegment, kFormSegment, kHlpfnSegment, kCodeSegment, kVarSegment}) out.u32(headerOf(name));
  if (m.dllCommand) {
    out.u32(headerOf(m.dllCommand->segment));
    out.u32(m.dllCommand->fileNameOffset);
    out.u32(m.dllCommand->commandNameOffset);
  } else {
    out.zeros(12);
  }
  out.bytes(table.data());

  for (size_t i = 0; i < m.segments.size(); ++i) {
    const Segment& s = m.segments[i];
    out.u32(uint32_t(kSegmentHeaderSize + kFixupWordSize * s.fixups.size()));
    out.u32(i + 1 < m.segments.size() ? headerAt[i + 1] : kChainEnd);
    out.u32(s.flags);
    out.bytes(s.name);
    out.zeros(kSegmentNameSize - s.name.size());
    out.u32(0);
    out.u32(s.memSize);
    out.u32(declaredStoredSize(s));
    out.u32(dataAt[i]);
    out.u32(uint32_t(s.fixups.size()));
    out.u32(0);
    for (const Fixup& f : s.fixups) out.u32(encodeFixup(f));
    if (s.data) out.bytes(*s.data);
  }
  if (out.size() < m.sectionSize) out.zeros(m.sectionSize - out.size());

  auto back = readImage(out.data());
  if (!back) return fail("written image does not read back: " + back.error().message);
  ImageModel expected = m, got = back->model;
  expected.sectionSize = got.sectionSize = 0;
  if (!(got == expected)) return fail("written image reads back as a different model");
  return out.take();
}

}  // namespace ql::image
