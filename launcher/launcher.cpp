#include "launcher/launcher.h"

#include <zlib.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include "launcher/package_format.h"
#include "module/abi.h"

namespace ql::launcher {

void* Platform::allocate(size_t size) { return std::malloc(size); }
void Platform::release(void* block) { std::free(block); }

std::string_view messageFor(Outcome outcome) {
  switch (outcome) {
    case Outcome::kStarted: return {};
    case Outcome::kCantOpenFile: return "Can't open file!";
    case Outcome::kInvalidData: return "Invalid data in the file!";
    case Outcome::kTrailerReadFailed: return "Failed to read data from the file!";
    case Outcome::kOutOfMemory: return "Insufficient memory!";
    case Outcome::kPackageReadFailed: return "Failed to read file or invalid data in file!";
    case Outcome::kNoTempDir: return "Can't retrieve the temporary directory!";
    case Outcome::kDecompressFailed: return "Failed to decompress data!";
    case Outcome::kKernelNotFound: return "Not found the kernel library!";
    case Outcome::kKernelLoadFailed: return "Failed to load kernel library!";
    case Outcome::kKernelInvalid: return "The kernel library is invalid!";
    case Outcome::kKernelInterfaceInvalid: return "The interface of kernel library is invalid!";
  }
  return {};
}

namespace {

// One heap block from the platform, released when it goes out of scope or
// earlier through reset().
class HeapBlock {
 public:
  explicit HeapBlock(Platform& platform) : platform_(platform) {}
  ~HeapBlock() { reset(); }
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;

  bool allocate(size_t size) {
    reset();
    data_ = static_cast<uint8_t*>(platform_.allocate(size));
    size_ = data_ ? size : 0;
    return data_ != nullptr;
  }
  void reset() {
    if (data_) platform_.release(data_);
    data_ = nullptr;
    size_ = 0;
  }
  uint8_t* data() { return data_; }
  std::span<uint8_t> span() { return {data_, size_}; }

