// qvkm-dump FILE: prints the module image in FILE (an image on its own, or an
// executable that embeds one) in readable form. Texts are shown in UTF-8.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "common/gbk.h"
#include "module/abi.h"
#include "module/image/image.h"

namespace {

using namespace ql::image;
using ql::image::hex;
namespace abi = ql::abi;

std::string show(const std::string& gbk) { return "\"" + ql::gbkToUtf8Lossy(gbk) + "\""; }

std::string typeName(uint32_t type) {
  switch (type) {
    case abi::kTypeWindow: return "window";
    case abi::kTypeMenuItem: return "menu item";
    case abi::kTypeTextBox: return "text box";
    case abi::kTypeDrawingArea: return "drawing area";
    case abi::kTypeListBox: return "list box";
    case abi::kTypeComboBox: return "combo box";
    case abi::kTypeVScrollBar: return "vertical scroll bar";
    case abi::kTypeTimer: return "timer";
    case abi::kTypeFileDialog: return "file dialog";
    default: return "type " + hex(type);
  }
}

void printHeader(const Image& img) {
  const HeaderWords& h = img.header;
  std::printf("header words:\n");
  std::printf("  0x24 first segment header   %s\n", hex(h.firstSegment).c_str());
  std::printf("  0x28 format words           %s %s %s %s\n", hex(h.formatWords[0]).c_str(), hex(h.formatWords[1]).c_str(),
              hex(h.formatWords[2]).c_str(), hex(h.formatWords[3]).c_str());
  std::printf("  0x38 DLL commands           %u\n", h.dllCount);
  std::printf("  0x3c start routine          %s (@code + %s)\n", hex(h.startRoutine).c_str(),
              hex(img.model.startRoutine).c_str());
  std::printf("  0x40 segment headers        @const %s, @form %s, @hlpfn %s, @code %s, @var %s\n",
              hex(h.constHeader).c_str(), hex(h.formHeader).c_str(), hex(h.hlpfnHeader).c_str(),
              hex(h.codeHeader).c_str(), hex(h.varHeader).c_str());
  if (img.model.dllCommand)
    std::printf("  0x54 DLL command 0          %s!%s (segment header %s, names at %s and %s)\n",
                show(img.dllFileName).c_str(), show(img.dllCommandName).c_str(), hex(h.dllSegmentHeader).c_str(),
                hex(h.dllFileName).c_str(), hex(h.dllCommandName).c_str());
}

void printLibraries(const Image& img) {
  std::printf("libraries (%zu):\n", img.model.libraries.size());
  for (size_t i = 0; i < img.model.libraries.size(); ++i) {
    const LibraryRow& r = img.model.libraries[i];
    std::printf("  %zu %s id %s version %u.%u %s\n", i, show(r.name).c_str(), r.id.c_str(), r.major, r.minor,
                show(r.description).c_str());
  }
}

void printSegments(const Image& img) {
  std::printf("segments (%zu, %d-bit fields):\n", img.model.segments.size(), int(bytesOf(img.width) * 8));
  for (size_t i = 0; i < img.model.segments.size(); ++i) {
    const Segment& s = img.model.segments[i];
    const SegmentPlacement& p = img.placements[i];
    size_t byKind[kFixupKindCount] = {};
    for (const Fixup& f : s.fixups) ++byKind[uint32_t(f.kind)];
    std::printf("  %zu %-8s flags %s header %s data %s stored %s memory %s fixups %zu", i, s.name.c_str(),
                hex(s.flags).c_str(), hex(p.headerOffset).c_str(),
                p.dataOffset == kNoData ? "none" : hex(p.dataOffset).c_str(), hex(p.storedSize).c_str(),
                hex(s.memSize).c_str(), s.fixups.size());
    if (!s.fixups.empty())
      std::printf(" (slot %zu, const %zu, var %zu, code %zu)", byKind[0], byKind[1], byKind[2], byKind[3]);
    std::printf("\n");
  }
  static const char* kGroups[kReloc1GroupCount] = {"ids", "DLL command indices", "library rows", "type codes"};
  std::printf("loader lists (@reloc1):");
  for (size_t g = 0; g < kReloc1GroupCount; ++g)
    std::printf("%s %zu %s", g ? "," : "", img.reloc1.groups[g].size(), kGroups[g]);
  std::printf("\n");
}

void printUnit(const Unit& u) {
  std::printf("    %s %s", hex(u.id).c_str(), typeName(u.type).c_str());
  if (!u.name.empty()) std::printf(" %s", show(u.name).c_str());
  if (!u.remark.empty()) std::printf(" remark %s", show(u.remark).c_str());
  if (u.isMenuItem()) {
    std::printf(" level %u %*s%s click handler %s\n", u.level, int(2 * u.level), "", show(u.caption).c_str(),
                u.handler == kNoHandler ? "none" : hex(u.handler).c_str());
    return;
  }
  std::printf(" at %d,%d size %dx%d flags %s", u.left, u.top, u.width, u.height, hex(u.flags).c_str());
  if (u.container) std::printf(" in %s", hex(u.container).c_str());
  if (!u.contained.empty()) {
    std::printf(" holds");
    for (uint32_t id : u.contained) std::printf(" %s", hex(id).c_str());
  }
  std::printf(" properties %zu bytes\n", u.properties.size());
  for (const Event& e : u.events) std::printf("      event %d -> handler %s\n", e.number, hex(e.handler).c_str());
}

void printForm(const Image& img) {
  std::printf("windows (%zu):\n", img.form.windows.size());
  for (const Window& w : img.form.windows) {
    std::printf("  window %s (code unit %s, words %s %s), %zu units\n", hex(w.id).c_str(), hex(w.codeUnitId).c_str(),
                hex(w.listWord).c_str(), hex(w.recordWord).c_str(), w.units.size());
    for (const Unit& u : w.units) printUnit(u);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: qvkm-dump FILE\n  FILE: a module image, or an executable that embeds one\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "qvkm-dump: cannot read %s\n", argv[1]);
    return 1;
  }
  const ql::ByteVec file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto at = findSignature(file);
  if (!at) {
    std::fprintf(stderr, "qvkm-dump: %s holds no module image signature\n", argv[1]);
    return 1;
  }
  auto img = readImage(ql::ByteSpan(file).subspan(*at));
  if (!img) {
    std::fprintf(stderr, "qvkm-dump: image at file offset %s: %s\n", hex(*at).c_str(), img.error().message.c_str());
    return 1;
  }
  std::printf("module image at file offset %s, %s bytes (content ends at %s)\n", hex(*at).c_str(),
              hex(file.size() - *at).c_str(), hex(img->contentEnd).c_str());
  printHeader(*img);
  printLibraries(*img);
  printSegments(*img);
  printForm(*img);
  return 0;
}
