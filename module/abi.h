// The binary contract between the module (the tool, in the executable) and
// the runtime (kernel library and support libraries). Both sides include this
// file; nothing else crosses the boundary.
//
// Widths: the format was made for 32-bit code. Everything that holds an
// address is pointer-sized here (service slots, routine entries, text and
// record elements of arrays, argument values use both 32-bit words); all
// other widths are those of the format.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define QL_EXPORT extern "C" __declspec(dllexport)
#else
#define QL_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace ql::abi {

// ---- Type tags of argument records and command results -------------------
constexpr uint32_t kTagOmitted = 0;
constexpr uint32_t kTagBool = 0x80000002;
constexpr uint32_t kTagText = 0x80000004;
constexpr uint32_t kTagBytes = 0x80000005;
constexpr uint32_t kTagInt = 0x80000301;
constexpr uint32_t kTagFloat = 0x80000501;
constexpr uint32_t kTagDouble = 0x80000601;
constexpr uint32_t kTagArrayFlag = 0x20000000;  // added to a tag: an array of that type
constexpr uint32_t kTagIntArray = kTagInt + kTagArrayFlag;

// ---- Library-qualified type codes: (library row + 1) * 65536 + type -------
// One table for every kind of unit and object. Codes the format does not fix
// (combo box, scroll bar, timer) are ours.
constexpr uint32_t typeCode(uint32_t row, uint32_t type) { return (row + 1) * 65536 + type; }
constexpr uint32_t kTypeWindow = 0x00010001;
constexpr uint32_t kTypeMenuItem = 0x00010003;
constexpr uint32_t kTypeTextBox = 0x00010005;
constexpr uint32_t kTypeDrawingArea = 0x00010008;
constexpr uint32_t kTypeListBox = 0x0001000F;
constexpr uint32_t kTypeComboBox = 0x00010010;
constexpr uint32_t kTypeVScrollBar = 0x00010014;
constexpr uint32_t kTypeTimer = 0x0001001A;
constexpr uint32_t kTypeFileDialog = 0x0001001F;
constexpr uint32_t kTypeValueCell = 0x00010031;
constexpr uint32_t kTypePixelFormat = 0x00020001;  // OpenGL binding: pixel-format record
constexpr uint32_t kTypeRegex = 0x00030001;        // regular expressions: expression object
constexpr uint32_t kTypeMatch = 0x00030002;        // regular expressions: match object

// ---- Identifier kinds (high byte) ------------------------------------------
constexpr uint32_t kIdWindow = 0x52;      // a window, as code refers to it
constexpr uint32_t kIdWindowUnit = 0x06;  // the window's own unit
constexpr uint32_t kIdMenuItem = 0x26;
constexpr uint32_t kIdControl = 0x16;
constexpr uint32_t kIdCodeUnit = 0x19;
constexpr uint32_t idKind(uint32_t id) { return id >> 24; }

// ---- Library rows of the image's library table ------------------------------
enum LibraryRow : int32_t {
  kRowKernel = 0,
  kRowOpenGl = 1,
  kRowRegex = 2,
  kRowImageConv = 3,
  kRowSpecial = 4,
  kRowInternet = 5,
};

// ---- Argument record: a count, then (value low, value high, tag) per argument
struct Arg {
  uint32_t lo;
  uint32_t hi;
  uint32_t tag;
};
static_assert(sizeof(Arg) == 12);

struct ArgRecord {
  uint32_t count;
  Arg args[1];  // `count` entries follow; allocate with argRecordSize()
};
constexpr size_t argRecordSize(uint32_t count) { return 4 + 12 * size_t(count ? count : 1); }

inline uint64_t argValue(const Arg& a) { return uint64_t(a.lo) | uint64_t(a.hi) << 32; }
inline Arg makeArg(uint64_t value, uint32_t tag) { return Arg{uint32_t(value), uint32_t(value >> 32), tag}; }

