// The one error of the library, carried as a value: what failed, the OS error, the file and line,
// and a one-line message; and Result<T>, a value or that error.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace tpjconv {

// What failed.
enum class ErrorKind {
  invalid_argument,  // an option out of its range
  open,              // the input or the bus numbers file cannot be opened
  create,            // an output cannot be created or opened
  collision,         // two files of the run are one
  read,              // a read failed
  write,             // a write, or the closing of a written file, failed
  replace,           // the new outputs could not be put in place
  out_of_memory,
};

struct Error {
  ErrorKind kind = ErrorKind::read;
  int os_error = 0;     // the errno, 0 when the system reported none
  std::string file;     // the file concerned, empty when none
  long line = 0;        // the line of `file` being read, 0 when none
  std::string message;  // one line without a line end, such as "cannot read in.dat: I/O error"
};

// A value, or the error that kept it from being made.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit
  Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }
  // The value; only when ok().
  T& value() { return *std::get_if<0>(&state_); }
  const T& value() const { return *std::get_if<0>(&state_); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }
  // The error; only when not ok().
  const Error& error() const { return *std::get_if<1>(&state_); }

 private:
  std::variant<T, Error> state_;
};

// Done, or the error.
template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error)) {}  // NOLINT: implicit

  bool ok() const { return !error_; }
  explicit operator bool() const { return ok(); }
  // The error; only when not ok().
  const Error& error() const { return *error_; }

 private:
  std::optional<Error> error_;
};

using Status = Result<void>;

}  // namespace tpjconv
