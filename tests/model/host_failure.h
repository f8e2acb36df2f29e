#pragma once

#include <functional>
#include <optional>

#include "core/error.h"

namespace bm::workbench::test {

// Kind of the Error a call throws, or empty when it returns.
inline std::optional<ErrorKind> error_kind(const std::function<void()>& call) {
    try {
        call();
    } catch (const Error& e) {
        return e.kind();
    }
    return std::nullopt;
}

}  // namespace bm::workbench::test
