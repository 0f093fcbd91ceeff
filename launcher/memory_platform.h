// A platform that keeps everything in memory: the executable is a byte
// vector, written files are recorded, libraries never load, and the heap has
// a limit and counts its live blocks. For fuzzing and for tests that need a
// failure the real system will not give on demand.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "launcher/launcher.h"

namespace ql::launcher {

class MemoryPlatform : public Platform {
 public:
  // The executable's bytes.
  ByteVec file;
  bool fileOpens = true;
  // A read call starting at this offset fails, or with `shortRead` gives
  // one byte less than asked.
  uint64_t failReadAt = UINT64_MAX;
  bool shortRead = false;

  std::optional<std::string> temp = std::string("/mem/");
  bool folderUsable = true;
  size_t heapLimit = 64u << 20;

  // What the launcher did.
  std::vector<std::string> preparedFolders;
  std::map<std::string, ByteVec> written;
  std::vector<std::string> writeOrder;
  std::vector<std::string> loadAttempts;
  std::vector<std::string> shown;
  size_t liveBlocks = 0;
  size_t maxLiveBlocks = 0;

  std::string ownPath() override { return "/mem/qltool"; }

  std::unique_ptr<InputFile> openForRead(const std::string&) override {
    if (!fileOpens) return nullptr;
    return std::make_unique<File>(*this);
  }
  std::optional<std::string> tempDir() override { return temp; }
  bool prepareFolder(const std::string& path) override {
    preparedFolders.push_back(path);
    return folderUsable;
  }
  void writeFile(const std::string& path, ByteSpan data) override {
    written[path] = ByteVec(data.begin(), data.end());
    writeOrder.push_back(path);
  }
  std::unique_ptr<Library> loadLibrary(const std::string& path) override {
    loadAttempts.push_back(path);
    return nullptr;
  }
  void showError(std::string_view message) override { shown.emplace_back(message); }
  char separator() const override { return '/'; }

  void* allocate(size_t size) override {
    if (size > heapLimit) return nullptr;
    void* block = std::malloc(size ? size : 1);
    if (block && ++liveBlocks > maxLiveBlocks) maxLiveBlocks = liveBlocks;
    return block;
  }
  void release(void* block) override {
    if (block) --liveBlocks;
    std::free(block);
  }

 private:
  class File final : public InputFile {
   public:
    explicit File(MemoryPlatform& owner) : owner_(owner) {}
    std::optional<uint64_t> size() override { return owner_.file.size(); }
    std::optional<size_t> readAt(uint64_t offset, std::span<uint8_t> out) override {
      const ByteVec& f = owner_.file;
      uint64_t end = std::min<uint64_t>(f.size(), offset + out.size());
      if (offset == owner_.failReadAt && !out.empty()) {
        if (!owner_.shortRead) return std::nullopt;
        end = std::min<uint64_t>(end, offset + out.size() - 1);
      }
      if (offset >= end) return 0;
      std::copy(f.begin() + ptrdiff_t(offset), f.begin() + ptrdiff_t(end), out.begin());
      return size_t(end - offset);
    }

   private:
    MemoryPlatform& owner_;
  };
};

}  // namespace ql::launcher
