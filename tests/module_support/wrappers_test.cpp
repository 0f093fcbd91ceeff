// The argument records the command wrappers build and how they read results.
#include <cmath>

#include "fixture.h"

namespace {

using namespace ql;


constexpr uint32_t kMainWindow = 0x52000001;
constexpr uint32_t kMainWindowUnit = 0x06000001;
constexpr uint32_t kListBox = 0x16000005;
const UnitRef kMain = windowUnit(kMainWindow, kMainWindowUnit);
const UnitRef kList = controlUnit(kMainWindow, kListBox, ql::abi::kTypeListBox);

uint64_t bitsOf(double d) {
  uint64_t b;
  std::memcpy(&b, &d, 8);
  return b;
}

class CommandWrappers : public ModuleSupport {
 protected:
  const fake::Call& only() {
    EXPECT_EQ(rt.calls.size(), 1u);
    return rt.calls.back();
  }
  static void expectArg(const fake::RecordedArg& a, uint64_t value, uint32_t tag) {
    EXPECT_EQ(ql::abi::argValue(a.arg), value);
    EXPECT_EQ(a.arg.tag, tag);
  }
  static void expectText(const fake::RecordedArg& a, const char* text) {
    EXPECT_EQ(a.arg.tag, ql::abi::kTagText);
    EXPECT_NE(ql::abi::argValue(a.arg), 0u) << "texts are never passed as null";
    EXPECT_EQ(a.text, text);
  }
  static void expectOmitted(const fake::RecordedArg& a) { expectArg(a, 0, ql::abi::kTagOmitted); }
};

TEST_F(CommandWrappers, TextCommandsPassTextsAndIntegersAndAdoptTheResult) {
  rt.results.push_back(rt.textResult("C:\\game"));
  Text s = kernel::left("C:\\game\\x", 7);
  const fake::Call& c = only();
  EXPECT_EQ(c.slot, 3);
  EXPECT_EQ(c.code, 0x134);
  ASSERT_EQ(c.args.size(), 2u);
  expectText(c.args[0], "C:\\game\\x");
  expectArg(c.args[1], 7, ql::abi::kTagInt);
  EXPECT_EQ(s.view(), "C:\\game");
  EXPECT_TRUE(rt.isLive(s.get()));  // freed by the Text, checked by the fixture
}

TEST_F(CommandWrappers, AbsentTextsTravelAsEmptyTexts) {
  rt.results.push_back(fake::Runtime::intResult(0));
  EXPECT_EQ(kernel::length(nullptr), 0);
  Text absent;
  kernel::mid(absent, 1, 2);
  ASSERT_EQ(rt.calls.size(), 2u);
  expectText(rt.calls[0].args[0], "");
  expectText(rt.calls[1].args[0], "");
  EXPECT_EQ(rt.calls[1].args[1].arg.lo, 1u);
  EXPECT_EQ(rt.calls[1].args[2].arg.lo, 2u);
}

TEST_F(CommandWrappers, NegativeIntegersFillOnlyTheLowWord) {
  kernel::right("abc", -1);
  expectArg(only().args[1], 0xFFFFFFFFu, ql::abi::kTagInt);
}

TEST_F(CommandWrappers, FindPassesItsOptionalStartAndTheFalseFlag) {
  rt.results = {fake::Runtime::intResult(5), fake::Runtime::intResult(-1), fake::Runtime::intResult(9)};
  EXPECT_EQ(kernel::find("a b c", " "), 5);
  EXPECT_EQ(kernel::find("a b c", " ", 4), -1);
  EXPECT_EQ(kernel::findLast("a\\b\\c", "\\"), 9);
  ASSERT_EQ(rt.calls.size(), 3u);
  const auto& first = rt.calls[0];
  EXPECT_EQ(first.code, 0x148);
  ASSERT_EQ(first.args.size(), 4u);
  expectOmitted(first.args[2]);
  expectArg(first.args[3], 0, ql::abi::kTagBool);
  expectArg(rt.calls[1].args[2], 4, ql::abi::kTagInt);
  EXPECT_EQ(rt.calls[2].code, 0x14C);
  ASSERT_EQ(rt.calls[2].args.size(), 4u);
  expectOmitted(rt.calls[2].args[2]);
  expectArg(rt.calls[2].args[3], 0, ql::abi::kTagBool);
}

TEST_F(CommandWrappers, NumberToTextTagsEachKindOfValue) {
  kernel::toText(int32_t(-3));
  kernel::toText(1.25f);
  kernel::toText(2.5);
  Bytes b = Bytes::copy(std::string_view("xy"));
  kernel::toText(b);
  ASSERT_EQ(rt.calls.size(), 4u);
  for (const auto& c : rt.calls) EXPECT_EQ(c.code, 0x168);
  expectArg(rt.calls[0].args[0], 0xFFFFFFFDu, ql::abi::kTagInt);
  expectArg(rt.calls[1].args[0], 0x3FA00000u, ql::abi::kTagFloat);
  expectArg(rt.calls[2].args[0], bitsOf(2.5), ql::abi::kTagDouble);
  expectArg(rt.calls[3].args[0], reinterpret_cast<uintptr_t>(b.block()), ql::abi::kTagBytes);
}

TEST_F(CommandWrappers, DoubleResultsAreReadFromAllEightBytes) {
  rt.results.push_back(ql::abi::CmdResult{bitsOf(-12.75), ql::abi::kTagDouble, 0});
  EXPECT_EQ(kernel::toDouble("-12.75"), -12.75);
}

TEST_F(CommandWrappers, BytesToTextRequiresTheTextTag) {
  Bytes b = Bytes::copy(std::string_view("ver 26"));
  rt.results.push_back(rt.textResult("ver 26"));
  Text t = kernel::bytesToText(b);
  EXPECT_EQ(t.view(), "ver 26");
  const fake::Call& c = only();
  EXPECT_EQ(c.code, 0x19C);
  ASSERT_EQ(c.args.size(), 3u);
  expectArg(c.args[0], reinterpret_cast<uintptr_t>(b.block()), ql::abi::kTagBytes);
  expectArg(c.args[1], 10, ql::abi::kTagInt);
  expectOmitted(c.args[2]);

  rt.results.push_back(fake::Runtime::intResult(7));
  EXPECT_RUNTIME_ERROR(kernel::bytesToText(b), ql::abi::kErrResultType);
}

TEST_F(CommandWrappers, AnAbsentByteSetTravelsAsAnEmptyOne) {
  rt.results.push_back(rt.textResult(""));
  Bytes none;
  Text t = kernel::bytesToText(none);
  const uint64_t v = ql::abi::argValue(rt.calls[0].args[0].arg);
  ASSERT_NE(v, 0u);
  EXPECT_EQ(words(reinterpret_cast<const void*>(uintptr_t(v)), 2), (std::vector<uint32_t>{1, 0}));
}

TEST_F(CommandWrappers, SplitGivesAnOwnedListOfTexts) {
  void* list = arr::freshFromShape(std::array<uint32_t, 2>{1, 2}.data(), sizeof(char*));
  char* a = rt.text("ver");
  char* b = rt.text("26");
  std::memcpy(static_cast<uint8_t*>(list) + 8, &a, sizeof a);
  std::memcpy(static_cast<uint8_t*>(list) + 8 + sizeof a, &b, sizeof b);
  rt.results.push_back(ql::abi::CmdResult{reinterpret_cast<uintptr_t>(list), ql::abi::kTagText + ql::abi::kTagArrayFlag, 0});
  TextList words = kernel::split("ver 26", " ");
  EXPECT_EQ(words.count(), 2u);
  EXPECT_EQ(words.text(1).view(), "ver");
  EXPECT_EQ(words.text(2).view(), "26");
  const fake::Call& c = only();
  ASSERT_EQ(c.args.size(), 3u);
  expectText(c.args[1], " ");
  expectOmitted(c.args[2]);
}

TEST_F(CommandWrappers, MessageBoxCaptionIsOmittedUnlessGiven) {
  kernel::messageBox("msg");
  kernel::messageBox("question", kernel::kMbOkCancel, "caption");
  ASSERT_EQ(rt.calls.size(), 2u);
  ASSERT_EQ(rt.calls[0].args.size(), 3u);
  expectArg(rt.calls[0].args[1], 0, ql::abi::kTagInt);
  expectOmitted(rt.calls[0].args[2]);
  expectArg(rt.calls[1].args[1], 1, ql::abi::kTagInt);
  expectText(rt.calls[1].args[2], "caption");
}

TEST_F(CommandWrappers, WindowsAndControlsTravelAsWindowIdAndUnitIdWithTheirTypeCode) {
  rt.results.push_back(rt.textResult("a.skc"));
  Text entry = kernel::listEntry(kMain, kList, 3);
  const fake::Call& c = only();
  EXPECT_EQ(c.code, 0x3EC);
  ASSERT_EQ(c.args.size(), 3u);
  expectArg(c.args[0], uint64_t(kMainWindowUnit) << 32 | kMainWindow, ql::abi::kTypeWindow);
  EXPECT_EQ(c.args[0].arg.lo, kMainWindow);
  EXPECT_EQ(c.args[0].arg.hi, kMainWindowUnit);
  EXPECT_EQ(c.args[1].arg.lo, kMainWindow);
  EXPECT_EQ(c.args[1].arg.hi, kListBox);
  EXPECT_EQ(c.args[1].arg.tag, 0x0001000Fu);
  expectArg(c.args[2], 3, ql::abi::kTagInt);
}

TEST_F(CommandWrappers, MoveOmitsTheValuesThatStay) {
  kernel::move(kMain, 10, std::nullopt, 300);
  const fake::Call& c = only();
  EXPECT_EQ(c.code, 0x38C);
  ASSERT_EQ(c.args.size(), 5u);
  expectArg(c.args[1], 10, ql::abi::kTagInt);
  expectOmitted(c.args[2]);
  expectArg(c.args[3], 300, ql::abi::kTagInt);
  expectOmitted(c.args[4]);
}

TEST_F(CommandWrappers, FixedArgumentsOfTheOtherKernelCommands) {
  kernel::runAndWait("\"C:\\WinRAR.exe\" e");
  kernel::registryText("SOFTWARE\\Classes\\WinRAR\\shell\\open\\command\\");
  kernel::openWindow(windowUnit(0x52000002, 0x06000002), kMain);
  ASSERT_EQ(rt.calls.size(), 3u);
  expectArg(rt.calls[0].args[1], 1, ql::abi::kTagBool);
  expectOmitted(rt.calls[0].args[2]);
  expectArg(rt.calls[1].args[0], 4, ql::abi::kTagInt);
  expectOmitted(rt.calls[1].args[2]);
  EXPECT_EQ(rt.calls[2].code, 0x320);
  expectArg(rt.calls[2].args[2], 0, ql::abi::kTagBool);
}

TEST_F(CommandWrappers, BitOrPassesEveryValue) {
  rt.results.push_back(fake::Runtime::intResult(0x4100));
  EXPECT_EQ(kernel::bitOr({0x100, 0x4000, 0}), 0x4100);
  const fake::Call& c = only();
  ASSERT_EQ(c.args.size(), 3u);
  expectArg(c.args[0], 0x100, ql::abi::kTagInt);
  expectArg(c.args[1], 0x4000, ql::abi::kTagInt);
  expectArg(c.args[2], 0, ql::abi::kTagInt);
}

TEST_F(CommandWrappers, BooleanResultsLookAtTheLowWordOnly) {
  rt.results = {ql::abi::CmdResult{0xFFFFFFFF00000000ull, ql::abi::kTagBool, 0}, ql::abi::CmdResult{1, ql::abi::kTagBool, 0}};
  EXPECT_FALSE(kernel::fileExists("a"));
  EXPECT_TRUE(kernel::fileExists("b"));
}

TEST_F(CommandWrappers, CellsPassTheAddressOfTheirVariable) {
  {
    kernel::Cell cell;
    kernel::cellStoreText(cell, "12.5");
    rt.results.push_back(ql::abi::CmdResult{bitsOf(12.5), ql::abi::kTagDouble, 0});
    EXPECT_EQ(kernel::cellNumber(cell), 12.5);
    *cell.variable() = 0x1234;  // the kernel would keep its content here
    ASSERT_EQ(rt.calls.size(), 2u);
    expectArg(rt.calls[0].args[0], reinterpret_cast<uintptr_t>(cell.variable()), ql::abi::kTypeValueCell);
    expectText(rt.calls[0].args[1], "12.5");
  }
  ASSERT_EQ(rt.calls.size(), 3u);
  EXPECT_EQ(rt.calls[2].code, 0x984) << "a cell with content releases it when it goes";
  EXPECT_EQ(rt.calls[2].args[0].objectValue, 0x1234);
}

// ---- Support libraries ---------------------------------------------------------

TEST_F(CommandWrappers, OpenGlCommandsUseRowOneAndTheirArgumentKinds) {
  gl::PixelFormatRequest request{};
  request.nSize = 40;
  const intptr_t dc = intptr_t(0x7FFF12345678);
  gl::choosePixelFormat(dc, request);
  gl::clearColor(1.0f, 0.5f, 0.0f, 0.0f);
  gl::rotated(90.0, 0, 0, 1);
  int32_t name = 0;
  gl::genTexture(0x0DE1, name);
  ASSERT_EQ(rt.calls.size(), 4u);
  for (const auto& c : rt.calls) {
    EXPECT_EQ(c.slot, 2);
    EXPECT_EQ(c.row, ql::abi::kRowOpenGl);
  }
  EXPECT_EQ(rt.calls[0].code, 0x000);
  expectArg(rt.calls[0].args[0], uint64_t(dc), ql::abi::kTagInt);
  expectArg(rt.calls[0].args[1], reinterpret_cast<uintptr_t>(&request), ql::abi::kTypePixelFormat);
  expectArg(rt.calls[1].args[1], 0x3F000000u, ql::abi::kTagFloat);
  expectArg(rt.calls[2].args[0], bitsOf(90.0), ql::abi::kTagDouble);
  EXPECT_EQ(rt.calls[3].code, 0x104);
  expectArg(rt.calls[3].args[1], reinterpret_cast<uintptr_t>(&name), ql::abi::kTagInt);
}

TEST_F(CommandWrappers, DeletingTexturesPassesTheIntegerArray) {
  IntList ids;
  ids.append(3);
  gl::deleteTextures(ids);
  IntList none;
  gl::deleteTextures(none);
  ASSERT_EQ(rt.calls.size(), 2u);
  expectOmitted(rt.calls[0].args[0]);
  expectArg(rt.calls[0].args[1], reinterpret_cast<uintptr_t>(ids.block()), ql::abi::kTagIntArray);
  EXPECT_NE(ql::abi::argValue(rt.calls[1].args[1].arg), 0u);
}

TEST_F(CommandWrappers, RegexObjectsPassTheirVariableAndMatchesReplaceTheirPredecessor) {
  {
    regex::Regex re;
    regex::Match m;
    const intptr_t reHandle = *re.variable();
    const intptr_t firstMatch = *m.variable();
    EXPECT_NE(reHandle, 0);
    re.setPattern("v +([^ ]+)");
    re.search("v 1.0", m);
    const intptr_t secondMatch = *m.variable();
    EXPECT_NE(secondMatch, firstMatch);
    re.search("v 2.0", m);
    rt.results.push_back(fake::Runtime::intResult(0));
    EXPECT_FALSE(m.notFound());

    // construct regex, construct match, pattern, search, destroy first match,
    // search, destroy second match, not-found
    ASSERT_EQ(rt.calls.size(), 8u);
    for (const auto& c : rt.calls) EXPECT_EQ(c.row, ql::abi::kRowRegex);
    EXPECT_EQ(rt.calls[0].code, 0x004);
    expectArg(rt.calls[0].args[0], reinterpret_cast<uintptr_t>(re.variable()), ql::abi::kTypeRegex);
    EXPECT_EQ(rt.calls[1].code, 0x020);
    expectArg(rt.calls[1].args[0], reinterpret_cast<uintptr_t>(m.variable()), ql::abi::kTypeMatch);
    EXPECT_EQ(rt.calls[2].code, 0x00C);
    expectText(rt.calls[2].args[1], "v +([^ ]+)");
    expectArg(rt.calls[2].args[2], 0, ql::abi::kTagBool);
    EXPECT_EQ(rt.calls[3].code, 0x01C);
    EXPECT_EQ(rt.calls[3].args[0].objectValue, reHandle);
    expectText(rt.calls[3].args[1], "v 1.0");
    expectArg(rt.calls[3].args[2], 1, ql::abi::kTagInt);
    expectOmitted(rt.calls[3].args[3]);
    EXPECT_EQ(rt.calls[4].code, 0x024);
    EXPECT_EQ(rt.calls[4].args[0].objectValue, firstMatch);
    EXPECT_EQ(rt.calls[6].code, 0x024);
    EXPECT_EQ(rt.calls[6].args[0].objectValue, secondMatch);
    EXPECT_EQ(rt.calls[7].code, 0x028);
    rt.calls.clear();
  }
  // Leaving the scope destroys the match, then the expression.
  ASSERT_EQ(rt.calls.size(), 2u);
  EXPECT_EQ(rt.calls[0].code, 0x024);
  EXPECT_EQ(rt.calls[1].code, 0x008);
}

TEST_F(CommandWrappers, MatchGroupGivesAnOwnedText) {
  regex::Match m;
  rt.results.push_back(rt.textResult("1.0"));
  Text g = m.group("v 1.0", 1);
  EXPECT_EQ(g.view(), "1.0");
  expectArg(rt.calls.back().args[2], 1, ql::abi::kTagInt);
}

TEST_F(CommandWrappers, ConvertAndFetchUseTheirRows) {
  imgconv::toBmp("a.jpg", "a.bmp");
  rt.results.push_back(ql::abi::CmdResult{reinterpret_cast<uintptr_t>(rt.block({1, 0})), ql::abi::kTagBytes, 0});
  Bytes content = net::fetch("http://host/update_qltool.txt");
  ASSERT_EQ(rt.calls.size(), 2u);
  EXPECT_EQ(rt.calls[0].row, ql::abi::kRowImageConv);
  EXPECT_EQ(rt.calls[0].code, 0x004);
  EXPECT_EQ(rt.calls[1].row, ql::abi::kRowInternet);
  EXPECT_EQ(rt.calls[1].code, 0x01C);
  EXPECT_EQ(content.size(), 0u);
}

// ---- Services of the other slots -----------------------------------------------

TEST_F(CommandWrappers, PropertiesPassWindowUnitNumberAndMinusOne) {
  rt.propertyValues = {uint64_t(uint32_t(-1)), reinterpret_cast<uintptr_t>(rt.text("log"))};
  EXPECT_EQ(prop::readInt(kList, prop::kListSelection), -1);
  Text whole = prop::readText(kMain, prop::kWholeText);
  EXPECT_EQ(whole.view(), "log");
  prop::writeText(kMain, prop::kFilter, nullptr);
  prop::writeInt(kMain, prop::kInterval, 50);
  ASSERT_EQ(rt.propertyCalls.size(), 4u);
  const auto& r = rt.propertyCalls[0];
  EXPECT_EQ(r.window, kMainWindow);
  EXPECT_EQ(r.unit, kListBox);
  EXPECT_EQ(r.property, 16);
  EXPECT_EQ(r.reserved, -1);
  EXPECT_NE(rt.propertyCalls[2].value, 0u);
  EXPECT_EQ(rt.propertyCalls[2].text, "");
  EXPECT_EQ(rt.propertyCalls[3].value, 50u);
  EXPECT_EQ(rt.propertyCalls[3].reserved, -1);
}

TEST_F(CommandWrappers, FileSearchPassesThePatternOnceAndEndsTheSearch) {
  rt.searchNames = {"a.skc", "b.skc"};
  std::vector<std::string> names;
  {
    svc::FileSearch search("C:\\game\\pmodel\\*.skc");
    for (Text name = search.next(); !name.empty(); name = search.next()) names.emplace_back(name.view());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"a.skc", "b.skc"}));
  ASSERT_EQ(rt.supportCalls.size(), 4u);
  EXPECT_EQ(rt.supportCalls[0].selector, ql::abi::kSupportFileSearch);
  EXPECT_EQ(rt.supportCalls[0].pattern, "C:\\game\\pmodel\\*.skc");
  EXPECT_EQ(rt.supportCalls[0].b, ql::abi::kSearchFiles);
  EXPECT_EQ(rt.supportCalls[1].a, 0) << "later calls continue the search";
  EXPECT_EQ(rt.supportCalls[2].a, 0);
  EXPECT_EQ(rt.supportCalls[3].selector, ql::abi::kSupportEndSearch);
  EXPECT_EQ(rt.supportCalls[3].a, rt.supportCalls[0].d) << "ends the handle it started";
}

