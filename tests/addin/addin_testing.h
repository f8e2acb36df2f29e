#pragma once

// A whole add-in in one process: the add-in object over the in-memory host,
// the headless forms runtime, the in-memory raster and a registry store in a
// temporary file.

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "addin/cbrindlemark5.h"
#include "addin/module.h"
#include "platform/portable/headless_runtime.h"
#include "platform/portable/memory_raster.h"
#include "platform/portable/registry_store.h"
#include "settings/persistence.h"
#include "workbench/model/memory_host.h"

namespace bm::addin::testing {

inline constexpr const char* kSettingsKey =
    "HKEY_CURRENT_USER\\Software\\Quillfern\\Copy Custom Prop\\Defaults";
inline constexpr const char* kClassKey =
    "HKEY_CLASSES_ROOT\\CLSID\\{F5E15921-9A9A-11D5-B219-0000E83F3400}";

class AddInTest : public ::testing::Test {
protected:
    AddInTest()
        : dir_(std::filesystem::temp_directory_path() /
               ("bm-addin-" + std::to_string(::getpid()) + "-" + std::to_string(++serial_))),
          store(dir_ / "registry.reg"),
          module(store, forms, raster),
          addin(std::make_unique<CBrindlemark5>(module)) {
        host.OnCommand([this](std::int32_t id) { addin->ApplicationAddInServer_ExecuteCommand(id); });
    }
    ~AddInTest() override {
        addin.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::filesystem::path RegistryFile() const { return store.Path(); }

    void Activate() { addin->ApplicationAddInServer_Activate(host.Site(), true); }

    // A value under the settings key, as the store lists it.
    std::optional<Variant> Stored(const std::string& name) {
        ModRegistry reader(store);
        reader.RegRootKey = reg::kHkeyCurrentUser;
        reader.RegBasePath = kSettingsBasePath;
        const Variant v = reader.GetRegValue(kSettingsApplication, kSettingsSection, name, Variant());
        if (v.is_empty()) return std::nullopt;
        return v;
    }
    void Store(const std::string& name, const Variant& value) {
        ModRegistry writer(store);
        writer.RegRootKey = reg::kHkeyCurrentUser;
        writer.RegBasePath = kSettingsBasePath;
        std::int32_t type = value.type() == VarType::kString ? reg::kRegSz : 0;
        writer.SetRegValue(kSettingsApplication, kSettingsSection, name, value, type);
    }

    std::shared_ptr<workbench::MemoryCommand> CopyCmd() const { return host.Command(kCopyCommandId); }

private:
    static inline int serial_ = 0;
    std::filesystem::path dir_;

protected:
    portable::RegistryStore store;
    portable::HeadlessRuntime forms;
    portable::MemoryRaster raster;
    AddInModule module;
    workbench::MemoryHost host;
    std::unique_ptr<CBrindlemark5> addin;
};

}  // namespace bm::addin::testing
