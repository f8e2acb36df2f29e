#pragma once

#include <cstdint>
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
    Error(ErrorKind kind, const std::string& message, std::int32_t hostStatus = 0)
        : std::runtime_error(message), kind_(kind), hostStatus_(hostStatus) {}

    ErrorKind kind() const noexcept { return kind_; }
    // The status code the host gave a failed call of its own (an HRESULT
    // on Windows), so that it reaches the host's caller unchanged; 0 when
    // the failure is the add-in's own or the host gave none.
    std::int32_t hostStatus() const noexcept { return hostStatus_; }

private:
    ErrorKind kind_;
    std::int32_t hostStatus_;
};

[[noreturn]] void raise(ErrorKind kind, const std::string& message);

}  // namespace bm
