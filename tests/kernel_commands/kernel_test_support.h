// Argument records, results and fixtures for driving the kernel's commands
// exactly as the module does: real records in, real blocks out, every block
// freed through the kernel's allocator.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "module/abi.h"
#include "runtime/kernel/commands/commands.h"
#include "runtime/kernel/commands/file_search.h"
#include "runtime/kernel/commands/memory.h"
#include "runtime/kernel/commands/runtime_error.h"
#include "runtime/paths/paths.h"
#include "common/temp_folder.h"
#include "common/utf8_path.h"

namespace kt {

namespace abi = ql::abi;
namespace fs = std::filesystem;

struct RuntimeErrorRaised {
  int32_t code;
  std::string detail;
};

// An argument record built argument by argument. Texts and byte sets live
// here and their addresses are filled in by record(), so a copied Args (as in
// a table of cases) points at its own copies.
class Args {
 public:
  Args& text(std::string s) {
    texts_.push_back(std::move(s));
    return push(0, abi::kTagText, int(texts_.size()) - 1, -1);
  }
  Args& nullText() { return push(0, abi::kTagText); }
  Args& integer(int32_t v) { return push(uint32_t(v), abi::kTagInt); }
  Args& boolean(bool v) { return push(v ? 1 : 0, abi::kTagBool); }
  Args& single(float v) { return push(std::bit_cast<uint32_t>(v), abi::kTagFloat); }
  Args& real(double v) { return push(std::bit_cast<uint64_t>(v), abi::kTagDouble); }
  Args& omitted() { return push(0, abi::kTagOmitted); }
  Args& bytes(const std::string& content) {
    std::vector<uint8_t> block(8 + content.size());
    const uint32_t header[2] = {1, uint32_t(content.size())};
    std::memcpy(block.data(), header, 8);
    std::memcpy(block.data() + 8, content.data(), content.size());
    blocks_.push_back(std::move(block));
    return push(0, abi::kTagBytes, -1, int(blocks_.size()) - 1);
  }
  Args& raw(uint64_t value, uint32_t tag) { return push(value, tag); }

  const abi::ArgRecord* record() {
    storage_.assign(abi::argRecordSize(uint32_t(args_.size())) / 4 + 1, 0);
    storage_[0] = uint32_t(args_.size());
    for (size_t i = 0; i < args_.size(); ++i) {
      abi::Arg a = args_[i].arg;
      if (args_[i].text >= 0) a = abi::makeArg(uintptr_t(texts_[size_t(args_[i].text)].c_str()), a.tag);
      if (args_[i].block >= 0) a = abi::makeArg(uintptr_t(blocks_[size_t(args_[i].block)].data()), a.tag);
      std::memcpy(storage_.data() + 1 + i * 3, &a, sizeof a);
    }
    return reinterpret_cast<const abi::ArgRecord*>(storage_.data());
  }

