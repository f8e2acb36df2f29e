#include "platform/win32/com/error_info.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <cstdio>
#include <utility>

#include "platform/win32/com/text.h"
#include "platform/win32/com/unique_any.h"

namespace bm::win32 {

using Microsoft::WRL::ComPtr;

std::string StatusText(HRESULT status) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
    return text;
}

void SetErrorDescription(std::string_view description, REFGUID source, std::string_view sourceName) noexcept {
    try {
        ComPtr<ICreateErrorInfo> created;
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(CreateErrorInfo(&created)) && SUCCEEDED(created->SetGUID(source)) &&
            (sourceName.empty() || SUCCEEDED(created->SetSource(const_cast<LPOLESTR>(Utf16(sourceName).c_str())))) &&
            SUCCEEDED(created->SetDescription(const_cast<LPOLESTR>(Utf16(description).c_str()))) &&
            SUCCEEDED(created.As(&info))) {
            SetErrorInfo(0, info.Get());
            return;
        }
    } catch (...) {
        // Out of memory for the texts: no description at all, as below.
    }
    ClearErrorInfo();
}

void ClearErrorInfo() noexcept { SetErrorInfo(0, nullptr); }

std::string ThreadErrorDescription() {
    ComPtr<IErrorInfo> info;
    UniqueBstr description;
    if (GetErrorInfo(0, &info) != S_OK || !info || FAILED(info->GetDescription(description.put()))) return {};
    return FromBstr(description.get());
}

std::string TakeDescription(EXCEPINFO& exception) {
    if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
    const UniqueBstr description(std::exchange(exception.bstrDescription, nullptr));
    const UniqueBstr source(std::exchange(exception.bstrSource, nullptr));
    const UniqueBstr helpFile(std::exchange(exception.bstrHelpFile, nullptr));
    return FromBstr(description.get());
}

}  // namespace bm::win32
