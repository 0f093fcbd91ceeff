#include "runtime/window/filter.h"

namespace ql::window {

namespace {
constexpr unsigned char kGbkLeadMin = 0x81;
constexpr unsigned char kGbkLeadMax = 0xFE;

std::vector<std::string_view> splitBars(std::string_view s) {
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  for (;;) {
    std::size_t bar = s.find('|', start);
    if (bar == std::string_view::npos) {
      pieces.push_back(s.substr(start));
      return pieces;
    }
    pieces.push_back(s.substr(start, bar - start));
    start = bar + 1;
  }
}
}  // namespace

std::vector<FilterPair> parseFilter(std::string_view filter) {
  std::vector<FilterPair> pairs;
  if (filter.empty()) return pairs;
  auto pieces = splitBars(filter);
  for (std::size_t i = 0; i < pieces.size(); i += 2) {
    if (i + 1 == pieces.size()) {
      if (!pieces[i].empty()) pairs.push_back({std::string(pieces[i]), std::string(pieces[i])});
      break;
    }
    if (pieces[i + 1].empty()) continue;
    pairs.push_back({std::string(pieces[i]), std::string(pieces[i + 1])});
  }
  return pairs;
}

std::string defaultExtension(std::string_view spec) {
  std::string_view first = spec.substr(0, spec.find('|'));
  first = first.substr(0, first.find(';'));
  std::size_t dot = first.rfind('.');
  if (dot == std::string_view::npos) return {};
  std::string_view ext = first.substr(dot + 1);
  if (ext.empty() || ext.find_first_of("*?") != std::string_view::npos) return {};
  return "." + std::string(ext);
}

std::size_t lastSeparator(std::string_view gbk) {
  std::size_t last = std::string_view::npos;
  for (std::size_t i = 0; i < gbk.size(); ++i) {
    auto c = static_cast<unsigned char>(gbk[i]);
    if (c >= kGbkLeadMin && c <= kGbkLeadMax && i + 1 < gbk.size()) {
      ++i;  // skip the trail byte, whatever it is
      continue;
    }
    if (c == '\\') last = i;
  }
  return last;
}

std::string withDefaultExtension(std::string_view gbkPath, std::string_view ext) {
  std::string out(gbkPath);
  if (ext.empty()) return out;
  std::size_t sep = lastSeparator(gbkPath);
  std::string_view name = sep == std::string_view::npos ? gbkPath : gbkPath.substr(sep + 1);
  // '.' (0x2E) is never a GBK trail byte, so a byte search is safe here.
  if (name.empty() || name.find('.') != std::string_view::npos) return out;
  out += ext;
  return out;
}

}  // namespace ql::window
