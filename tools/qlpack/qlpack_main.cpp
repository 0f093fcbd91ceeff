// qlpack: appends a runtime package to an executable. See usage().
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "launcher/package_format.h"
#include "tools/qlpack/package_writer.h"

namespace {

namespace fs = std::filesystem;
using ql::qlpack::PackageEntry;
using ql::qlpack::PackageOptions;

void usage(std::FILE* out) {
  std::fputs(
      "usage: qlpack --id ID --key KEY --exe IN --out OUT [options] ENTRY...\n"
      "\n"
      "Appends a runtime package holding the given files to the executable IN\n"
      "and writes the result to OUT. The launcher extracts the files into the\n"
      "folder Q_<ID in hex> under the temporary directory and loads the entry\n"
      "named kbase.qlr or kbase.qlb (any letter case) as the kernel library.\n"
      "\n"
      "  --id ID            package identifier, 32-bit (decimal or 0x hex)\n"
      "  --key KEY          scrambling key, 32-bit; key byte j is bits 8j..8j+7\n"
      "  --exe IN           executable to append the package to\n"
      "  --out OUT          packed executable to write (made executable)\n"
      "ENTRY is one of\n"
      "  PATH               PATH's contents under PATH's file name\n"
      "  --entry NAME=PATH  PATH's contents under NAME\n"
      "Entries are stored in the order given; names must be single file names.\n"
      "\n"
      "For test packages with deliberately wrong fields:\n"
      "  --package-magic N  first word of the package\n"
      "  --trailer-magic N  magic of the trailer\n"
      "  --check-value N    scrambled check value\n"
      "  --declared-size N  uncompressed size of the entry list (signed)\n"
      "  --trailer-size N   package size in the trailer (signed)\n"
      "  --any-name         store names that are not single file names\n"
      "  --help             this text\n",
      out);
}

template <class T>
bool parseNumber(std::string_view text, T& out) {
  int base = 10;
  bool negative = false;
  if (!text.empty() && text[0] == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  uint64_t magnitude = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude, base);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return false;
  if (negative) {
    if (!std::numeric_limits<T>::is_signed || magnitude > uint64_t(std::numeric_limits<T>::max()) + 1) return false;
    out = T(-int64_t(magnitude));
    return true;
  }
  if (magnitude > uint64_t(std::numeric_limits<T>::max())) return false;
  out = T(magnitude);
  return true;
}

bool readFile(const fs::path& path, ql::ByteVec& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int failWith(const std::string& message) {
  std::fprintf(stderr, "qlpack: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  PackageOptions options;
  bool haveId = false, haveKey = false, anyName = false;
  std::string exePath, outPath;
  std::vector<std::pair<std::string, std::string>> sources;  // name, path

  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string_view& v) {
      if (i + 1 >= argc) return false;
      v = argv[++i];
      return true;
    };
    std::string_view v;
    bool ok = true;
    if (arg == "--help" || arg == "-h") {
      usage(stdout);
      return 0;
    } else if (arg == "--id") {
      ok = value(v) && parseNumber(v, options.identifier);
      haveId = true;
    } else if (arg == "--key") {
      ok = value(v) && parseNumber(v, options.key);
      haveKey = true;
    } else if (arg == "--exe") {
      ok = value(v);
      exePath = v;
    } else if (arg == "--out") {
      ok = value(v);
      outPath = v;
    } else if (arg == "--entry") {
      ok = value(v);
      const size_t eq = v.find('=');
      if (ok && (eq == std::string_view::npos || eq == 0 || eq + 1 == v.size()))
        return failWith("--entry wants NAME=PATH, got '" + std::string(v) + "'");
      if (ok) sources.emplace_back(std::string(v.substr(0, eq)), std::string(v.substr(eq + 1)));
    } else if (arg == "--package-magic") {
      ok = value(v) && parseNumber(v, options.packageMagic);
    } else if (arg == "--trailer-magic") {
      ok = value(v) && parseNumber(v, options.trailerMagic);
    } else if (arg == "--check-value") {
      ok = value(v) && parseNumber(v, options.checkValue);
    } else if (arg == "--declared-size") {
      int32_t n = 0;
      ok = value(v) && parseNumber(v, n);
      options.declaredSize = n;
    } else if (arg == "--trailer-size") {
      int32_t n = 0;
      ok = value(v) && parseNumber(v, n);
      options.trailerSize = n;
    } else if (arg == "--any-name") {
      anyName = true;
    } else if (arg.starts_with("--")) {
      usage(stderr);
      return failWith("unknown option '" + std::string(arg) + "'");
    } else {
      sources.emplace_back(fs::path(arg).filename().string(), std::string(arg));
    }
    if (!ok) return failWith("bad or missing value for " + std::string(arg));
  }
  if (!haveId || !haveKey || exePath.empty() || outPath.empty()) {
    usage(stderr);
    return failWith("--id, --key, --exe and --out are required");
  }

  std::vector<PackageEntry> entries;
  for (const auto& [name, path] : sources) {
    if (!anyName && !ql::launcher::isSingleComponent(name))
      return failWith("entry name '" + name + "' is not a single file name");
    if (!anyName && name.size() > ql::launcher::kMaxPathLength)
      return failWith("entry name '" + name + "' is too long");
    PackageEntry e{name, {}};
    if (!readFile(path, e.data)) return failWith("cannot read '" + path + "'");
    if (e.data.size() > std::numeric_limits<uint32_t>::max()) return failWith("'" + path + "' is too large");
    entries.push_back(std::move(e));
  }

  ql::ByteVec exe;
  if (!readFile(exePath, exe)) return failWith("cannot read '" + exePath + "'");
  ql::Result<ql::ByteVec> packed = ql::qlpack::packExecutable(exe, entries, options);
  if (!packed) return failWith(packed.error().message);

  // Write beside the target and rename, so a failed run leaves no half file.
  const fs::path out(outPath);
  fs::path temp = out;
  temp += ".qlpack-tmp";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(packed->data()), std::streamsize(packed->size()));
    if (!f.flush()) {
      std::error_code ignored;
      fs::remove(temp, ignored);
      return failWith("cannot write '" + temp.string() + "'");
    }
  }
  std::error_code ec;
  fs::permissions(temp, fs::status(exePath).permissions() | fs::perms::owner_all, ec);
  fs::rename(temp, out, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return failWith("cannot write '" + outPath + "': " + ec.message());
  }
  return 0;
}
