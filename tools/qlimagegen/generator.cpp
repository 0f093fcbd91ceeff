#include "tools/qlimagegen/generator.h"

#include <cstring>
#include <set>

#include "common/gbk.h"
#include "module/abi.h"
#include "runtime/support_lib.h"
#include "tools/qlimagegen/module_texts.h"
#include "tools/qlimagegen/routines.h"

namespace ql::imagegen {

using image::Fixup;
using image::FixupKind;
using image::hex;
using image::Segment;

Result<std::string> gbk(std::string_view utf8, std::string_view what) {
  auto g = utf8ToGbk(utf8);
  if (!g) return fail(std::string(what) + " \"" + std::string(utf8) + "\" has a character GBK cannot hold");
  return *g;
}

const ConstEntry* GeneratedImage::constant(std::string_view name) const {
  for (const auto& c : constants)
    if (c.name == name) return &c;
  return nullptr;
}

const RoutineEntry* GeneratedImage::routine(std::string_view name) const {
  for (const auto& r : routines)
    if (r.name == name) return &r;
  return nullptr;
}

namespace {

// @const: a byte pool addressed by offsets, no alignment and no index.
class ConstPool {
 public:
  Status add(std::string_view name, ConstKind kind, ByteVec bytes, std::string_view source = {}) {
    if (!names_.insert(std::string(name)).second) return fail("@const entry " + std::string(name) + " is defined twice");
    entries_.push_back(ConstEntry{std::string(name), kind, uint32_t(data_.size()), bytes, std::string(source)});
    data_.insert(data_.end(), bytes.begin(), bytes.end());
    return Ok{};
  }
  void pad(size_t count) { data_.insert(data_.end(), count, 0); }
  const ByteVec& data() const { return data_; }
  std::vector<ConstEntry>& entries() { return entries_; }

