#include "formats/gltf_bones.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace ql::gltf {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The next blank-separated token at `at`, which moves past it; empty at the end.
std::string_view nextToken(std::string_view text, size_t& at) {
  while (at < text.size() && isBlank(text[at])) ++at;
  const size_t begin = at;
  while (at < text.size() && !isBlank(text[at])) ++at;
  return text.substr(begin, at - begin);
}

template <class T>
bool wholeNumber(std::string_view token, T& out) {
  if (token.empty()) return false;
  const char* end = token.data() + token.size();
  const auto [ptr, ec] = std::from_chars(token.data(), end, out);
  return ec == std::errc() && ptr == end;
}

// One influence per bone, weights above 0 only (NaN counts as not above 0).
std::vector<Influence> mergedByBone(std::span<const Influence> in) {
  std::vector<Influence> out;
  out.reserve(in.size());
  for (const Influence& i : in) {
    if (!(i.weight > 0) || !std::isfinite(i.weight)) continue;
    auto same = std::find_if(out.begin(), out.end(), [&](const Influence& o) { return o.bone == i.bone; });
    if (same == out.end()) out.push_back(i);
    else same->weight += i.weight;
  }
  return out;
}

double totalWeight(std::span<const Influence> in) {
  double sum = 0;
  for (const Influence& i : in) sum += i.weight;
  return sum;
}

void sortHeaviestFirst(std::vector<Influence>& in) {
  std::sort(in.begin(), in.end(), [](const Influence& a, const Influence& b) {
    return a.weight != b.weight ? a.weight > b.weight : a.bone < b.bone;
  });
}

}  // namespace

std::vector<Influence> parseBoneText(std::string_view text) {
  size_t at = 0;
  int64_t count = 0;
  if (!wholeNumber(nextToken(text, at), count) || count < 0) return {};
  // Each pair takes at least four bytes ("1 1 "): a count beyond that is
  // malformed, and no room is reserved for it.
  if (uint64_t(count) > text.size() / 2) return {};
  std::vector<Influence> read;
  read.reserve(size_t(count));
  for (int64_t k = 0; k < count; ++k) {
    Influence i;
    if (!wholeNumber(nextToken(text, at), i.bone) || i.bone < 0) return {};
    if (!wholeNumber(nextToken(text, at), i.weight)) return {};
    read.push_back(i);
  }
  std::vector<Influence> out = mergedByBone(read);
  const double sum = totalWeight(out);
  if (!(sum > 0) || !std::isfinite(sum)) return {};
  for (Influence& i : out) i.weight /= sum;
  sortHeaviestFirst(out);
  return out;
}

std::vector<float> fileWeights(std::span<const Influence> influences) {
  std::vector<float> out;
  out.reserve(influences.size());
  double sum = 0;
  for (const Influence& i : influences) {
    out.push_back(float(i.weight));
    sum += double(out.back());
  }
  // The rounding of each weight, given back to the heaviest.
  if (!out.empty()) out.front() = float(double(out.front()) + (1.0 - sum));
  return out;
}

std::string influenceKey(std::span<const Influence> influences) {
  std::vector<Influence> merged = mergedByBone(influences);
  const double sum = totalWeight(merged);
  std::sort(merged.begin(), merged.end(), [](const Influence& a, const Influence& b) { return a.bone < b.bone; });
  std::string key;
  if (!(sum > 0) || !std::isfinite(sum)) return key;
  for (const Influence& i : merged) {
    const int32_t units = int32_t(std::llround(i.weight / sum * kWeightUnits));
    if (units == 0) continue;
    char pair[8];
    std::memcpy(pair, &i.bone, 4);
    std::memcpy(pair + 4, &units, 4);
    key.append(pair, sizeof pair);
  }
  return key;
}

std::string gameBoneText(std::span<const Influence> influences) {
  std::vector<Influence> merged = mergedByBone(influences);
  const double sum = totalWeight(merged);
  if (!(sum > 0) || !std::isfinite(sum)) return "0";
  sortHeaviestFirst(merged);

  // Whole units by the largest remainders, so that they add up to exactly 1.
  struct Share {
    int32_t bone;
    int32_t units;
    double remainder;
  };
  std::vector<Share> shares;
  int64_t given = 0;
  for (size_t k = 0; k < merged.size(); ++k) {
    const double exact = merged[k].weight / sum * kWeightUnits;
    const double whole = std::floor(exact);
    shares.push_back({merged[k].bone, int32_t(whole), exact - whole});
    given += int64_t(whole);
  }
  std::vector<Share*> byRemainder;
  for (Share& s : shares) byRemainder.push_back(&s);
  std::stable_sort(byRemainder.begin(), byRemainder.end(),
                   [](const Share* a, const Share* b) { return a->remainder > b->remainder; });
  for (size_t k = 0; given < kWeightUnits && k < byRemainder.size(); ++k, ++given) ++byRemainder[k]->units;
  // Heaviest first as written: weights equal to five decimals by bone number.
  std::sort(shares.begin(), shares.end(),
            [](const Share& a, const Share& b) { return a.units != b.units ? a.units > b.units : a.bone < b.bone; });

  std::string text;
  int32_t written = 0;
  char piece[48];
  for (const Share& s : shares) {
    if (s.units <= 0) continue;
    const int n = std::snprintf(piece, sizeof piece, written == 0 ? " %d %d.%05d" : " %2d %d.%05d", int(s.bone),
                                int(s.units / kWeightUnits), int(s.units % kWeightUnits));
    text.append(piece, size_t(n));
    ++written;
  }
  return std::to_string(written) + text;
}

}  // namespace ql::gltf
