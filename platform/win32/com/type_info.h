#pragma once

// Small reads of type information shared by the add-in, which learns its
// host's interfaces from them, and the workbench, which serves its host
// from them.

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>

#include "platform/win32/com/guid.h"
#include "platform/win32/com/unique_any.h"

namespace bm::win32 {

// The name of `member` of `info` (MEMBERID_NIL: of the type itself), or
// nothing where it has none.
inline std::wstring MemberName(ITypeInfo* info, MEMBERID member) {
    UniqueBstr name;
    if (FAILED(info->GetDocumentation(member, name.put(), nullptr, nullptr, nullptr)) || !name) return {};
    return std::wstring(name.get(), SysStringLen(name.get()));
}

// The vtable half of an interface: a dual interface's own, an interface
// itself, and null for anything else (a dispatch-only interface has none).
inline Microsoft::WRL::ComPtr<ITypeInfo> VtableHalf(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) return nullptr;
    const TYPEKIND kind = attributes->typekind;
    info->ReleaseTypeAttr(attributes);
    if (kind == TKIND_INTERFACE) return info;
    HREFTYPE vtableHalf = 0;
    Microsoft::WRL::ComPtr<ITypeInfo> vtable;
    if (kind == TKIND_DISPATCH && SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf)) &&
        SUCCEEDED(info->GetRefTypeInfo(vtableHalf, &vtable)))
        return vtable;
    return nullptr;
}

// IDispatch::GetTypeInfoCount and GetTypeInfo of an object that one type
// information describes.
inline HRESULT OneTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}
inline HRESULT OneTypeInfo(const Microsoft::WRL::ComPtr<ITypeInfo>& described, UINT index, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return described.CopyTo(info);
}

}  // namespace bm::win32
