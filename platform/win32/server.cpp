// The exports of the in-process server Brindlemark5.dll: the class factory
// of CBrindlemark5, the module count for unloading, and self-registration
// of the class, its ProgID and the type library inside this DLL.

#include <windows.h>

#include <initguid.h>  // defines the identifiers that brindlemark5.h declares

#include <olectl.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "addin/cbrindlemark5.h"
#include "brindlemark5.h"  // made from brindlemark5.idl
#include "platform/win32/addin_object.h"
#include "platform/win32/com/guid.h"
#include "platform/win32/com/text.h"
#include "platform/win32/com/unique_any.h"
#include "platform/win32/com_object.h"
#include "platform/win32/module_count.h"
#include "platform/win32/this_module.h"

namespace bm::win32 {
namespace {

class ClassFactory final : public ComObject<IClassFactory> {
public:
    ClassFactory() { LockModule(); }
    ~ClassFactory() override { UnlockModule(); }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return CreateAddInObject(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock)
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }
};

constexpr WORD kTypeLibMajor = 1;
constexpr WORD kTypeLibMinor = 0;
constexpr SYSKIND kSysKind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;

struct RegistryEntry {
    std::wstring key;  // under HKEY_CLASSES_ROOT
    const wchar_t* name;  // L"" for the default value
    std::wstring value;
};

std::vector<RegistryEntry> RegistrationEntries(const std::wstring& library) {
    const std::wstring classId = Utf16(addin::kClassId);
    const std::wstring progId = Utf16(addin::kProgId);
    const std::wstring classKey = L"CLSID\\" + classId;
    return {
        {classKey, L"", progId},
        {classKey + L"\\InprocServer32", L"", library},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\ProgID", L"", progId},
        {classKey + L"\\TypeLib", L"", GuidText(LIBID_Brindlemark5)},
        {progId, L"", progId},
        {progId + L"\\CLSID", L"", classId},
    };
}

bool Write(const RegistryEntry& entry) {
    UniqueHkey key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, entry.key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    const auto bytes = static_cast<DWORD>((entry.value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), entry.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(entry.value.c_str()),
                          bytes) == ERROR_SUCCESS;
}

bool Gone(LSTATUS status) { return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND; }

// Removes the entry's value, and its key once nothing of anyone else's is
// left in it. What is missing already counts as removed.
bool Remove(const RegistryEntry& entry) {
    UniqueHkey key;
    const LSTATUS opened =
        RegOpenKeyExW(HKEY_CLASSES_ROOT, entry.key.c_str(), 0, KEY_SET_VALUE | KEY_QUERY_VALUE, key.put());
    if (opened == ERROR_FILE_NOT_FOUND) return true;
    if (opened != ERROR_SUCCESS || !Gone(RegDeleteValueW(key.get(), entry.name))) return false;
    DWORD subKeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS)
        return false;
    key.reset();
    return subKeys != 0 || values != 0 || Gone(RegDeleteKeyW(HKEY_CLASSES_ROOT, entry.key.c_str()));
}

// Removes in the reverse order of writing, so that each key's subkeys go
// before it.
bool Unregister() {
    bool removed = true;
    const std::vector<RegistryEntry> entries = RegistrationEntries(L"");
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) removed = Remove(*entry) && removed;
    UniqueBstr registeredPath;
    if (SUCCEEDED(QueryPathOfRegTypeLib(LIBID_Brindlemark5, kTypeLibMajor, kTypeLibMinor, LOCALE_NEUTRAL,
                                        registeredPath.put()))) {
        removed = SUCCEEDED(UnRegisterTypeLib(LIBID_Brindlemark5, kTypeLibMajor, kTypeLibMinor,
                                              LOCALE_NEUTRAL, kSysKind)) &&
                  removed;
    }
    return removed;
}

HRESULT Register() {
    std::wstring library = ThisModulePath();
    if (library.empty()) return SELFREG_E_CLASS;
    for (const RegistryEntry& entry : RegistrationEntries(library)) {
        if (!Write(entry)) {
            // Half a registration would name a class nobody can create.
            Unregister();
            return SELFREG_E_CLASS;
        }
    }
    Microsoft::WRL::ComPtr<ITypeLib> typeLibrary;
    if (FAILED(LoadTypeLibEx(library.c_str(), REGKIND_NONE, &typeLibrary)) ||
        FAILED(RegisterTypeLib(typeLibrary.Get(), library.data(), nullptr))) {
        Unregister();
        return SELFREG_E_TYPELIB;
    }
    return S_OK;
}

}  // namespace
}  // namespace bm::win32

using namespace bm::win32;

STDAPI DllGetClassObject(REFCLSID classId, REFIID iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (classId != CLSID_CBrindlemark5) return CLASS_E_CLASSNOTAVAILABLE;
    try {
        return MakeCom<ClassFactory>()->QueryInterface(iid, object);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

STDAPI DllCanUnloadNow() {
    if (ModuleInUse()) return S_FALSE;
    // The library may go now: what its objects shared goes first.
    ReleaseAddInTypeInfo();
    return S_OK;
}

STDAPI DllRegisterServer() {
    try {
        return Register();
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

STDAPI DllUnregisterServer() {
    try {
        return Unregister() ? S_OK : SELFREG_E_CLASS;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}
