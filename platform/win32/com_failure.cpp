#include "platform/win32/com_failure.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <exception>
#include <new>
#include <string>

#include "addin/cbrindlemark5.h"
#include "platform/win32/utf16.h"

namespace bm::win32 {

namespace {

// Leaves `message` as the thread's error info; a failure to do so leaves
// none, so that no stale description is taken for this one.
void SetDescription(REFIID source, const std::string& message) {
    Microsoft::WRL::ComPtr<ICreateErrorInfo> created;
    Microsoft::WRL::ComPtr<IErrorInfo> info;
    if (SUCCEEDED(CreateErrorInfo(&created)) && SUCCEEDED(created->SetGUID(source)) &&
        SUCCEEDED(created->SetSource(const_cast<LPOLESTR>(Utf16(addin::kProgId).c_str()))) &&
        SUCCEEDED(created->SetDescription(const_cast<LPOLESTR>(Utf16(message).c_str()))) &&
        SUCCEEDED(created.As(&info))) {
        SetErrorInfo(0, info.Get());
    } else {
        SetErrorInfo(0, nullptr);
    }
}

}  // namespace

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
            SetDescription(source, failure.what());
            return failure.hostStatus() != 0 ? static_cast<HRESULT>(failure.hostStatus()) : ResultOf(failure.kind());
        } catch (const std::bad_alloc&) {
            SetDescription(source, "out of memory");
            return E_OUTOFMEMORY;
        } catch (const std::exception& failure) {
            SetDescription(source, failure.what());
            return E_UNEXPECTED;
        }
    } catch (...) {
        // Whatever else was thrown, or a failure while describing it.
        SetErrorInfo(0, nullptr);
        return E_UNEXPECTED;
    }
}

}  // namespace bm::win32