 private:
  struct Pending {
    abi::Arg arg;
    int text;   // index into texts_, or -1
    int block;  // index into blocks_, or -1
  };
  Args& push(uint64_t value, uint32_t tag, int text = -1, int block = -1) {
    args_.push_back(Pending{abi::makeArg(value, tag), text, block});
    return *this;
  }
  std::vector<Pending> args_;
  std::deque<std::string> texts_;
  std::deque<std::vector<uint8_t>> blocks_;
  std::vector<uint32_t> storage_;
};

inline abi::CmdResult call(int32_t code, Args args = {}) { return ql::rt::kernelCommand(code, args.record()); }

inline void* pointerOf(const abi::CmdResult& r) { return reinterpret_cast<void*>(uintptr_t(r.value)); }

// Takes a text result and frees it.
inline std::string takeText(const abi::CmdResult& r) {
  EXPECT_EQ(r.tag, abi::kTagText);
  auto* p = static_cast<char*>(pointerOf(r));
  EXPECT_NE(p, nullptr);
  std::string s = p ? p : "";
  ql::rt::release(p);
  return s;
}

inline std::string takeBytes(const abi::CmdResult& r) {
  EXPECT_EQ(r.tag, abi::kTagBytes);
  auto* p = static_cast<uint8_t*>(pointerOf(r));
  uint32_t header[2];
  std::memcpy(header, p, 8);
  EXPECT_EQ(header[0], 1u);
  std::string s(reinterpret_cast<char*>(p + 8), header[1]);
  ql::rt::release(p);
  return s;
}

// Takes a list of texts: frees each element, then the block.
inline std::vector<std::string> takeTextList(const abi::CmdResult& r) {
  EXPECT_EQ(r.tag, abi::kTagText + abi::kTagArrayFlag);
  auto* p = static_cast<uint8_t*>(pointerOf(r));
  uint32_t header[2];
  std::memcpy(header, p, 8);
  EXPECT_EQ(header[0], 1u);
  std::vector<std::string> out;
  for (uint32_t i = 0; i < header[1]; ++i) {
    char* element;
    std::memcpy(&element, p + 8 + i * abi::kTextElementWidth, sizeof element);
    out.emplace_back(element);
    ql::rt::release(element);
  }
  ql::rt::release(p);
  return out;
}

inline int32_t asInteger(const abi::CmdResult& r) {
  EXPECT_EQ(r.tag, abi::kTagInt);
  return int32_t(uint32_t(r.value));
}
inline bool asBoolean(const abi::CmdResult& r) {
  EXPECT_EQ(r.tag, abi::kTagBool);
  return r.value != 0;
}
inline double asDouble(const abi::CmdResult& r) {
  EXPECT_EQ(r.tag, abi::kTagDouble);
  return std::bit_cast<double>(r.value);
}

// Runtime errors throw; every block handed out must be back by the end.
class KernelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previousHook_ = ql::rt::setRuntimeErrorHook([](int32_t code, const char* detail) {
      throw RuntimeErrorRaised{code, detail};
    });
    liveAtStart_ = ql::rt::liveBlocks();
    searchesAtStart_ = ql::rt::openFileSearches();
  }
  void TearDown() override {
    EXPECT_EQ(ql::rt::liveBlocks(), liveAtStart_) << "a kernel block was not freed";
    EXPECT_EQ(ql::rt::openFileSearches(), searchesAtStart_) << "a file search was not ended";
    ql::rt::setRuntimeErrorHook(previousHook_);
  }

  // Runs `f`, expects a runtime error with `code` whose text holds `needle`.
  template <class F>
  void expectRuntimeError(F f, int32_t code, const std::string& needle) {
    try {
      f();
      ADD_FAILURE() << "no runtime error (expected code " << code << ")";
    } catch (const RuntimeErrorRaised& e) {
      EXPECT_EQ(e.code, code) << e.detail;
      EXPECT_NE(e.detail.find(needle), std::string::npos) << e.detail;
    }
  }

 private:
  ql::rt::RuntimeErrorHook previousHook_ = nullptr;
  int64_t liveAtStart_ = 0;
  int64_t searchesAtStart_ = 0;
};

// A folder for one test, its files named from UTF-8 text.
struct TempFolder : ql::TempFolder {
  TempFolder() : ql::TempFolder("ql_kcmd") {}
};
using ql::u8path;
using ql::u8text;

inline void writeFile(const fs::path& p, const std::string& content) { std::ofstream(p, std::ios::binary) << content; }

inline std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The entries of `folder` named `name` in any letter case. A file replaced
// through another letter case must stay one entry, not gain a second one
// beside it (which a Windows folder could not hold anyway).
inline int entriesNamed(const fs::path& folder, std::string_view name) {
  int n = 0;
  for (const auto& entry : fs::directory_iterator(folder))
    n += ql::paths::equalsIgnoringAsciiCase(u8text(entry.path().filename()), name) ? 1 : 0;
  return n;
}

// GBK texts used by the tests (source files are UTF-8).
inline const std::string kLiuXingGbk = "\xC1\xF7\xD0\xC7";  // 流星
inline const std::string kLiuXingUtf8 = "流星";  // for file names, through u8path()

// The module's form of a native path: GBK with '\' separators.
inline std::string gbkPath(const fs::path& p) {
  auto r = ql::paths::fromNative(p);
  EXPECT_TRUE(r.ok()) << r.error().message;
  return r.ok() ? *r : std::string();
}

}  // namespace kt
