#pragma once

// What differs between the workbench's faces, behind one small interface:
// where the registry lives and how the add-in is found, created and called.
// One file per face, chosen in CMake: workbench/host_face_posix.cpp loads
// the plug-in library through platform/portable/plugin_loader.h and keeps
// the registry in a store file; workbench/com/host_face_windows.cpp creates
// the add-in as a COM object and calls it by dispatch identifier.
//
// Failures leave as exceptions of the program's own code, with the kind and
// the words the add-in gave them (bm::Error), or as StepRefused.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/portable/registry_store_format.h"
#include "settings/settings.h"
#include "workbench/host_identity.h"
#include "workbench/model/memory_host.h"
#include "workbench/workbench_runtime.h"

namespace bm::workbench {

// The add-in object, created and not yet released.
class LoadedAddIn {
public:
    virtual ~LoadedAddIn() = default;
    // The library it was created from.
    virtual std::string Library() const = 0;
    virtual void Activate(MemoryHost& host, bool firstTime) = 0;
    virtual void ExecuteCommand(std::int32_t commandId) = 0;
    virtual void Deactivate() = 0;
    // The fourteen settings the object holds now.
    virtual Settings Properties() = 0;
    // How often the add-in asked the host's objects for a member by name
    // rather than calling it by dispatch identifier; nullopt where the host
    // is reached without dispatch.
    virtual std::optional<std::int64_t> NameLookups() const = 0;
};

class HostFace {
public:
    virtual ~HostFace() = default;

    // Creates the add-in by its class id, first registering the library
    // beside the program when the class is not registered (or its library
    // is gone), as an installer would, and saying so on `out`.
    virtual std::unique_ptr<LoadedAddIn> Load(std::ostream& out) = 0;

    // Where the registry is, as the `registry` step names it.
    virtual std::string RegistryName() const = 0;
    // The values of a key given by its full path, or nullopt without it.
    virtual std::optional<std::vector<portable::regfile::Value>> ListValues(std::string_view keyPath) = 0;

    // Runs a step that may make the add-in open dialogs. Where the add-in
    // shows them as real windows, the face answers them meanwhile as the
    // workbench runtime's expectations say.
    virtual void Play(const std::function<void()>& step) = 0;

    // The end of the program: what the registry holds goes where it is
    // kept. Fails with a message when it cannot.
    virtual void Close() = 0;
};

// A registry file that cannot be used: nothing has run (exit 2).
class BadRegistry : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether this face shows the add-in's dialogs as windows, which
// --screenshot keeps pictures of.
bool FaceShowsWindows();

// The face of this build. `registryFile` is --registry; without it each
// face has its default (docs/workbench.md). `programFolder` holds the
// add-in library. `pictures` is --screenshot and `identity` --host-types,
// where FaceShowsWindows(). Fails with BadRegistry.
std::unique_ptr<HostFace> OpenHostFace(const std::optional<std::filesystem::path>& registryFile,
                                       const std::filesystem::path& programFolder, WorkbenchRuntime& runtime,
                                       const std::optional<std::filesystem::path>& pictures,
                                       HostIdentity identity);

}  // namespace bm::workbench
