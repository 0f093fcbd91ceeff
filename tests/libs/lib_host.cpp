#include "tests/libs/lib_host.h"

#include "common/dynlib.h"


#include <cstdlib>
#include <mutex>
#include <set>

#include <gtest/gtest.h>

namespace ql::test {
namespace {

std::mutex gMutex;
std::set<const void*> gLive;
size_t gBadReleases = 0;

void* hostAllocate(uintptr_t size) {
  void* p = std::malloc(size ? size : 1);
  std::lock_guard lock(gMutex);
  gLive.insert(p);
  return p;
}

void hostRelease(void* block) {
  if (!block) return;
  {
    std::lock_guard lock(gMutex);
    if (gLive.erase(block) == 0) {
      ++gBadReleases;
      return;
    }
  }
  std::free(block);
}

void* hostReallocate(void* block, uintptr_t size) {
  std::lock_guard lock(gMutex);
  if (block && gLive.erase(block) == 0) {
    ++gBadReleases;
    return nullptr;
  }
  void* p = std::realloc(block, size ? size : 1);
  gLive.insert(p);
  return p;
}

[[noreturn]] void hostRuntimeError(int32_t code) {
  ADD_FAILURE() << "support library raised runtime error " << code;
  std::abort();
}

const QlHost gHost{kQlHostVersion, hostAllocate, hostReallocate, hostRelease, hostRuntimeError, nullptr};

}  // namespace

size_t liveBlocks() {
  std::lock_guard lock(gMutex);
  return gLive.size();
}

bool isLiveBlock(const void* block) {
  std::lock_guard lock(gMutex);
  return gLive.count(block) != 0;
}

void releaseBlock(void* block) { gHost.release(block); }

size_t badReleases() {
  std::lock_guard lock(gMutex);
  return gBadReleases;
}

const QlHost* countingHost() { return &gHost; }

LoadedLibrary::LoadedLibrary(const char* fileName) {
  const std::string path = std::string(QL_RUNTIME_DIR) + "/" + fileName;
  handle_ = ql::dynlib::open(path);
  if (!handle_) {
    error_ = ql::dynlib::lastError();
    return;
  }
  info_ = reinterpret_cast<QlLibInfoFn>(ql::dynlib::symbol(handle_, support::kInfoSymbol));
  init_ = reinterpret_cast<QlLibInitFn>(ql::dynlib::symbol(handle_, support::kInitSymbol));
  auto command = reinterpret_cast<QlLibCommandFn>(ql::dynlib::symbol(handle_, support::kCommandSymbol));
  if (!info_ || !init_ || !command) {
    error_ = "missing entry point in " + path;
    return;
  }
  command_ = command;
}

LoadedLibrary::~LoadedLibrary() {
  if (handle_) ql::dynlib::close(handle_);
}

std::string byteSetBytes(const void* block) {
  uint32_t shape[2];
  std::memcpy(shape, block, sizeof shape);
  EXPECT_EQ(shape[0], 1u) << "a byte set has one dimension";
  return std::string(static_cast<const char*>(block) + 8, shape[1]);
}

}  // namespace ql::test
