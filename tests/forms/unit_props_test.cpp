#include "module/forms/unit_props.h"

#include <gtest/gtest.h>

#include "module/abi.h"

namespace {

using namespace ql::forms;

std::vector<UnitProps> everyKind() {
  return {
      WindowProps{"\xC7\xE0\xE1\xB0"},  // GBK bytes pass through untouched
      ListBoxProps{true},
      ComboBoxProps{{{"a", 1}, {"bb", 2}}, "\xCB\xCE\xCC\xE5", 12, 700, 134},
      DrawingAreaProps{},
      ScrollBarProps{1, 100, 10, 1, 30},
      TextBoxProps{true, kScrollHorizontal | kScrollVertical, "log"},
      TimerProps{50},
      FileDialogProps{DialogKind::Save, "t", "winrar.exe", "AC3D|*.ac|OBJ|*.obj", "*.ac", ""},
  };
}

TEST(UnitProps, EveryKindRoundTrips) {
  for (const auto& props : everyKind()) {
    auto bytes = encodeProps(props);
    auto back = decodeProps(typeCodeOf(props), bytes);
    ASSERT_TRUE(back.ok()) << back.error().message;
    EXPECT_EQ(*back, props);
  }
}

TEST(UnitProps, EveryTruncationIsRejected) {
  for (const auto& props : everyKind()) {
    auto bytes = encodeProps(props);
    for (size_t n = 0; n < bytes.size(); ++n) {
      auto r = decodeProps(typeCodeOf(props), ql::ByteSpan(bytes.data(), n));
      EXPECT_FALSE(r.ok()) << "type " << std::hex << typeCodeOf(props) << " accepted " << n << " bytes";
    }
  }
}

TEST(UnitProps, LeftoverBytesAreRejected) {
  auto bytes = encodeProps(TimerProps{50});
  bytes.push_back(0);
  auto r = decodeProps(ql::abi::kTypeTimer, bytes);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.error().message.find("1 unexpected bytes"), std::string::npos) << r.error().message;
}

TEST(UnitProps, BadValuesAreNamed) {
  struct Case {
    uint32_t type;
    ql::ByteVec bytes;
    const char* expected;
  };
  const Case cases[] = {
      {ql::abi::kTypeListBox, {2, 0, 0, 0}, "flag value 0x2"},
      {ql::abi::kTypeFileDialog, {7, 0, 0, 0}, "file dialog kind 0x7"},
      {ql::abi::kTypeComboBox, {0xFF, 0xFF, 0xFF, 0xFF}, "entry count 0xffffffff"},
      {ql::abi::kTypeTextBox, {1, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0}, "scroll-bar bits 0x9"},
      {0x00010099, {}, "unknown type code 0x10099"},
  };
  for (const auto& c : cases) {
    auto r = decodeProps(c.type, c.bytes);
    ASSERT_FALSE(r.ok()) << c.expected;
    EXPECT_NE(r.error().message.find(c.expected), std::string::npos) << r.error().message;
  }
}

}  // namespace
