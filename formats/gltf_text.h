// Texts of the tool (GBK bytes) in a glTF file, whose strings are UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/gltf_library.h"

namespace ql::gltf {

// Puts a text into `extras` under `key`: as UTF-8 when that converts back to
// the very same bytes, otherwise as base64 of its bytes under key + "Base64",
// so that no byte is lost either way.
void putText(tinygltf::Value::Object& extras, const std::string& key, std::string_view gbk);
// The same for a list of texts (one base64 list when any one is not exact).
void putTextList(tinygltf::Value::Object& extras, const std::string& key, const std::vector<std::string_view>& gbk);

// What putText() and putTextList() left there; nothing when the key is
// absent or holds no text of either form.
std::optional<std::string> getText(const tinygltf::Value& extras, const std::string& key);
std::optional<std::vector<std::string>> getTextList(const tinygltf::Value& extras, const std::string& key);

// A name for a glTF "name" property (a label only: bytes GBK cannot read
// become U+FFFD), and a name read back as GBK ("" when GBK cannot hold it).
std::string utf8Name(std::string_view gbk);
std::string gbkName(std::string_view utf8);

}  // namespace ql::gltf
