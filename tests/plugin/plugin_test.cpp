// The add-in as a host meets it: a library registered in the registry store,
// found and loaded by its class id, created through its class factory.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>

#include "addin/cbrindlemark5.h"
#include "core/error.h"
#include "platform/portable/headless_runtime.h"
#include "platform/portable/memory_raster.h"
#include "platform/portable/plugin_loader.h"
#include "platform/portable/registry_store.h"
#include "registry/scoped_env.h"
#include "workbench/model/memory_host.h"

namespace bm::portable {
namespace {

constexpr const char* kClassKey = "HKEY_CLASSES_ROOT\\CLSID\\{F5E15921-9A9A-11D5-B219-0000E83F3400}";

class PluginBoundary : public ::testing::Test {
protected:
    PluginBoundary()
        : dir_(std::filesystem::temp_directory_path() / ("bm-plugin-" + std::to_string(::getpid()))),
          file_(dir_ / "registry.reg") {}
    ~PluginBoundary() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string DefaultValue(const std::string& key) {
        const auto values = store.ListValues(key);
        if (!values || values->empty() || !(*values)[0].name.empty()) return "<none>";
        return RegistryStore::FormatValue((*values)[0]);
    }

    std::filesystem::path dir_, file_;
    // The library's self-registration writes to the default store.
    regtest::ScopedEnv registry_{"BRINDLEMARK_REGISTRY", file_.c_str()};
    RegistryStore store{file_};
    HeadlessRuntime forms;
    MemoryRaster raster;
    plugin::Desktop desktop{forms, raster, store};
};

TEST_F(PluginBoundary, NothingLoadsBeforeRegistration) {
    EXPECT_FALSE(PluginLibrary::RegisteredPath(store, addin::kClassId));
    EXPECT_THROW(PluginLibrary(store, addin::kClassId), Error);
}

TEST_F(PluginBoundary, RegisteredClassIsCreatedAndRenamedOnce) {
    PluginLibrary::Register(BM_ADDIN_LIBRARY);
    EXPECT_EQ(PluginLibrary::RegisteredPath(store, addin::kClassId),
              std::filesystem::canonical(BM_ADDIN_LIBRARY).string());
    EXPECT_EQ(DefaultValue(kClassKey), "@=\"Brindlemark5.CBrindlemark5\"");

    PluginLibrary library(store, addin::kClassId);
    workbench::MemoryHost host;
    {
        auto object = library.CreateInstance(desktop);
        EXPECT_FALSE(library.CanUnloadNow()) << "an object is alive";
        object->ApplicationAddInServer_Activate(host.Site(), true);
        EXPECT_EQ(DefaultValue(kClassKey), "@=\"Brindlemark\"");
        EXPECT_EQ(object->ApplicationAddInServer_Automation(), nullptr);
        EXPECT_EQ(object->Properties().UpdateOnActivate(), 1);
        object->ApplicationAddInServer_Deactivate();
    }
    EXPECT_TRUE(library.CanUnloadNow());

    const auto written = std::filesystem::last_write_time(file_);
    auto again = library.CreateInstance(desktop);
    workbench::MemoryHost second;
    again->ApplicationAddInServer_Activate(second.Site(), true);
    EXPECT_EQ(std::filesystem::last_write_time(file_), written) << "the second activation writes nothing";
    EXPECT_EQ(second.Commands().size(), 2u);

    // A failure inside the library reaches the host as the add-in's error.
    second.SetCurrentDocument(second.AddPart("C:/p.ipt"));
    try {
        again->ApplicationAddInServer_ExecuteCommand(addin::kCopyCommandId);
        FAIL() << "a part is no drawing";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::TypeMismatch);
    }
    again->ApplicationAddInServer_Deactivate();
}

TEST_F(PluginBoundary, UnregisteringRemovesTheClass) {
    PluginLibrary::Register(BM_ADDIN_LIBRARY);
    void* handle = dlopen(BM_ADDIN_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr);
    auto unregister = reinterpret_cast<BmDllUnregisterServer>(dlsym(handle, "DllUnregisterServer"));
    auto getClassObject = reinterpret_cast<BmDllGetClassObject>(dlsym(handle, "DllGetClassObject"));
    ASSERT_TRUE(unregister && getClassObject);
    void* factory = nullptr;
    EXPECT_EQ(getClassObject("{00000000-0000-0000-0000-000000000000}", plugin::kClassFactoryInterface, &factory),
              plugin::kClassNotAvailable);
    EXPECT_EQ(getClassObject(addin::kClassId, "IUnknown", &factory), plugin::kNoInterface);
    EXPECT_EQ(unregister(), plugin::kOk);
    dlclose(handle);
    EXPECT_FALSE(store.ListValues(kClassKey));
    EXPECT_FALSE(PluginLibrary::RegisteredPath(store, addin::kClassId));
}

}  // namespace
}  // namespace bm::portable
