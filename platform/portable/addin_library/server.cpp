// The add-in library's exports: an in-process server of one class,
// CBrindlemark5, with a class factory, a module reference count and
// self-registration in the registry store.

#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>

#include "addin/cbrindlemark5.h"
#include "addin/module.h"
#include "platform/portable/plugin_abi.h"
#include "platform/portable/registry_store.h"

#define BM_EXPORT extern "C" __attribute__((visibility("default")))

namespace bm::plugin {
namespace {

std::atomic<long> liveObjects{0};
std::atomic<long> serverLocks{0};
// The library's module-level state, made with the desktop of the first
// object and made anew when a host comes back after every object has gone.
std::unique_ptr<addin::AddInModule> module;

class AddInObject final : public AddInServer {
public:
    explicit AddInObject(addin::AddInModule& addInModule) : object_(addInModule) { ++liveObjects; }
    ~AddInObject() override { --liveObjects; }

    void ApplicationAddInServer_Activate(const host::Ref<host::AddInSite>& site,
                                         bool firstTime) override {
        object_.ApplicationAddInServer_Activate(site, firstTime);
    }
    ObjectRef ApplicationAddInServer_Automation() override {
        return object_.ApplicationAddInServer_Automation();
    }
    void ApplicationAddInServer_Deactivate() override {
        object_.ApplicationAddInServer_Deactivate();
    }
    void ApplicationAddInServer_ExecuteCommand(std::int32_t commandId) override {
        object_.ApplicationAddInServer_ExecuteCommand(commandId);
    }
    Settings& Properties() override { return object_; }

private:
    addin::CBrindlemark5 object_;
};

class Factory final : public ClassFactory {
public:
    std::shared_ptr<AddInServer> CreateInstance(const Desktop& desktop) override {
        if (!module || liveObjects == 0)
            module = std::make_unique<addin::AddInModule>(desktop.registry, desktop.forms,
                                                          desktop.raster);
        return std::make_shared<AddInObject>(*module);
    }
    void LockServer(bool lock) override {
        if (lock)
            ++serverLocks;
        else
            --serverLocks;
    }
};

Factory factory;

// Where this library lies, for the registration.
std::string LibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LibraryPath), &info) == 0 || !info.dli_fname) return {};
    return info.dli_fname;
}

struct RegistryEntry {
    std::string key;  // under HKEY_CLASSES_ROOT
    const char* name;  // "" for the default value
    std::string value;
};

std::vector<RegistryEntry> RegistrationEntries(const std::string& library) {
    const std::string classKey = std::string("CLSID\\") + addin::kClassId;
    return {
        {classKey, "", addin::kProgId},
        {classKey + "\\InprocServer32", "", library},
        {classKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {classKey + "\\ProgID", "", addin::kProgId},
        {std::string(addin::kProgId), "", addin::kProgId},
        {std::string(addin::kProgId) + "\\CLSID", "", addin::kClassId},
    };
}

}  // namespace
}  // namespace bm::plugin

using namespace bm;
using namespace bm::plugin;

// No exception crosses into the host's C caller: every entry answers with a
// result code, whatever fails inside.

BM_EXPORT Result DllGetClassObject(const char* classId, const char* interfaceId,
                                   void** object) noexcept {
    if (!object) return kInvalidArgument;
    *object = nullptr;
    if (!classId || std::strcmp(classId, addin::kClassId) != 0) return kClassNotAvailable;
    if (!interfaceId || std::strcmp(interfaceId, kClassFactoryInterface) != 0) return kNoInterface;
    *object = static_cast<ClassFactory*>(&factory);
    return kOk;
}

BM_EXPORT Result DllCanUnloadNow() noexcept {
    return liveObjects == 0 && serverLocks == 0 ? kOk : kFalse;
}

BM_EXPORT Result DllRegisterServer() noexcept {
    try {
        const std::string library = LibraryPath();
        if (library.empty()) return kRegistrationFailed;
        portable::RegistryStore store;
        for (const RegistryEntry& entry : RegistrationEntries(library)) {
            reg::Hkey key = 0;
            if (store.RegCreateKeyExA(reg::kHkeyClassesRoot, entry.key.c_str(), 0, reg::kKeyAccess,
                                      key, nullptr) != reg::kErrorSuccess)
                return kRegistrationFailed;
            const reg::Status status = store.RegSetValueExA(
                key, entry.name, reg::kRegSz, reinterpret_cast<const std::uint8_t*>(entry.value.c_str()),
                static_cast<reg::DWord>(entry.value.size() + 1));
            store.RegCloseKey(key);
            if (status != reg::kErrorSuccess) return kRegistrationFailed;
        }
        return kOk;
    } catch (...) {
        return kRegistrationFailed;
    }
}

BM_EXPORT Result DllUnregisterServer() noexcept {
    try {
        portable::RegistryStore store;
        const bool removed =
            store.DeleteKeyTree(std::string("HKEY_CLASSES_ROOT\\CLSID\\") + addin::kClassId) ==
                reg::kErrorSuccess &&
            store.DeleteKeyTree(std::string("HKEY_CLASSES_ROOT\\") + addin::kProgId) ==
                reg::kErrorSuccess;
        return removed ? kOk : kRegistrationFailed;
    } catch (...) {
        return kRegistrationFailed;
    }
}
