// The runtime's regular-expression library (library row 2).
//
// Object arguments carry the address of a pointer-sized variable in module
// memory that holds the object's handle. Construct stores a new handle there,
// destroy frees the object and zeroes the variable. Handles are checked
// against the live objects of their kind, so a zero, stale or foreign handle
// behaves like an absent object instead of being dereferenced.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>

#include "runtime/libs/regex/engine.h"
#include "runtime/libs/support/lib_support.h"

namespace ql::regex {
namespace {

using abi::CmdResult;
using lib::Args;

enum Command : int32_t {
  kConstructExpression = 0x004,
  kDestroyExpression = 0x008,
  kSetPattern = 0x00C,
  kSearch = 0x01C,
  kConstructMatch = 0x020,
  kDestroyMatch = 0x024,
  kFoundNothing = 0x028,
  kGroupText = 0x030,
};

const Engine& selectedEngine() {
#if defined(QL_REGEX_USE_BOOST)
  return boostEngine();
#else
  return pcre2Engine();
#endif
}

struct Expression {
  std::unique_ptr<Pattern> pattern;  // null until a pattern compiled
};

struct Match {
  MatchData data;
};

// The live objects of one kind.
template <class T>
class Registry {
 public:
  T* create() {
    auto obj = std::make_unique<T>();
    std::lock_guard lock(mutex_);
    live_.insert(obj.get());
    return obj.release();
  }
  T* find(intptr_t handle) {
    if (handle == 0) return nullptr;
    auto* p = reinterpret_cast<T*>(handle);
    std::lock_guard lock(mutex_);
    return live_.count(p) ? p : nullptr;
  }
  void destroy(intptr_t handle) {
    T* p = nullptr;
    {
      std::lock_guard lock(mutex_);
      auto it = live_.find(reinterpret_cast<T*>(handle));
      if (it == live_.end()) return;
      p = *it;
      live_.erase(it);
    }
    delete p;
  }

 private:
  std::mutex mutex_;
  std::unordered_set<T*> live_;
};

Registry<Expression>& expressions() {
  static Registry<Expression> r;
  return r;
}
Registry<Match>& matches() {
  static Registry<Match> r;
  return r;
}

template <class T>
void constructInto(Registry<T>& registry, intptr_t* variable) {
  if (!variable) return;
  // A variable that already holds a live object gets a fresh one; the old
  // one would otherwise be lost.
  registry.destroy(*variable);
  *variable = reinterpret_cast<intptr_t>(registry.create());
}

template <class T>
void destroyAt(Registry<T>& registry, intptr_t* variable) {
  if (!variable) return;
  registry.destroy(*variable);
  *variable = 0;
}

template <class T>
T* objectAt(Registry<T>& registry, const Args& args, uint32_t index) {
  const auto* variable = args.pointer<const intptr_t>(index);
  return variable ? registry.find(*variable) : nullptr;
}

void setPattern(const Args& args) {
  Expression* e = objectAt(expressions(), args, 0);
  if (!e) return;
  CompileOptions options;
  options.ignoreCase = args.boolean(2, false);
  auto compiled = selectedEngine().compile(args.text(1), options);
  // A pattern that does not compile leaves the object without one: its
  // searches then find nothing, as a pattern that matches nothing would.
  e->pattern = compiled ? std::move(compiled).value() : nullptr;
}

// Always returns a match object, so the caller can ask it whether anything
// was found whatever went wrong before.
CmdResult search(const Args& args) {
  MatchData data;
  Expression* e = objectAt(expressions(), args, 0);
  int32_t start = args.integer(2, 1);
  if (start < 1) start = 1;
  if (e && e->pattern) {
    // An engine that gives up (a resource limit) counts as finding nothing.
    auto result = e->pattern->search(args.text(1), size_t(start) - 1);
    if (result) data = std::move(result).value();
  }
  Match* m = matches().create();
  m->data = std::move(data);
  return lib::pointerResult(m, abi::kTypeMatch);
}

CmdResult groupText(const Args& args) {
  const Match* m = objectAt(matches(), args, 0);
  const std::string_view subject = args.text(1);
  const int32_t group = args.integer(2, 0);
  if (!m || !m->data.found || group < 0 || size_t(group) >= m->data.groups.size()) return lib::textResult("");
  const GroupSpan& g = m->data.groups[size_t(group)];
  // The subject is handed in again; a shorter one than was searched must not
  // make us read past its end.
  if (!g.set || g.begin > g.end || g.end > subject.size()) return lib::textResult("");
  return lib::textResult(subject.substr(g.begin, g.end - g.begin));
}

}  // namespace
}  // namespace ql::regex

QL_EXPORT const QlLibraryInfo* QlLibInfo() {
  static const QlLibraryInfo info{"regex", ql::support::kRegexId, 1, 0, "Regular expressions"};
  return &info;
}

QL_EXPORT int32_t QlLibInit(const QlHost* host) { return ql::lib::Host::install(host) ? 1 : 0; }

namespace ql::regex {
namespace {
CmdResult dispatch(int32_t code, const Args& args) {
  switch (code) {
    case kConstructExpression:
      constructInto(expressions(), args.pointer<intptr_t>(0));
      break;
    case kDestroyExpression:
      destroyAt(expressions(), args.pointer<intptr_t>(0));
      break;
    case kSetPattern:
      setPattern(args);
      break;
    case kSearch:
      return search(args);
    case kConstructMatch:
      constructInto(matches(), args.pointer<intptr_t>(0));
      break;
    case kDestroyMatch:
      destroyAt(matches(), args.pointer<intptr_t>(0));
      break;
    case kFoundNothing: {
      const Match* m = objectAt(matches(), args, 0);
      return ql::lib::intResult(m && m->data.found ? 0 : 1);
    }
    case kGroupText:
      return groupText(args);
    default:
      break;
  }
  return ql::lib::noResult();
}
}  // namespace
}  // namespace ql::regex

// No exception may reach the module: running out of memory while compiling
// or searching gives the empty result (a failed search's caller then sees no
// match object and treats the search as finding nothing).
QL_EXPORT ql::abi::CmdResult QlLibCommand(int32_t code, const ql::abi::ArgRecord* record) {
  try {
    return ql::regex::dispatch(code, ql::lib::Args(record));
  } catch (...) {
    return ql::lib::noResult();
  }
}
