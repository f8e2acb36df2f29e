#include "platform/win32/server_interface.h"

#include <windows.h>

#include <array>
#include <cwchar>
#include <map>
#include <string>

#include "platform/win32/com_object.h"
#include "platform/win32/com/type_info.h"

namespace bm::win32 {
namespace {

using Microsoft::WRL::ComPtr;

// ---- the slots ------------------------------------------------------------------

ServerFace& FaceOf(void* self) { return *static_cast<ServerFace*>(self); }

HRESULT STDMETHODCALLTYPE FaceQueryInterface(void* self, REFIID iid, void** out) {
    return FaceOf(self).object->ServerQueryInterface(iid, out);
}
ULONG STDMETHODCALLTYPE FaceAddRef(void* self) { return FaceOf(self).object->ServerAddRef(); }
ULONG STDMETHODCALLTYPE FaceRelease(void* self) { return FaceOf(self).object->ServerRelease(); }

HRESULT STDMETHODCALLTYPE FaceGetTypeInfoCount(void*, UINT* count) { return OneTypeInfoCount(count); }
HRESULT STDMETHODCALLTYPE FaceGetTypeInfo(void* self, UINT index, LCID, ITypeInfo** info) {
    return OneTypeInfo(FaceOf(self).described->vtableInfo, index, info);
}
HRESULT STDMETHODCALLTYPE FaceGetIDsOfNames(void* self, REFIID iid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    return DispGetIDsOfNames(FaceOf(self).described->vtableInfo.Get(), names, count, ids);
}
HRESULT STDMETHODCALLTYPE FaceInvoke(void* self, DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* badArgument) {
    if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    // Through the type information back into this face's own slots.
    return DispInvoke(self, FaceOf(self).described->vtableInfo.Get(), id, flags, params, result, exception,
                      badArgument);
}

// The site may arrive as any interface of the host's object.
HRESULT STDMETHODCALLTYPE FaceActivate(void* self, IUnknown* site, VARIANT_BOOL firstTime) {
    ComPtr<IDispatch> dispatch;
    if (site) site->QueryInterface(IID_PPV_ARGS(&dispatch));
    return FaceOf(self).object->ServerActivate(dispatch.Get(), firstTime);
}
HRESULT STDMETHODCALLTYPE FaceDeactivate(void* self) { return FaceOf(self).object->ServerDeactivate(); }
HRESULT STDMETHODCALLTYPE FaceExecuteCommand(void* self, LONG commandId) {
    return FaceOf(self).object->ServerExecuteCommand(commandId);
}
HRESULT STDMETHODCALLTYPE FaceAutomation(void* self, IDispatch** automation) {
    return FaceOf(self).object->ServerAutomation(automation);
}

template <class F>
void* Slot(F function) {
    return reinterpret_cast<void*>(function);
}

// ---- the members, as the type information declares them ------------------------

bool IsPointer(VARTYPE type) { return type == VT_PTR || type == VT_DISPATCH || type == VT_UNKNOWN; }

struct Member {
    const wchar_t* name;
    INVOKEKIND kind;
    std::array<VARTYPE, 2> parameters;  // VT_EMPTY past the last; VT_PTR any pointer
    std::size_t count;
    void* slot;
};

bool Matches(const Member& member, const FUNCDESC& function) {
    if (function.invkind != member.kind || static_cast<std::size_t>(function.cParams) != member.count ||
        function.callconv != CC_STDCALL || function.elemdescFunc.tdesc.vt != VT_HRESULT)
        return false;
    for (std::size_t i = 0; i < member.count; ++i) {
        const VARTYPE type = function.lprgelemdescParam[i].tdesc.vt;
        if (member.parameters[i] == VT_PTR ? !IsPointer(type) : type != member.parameters[i]) return false;
    }
    return true;
}

std::wstring RegistryText(const std::wstring& key, const wchar_t* value) {
    wchar_t text[64] = {};
    DWORD size = sizeof text;
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), value, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
        return {};
    return text;
}

// The vtable half of the interface `iid` as the type library registered
// for it describes it, or null.
ComPtr<ITypeInfo> RegisteredInterface(REFIID iid) {
    const std::wstring key = L"Interface\\" + GuidText(iid) + L"\\TypeLib";
    const std::wstring libraryId = RegistryText(key, nullptr);
    const std::wstring version = RegistryText(key, L"Version");
    const GUID library = GuidOf(libraryId);
    if (library == GUID_NULL) return nullptr;
    wchar_t* minor = nullptr;
    const auto major = static_cast<WORD>(std::wcstoul(version.c_str(), &minor, 16));
    const auto minorVersion = static_cast<WORD>(minor && *minor == L'.' ? std::wcstoul(minor + 1, nullptr, 16) : 0);
    ComPtr<ITypeLib> types;
    ComPtr<ITypeInfo> info;
    if (FAILED(LoadRegTypeLib(library, major, minorVersion, LOCALE_NEUTRAL, &types)) ||
        FAILED(types->GetTypeInfoOfGuid(iid, &info)))
        return nullptr;
    return VtableHalf(info.Get());
}

std::shared_ptr<const ServerInterface> Learn(REFIID iid) {
    ComPtr<ITypeInfo> info = RegisteredInterface(iid);
    if (!info || MemberName(info.Get(), MEMBERID_NIL) != L"ApplicationAddInServer") return nullptr;
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) return nullptr;
    const UINT functions = attributes->cFuncs;
    const std::size_t slots = attributes->cbSizeVft / sizeof(void*);
    const bool dispatchable = (attributes->wTypeFlags & TYPEFLAG_FDISPATCHABLE) != 0;
    info->ReleaseTypeAttr(attributes);
    const std::size_t inherited = dispatchable ? 7 : 3;
    Member members[] = {
        {L"Activate", INVOKE_FUNC, {VT_PTR, VT_BOOL}, 2, Slot(&FaceActivate)},
        {L"Deactivate", INVOKE_FUNC, {}, 0, Slot(&FaceDeactivate)},
        {L"ExecuteCommand", INVOKE_FUNC, {VT_I4}, 1, Slot(&FaceExecuteCommand)},
        {L"Automation", INVOKE_PROPERTYGET, {VT_PTR}, 1, Slot(&FaceAutomation)},
    };
    // Every slot must be one the add-in can answer: a slot it filled with
    // something else would be called with arguments it does not expect.
    if (functions != std::size(members) || slots != inherited + std::size(members)) return nullptr;

