// A small 64-bit module for the kernel's tests: an image built with the image
// writer whose @code entries point at the functions below, and the module's
// side of the contract (routines recording their calls, access to the slots
// the kernel filled).
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "module/abi.h"
#include "module/image/image.h"

namespace ql::rt::test {

// ---- Ids of the test form ------------------------------------------------------
constexpr uint32_t kMain = 0x52000001, kMainUnit = 0x06000001;
constexpr uint32_t kMenuFile = 0x26000001, kMenuOpen = 0x26000002, kMenuHelp = 0x26000003, kMenuAbout = 0x26000004;
constexpr uint32_t kList = 0x16000001, kCombo = 0x16000002, kArea = 0x16000003, kScroll = 0x16000004;
constexpr uint32_t kText = 0x16000005, kTimer = 0x16000006, kDialog = 0x16000007;
constexpr uint32_t kLog = 0x52000002, kLogUnit = 0x06000002, kLogText = 0x16000010;

// ---- Handlers, one routine each ----------------------------------------------------
enum Handler : int {
  hCreated,
  hDestroying,
  hMoved,
  hResized,
  hMenuOpen,
  hList,
  hCombo,
  hMouseDown,
  hMouseUp,
  hMouseMove,
  hTick,
  hLogResized,
  kHandlerCount
};

// ---- @code layout: routine entries, then fields the loader fixes up ---------------
constexpr uint32_t kStartEntry = 0x00;
constexpr uint32_t kCleanupEntry = 0x08;
constexpr uint32_t kHandlerBase = 0x10;
constexpr uint32_t handlerOffset(int h) { return kHandlerBase + 8 * uint32_t(h); }
constexpr uint32_t kEmptyEntry = 0xA0;     // an entry left zero
constexpr uint32_t kFieldHlpfn = 0x100;    // kind 0, slot 0: the table itself
constexpr uint32_t kFieldSlot9 = 0x108;    // kind 0, slot 9
constexpr uint32_t kFieldConst = 0x110;    // kind 1, "hello" in @const
constexpr uint32_t kFieldVar = 0x118;      // kind 2, @var + kVarProbe
constexpr uint32_t kFieldCleanup = 0x120;  // kind 3, the clean-up routine's entry
constexpr uint32_t kCodeSize = 0x140;

constexpr uint32_t kConstDll = 0, kConstFunction = 12, kConstHello = 26, kConstSize = 32;
constexpr uint32_t kVarSize = 64, kVarProbe = 16;

struct Call {
  int handler;
  intptr_t a, b, c;
  bool operator==(const Call&) const = default;
};

// The module's state: what its routines do and what they saw.
struct Module {
  std::function<void()> start;                                 // body of the start routine
  std::array<std::function<void()>, kHandlerCount> onHandler;  // extra work of a handler
  std::function<void()> onCleanup;
  std::vector<Call> calls;
  int cleanupRuns = 0;
  int startRuns = 0;
  uint8_t* code = nullptr;  // @code data of the image being run
  void reset() { *this = Module{}; }
};
Module& module();

struct ImageOptions {
  bool badSignature = false;
  std::string row0Id;                     // "" = the kernel's identifier
  bool otherWidth = false;                // service slots of the other pointer width
  uint32_t aboutHandler = image::kNoHandler;  // click handler of the "关于" item
  uint32_t extraControlType = 0;          // non-zero: one more control of this type
  bool dllCommand = true;
  std::string dllFunction = "ShellExecuteA";  // up to 13 characters (its room in @const)
};

// Image bytes and the module offset of @code's data.
struct BuiltImage {
  ByteVec bytes;
  uint32_t codeData = 0;
};
BuiltImage buildImage(const ImageOptions& options = {});
// The form alone (two windows: every control kind, a menu; and a log window).
image::Form testForm(const ImageOptions& options = {});

// A writable copy in memory of its own, followed by an inaccessible page: the
// kernel finds the image's end where that mapping ends.
class MappedImage {
 public:
  explicit MappedImage(const BuiltImage& image);
  ~MappedImage();
  MappedImage(const MappedImage&) = delete;
  MappedImage& operator=(const MappedImage&) = delete;
  uint8_t* data() const { return base_; }
  uint8_t* code() const { return base_ + codeData_; }

 private:
  uint8_t* base_ = nullptr;
  size_t mapped_ = 0;
  uint32_t codeData_ = 0;
};

// A pointer-sized field of the running image's @code.
uintptr_t codeField(uint32_t offset);

// A service slot, read the way module code reaches it: through the fixed-up
// kind-0 field that holds the table's address.
template <class Fn>
Fn slot(int index) {
  const auto* table = reinterpret_cast<const uint8_t*>(codeField(kFieldHlpfn));
  Fn fn;
  std::memcpy(&fn, table + size_t(index) * sizeof(void*), sizeof fn);
  return fn;
}

// GBK from UTF-8 (aborts on a text GBK cannot hold: a fault of the test).
std::string gbk(const char* utf8);

}  // namespace ql::rt::test
