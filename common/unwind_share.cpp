#include "common/unwind_share.h"

#if defined(_WIN32) && defined(__i386__) && defined(__GNUC__) && !defined(__SEH__) && \
    !defined(__USING_SJLJ_EXCEPTIONS__)
#define QL_SHARE_UNWIND_TABLES 1
#endif

#ifdef QL_SHARE_UNWIND_TABLES

#include <unwind.h>
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <map>
#include <memory>
#include <mutex>

// The link wraps libgcc's registration (-Wl,--wrap=__register_frame_info, set
// for every module of the 32-bit build) so that a module learns where its own
// tables begin when its start-up code registers them.
extern "C" void __real___register_frame_info(const void* begin, void* object);
extern "C" void* __deregister_frame_info(const void* begin);

namespace {

const void* gOwnTables = nullptr;

// libgcc's bookkeeping record for a registered table (struct object: seven
// words in GCC 12); the unwinder keeps it until deregistration.
struct alignas(16) FrameObject {
  unsigned char bytes[64] = {};
};

std::mutex& adoptedMutex() {
  static std::mutex m;
  return m;
}

std::map<const void*, std::pair<std::unique_ptr<FrameObject>, int>>& adopted() {
  static auto* m = new std::map<const void*, std::pair<std::unique_ptr<FrameObject>, int>>;
  return *m;
}

_Unwind_Reason_Code stopAtOnce(_Unwind_Context*, void*) { return _URC_END_OF_STACK; }

}  // namespace

// Takes the caller's tables (null: none) and gives this module's.
extern "C" __declspec(dllexport) const void* QlShareUnwindTables(const void* callerTables) {
  ql::unwind::adoptTables(callerTables);
  return gOwnTables;
}

extern "C" void __wrap___register_frame_info(const void* begin, void* object) {
  if (!gOwnTables) gOwnTables = begin;
  __real___register_frame_info(begin, object);
}

namespace ql::unwind {

const void* ownTables() { return gOwnTables; }

void adoptTables(const void* tables) {
  if (!tables || tables == gOwnTables) return;
  std::lock_guard lock(adoptedMutex());
  auto& entry = adopted()[tables];
  if (entry.second++ > 0) return;
  // A copy of the unwinder fills its register table on its first walk; the
  // other module's personality routine may ask this copy before it ever walked.
  _Unwind_Backtrace(&stopAtOnce, nullptr);
  entry.first = std::make_unique<FrameObject>();
  __real___register_frame_info(tables, entry.first.get());
}

void forgetTables(const void* tables) {
  if (!tables || tables == gOwnTables) return;
  std::lock_guard lock(adoptedMutex());
  auto it = adopted().find(tables);
  if (it == adopted().end() || --it->second.second > 0) return;
  __deregister_frame_info(tables);
  adopted().erase(it);
}

namespace {

using ShareFn = const void* (*)(const void* callerTables);

ShareFn shareOf(void* module) {
  return reinterpret_cast<ShareFn>(
      reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), "QlShareUnwindTables")));
}

}  // namespace

void shareWithLibrary(void* module) {
  if (ShareFn share = module ? shareOf(module) : nullptr) adoptTables(share(gOwnTables));
}

void unshareLibrary(void* module) {
  if (ShareFn share = module ? shareOf(module) : nullptr) forgetTables(share(nullptr));
}

}  // namespace ql::unwind

#else

namespace ql::unwind {

const void* ownTables() { return nullptr; }
void adoptTables(const void*) {}
void forgetTables(const void*) {}
void shareWithLibrary(void*) {}
void unshareLibrary(void*) {}

}  // namespace ql::unwind

#endif
