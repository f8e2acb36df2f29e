#include "platform/win32/com_failure.h"

#include <oleauto.h>

#include <exception>
#include <new>

#include "addin/cbrindlemark5.h"
#include "platform/win32/com/error_info.h"

namespace bm::win32 {

HRESULT ResultOf(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Overflow:
            return DISP_E_OVERFLOW;
        case ErrorKind::TypeMismatch:
            return DISP_E_TYPEMISMATCH;
        case ErrorKind::InvalidArgument:
            return E_INVALIDARG;
        case ErrorKind::InvalidPropertyValue:
            return kInvalidPropertyValue;
        case ErrorKind::HostFailure:
            return E_FAIL;
    }
    return E_UNEXPECTED;
}

HRESULT ReportFailure(REFIID source) noexcept {
    try {
        try {
            throw;
        } catch (const Error& failure) {
            SetErrorDescription(failure.what(), source, addin::kProgId);
            return failure.hostStatus() != 0 ? static_cast<HRESULT>(failure.hostStatus()) : ResultOf(failure.kind());
        } catch (const std::bad_alloc&) {
            SetErrorDescription("out of memory", source, addin::kProgId);
            return E_OUTOFMEMORY;
        } catch (const std::exception& failure) {
            SetErrorDescription(failure.what(), source, addin::kProgId);
            return E_UNEXPECTED;
        }
    } catch (...) {
        // Whatever else was thrown, or a failure while describing it.
        ClearErrorInfo();
        return E_UNEXPECTED;
    }
}

}  // namespace bm::win32
