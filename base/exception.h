// Error classes of the whole system. Every error is an exception carrying its message text;
// raise them through the Raise* helpers so that one breakpoint catches every error of a kind.
#pragma once

#include <exception>
#include <string>

namespace sw {

class Exception : public std::exception {
public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const noexcept { return message_; }

private:
  std::string message_;
};

// XML parsing and errors in Base64 or BinHex text.
class EFilerError : public Exception {
public:
  using Exception::Exception;
};

// Raster-format errors.
class ERasterError : public Exception {
public:
  using Exception::Exception;
};

// Stream misuse and stream input/output errors.
class EStreamError : public Exception {
public:
  using Exception::Exception;
};

[[noreturn]] void RaiseError(const std::string& message);
[[noreturn]] void RaiseFilerError(const std::string& message);
[[noreturn]] void RaiseRasterError(const std::string& message);
[[noreturn]] void RaiseStreamError(const std::string& message);

// printf-style formatting into a std::string ("%s" takes a const char*).
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace sw
