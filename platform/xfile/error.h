#pragma once

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace zv::platform {

// What went wrong in an X file and where: `offset` counts bytes from the start
// of the file. In the compressed forms, damage to the compressed blocks is
// placed in the compressed file, and everything else in the decompressed file
// (header included, so offsets match those of the uncompressed form).
struct XError {
  uint64_t offset = 0;
  std::string message;
  // The line the offset lies on in a text file (counted from 1); 0 when the
  // file is not one a person reads by lines.
  uint64_t line = 0;
  // Which number of the object at `offset` (counted from 0 in the order
  // written) is wrong, where one is: PlaceOnItsLine places the error there.
  std::optional<uint64_t> number{};

  std::string Describe() const {
    const std::string place = "byte " + std::to_string(offset);
    return (line > 0 ? "line " + std::to_string(line) + " (" + place + ")" : place) + ": " + message;
  }
};

// A value or the error that prevented it.
template <class T>
class XResult {
 public:
  XResult(T value) : state_(std::move(value)) {}
  XResult(XError error) : state_(std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  T& value() { return std::get<0>(state_); }
  const T& value() const { return std::get<0>(state_); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() { return value(); }
  const T& operator*() const { return value(); }

  const XError& error() const { return std::get<1>(state_); }

 private:
  std::variant<T, XError> state_;
};

// Carries an XError out of the depths of the reader and the writer; the public
// calls turn it back into an XResult, so callers never see it.
class XFileException : public std::exception {
 public:
  XFileException(uint64_t offset, std::string message) : error_{offset, std::move(message)} {}
  explicit XFileException(XError error) : error_(std::move(error)) {}
  const XError& error() const { return error_; }
  const char* what() const noexcept override { return error_.message.c_str(); }

 private:
  XError error_;
};

[[noreturn]] inline void ThrowXError(uint64_t offset, std::string message) {
  throw XFileException(offset, std::move(message));
}

}  // namespace zv::platform
