#pragma once

// The boundary between a host and the add-in library where there is no COM.
// The library is a shared object with the four exports of an in-process COM
// server. A host finds it the way COM does: the class's key
// HKEY_CLASSES_ROOT\CLSID\{class id}\InprocServer32 in the registry store
// names the library; the host loads it, asks DllGetClassObject for the
// class factory, and creates the add-in object with it.
//
// Lifecycle, as the host drives it:
//   DllRegisterServer()                 once, as an installer would
//   DllGetClassObject(classId, ...)     -> ClassFactory
//   factory->CreateInstance(desktop)    -> AddInServer (Class_Initialize)
//   server->Activate(site, firstTime)
//   server->ExecuteCommand(id) ...      and events through the site's application
//   server->Deactivate()
//   server.reset()                      (Class_Terminate)
//   DllCanUnloadNow() == kOk            before the library is unloaded
//
// Host and library are built by the same compiler from the same sources, so
// the interfaces below are plain C++ classes.

#include <cstdint>
#include <memory>

#include "host/host.h"
#include "settings/registry_api.h"
#include "settings/settings.h"

namespace bm::ui {
class FormsRuntime;
class Raster;
}  // namespace bm::ui

namespace bm::plugin {

// Result codes of the exports, with COM's values.
using Result = std::int32_t;
inline constexpr Result kOk = 0;                      // S_OK
inline constexpr Result kFalse = 1;                   // S_FALSE
inline constexpr Result kClassNotAvailable = static_cast<Result>(0x80040111);  // CLASS_E_CLASSNOTAVAILABLE
inline constexpr Result kNoInterface = static_cast<Result>(0x80004002);        // E_NOINTERFACE
inline constexpr Result kInvalidArgument = static_cast<Result>(0x80070057);    // E_INVALIDARG
inline constexpr Result kRegistrationFailed = static_cast<Result>(0x80040200); // SELFREG_E_CLASS

inline constexpr const char* kClassFactoryInterface = "IClassFactory";

// What the library uses of the machine it runs on, as a Windows library uses
// the system's window manager, graphics and registry. The host owns them;
// they outlive every object the library creates.
struct Desktop {
    ui::FormsRuntime& forms;
    ui::Raster& raster;
    RegistryApi& registry;
};

// The add-in object as the host sees it.
class AddInServer {
public:
    virtual ~AddInServer() = default;
    virtual void ApplicationAddInServer_Activate(const host::Ref<host::AddInSite>& site,
                                                 bool firstTime) = 0;
    virtual ObjectRef ApplicationAddInServer_Automation() = 0;
    virtual void ApplicationAddInServer_Deactivate() = 0;
    virtual void ApplicationAddInServer_ExecuteCommand(std::int32_t commandId) = 0;
    // The object's settings properties.
    virtual Settings& Properties() = 0;
};

class ClassFactory {
public:
    virtual std::shared_ptr<AddInServer> CreateInstance(const Desktop& desktop) = 0;
    // Keeps the library loaded while locked, as IClassFactory::LockServer.
    virtual void LockServer(bool lock) = 0;

protected:
    ~ClassFactory() = default;
};

}  // namespace bm::plugin

// The four exports, unmangled.
extern "C" {
using BmDllGetClassObject = bm::plugin::Result (*)(const char* classId, const char* interfaceId,
                                                   void** object);
using BmDllCanUnloadNow = bm::plugin::Result (*)();
using BmDllRegisterServer = bm::plugin::Result (*)();
using BmDllUnregisterServer = bm::plugin::Result (*)();
}