// A command's result: the value (a double as its 8 bytes, a pointer, or a
// 32-bit value zero-extended) and, for results of varying type, its tag.
struct CmdResult {
  uint64_t value;
  uint32_t tag;
  uint32_t reserved;
};

// ---- Service slots of @hlpfn ------------------------------------------------
enum Slot : int {
  kSlotRuntimeError = 0,
  kSlotDllCommand = 1,
  kSlotLibraryCommand = 2,
  kSlotKernelCommand = 3,
  kSlotReadProperty = 4,
  kSlotWriteProperty = 5,
  kSlotAllocate = 6,
  kSlotReallocate = 7,
  kSlotFree = 8,
  kSlotEndProgram = 9,
  kSlotMessageLoop = 10,
  kSlotOpenWindow = 11,
  kSlotSupport = 12,
  kSlotCount = 13,
};

// Runtime error codes.
constexpr int32_t kErrDimensions = 3;   // wrong number of array indices
constexpr int32_t kErrResultType = 5;   // a command result of the wrong type
constexpr int32_t kErrArraySize = 10;   // an array size not above 0

using RuntimeErrorFn = void (*)(int32_t code);
// The declared DLL function's own arguments, pointer-sized, up to six.
using DllCommandFn = intptr_t (*)(int32_t declaration, intptr_t a1, intptr_t a2, intptr_t a3, intptr_t a4,
                                  intptr_t a5, intptr_t a6);
using LibraryCommandFn = CmdResult (*)(int32_t row, int32_t code, const ArgRecord* args);
using KernelCommandFn = CmdResult (*)(int32_t code, const ArgRecord* args);
using ReadPropertyFn = uint64_t (*)(uint32_t window, uint32_t unit, int32_t property, int32_t reserved);
using WritePropertyFn = void (*)(uint32_t window, uint32_t unit, int32_t property, int32_t reserved,
                                 uint64_t value);
using AllocateFn = void* (*)(uintptr_t size);
using ReallocateFn = void* (*)(void* block, uintptr_t size);
using FreeFn = void (*)(void* block);
using EndProgramFn = void (*)(int32_t);
using MessageLoopFn = void (*)(int32_t);
using OpenWindowFn = void (*)(uint32_t window);
using SupportFn = intptr_t (*)(int32_t selector, intptr_t a, intptr_t b, intptr_t c, intptr_t d);

// Selectors of the support slot.
enum SupportSelector : int32_t {
  kSupportFileSearch = 0,     // a: pattern text or 0 to continue, b: attribute filter, c: flag, d: intptr_t* handle
  kSupportEndSearch = 1,      // a: intptr_t* handle
  kSupportPrepareAppend = 2,  // a: element width, b: void** array variable
  kSupportRegisterCleanup = 3 // a: address of the clean-up routine's entry (Routine*)
};
constexpr int32_t kSearchFiles = 0;
constexpr int32_t kSearchFolders = 0x10;

// ---- Module routines ---------------------------------------------------------
// @code holds one pointer-sized entry per routine the image names by code
// offset; the runtime calls the routine through its entry. Handlers that take
// arguments (mouse x, y, key state) get them in order; the rest ignore them.
using Routine = intptr_t (*)(intptr_t a, intptr_t b, intptr_t c);

// ---- Launcher <-> kernel library --------------------------------------------
constexpr int32_t kGetNewSockMagic = 1000;
using RuntimeEntryFn = void (*)(void* moduleImage);
using GetNewSockFn = void* (*)(int32_t);
inline constexpr char kGetNewSockName[] = "GetNewSock";

// ---- Values --------------------------------------------------------------------
// Array: u32 dimension count, u32 size per dimension, then the elements
// row-major. Numbers are 4 bytes wide; texts and records are pointers.
// Byte set: a one-dimensional byte array (count 1, length, bytes).
constexpr size_t kTextElementWidth = sizeof(void*);

}  // namespace ql::abi

// The executable's module image; its first byte is the signature field.
extern "C" void* ql_module_image_address(void);