 private:
  Platform& platform_;
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

#if defined(__MINGW32__)
#define QL_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define QL_PRINTF_FORMAT printf
#endif

__attribute__((format(QL_PRINTF_FORMAT, 1, 2))) std::string format(const char* fmt, ...) {
  char buf[256];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

LaunchResult failure(Outcome outcome, std::string detail) { return LaunchResult{outcome, std::move(detail)}; }

using ull = unsigned long long;

// Steps up to the runtime entry. Every buffer lives in this function, so all
// of them are released when it returns, before the runtime is entered.
LaunchResult prepare(Platform& platform, std::unique_ptr<Library>& kernel, abi::RuntimeEntryFn& entry) {
  // Our own file, and the trailer at its end.
  const std::string ownPath = platform.ownPath();
  std::unique_ptr<InputFile> file = ownPath.empty() ? nullptr : platform.openForRead(ownPath);
  if (!file) return failure(Outcome::kCantOpenFile, "cannot open the executable '" + ownPath + "'");

  const std::optional<uint64_t> fileSize = file->size();
  if (!fileSize) return failure(Outcome::kTrailerReadFailed, "the executable's size is unknown");
  if (*fileSize < kTrailerSize + kMinTrailerOffset)
    return failure(Outcome::kInvalidData, format("file of 0x%llX bytes is too short to hold a package", ull(*fileSize)));
  const uint64_t trailerAt = *fileSize - kTrailerSize;

  uint8_t trailer[kTrailerSize];
  const std::optional<size_t> trailerRead = file->readAt(trailerAt, trailer);
  if (!trailerRead || *trailerRead < kTrailerSize)
    return failure(Outcome::kTrailerReadFailed, format("trailer at 0x%llX: read %s", ull(trailerAt),
                                                       trailerRead ? "short" : "failed"));

  const uint32_t trailerMagic = loadU32(trailer + offsetof(PackageTrailer, magic));
  const int32_t packageSize = static_cast<int32_t>(loadU32(trailer + offsetof(PackageTrailer, packageSize)));
  if (trailerMagic != kPackageMagic || packageSize < kMinPackageSize || uint64_t(packageSize) >= trailerAt)
    return failure(Outcome::kInvalidData, format("trailer at 0x%llX: magic 0x%08X, package size %d", ull(trailerAt),
                                                 trailerMagic, packageSize));
  const size_t size = size_t(packageSize);

  // The package itself.
  HeapBlock package(platform);
  if (!package.allocate(size))
    return failure(Outcome::kOutOfMemory, format("package buffer of 0x%zX bytes", size));
  const uint64_t packageAt = trailerAt - size;
  const std::optional<size_t> packageRead = file->readAt(packageAt, package.span());
  if (!packageRead || *packageRead < size)
    return failure(Outcome::kPackageReadFailed,
                   format("package of 0x%zX bytes at 0x%llX: read %s", size, ull(packageAt),
                          packageRead ? "short" : "failed"));
  if (loadU32(package.data()) != kPackageMagic)
    return failure(Outcome::kPackageReadFailed,
                   format("package at 0x%llX: magic 0x%08X", ull(packageAt), loadU32(package.data())));
  file.reset();

  // The extraction folder.
  std::optional<std::string> tempDir = platform.tempDir();
  if (!tempDir) return failure(Outcome::kNoTempDir, "the platform has no temporary directory");
  // NOTE: identifier and key lie in the plain part of the header; a package
  // too short to hold them is refused before they are read.
  if (size < kScrambledOffset)
    return failure(Outcome::kInvalidData, format("package of 0x%zX bytes has no identifier and key", size));
  std::string folder = *tempDir + format("Q_%X", loadU32(package.data() + kIdentifierOffset));
  if (folder.size() + 1 > kMaxPathLength)
    return failure(Outcome::kNoTempDir, format("extraction folder path of %zu bytes does not fit", folder.size() + 1));
  if (!platform.prepareFolder(folder))
    return failure(Outcome::kNoTempDir, "the extraction folder '" + folder + "' cannot be used safely");
  folder += platform.separator();

  // Unscramble before any scrambled field is looked at.
  uint8_t key[4];
  std::copy_n(package.data() + kKeyOffset, 4, key);
  scramble(package.span().subspan(kScrambledOffset), key);

  if (size <= kHeaderSize)
    return failure(Outcome::kInvalidData, format("package of 0x%zX bytes holds no entry list", size));
  const uint32_t checkValue = loadU32(package.data() + kCheckValueOffset);
  const int32_t declared = static_cast<int32_t>(loadU32(package.data() + kUncompressedSizeOffset));
  if (checkValue != kCheckValue || declared <= 0)
    return failure(Outcome::kInvalidData,
                   format("package header: check value 0x%08X, uncompressed size %d", checkValue, declared));

  // Inflate into exactly the declared size.
  HeapBlock inflated(platform);
  if (!inflated.allocate(size_t(declared)))
    return failure(Outcome::kOutOfMemory, format("entry list buffer of 0x%X bytes", unsigned(declared)));
  uLongf inflatedSize = uLongf(declared);
  const int zrc = uncompress(inflated.data(), &inflatedSize, package.data() + kStreamOffset, uLong(size - kHeaderSize));
  if (zrc != Z_OK) {
    inflated.reset();
    return failure(Outcome::kDecompressFailed, format("uncompress returned %d (declared size 0x%X)", zrc,
                                                      unsigned(declared)));
  }
  package.reset();
  if (inflatedSize == 0) return failure(Outcome::kKernelNotFound, "the entry list is empty");

  // Check the whole list before writing anything.
  Result<std::vector<EntryView>> entries = parseEntryList(ByteSpan(inflated.data(), inflatedSize));
  if (!entries) return failure(Outcome::kInvalidData, entries.error().message);
  for (size_t i = 0; i < entries->size(); ++i) {
    const EntryView& e = (*entries)[i];
    if (folder.size() + e.name.size() > kMaxPathLength)
      return failure(Outcome::kInvalidData, format("entry %zu at 0x%llX: path of %zu bytes does not fit", i,
                                                   ull(e.offset), folder.size() + e.name.size()));
  }

  // Write every file; the kernel is the last entry with a kernel name, as
  // the package spells it.
  std::string kernelName;
  for (const EntryView& e : *entries) {
    if (isKernelName(e.name)) kernelName = e.name;
    platform.writeFile(folder + std::string(e.name), e.data);
  }
  if (kernelName.empty()) return failure(Outcome::kKernelNotFound, "no entry has a kernel library name");

  // Load the kernel and ask it for the runtime entry.
  const std::string kernelPath = folder + kernelName;
  kernel = platform.loadLibrary(kernelPath);
  if (!kernel) return failure(Outcome::kKernelLoadFailed, "cannot load '" + kernelPath + "'");
  auto getNewSock = reinterpret_cast<abi::GetNewSockFn>(kernel->symbol(abi::kGetNewSockName));
  if (!getNewSock) return failure(Outcome::kKernelInvalid, "'" + kernelPath + "' has no GetNewSock");
  entry = reinterpret_cast<abi::RuntimeEntryFn>(getNewSock(abi::kGetNewSockMagic));
  if (!entry) return failure(Outcome::kKernelInterfaceInvalid, "GetNewSock(1000) returned 0");
  return LaunchResult{};
}

}  // namespace

LaunchResult runLauncher(Platform& platform, void* moduleImage) {
  std::unique_ptr<Library> kernel;
  abi::RuntimeEntryFn entry = nullptr;
  LaunchResult result = prepare(platform, kernel, entry);
  if (result.outcome != Outcome::kStarted) {
    kernel.reset();
    platform.showError(messageFor(result.outcome));
    return result;
  }
  kernel->keepLoaded();
  entry(moduleImage);
  return result;
}

}  // namespace ql::launcher
