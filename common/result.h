// A value or the reason why there is none. Every reader of outside bytes
// returns one of these instead of throwing.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace ql {

struct Error {
  std::string message;
};

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}
  Result(Error error) : v_(std::move(error)) {}

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const Error& error() const { return std::get<1>(v_); }

 private:
  std::variant<T, Error> v_;
};

// For operations that either succeed or say why not.
struct Ok {};
using Status = Result<Ok>;

inline Error fail(std::string message) { return Error{std::move(message)}; }

}  // namespace ql