    auto learned = std::make_shared<ServerInterface>();
    learned->vtableInfo = info;
    learned->vtable.assign(slots, nullptr);
    learned->vtable[0] = Slot(&FaceQueryInterface);
    learned->vtable[1] = Slot(&FaceAddRef);
    learned->vtable[2] = Slot(&FaceRelease);
    if (dispatchable) {
        learned->vtable[3] = Slot(&FaceGetTypeInfoCount);
        learned->vtable[4] = Slot(&FaceGetTypeInfo);
        learned->vtable[5] = Slot(&FaceGetIDsOfNames);
        learned->vtable[6] = Slot(&FaceInvoke);
    }
    for (UINT i = 0; i < functions; ++i) {
        FUNCDESC* function = nullptr;
        if (FAILED(info->GetFuncDesc(i, &function))) return nullptr;
        const std::wstring name = MemberName(info.Get(), function->memid);
        const Member* member = nullptr;
        for (const Member& candidate : members)
            if (name == candidate.name && Matches(candidate, *function)) member = &candidate;
        const std::size_t offset = static_cast<std::size_t>(function->oVft);
        info->ReleaseFuncDesc(function);
        const std::size_t slot = offset / sizeof(void*);
        if (!member || offset % sizeof(void*) != 0 || slot < inherited || slot >= slots ||
            learned->vtable[slot] != nullptr)
            return nullptr;
        learned->vtable[slot] = member->slot;
    }
    return learned;
}

}  // namespace

std::shared_ptr<const ServerInterface> LearnServerInterface(REFIID iid) {
    static std::map<GUID, std::shared_ptr<const ServerInterface>, GuidLess> learned;
    const auto known = learned.find(iid);
    if (known != learned.end()) return known->second;
    return learned[iid] = Learn(iid);
}

}  // namespace bm::win32
