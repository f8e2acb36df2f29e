// The workbench's face where there is no COM: the registry is a store file
// and the add-in a plug-in library loaded by its class id.

#include <cstdlib>

#include "addin/cbrindlemark5.h"
#include "core/error.h"
#include "platform/portable/memory_raster.h"
#include "platform/portable/plugin_loader.h"
#include "platform/portable/posix_file.h"
#include "platform/portable/registry_store.h"
#include "workbench/host_face.h"
#include "workbench/session.h"

namespace bm::workbench {

namespace fs = std::filesystem;

namespace {

constexpr const char* kLibraryName = "libbrindlemark5.so";

class PluginAddIn : public LoadedAddIn {
public:
    PluginAddIn(portable::RegistryStore& store, WorkbenchRuntime& runtime)
        : library_(store, addin::kClassId),
          server_(library_.CreateInstance(plugin::Desktop{runtime, raster_, store})) {}

    std::string Library() const override { return library_.Path(); }
    void Activate(MemoryHost& host, bool firstTime) override {
        server_->ApplicationAddInServer_Activate(host.Site(), firstTime);
    }
    void ExecuteCommand(std::int32_t commandId) override {
        server_->ApplicationAddInServer_ExecuteCommand(commandId);
    }
    void Deactivate() override { server_->ApplicationAddInServer_Deactivate(); }
    Settings Properties() override { return server_->Properties(); }
    std::optional<std::int64_t> NameLookups() const override { return std::nullopt; }

private:
    // Declared before the library so that it outlives every object made
    // with it; the object goes before the library is unloaded.
    portable::MemoryRaster raster_;
    portable::PluginLibrary library_;
    std::shared_ptr<plugin::AddInServer> server_;
};

class PosixFace : public HostFace {
public:
    PosixFace(const fs::path& registry, fs::path library, WorkbenchRuntime& runtime)
        : store_(registry), library_(std::move(library)), runtime_(runtime) {}

    portable::RegistryStore& Store() { return store_; }

    std::unique_ptr<LoadedAddIn> Load(std::ostream& out) override {
        const auto registered = portable::PluginLibrary::RegisteredPath(store_, addin::kClassId);
        std::error_code ec;
        // A store shared with another build names that build's library; this
        // workbench tries its own, as an installer of this build would.
        const bool ours = registered && fs::exists(*registered) && fs::equivalent(*registered, library_, ec);
        if (!ours) {
            // What an installer does: the library registers itself.
            if (!fs::exists(library_))
                throw StepRefused("the add-in library is not where it is installed: " + library_.string());
            try {
                portable::PluginLibrary::Register(library_.string());
            } catch (const bm::Error& e) {
                // The library's store cannot say why across the plug-in
                // boundary; the reason a person can act on is the file's.
                const auto problem = portable::ReplaceProblem(store_.Path());
                if (!problem) throw;
                bm::raise(e.kind(), std::string(e.what()) + ": the registry store " + store_.Path().string() + " " +
                                    problem->reason);
            }
            out << "  registered the add-in library " << library_.string();
            if (registered && fs::exists(*registered)) out << " (the registry named " << *registered << ")";
            out << "\n";
        }
        return std::make_unique<PluginAddIn>(store_, runtime_);
    }

    std::string RegistryName() const override { return store_.Path().string(); }
    std::optional<std::vector<portable::regfile::Value>> ListValues(std::string_view keyPath) override {
        return store_.ListValues(keyPath);
    }
    // The add-in's dialogs are the workbench runtime's own here.
    void Play(const std::function<void()>& step) override { step(); }
    // Every write reached the store file as it was made, or failed then.
    void Close() override {
        if (auto problem = store_.SaveProblem())
            throw std::runtime_error("the registry store " + store_.Path().string() + " " + *problem +
                                     "; settings changed in this session are not saved");
    }

private:
    portable::RegistryStore store_;
    fs::path library_;
    WorkbenchRuntime& runtime_;
};

}  // namespace

bool FaceShowsWindows() { return false; }

std::unique_ptr<HostFace> OpenHostFace(const std::optional<fs::path>& registryFile, const fs::path& programFolder,
                                       WorkbenchRuntime& runtime, const std::optional<fs::path>& /*pictures*/,
                                       HostIdentity /*identity*/) {
    // The library writes its registration to the store named by the
    // environment, which must be the one the host reads.
    const fs::path path = fs::absolute(registryFile ? *registryFile : portable::RegistryStore::DefaultPath());
    setenv("BRINDLEMARK_REGISTRY", path.c_str(), 1);
    auto face = std::make_unique<PosixFace>(path, programFolder / kLibraryName, runtime);
    if (auto problem = face->Store().Problem())
        throw BadRegistry("the registry store " + path.string() + " cannot be used: " + *problem);
    return face;
}

}  // namespace bm::workbench
