#include "writer_host.h"

#include <array>
#include <bit>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "common/gbk.h"
#include "module/app/image_link.h"
#include "qvkm_image.h"
#include "runtime/paths/paths.h"
#include "ui/form_ids.h"

namespace writers {

std::string gbk(std::string_view utf8) {
  auto r = ql::utf8ToGbk(utf8);
  EXPECT_TRUE(r.has_value()) << utf8;
  return r.value_or(std::string());
}

std::string modulePath(const fs::path& native) {
  auto r = ql::paths::fromNative(native);
  EXPECT_TRUE(r.ok()) << native;
  return r.ok() ? *r : std::string();
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << p;
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& p, std::string_view bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << p;
}

void WriterHost::SetUp() {
  liveAtStart_ = kernel_side::liveBlocks();

  std::random_device rd;
  // A Chinese folder name, as a user's program folder may have.
  temp_ = fs::temp_directory_path() / ("ql_writers_" + std::to_string(rd()) + std::to_string(rd()));
  programDir_ = temp_ / u8path("程序");
  fs::create_directories(programDir_);
  kernel_side::start(modulePath(programDir_), &dialogAnswers_);

  ql::svc::setSlotTable(kernel_side::slotTable());
  ql::setGlobals(&vars);
  ql::initGlobals();
  ql::app::setConstBase(ql::app::imageBase() + ql::gen::kConstData);
}

void WriterHost::TearDown() {
  ql::cleanupGlobals();
  EXPECT_EQ(kernel_side::liveBlocks(), liveAtStart_) << "blocks of the runtime's heap left alive";
  EXPECT_TRUE(dialogAnswers_.empty()) << "scripted dialog answers left unused";
  ql::app::setConstBase(nullptr);
  ql::setGlobals(nullptr);
  ql::svc::setSlotTable(nullptr);
  kernel_side::stop();
  std::error_code ec;
  fs::remove_all(temp_, ec);
}

std::vector<std::string> WriterHost::boxTexts() const {
  std::vector<std::string> texts;
  for (const BoxShown& b : boxes()) {
    EXPECT_EQ(b.style, 0) << "message boxes have only OK";
    EXPECT_FALSE(b.captioned) << "message boxes have no caption";
    texts.push_back(b.text);
  }
  return texts;
}

void WriterHost::setVertices(const std::vector<std::array<float, 5>>& rows, int32_t count) {
  auto table = ql::store::vertexTable();
  table.dimension(int32_t(std::max<size_t>(rows.size(), 1)), 5);
  for (size_t r = 0; r < rows.size(); ++r)
    for (int c = 0; c < 5; ++c) table.at(r + 1, c + 1) = rows[r][size_t(c)];
  vars.vertexCount = count >= 0 ? count : int32_t(rows.size());
}

void WriterHost::setTriangles(const std::vector<std::array<int32_t, 4>>& rows, int32_t count) {
  auto table = ql::store::triangleTable();
  table.dimension(int32_t(std::max<size_t>(rows.size(), 1)), 4);
  for (size_t r = 0; r < rows.size(); ++r)
    for (int c = 0; c < 4; ++c) table.at(r + 1, c + 1) = rows[r][size_t(c)];
  vars.triangleCount = count >= 0 ? count : int32_t(rows.size());
}

void WriterHost::setBoneTexts(const std::vector<std::string>& texts) {
  auto list = ql::store::boneTexts();
  list.replace(ql::arr::freshFromShape(ql::app::constShape(ql::gen::shape::kEmptyList), sizeof(char*)));
  for (const std::string& t : texts) list.appendText(ql::TextRef(t.c_str()));
}

void WriterHost::setTexturePaths(const std::vector<std::string>& paths) {
  auto list = ql::store::texturePaths();
  list.replace(ql::arr::freshFromShape(ql::app::constShape(ql::gen::shape::kEmptyList), sizeof(char*)));
  for (const std::string& p : paths) list.appendText(ql::TextRef(p.c_str()));
  vars.materialCount = int32_t(paths.size());
}

void WriterHost::setMaterialLibrary(const std::vector<std::pair<std::string, std::string>>& entries) {
  auto list = ql::store::materialLibrary();
  list.replace(ql::arr::freshFromShape(ql::app::constShape(ql::gen::shape::kEmptyList), sizeof(void*)));
  for (const auto& [name, file] : entries) list.append(ql::newMaterialEntry(name.c_str(), file.c_str()));
}

}  // namespace writers
