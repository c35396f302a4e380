// The one result type of the runtime's native operations: a value, or an
// owned error text.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace vexlor {

struct Error {
  std::string message;
};

inline Error error(std::string message) { return Error{std::move(message)}; }

template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Result(Error failure) : state_(std::in_place_index<1>, std::move(failure)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const std::string& error() const { return std::get<1>(state_).message; }

 private:
  std::variant<T, Error> state_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error failure) : failed_(true), message_(std::move(failure.message)) {}

  bool ok() const { return !failed_; }
  explicit operator bool() const { return ok(); }
  const std::string& error() const { return message_; }

 private:
  bool failed_ = false;
  std::string message_;
};

using Status = Result<void>;

}  // namespace vexlor
