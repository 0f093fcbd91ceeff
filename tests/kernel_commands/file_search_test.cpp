// The file search of support slot 12 (selectors 0 to 2).
#include <set>

#include "kernel_test_support.h"

namespace {

using namespace kt;
using ql::rt::endFileSearch;
using ql::rt::fileSearch;

// Takes a name the search returned and frees it.
std::string take(char* name) {
  EXPECT_NE(name, nullptr);
  std::string s = name ? name : "";
  ql::rt::release(name);
  return s;
}

class FileSearch : public KernelTest {
 protected:
  void SetUp() override {
    KernelTest::SetUp();
    game_ = temp_.path() / u8path("Game" + kLiuXingUtf8);
    fs::create_directories(game_ / "pmodel");
    for (const char* name : {"a.skc", "b.txt", "c.skc"}) writeFile(game_ / "pmodel" / name, name);
    fs::create_directories(game_ / "lx_ptx_tmp");
  }
  std::string gameGbk() const { return gbkPath(game_); }

  // Every name the search yields for `pattern`, then the search ended.
  std::vector<std::string> all(const std::string& pattern, int32_t attributes) {
    intptr_t handle = 0;
    std::vector<std::string> names;
    for (std::string name = take(fileSearch(pattern.c_str(), attributes, 0, &handle)); !name.empty();
         name = take(fileSearch(nullptr, attributes, 0, &handle))) {
      names.push_back(name);
    }
    endFileSearch(&handle);
    EXPECT_EQ(handle, 0);
    return names;
  }

  // The names of a folder in the order the file system yields them.
  static std::vector<std::string> directoryOrder(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    return names;
  }

