#pragma once

// Failures at the add-in's COM boundary. No C++ exception may leave a COM
// entry point: each runs its body through ComEntry, which answers S_OK or
// the HRESULT of the failure's kind, and leaves the failure's message as
// the description of the thread's error info:
//   Overflow -> DISP_E_OVERFLOW, TypeMismatch -> DISP_E_TYPEMISMATCH,
//   InvalidArgument -> E_INVALIDARG, InvalidPropertyValue -> 0x800A017C
//   (invalid property value), HostFailure -> the host's own status where it
//   gave one, else E_FAIL,
//   out of memory -> E_OUTOFMEMORY, anything else -> E_UNEXPECTED.

#include <objbase.h>

#include "core/error.h"

namespace bm::win32 {

inline constexpr HRESULT kInvalidPropertyValue = static_cast<HRESULT>(0x800A017C);

HRESULT ResultOf(ErrorKind kind);

// The kind of a failure from the HRESULT that ResultOf gave it, for a
// caller of the add-in; any other status is a host failure.
inline ErrorKind KindOf(HRESULT status) {
    switch (status) {
        case DISP_E_OVERFLOW: return ErrorKind::Overflow;
        case DISP_E_TYPEMISMATCH: return ErrorKind::TypeMismatch;
        case E_INVALIDARG: return ErrorKind::InvalidArgument;
        case kInvalidPropertyValue: return ErrorKind::InvalidPropertyValue;
        default: return ErrorKind::HostFailure;
    }
}

// To be called inside a catch block: reports the exception in flight as
// the error info of the interface `source` and answers its HRESULT.
HRESULT ReportFailure(REFIID source) noexcept;

template <class Body>
HRESULT ComEntry(REFIID source, Body&& body) noexcept {
    try {
        body();
        return S_OK;
    } catch (...) {
        return ReportFailure(source);
    }
}

}  // namespace bm::win32
