#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "fake_runtime.h"
#include "module/support/support.h"

// Every test runs against a fresh fake runtime and a zeroed variable block,
// and must leave no block of the runtime's heap alive behind it.
class ModuleSupport : public ::testing::Test {
 protected:
  void SetUp() override {
    ql::svc::setSlotTable(rt.slots());
    ql::setGlobals(&vars);
  }
  void TearDown() override {
    EXPECT_EQ(rt.liveBlocks(), 0u) << "blocks of the runtime's heap left alive";
    EXPECT_EQ(rt.badFrees, 0);
    ql::svc::setSlotTable(nullptr);
    ql::setGlobals(nullptr);
  }

  // The words of an array block (header and 4-byte elements).
  static std::vector<uint32_t> words(const void* block, size_t count) {
    std::vector<uint32_t> w(count);
    std::memcpy(w.data(), block, count * 4);
    return w;
  }
  static std::vector<uint32_t> shape(const void* block) {
    const uint32_t dims = ql::arr::dimensionCount(block);
    return words(block, 1 + dims);
  }

  fake::Runtime rt;
  ql::Globals vars{};
};

#define EXPECT_RUNTIME_ERROR(statement, expectedCode)                         \
  do {                                                                        \
    try {                                                                     \
      statement;                                                              \
      ADD_FAILURE() << "no runtime error from: " #statement;                  \
    } catch (const fake::RuntimeStop& stop) {                                 \
      EXPECT_EQ(stop.code, (expectedCode)) << "from: " #statement;            \
    }                                                                         \
  } while (0)