  TempFolder temp_;
  fs::path game_;
};

TEST_F(FileSearch, ListsMatchingFilesInFileSystemOrder) {
  std::vector<std::string> expected;
  for (const std::string& name : directoryOrder(game_ / "pmodel")) {
    if (name != "b.txt") expected.push_back(name);
  }
  EXPECT_EQ(all(gameGbk() + "\\pmodel\\*.skc", ql::abi::kSearchFiles), expected);
  EXPECT_EQ(expected.size(), 2u);
}

TEST_F(FileSearch, FolderFilterAndExactPathsAsExistenceTests) {
  struct Case {
    const char* name;
    std::string pattern;
    int32_t attributes;
    std::set<std::string> expected;
  };
  const Case cases[] = {
      {"folder exists", gameGbk() + "\\lx_ptx_tmp", ql::abi::kSearchFolders, {"lx_ptx_tmp"}},
      {"folder in another case", gameGbk() + "\\LX_PTX_TMP", ql::abi::kSearchFolders, {"lx_ptx_tmp"}},
      {"a folder is not a file", gameGbk() + "\\lx_ptx_tmp", ql::abi::kSearchFiles, {}},
      {"a file is not a folder", gameGbk() + "\\pmodel\\a.skc", ql::abi::kSearchFolders, {}},
      {"file exists", gameGbk() + "\\pmodel\\a.skc", ql::abi::kSearchFiles, {"a.skc"}},
      {"file in another case gives its real name", gameGbk() + "\\PMODEL\\A.SKC", ql::abi::kSearchFiles, {"a.skc"}},
      {"missing file", gameGbk() + "\\pmodel\\d.skc", ql::abi::kSearchFiles, {}},
      {"missing folder", gameGbk() + "\\nomodels\\*.skc", ql::abi::kSearchFiles, {}},
      {"trailing backslash names nothing", gameGbk() + "\\lx_ptx_tmp\\", ql::abi::kSearchFolders, {}},
      {"wildcards ignore case", gameGbk() + "\\pmodel\\?.SK?", ql::abi::kSearchFiles, {"a.skc", "c.skc"}},
      {"folders listed by wildcard", gameGbk() + "\\*", ql::abi::kSearchFolders, {"pmodel", "lx_ptx_tmp"}},
      {"files listed by wildcard", gameGbk() + "\\*", ql::abi::kSearchFiles, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto names = all(c.pattern, c.attributes);
    const std::set<std::string> unique(names.begin(), names.end());
    EXPECT_EQ(unique.size(), names.size()) << "a name came twice";
    EXPECT_EQ(unique, c.expected);
  }
}

TEST_F(FileSearch, ContinuationAndEnd) {
  intptr_t handle = 0;
  const std::string pattern = gameGbk() + "\\pmodel\\*.skc";
  const std::string first = take(fileSearch(pattern.c_str(), 0, 0, &handle));
  EXPECT_NE(handle, 0);
  const std::string second = take(fileSearch(nullptr, 0, 0, &handle));
  EXPECT_EQ((std::set<std::string>{first, second}), (std::set<std::string>{"a.skc", "c.skc"}));
  EXPECT_EQ(take(fileSearch(nullptr, 0, 0, &handle)), "");
  EXPECT_EQ(take(fileSearch(nullptr, 0, 0, &handle)), "");  // stays at its end
  endFileSearch(&handle);
  EXPECT_EQ(handle, 0);
  // Continuing a search that has ended, or ending it twice, is harmless.
  EXPECT_EQ(take(fileSearch(nullptr, 0, 0, &handle)), "");
  endFileSearch(&handle);

  // A new pattern on a handle still in use replaces the old search.
  EXPECT_EQ(take(fileSearch(pattern.c_str(), 0, 0, &handle)), first);
  EXPECT_EQ(take(fileSearch((gameGbk() + "\\lx_ptx_tmp").c_str(), ql::abi::kSearchFolders, 0, &handle)), "lx_ptx_tmp");
  EXPECT_EQ(take(fileSearch(nullptr, ql::abi::kSearchFolders, 0, &handle)), "");
  endFileSearch(&handle);

  expectRuntimeError([] { fileSearch("x", 0, 0, nullptr); }, ql::rt::kErrCommandCall, "handle");
}

TEST_F(FileSearch, NamesGbkCannotHoldAreSkipped) {
  writeFile(game_ / "pmodel" / u8path("\xF0\x9F\x98\x80.skc"), "emoji");  // no GBK form
  writeFile(game_ / "pmodel" / u8path(kLiuXingUtf8 + ".skc"), "chinese");
  auto names = all(gameGbk() + "\\pmodel\\*.skc", ql::abi::kSearchFiles);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
            (std::set<std::string>{"a.skc", "c.skc", kLiuXingGbk + ".skc"}));
}

TEST_F(FileSearch, PrepareAppendLeavesTheArrayAlone) {
  void* array = ql::rt::allocate(8);
  void* before = array;
  ql::rt::prepareAppend(4, &array);
  EXPECT_EQ(array, before);
  ql::rt::release(array);
}

TEST(Wildcard, Matching) {
  struct Case {
    std::string pattern, name;
    bool expected;
  };
  const std::string trail5C = "\x81\x5C";  // 乗: its second byte is '\'
  const Case cases[] = {
      {"*.skc", "a.skc", true},
      {"*.skc", "a.SKC", true},
      {"*.skc", "b.txt", false},
      {"*.skc", "a.skcx", false},
      {"*.skc", ".skc", true},
      {"a?c", "abc", true},
      {"a?c", "ac", false},
      {"?.skc", kLiuXingGbk.substr(0, 2) + ".skc", true},  // one double-byte character
      {"??.skc", kLiuXingGbk.substr(0, 2) + ".skc", false},
      {"*", "anything", true},
      {"*.*", "noextension", true},
      {"a*b*c", "aXXbYYc", true},
      {"a*b*c", "aXXbYY", false},
      {"**", "", true},
      {"", "", true},
      {"", "a", false},
      {"\xC1\xF7*", kLiuXingGbk, true},
      {"\xC1\xD7*", kLiuXingGbk, false},  // case folding never touches double-byte characters
      {trail5C + "?", trail5C + "x", true},
      {"?" + std::string("\\"), trail5C, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ql::rt::matchesWildcard(c.pattern, c.name), c.expected) << c.pattern << " vs " << c.name;
  }
}

}  // namespace
