#pragma once

#include <optional>
#include <string>

#include "core/convert.h"
#include "core/error.h"

namespace bm::test {

// The kind of error that `f` raises, or nothing when it returns normally.
template <class F>
std::optional<ErrorKind> ErrorKindOf(F&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.kind();
    }
    return std::nullopt;
}

// Tables are written with a period; the code reads and writes the user's
// decimal separator.
inline std::string Localized(std::string text) {
    for (char& c : text)
        if (c == '.') c = decimal_separator();
    return text;
}

}  // namespace bm::test
