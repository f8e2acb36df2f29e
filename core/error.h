#pragma once

#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>

namespace bm {

// The one failure type of the add-in. A failure travels as an exception up to
// the nearest place that is allowed to catch it; everything else passes it on.
enum class ErrorKind {
    Overflow,              // a number does not fit the integer it must become
    TypeMismatch,          // a value cannot be used as the type asked for
    InvalidArgument,       // an argument outside what an operation accepts
    InvalidPropertyValue,  // a control refuses a value
    HostFailure,           // the host (or a platform service) refused a call
};

std::string_view to_string(ErrorKind kind);
// The same, for messages and test output.
std::ostream& operator<<(std::ostream& os, ErrorKind kind);

class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}

    ErrorKind kind() const noexcept { return kind_; }

private:
    ErrorKind kind_;
};

[[noreturn]] void raise(ErrorKind kind, const std::string& message);

}  // namespace bm
