#pragma once

// A library of in-process COM servers loaded by its path, whose objects are
// made by its own class factories rather than found through the registry:
// the workbench may have put the process's classes root on a scratch key
// where the classes are not. The library is freed at the end only when it
// says it can be.

#include <windows.h>
#include <wrl/client.h>

#include <string>

#include "core/error.h"
#include "platform/win32/com/error_info.h"
#include "platform/win32/com/text.h"
#include "platform/win32/com/unique_any.h"

namespace bm::workbench::com {

class DllModule {
public:
    // `what` names the library in messages ("the add-in library").
    DllModule(const std::wstring& path, const std::string& what)
        : module_(LoadLibraryW(path.c_str())), name_(what + " " + win32::Utf8(path)) {
        if (!module_)
            raise(ErrorKind::HostFailure,
                  name_ + " cannot be loaded (" + win32::StatusText(HRESULT_FROM_WIN32(GetLastError())) + ")");
    }
    DllModule(const DllModule&) = delete;
    DllModule& operator=(const DllModule&) = delete;
    ~DllModule() {
        auto canUnload = Export<HRESULT(STDAPICALLTYPE*)()>("DllCanUnloadNow");
        // A library still in use stays loaded.
        if (canUnload && canUnload() != S_OK) module_.release();
    }

    template <class F>
    F Export(const char* name) const {
        return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_.get(), name)));
    }

    // An object of `classId` from the library's class factory. Fails with a
    // HostFailure saying that `object` (its name in messages) cannot be
    // created, and why.
    template <class Interface>
    Microsoft::WRL::ComPtr<Interface> Create(REFCLSID classId, const std::string& object) const {
        auto getClassObject = Export<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>("DllGetClassObject");
        if (!getClassObject) raise(ErrorKind::HostFailure, name_ + " has no DllGetClassObject");
        Microsoft::WRL::ComPtr<IClassFactory> factory;
        Microsoft::WRL::ComPtr<Interface> made;
        HRESULT status = getClassObject(classId, IID_IClassFactory, reinterpret_cast<void**>(factory.GetAddressOf()));
        if (SUCCEEDED(status)) status = factory->CreateInstance(nullptr, IID_PPV_ARGS(made.GetAddressOf()));
        if (FAILED(status)) raise(ErrorKind::HostFailure, object + " cannot be created (" + win32::StatusText(status) + ")");
        return made;
    }

private:
    win32::UniqueModule module_;
    std::string name_;
};

}  // namespace bm::workbench::com
