#include "platform/portable/plugin_loader.h"

#include <dlfcn.h>

#include "core/error.h"
#include "settings/registry.h"

namespace bm::portable {

namespace {

template <class Function>
Function Export(void* handle, const std::string& path, const char* name) {
    void* symbol = dlsym(handle, name);
    if (!symbol) raise(ErrorKind::HostFailure, "the library " + path + " has no export " + name);
    return reinterpret_cast<Function>(symbol);
}

}  // namespace

void PluginLibrary::CloseLibrary::operator()(void* handle) const { dlclose(handle); }

PluginLibrary::LibraryHandle PluginLibrary::OpenLibrary(const std::string& path) {
    LibraryHandle handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!handle) {
        const char* why = dlerror();
        raise(ErrorKind::HostFailure,
              "cannot load the add-in library " + path + ": " + (why ? why : "unknown reason"));
    }
    return handle;
}

std::optional<std::string> PluginLibrary::RegisteredPath(RegistryApi& registry,
                                                         const std::string& classId) {
    ModRegistry reader(registry);
    reader.RegRootKey = reg::kHkeyClassesRoot;
    reader.RegBasePath = "CLSID\\";
    const Variant path = reader.GetRegValue(classId, "InprocServer32", "", Variant());
    if (path.type() != VarType::kString || path.as_string().empty()) return std::nullopt;
    return path.as_string();
}

void PluginLibrary::Register(const std::string& library) {
    const LibraryHandle handle = OpenLibrary(library);
    const plugin::Result result =
        Export<BmDllRegisterServer>(handle.get(), library, "DllRegisterServer")();
    if (result != plugin::kOk)
        raise(ErrorKind::HostFailure, "the library " + library + " refused to register");
}

PluginLibrary::PluginLibrary(RegistryApi& registry, const std::string& classId) {
    const auto path = RegisteredPath(registry, classId);
    if (!path) raise(ErrorKind::HostFailure, "no library is registered for the class " + classId);
    path_ = *path;
    handle_ = OpenLibrary(path_);
    canUnloadNow_ = Export<BmDllCanUnloadNow>(handle_.get(), path_, "DllCanUnloadNow");
    auto getClassObject = Export<BmDllGetClassObject>(handle_.get(), path_, "DllGetClassObject");
    void* factory = nullptr;
    if (getClassObject(classId.c_str(), plugin::kClassFactoryInterface, &factory) != plugin::kOk ||
        !factory)
        raise(ErrorKind::HostFailure, "the library " + path_ + " offers no class " + classId);
    factory_ = static_cast<plugin::ClassFactory*>(factory);
}

PluginLibrary::~PluginLibrary() {
    // A library with live objects stays loaded: unloading it would pull the
    // code from under them.
    if (!CanUnloadNow()) static_cast<void>(handle_.release());
}

std::shared_ptr<plugin::AddInServer> PluginLibrary::CreateInstance(const plugin::Desktop& desktop) {
    return factory_->CreateInstance(desktop);
}

bool PluginLibrary::CanUnloadNow() const { return canUnloadNow_() == plugin::kOk; }

}  // namespace bm::portable
