#include "formats/gltf_text.h"

#include <algorithm>

#include "common/gbk.h"
#include "formats/gltf_export.h"

namespace ql::gltf {
namespace {

bool isAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (unsigned char)c < 0x80; });
}

// The UTF-8 form of a GBK text that converts back to the same bytes.
std::optional<std::string> exactUtf8(std::string_view gbk) {
  if (isAscii(gbk)) return std::string(gbk);
  auto utf8 = gbkToUtf8(gbk);
  if (!utf8) return std::nullopt;
  auto back = utf8ToGbk(*utf8);
  if (!back || *back != gbk) return std::nullopt;
  return utf8;
}

std::optional<std::string> gbkOf(std::string_view utf8) {
  if (isAscii(utf8)) return std::string(utf8);
  return utf8ToGbk(utf8);
}

std::string base64(std::string_view bytes) {
  return tinygltf::base64_encode(reinterpret_cast<const unsigned char*>(bytes.data()), unsigned(bytes.size()));
}

const tinygltf::Value* member(const tinygltf::Value& extras, const std::string& key) {
  if (!extras.IsObject() || !extras.Has(key)) return nullptr;
  return &extras.Get(key);
}

}  // namespace

void putText(tinygltf::Value::Object& extras, const std::string& key, std::string_view gbk) {
  if (auto utf8 = exactUtf8(gbk)) {
    extras[key] = tinygltf::Value(std::move(*utf8));
    return;
  }
  extras[key + kExtraBytesSuffix] = tinygltf::Value(base64(gbk));
}

void putTextList(tinygltf::Value::Object& extras, const std::string& key, const std::vector<std::string_view>& gbk) {
  tinygltf::Value::Array list;
  list.reserve(gbk.size());
  for (std::string_view text : gbk) {
    auto utf8 = exactUtf8(text);
    if (!utf8) {
      tinygltf::Value::Array bytes;
      bytes.reserve(gbk.size());
      for (std::string_view t : gbk) bytes.emplace_back(base64(t));
      extras[key + kExtraBytesSuffix] = tinygltf::Value(std::move(bytes));
      return;
    }
    list.emplace_back(std::move(*utf8));
  }
  extras[key] = tinygltf::Value(std::move(list));
}

std::optional<std::string> getText(const tinygltf::Value& extras, const std::string& key) {
  if (const tinygltf::Value* v = member(extras, key); v && v->IsString()) return gbkOf(v->Get<std::string>());
  if (const tinygltf::Value* v = member(extras, key + kExtraBytesSuffix); v && v->IsString())
    return tinygltf::base64_decode(v->Get<std::string>());
  return std::nullopt;
}

std::optional<std::vector<std::string>> getTextList(const tinygltf::Value& extras, const std::string& key) {
  const bool plain = member(extras, key) != nullptr;
  const tinygltf::Value* v = plain ? member(extras, key) : member(extras, key + kExtraBytesSuffix);
  if (!v || !v->IsArray()) return std::nullopt;
  std::vector<std::string> out;
  out.reserve(v->ArrayLen());
  for (size_t i = 0; i < v->ArrayLen(); ++i) {
    const tinygltf::Value& e = v->Get(int(i));
    if (!e.IsString()) return std::nullopt;
    if (!plain) {
      out.push_back(tinygltf::base64_decode(e.Get<std::string>()));
      continue;
    }
    auto gbk = gbkOf(e.Get<std::string>());
    if (!gbk) return std::nullopt;
    out.push_back(std::move(*gbk));
  }
  return out;
}

std::string utf8Name(std::string_view gbk) { return isAscii(gbk) ? std::string(gbk) : gbkToUtf8Lossy(gbk); }

std::string gbkName(std::string_view utf8) { return gbkOf(utf8).value_or(std::string()); }

}  // namespace ql::gltf
