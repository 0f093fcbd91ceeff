// The writers' module code running in the test process against the real
// kernel commands and the kernel's allocator (service slots 3 and 6 to 8),
// with a stand-in for the one window the writers use: the export dialog
// 通用对话框3 and the message boxes. Real files, in a temporary folder.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kernel_side.h"
#include "module/support/support.h"
#include "common/temp_folder.h"
#include "common/utf8_path.h"

namespace writers {

namespace fs = std::filesystem;
using ql::u8path;

// GBK of a UTF-8 text (expectations are written in UTF-8 here).
std::string gbk(std::string_view utf8);
// The module's form of a native path: GBK, '\' separators.
std::string modulePath(const fs::path& native);

std::string readFile(const fs::path& p);
void writeFile(const fs::path& p, std::string_view bytes);

// One test's runtime: its slot table is the module's while the test runs.
class WriterHost : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // ---- the dialog and the boxes -------------------------------------------
  void confirmDialog(const fs::path& native) { dialogAnswers_.push_back(modulePath(native)); }
  void confirmDialogText(std::string gbkPath) { dialogAnswers_.push_back(std::move(gbkPath)); }
  void cancelDialog() { dialogAnswers_.push_back(std::nullopt); }
  const std::vector<BoxShown>& boxes() const { return kernel_side::boxes(); }
  std::vector<std::string> boxTexts() const;
  const std::vector<DialogShown>& dialogs() const { return kernel_side::dialogs(); }

  // ---- the store ---------------------------------------------------------------
  // Fills the store as a load would: tables of exactly these rows.
  void setVertices(const std::vector<std::array<float, 5>>& rows, int32_t count = -1);
  void setTriangles(const std::vector<std::array<int32_t, 4>>& rows, int32_t count = -1);
  void setBoneTexts(const std::vector<std::string>& texts);
  void setTexturePaths(const std::vector<std::string>& paths);
  void setMaterialLibrary(const std::vector<std::pair<std::string, std::string>>& entries);

  // What a module text holds, as bytes.
  static std::string take(ql::Text t) { return std::string(t.view()); }

  const fs::path& temp() const { return temp_; }
  const fs::path& programDir() const { return programDir_; }

  ql::Globals vars{};

 private:
  fs::path temp_;
  fs::path programDir_;
  int64_t liveAtStart_ = 0;
  std::deque<std::optional<std::string>> dialogAnswers_;
};

}  // namespace writers
