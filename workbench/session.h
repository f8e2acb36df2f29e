#pragma once

// One session of the simulated host: the workspace's documents, the
// forms runtime, and the add-in loaded by its class id through the host's
// face (workbench/host_face.h), as a host loads its add-ins.
//
// The host's timing codes for document activation are those of
// workbench/model/memory_application.h: 4098 before the switch (the add-in
// ignores it) and 4099 after it.

#include <chrono>
#include <cstdint>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>

#include "workbench/host_face.h"
#include "workbench/model/memory_host.h"
#include "workbench/script.h"
#include "workbench/workbench_runtime.h"

namespace bm::workbench {

// The host would not do what the step asks: a greyed-out or unknown
// command, the add-in not loaded, or loaded already.
class StepRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A word for the kind of failure a step met, as the program reports it:
// the add-in's error kinds ("host failure", "overflow", ...), "refused"
// for StepRefused, "script" for ScriptFault.
std::string FailureKind(const std::exception& failure);

class Session {
public:
    Session(MemoryHost& host, HostFace& face, WorkbenchRuntime& runtime, std::ostream& out);
    // Releases a loaded add-in without deactivating it: End() is the
    // orderly way out.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Runs one step. Failures leave as exceptions the program's own code
    // owns, never as ones thrown inside the add-in library, so the library
    // can be unloaded while a failure is still being reported.
    void Run(const Step& step);
    // Unloads a loaded add-in, as a host does when it closes.
    void End();
    bool Loaded() const { return addin_ != nullptr; }

    // After each step that changed documents, what it added, changed and
    // erased (on unless turned off).
    void ReportChanges(bool on) { reportChanges_ = on; }
    // After each batch, the host calls the add-in made and the time spent
    // in it over the drawings (off unless turned on: it differs run to run).
    void ReportTimings(bool on) { reportTimings_ = on; }
    // Whether a step ran to its end although a host call it made failed:
    // the add-in hid the failure (its drawing-activation handler must),
    // so what that step left may be half done. Each is warned of as it
    // happens.
    bool HidFailures() const { return hidFailures_; }
    // Whether a batch step left a drawing as it was because its copy failed.
    bool BatchFailed() const { return batchFailed_; }

private:
    void Act(const Step& step);
    void Load();
    void Unload();
    void Command(std::int32_t id);
    void Batch();
    void PrintTimings(std::int64_t hostCalls, std::chrono::steady_clock::duration inAddIn);
    // Under a failed options dialog: each setting its controls cannot
    // show, and how to change it.
    void ExplainUnshowable();
    void Deactivate();
    void Release();

    MemoryHost& host_;
    HostFace& face_;
    WorkbenchRuntime& runtime_;
    std::ostream& out_;
    std::unique_ptr<LoadedAddIn> addin_;
    bool firstTime_ = true;
    bool reportChanges_ = true;
    bool reportTimings_ = false;
    bool hidFailures_ = false;
    bool batchFailed_ = false;
};

}  // namespace bm::workbench