 private:
  ByteVec data_;
  std::vector<ConstEntry> entries_;
  std::set<std::string> names_;
};

Result<ConstPool> buildConstPool() {
  ConstPool pool;
  for (const TextDef& t : moduleTexts()) {
    auto g = gbk(t.utf8, t.name);
    if (!g) return g.error();
    ByteWriter w;
    w.cstring(*g);
    if (auto s = pool.add(t.name, ConstKind::kText, w.take(), t.utf8); !s) return s.error();
  }
  for (const ByteSetDef& b : moduleByteSets()) {
    auto g = gbk(b.utf8, b.name);
    if (!g) return g.error();
    if (g->size() != b.expectedSize)
      return fail("byte set " + std::string(b.name) + " holds " + std::to_string(g->size()) + " bytes, expected " +
                  std::to_string(b.expectedSize));
    ByteWriter w;
    w.u32(1);
    w.u32(uint32_t(g->size()));
    w.bytes(*g);
    if (auto s = pool.add(b.name, ConstKind::kByteSet, w.take(), b.utf8); !s) return s.error();
  }
  for (const DoubleDef& d : moduleDoubles()) {
    uint64_t bits;
    std::memcpy(&bits, &d.value, 8);
    ByteVec bytes(8);
    for (int i = 0; i < 8; ++i) bytes[i] = uint8_t(bits >> (8 * i));
    if (auto s = pool.add(d.name, ConstKind::kDouble, bytes); !s) return s.error();
  }
  for (const ShapeDef& sh : moduleShapes()) {
    ByteWriter w;
    w.u32(uint32_t(sh.sizes.size()));
    for (uint32_t size : sh.sizes) w.u32(size);
    if (auto s = pool.add(sh.name, ConstKind::kShape, w.take()); !s) return s.error();
  }
  return pool;
}

std::vector<RoutineEntry> placeRoutines(uint32_t width) {
  std::vector<RoutineEntry> out;
  for (const RoutineDef& r : kRoutines) {
    if (r.symbol.empty()) continue;
    const uint32_t offset = (kLinkFieldCount + uint32_t(out.size())) * width;
    out.push_back(RoutineEntry{std::string(r.name), std::string(r.symbol), offset});
  }
  return out;
}

void storeField(ByteVec& data, uint32_t at, uint64_t value, uint32_t width) {
  for (uint32_t i = 0; i < width; ++i) data[at + i] = uint8_t(value >> (8 * i));
}

std::vector<image::LibraryRow> libraryRows() {
  namespace s = ql::support;
  return {
      {"kbase", s::kKernelId, 1, 0, "kernel library"},
      {"opengl", s::kOpenGlId, 1, 0, "OpenGL binding"},
      {"regex", s::kRegexId, 1, 0, "regular expressions"},
      {"imageconv", s::kImageConvId, 1, 0, "image conversion to BMP"},
      {"special", s::kSpecialId, 1, 0, "special functions"},
      {"internet", s::kInternetId, 1, 0, "internet access"},
  };
}

Result<image::ImageModel> assemble(const ByteVec& constData, const image::Form& form, const ByteVec& code,
                                   const std::vector<Fixup>& fixups, const GeneratedImage& g) {
  image::ImageModel m;
  m.libraries = libraryRows();
  auto formData = image::encodeForm(form);
  if (!formData) return formData.error();

  auto stored = [](std::string_view name, uint32_t flags, ByteVec data) {
    Segment s;
    s.name = std::string(name);
    s.flags = flags;
    s.memSize = uint32_t(data.size());
    s.data = std::move(data);
    return s;
  };
  m.segments.push_back(stored(image::kConstSegment, image::kSegmentLoaded, constData));
  m.segments.push_back(stored(image::kFormSegment, image::kSegmentLoaded, std::move(*formData)));
  m.segments.push_back(
      stored(image::kHlpfnSegment, image::kSegmentLoaded, ByteVec(image::hlpfnSize(g.options.width), 0)));
  Segment codeSeg = stored(image::kCodeSegment, image::kSegmentLoaded | image::kSegmentCode, code);
  codeSeg.fixups = fixups;
  m.segments.push_back(std::move(codeSeg));
  Segment var;
  var.name = std::string(image::kVarSegment);
  var.flags = image::kSegmentLoaded | image::kSegmentWritable | image::kSegmentZeroFilled;
  var.memSize = g.options.varSize;
  m.segments.push_back(std::move(var));
  // Our native code embeds no immediates a loader could translate.
  const image::Reloc1 reloc{};
  Segment relocSeg = stored(image::kReloc1Segment, image::kSegmentLoaded, image::encodeReloc1(reloc));
  relocSeg.memSize = image::reloc1DeclaredSize(reloc);
  m.segments.push_back(std::move(relocSeg));

  m.startRoutine = g.routine(kStartRoutine)->codeOffset;
  const ConstEntry* dllFile = g.constant(kDllFileNameText);
  const ConstEntry* dllCommand = g.constant(kDllCommandNameText);
  m.dllCommand = image::DllCommand{std::string(image::kConstSegment), dllFile->offset, dllCommand->offset};
  return m;
}

}  // namespace

Result<GeneratedImage> generateImage(const GeneratorOptions& options) {
  GeneratedImage g;
  g.options = options;
  if (options.varSize == 0) return fail("the module-wide variables' size (@var) is 0");
  const uint32_t w = g.width();

  auto pool = buildConstPool();
  if (!pool) return pool.error();
  g.constants = pool->entries();
  if (!g.constant(kDllFileNameText) || !g.constant(kDllCommandNameText))
    return fail("@const lacks the DLL command's names");

  g.routines = placeRoutines(w);
  const RoutineEntry* cleanup = g.routine(kCleanupRoutine);
  if (!g.routine(kStartRoutine) || !cleanup) return fail("the routine table lacks the start or clean-up routine");

  // @code: the link area, then one zero entry per routine.
  ByteVec code((kLinkFieldCount + g.routines.size()) * w, 0);
  std::vector<Fixup> fixups;
  for (uint32_t slot = 0; slot < kLinkSlotFields; ++slot) {
    storeField(code, slot * w, uint64_t(slot) * w, w);
    fixups.push_back(Fixup{slot * w, FixupKind::kServiceSlot});
  }
  fixups.push_back(Fixup{kLinkConstField * w, FixupKind::kConst});
  fixups.push_back(Fixup{kLinkVarField * w, FixupKind::kVar});
  storeField(code, kLinkCleanupField * w, cleanup->codeOffset, w);
  fixups.push_back(Fixup{kLinkCleanupField * w, FixupKind::kCode});

  auto form = buildForm(g.routines);
  if (!form) return form.error();

  // Lay out once, then pad @const so @code's data lands on an aligned module
  // offset (everything before @code keeps its place; @code moves by the pad).
  ConstPool& constPool = *pool;
  for (int pass = 0; pass < 2; ++pass) {
    auto model = assemble(constPool.data(), *form, code, fixups, g);
    if (!model) return model.error();
    auto bytes = image::writeImage(*model);
    if (!bytes) return fail("writeImage: " + bytes.error().message);
    auto read = image::readImage(*bytes);
    if (!read) return fail("readImage of the generated image: " + read.error().message);
    const auto& placements = read->placements;
    g.constData = placements[*read->segmentIndex(image::kConstSegment)].dataOffset;
    g.formData = placements[*read->segmentIndex(image::kFormSegment)].dataOffset;
    g.hlpfnData = placements[*read->segmentIndex(image::kHlpfnSegment)].dataOffset;
    g.codeData = placements[*read->segmentIndex(image::kCodeSegment)].dataOffset;
    const uint32_t misalign = g.codeData % kCodeAlignment;
    if (misalign == 0) {
      g.model = std::move(*model);
      g.bytes = std::move(*bytes);
      break;
    }
    if (pass == 1) return fail("@code's data at " + hex(g.codeData) + " is still not aligned after padding @const");
    constPool.pad(kCodeAlignment - misalign);
  }
  g.entriesOffset = g.codeData + kLinkFieldCount * w;
  return g;
}

}  // namespace ql::imagegen