ql::abi::Routine g_cleanupEntry = nullptr;

TEST_F(CommandWrappers, StartServicesReachTheirSlots) {
  svc::registerCleanup(&g_cleanupEntry);
  svc::openWindow(kMainWindow);
  svc::runMessageLoop();
  ASSERT_EQ(rt.supportCalls.size(), 1u);
  EXPECT_EQ(rt.supportCalls[0].selector, ql::abi::kSupportRegisterCleanup);
  EXPECT_EQ(rt.supportCalls[0].a, reinterpret_cast<intptr_t>(&g_cleanupEntry));
  EXPECT_EQ(rt.openedWindows, (std::vector<uint32_t>{kMainWindow}));
  EXPECT_EQ(rt.messageLoops, 1);
  EXPECT_THROW(svc::endProgram(), fake::ProgramEnded);
}

TEST_F(CommandWrappers, ShellExecuteIsDeclarationZeroWithEmptyTextsForAbsentOnes) {
  EXPECT_EQ(dll::shellExecute(0, "open", "http://host/qltool_ver", nullptr, "", dll::kShowNormal), 42);
  EXPECT_EQ(rt.dllArgs[0], dll::kShellExecute);
  EXPECT_EQ(rt.dllArgs[1], 0);
  EXPECT_EQ(rt.dllTexts, (std::vector<std::string>{"open", "http://host/qltool_ver", "", ""}));
  EXPECT_EQ(rt.dllArgs[6], 1);
}

}  // namespace
