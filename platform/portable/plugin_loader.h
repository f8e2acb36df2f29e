#pragma once

// The host side of the add-in boundary: finds a class's library through its
// registration in the registry store, loads it and creates objects with its
// class factory, as COM's CoCreateInstance does for an in-process server.

#include <memory>
#include <optional>
#include <string>

#include "platform/portable/plugin_abi.h"

namespace bm::portable {

class PluginLibrary {
public:
    // The library registered for `classId` (the default value of
    // HKEY_CLASSES_ROOT\CLSID\{classId}\InprocServer32), or nullopt.
    static std::optional<std::string> RegisteredPath(RegistryApi& registry, const std::string& classId);

    // Loads `library` and runs its DllRegisterServer, as an installer does.
    // Fails with HostFailure saying why.
    static void Register(const std::string& library);

    // Loads the library registered for `classId` and takes its class
    // factory. Fails with HostFailure saying why (not registered, cannot be
    // loaded, no factory for the class).
    PluginLibrary(RegistryApi& registry, const std::string& classId);
    // Unloads the library when it says it can be unloaded.
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& Path() const { return path_; }
    std::shared_ptr<plugin::AddInServer> CreateInstance(const plugin::Desktop& desktop);
    // The library's DllCanUnloadNow.
    bool CanUnloadNow() const;

private:
    // Owns a dlopen handle: closes it unless released.
    struct CloseLibrary {
        void operator()(void* handle) const;
    };
    using LibraryHandle = std::unique_ptr<void, CloseLibrary>;
    static LibraryHandle OpenLibrary(const std::string& path);

    std::string path_;
    LibraryHandle handle_;
    plugin::ClassFactory* factory_ = nullptr;
    BmDllCanUnloadNow canUnloadNow_ = nullptr;
};

}  // namespace bm::portable
