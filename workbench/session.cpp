#include "workbench/session.h"

#include <chrono>
#include <cstdio>
#include <exception>

#include "addin/cbrindlemark5.h"
#include "host/host.h"
#include "core/error.h"
#include "settings/persistence.h"
#include "workbench/report.h"
#include "workbench/workspace/workspace.h"

namespace bm::workbench {

namespace {

// A copy of a failure made by the program's own code. A failure thrown
// inside the add-in library has its type's code in the library; it must
// not outlive the library's unloading.
std::exception_ptr HostCopy(const std::exception& failure) {
    if (auto* fault = dynamic_cast<const ScriptFault*>(&failure))
        return std::make_exception_ptr(ScriptFault(fault->what()));
    if (auto* refused = dynamic_cast<const StepRefused*>(&failure))
        return std::make_exception_ptr(StepRefused(refused->what()));
    if (auto* error = dynamic_cast<const Error*>(&failure))
        return std::make_exception_ptr(Error(error->kind(), error->what()));
    return std::make_exception_ptr(std::runtime_error(failure.what()));
}

std::string CommandList(const MemoryHost& host) {
    std::string list;
    for (const auto& c : host.Commands()) {
        const std::string item = std::to_string(c->id()) + " (" + c->caption() + ")";
        if (list.find(item) == std::string::npos) list += (list.empty() ? "" : ", ") + item;
    }
    return list;
}

}  // namespace

std::string FailureKind(const std::exception& failure) {
    if (dynamic_cast<const ScriptFault*>(&failure)) return "script";
    if (dynamic_cast<const StepRefused*>(&failure)) return "refused";
    if (auto* error = dynamic_cast<const Error*>(&failure)) return std::string(to_string(error->kind()));
    if (dynamic_cast<const WorkspaceError*>(&failure)) return "workspace";
    return "failure";
}

Session::Session(MemoryHost& host, HostFace& face, WorkbenchRuntime& runtime, std::ostream& out)
    : host_(host), face_(face), runtime_(runtime), out_(out) {}

Session::~Session() { Release(); }

void Session::Run(const Step& step) {
    switch (step.type) {
        case Step::Type::kExpect:
            return runtime_.ExpectDialog(step.dialog, step.actions, step.line);
        case Step::Type::kShow: return PrintProperties(out_, *step.document);
        case Step::Type::kSettings:
            if (!addin_) throw StepRefused("the add-in is not loaded ('registry' shows the stored settings)");
            return PrintSettings(out_, addin_->Properties());
        case Step::Type::kRegistry:
            return PrintRegistry(out_, face_.RegistryName(), face_.ListValues(kSettingsKey));
        case Step::Type::kCommands: return PrintCommands(out_, host_, Loaded());
        case Step::Type::kCalls:
            return PrintCalls(out_, host_.Probe(), addin_ ? addin_->NameLookups() : std::nullopt);
        default: break;
    }

    const PropertySnapshot before = TakeSnapshot(host_);
    host_.Probe().TakeServedFailures();
    std::exception_ptr failure;
    try {
        face_.Play([&] { Act(step); });
    } catch (const std::exception& e) {
        failure = HostCopy(e);
    } catch (...) {
        failure = std::make_exception_ptr(std::runtime_error("an unknown failure"));
    }
    // A dialog nobody expected, or an action no person could do, is what
    // went wrong, whatever the add-in made of it (its activation handler
    // hides every failure). What the add-in changed around it is left
    // unlisted: the headless runtime's fault stops the add-in at the dialog,
    // while the Windows face closes the dialog as a person would and the
    // add-in goes on.
    if (auto fault = runtime_.TakeFault()) throw ScriptFault(*fault);
    // A batch reports each drawing in its own table.
    if (reportChanges_ && step.type != Step::Type::kBatch && !PrintChanges(out_, host_, before) && !failure &&
        step.type == Step::Type::kCommand && step.commandId == kCopyCommand)
        out_ << "  the copy changed nothing: no property was added, changed or erased\n";
    // A failing step reports its own failure; one that ran on past a failed
    // host call would otherwise pass for complete.
    const std::vector<std::string> hidden = host_.Probe().TakeServedFailures();
    if (!failure && !hidden.empty()) {
        hidFailures_ = true;
        for (const std::string& what : hidden)
            out_ << "  warning: " << what << "; the add-in stopped there and hid the failure, so this step may be half done\n";
    }
    if (failure && step.type == Step::Type::kCommand && step.commandId == kOptionsCommand && addin_)
        ExplainUnshowable();
    if (failure) std::rethrow_exception(failure);
    if (auto unused = runtime_.FirstUnused())
        throw ScriptFault("the " + std::string(KindTitle(unused->first)) + " expected at line " +
                          std::to_string(unused->second) + " did not open");
}

void Session::Act(const Step& step) {
    switch (step.type) {
        case Step::Type::kAddInLoad: return Load();
        case Step::Type::kAddInUnload: return Unload();
        case Step::Type::kOpen:
            host_.Activate(step.document);
            out_ << "  " << step.document->display_name() << " is the active document\n";
            return;
        case Step::Type::kCommand: return Command(step.commandId);
        case Step::Type::kBatch: return Batch();
        default: return;
    }
}

void Session::Load() {
    if (addin_) throw StepRefused("the add-in is already loaded");
    const std::size_t commandsBefore = host_.Commands().size();
    std::exception_ptr failure;
    try {
        addin_ = face_.Load(out_);
        // Loading it is the person switching it on in the host's add-in list.
        host_.App()->addins()->Item(addin::kClassId)->AddInActive(true);
        host_.OnCommand([this](std::int32_t id) { addin_->ExecuteCommand(id); });
        const bool firstTime = firstTime_;
        firstTime_ = false;
        addin_->Activate(host_, firstTime);
    } catch (const std::exception& e) {
        failure = HostCopy(e);
    }
    if (failure) {
        // A retried load would otherwise leave a second set of commands.
        host_.Site()->DropCommandsAfter(commandsBefore);
        Release();
        std::rethrow_exception(failure);
    }

    if (host_.AddInActive(addin::kClassId) == false) {
        // The add-in switched itself off; a host then takes it down at once.
        Deactivate();
        out_ << "  the add-in switched itself off: the host deactivated and released it\n";
        return;
    }
    out_ << "  the add-in is active (" << addin_->Library() << ")\n";
}

void Session::Unload() {
    if (!addin_) {
        out_ << "  the add-in is not loaded: nothing to do\n";
        return;
    }
    Deactivate();
    out_ << "  the add-in is deactivated and released\n";
}

void Session::Deactivate() {
    std::exception_ptr failure;
    try {
        addin_->Deactivate();
    } catch (const std::exception& e) {
        failure = HostCopy(e);
    }
    // A host drops an add-in whose deactivation failed all the same.
    Release();
    if (failure) std::rethrow_exception(failure);
}

void Session::Release() {
    host_.OnCommand(nullptr);
    addin_.reset();
}

void Session::Command(std::int32_t id) {
    const auto command = host_.Command(id);
    if (!command) {
        const std::string list = CommandList(host_);
        throw StepRefused("the host has no command " + std::to_string(id) + ": " +
                          (!addin_         ? "the add-in is not loaded ('addin load' loads it and makes its commands)"
                           : list.empty() ? "the add-in made no commands"
                                          : "there are " + list));
    }
    const std::string name = "the command \"" + command->caption() + "\"";
    if (!addin_) throw StepRefused(name + " belongs to the add-in, which is not loaded ('addin load' loads it again)");
    if (!command->enabled())
        throw StepRefused(name + " is greyed out" +
                          (id == kCopyCommand ? ": the add-in enables it while a drawing is active; open one first"
                                              : std::string()));
    host_.Pick(id);
}

void Session::Batch() {
    if (!addin_) throw StepRefused("a batch needs the add-in: 'addin load' first");
    if (addin_->Properties().get(Settings::kSelectProps) != 0)
        throw StepRefused("a batch copies every property, but SelectProps is on; turn it off first "
                          "(expect options set SelectProps 0 ok, then command options)");
    std::vector<std::vector<std::string>> rows{{"Drawing", "Result"}};
    std::size_t copied = 0, failed = 0;
    const std::int64_t callsBefore = host_.Probe().TotalCalls();
    std::chrono::steady_clock::duration inAddIn{};
    for (const auto& drawing : host_.Documents()) {
        if (drawing->kind() != host::kDrawingDocument) continue;
        const auto before = drawing->Props();
        host_.Probe().TakeServedFailures();
        std::string failure;
        const auto start = std::chrono::steady_clock::now();
        try {
            host_.Activate(drawing);
            Command(kCopyCommand);
        } catch (const std::exception& e) {
            failure = FailureKind(e) + ": " + e.what();
        }
        inAddIn += std::chrono::steady_clock::now() - start;
        // A dialog that opened had no one to answer it.
        if (auto fault = runtime_.TakeFault(); fault && failure.empty()) failure = "script: " + *fault;
        const std::vector<std::string> hidden = host_.Probe().TakeServedFailures();
        if (failure.empty() && !hidden.empty()) failure = "host failure: " + hidden.front();
        if (failure.empty()) {
            ++copied;
            rows.push_back({drawing->display_name(), CompareProperties(before, drawing->Props()).Counts()});
        } else {
            // Nothing half done stays behind: the drawing is as it was.
            ++failed;
            drawing->UserProps()->restore(before);
            rows.push_back({drawing->display_name(), "left as it was: " + failure});
        }
    }
    PrintTable(out_, rows, "  ");
    out_ << "  " << copied + failed << " drawings: " << copied << " copied, " << failed << " failed\n";
    if (reportTimings_) PrintTimings(host_.Probe().TotalCalls() - callsBefore, inAddIn);
    if (failed > 0) batchFailed_ = true;
}

void Session::PrintTimings(std::int64_t hostCalls, std::chrono::steady_clock::duration inAddIn) {
    // The add-in's time: its document-activation handler and its copy
    // command, the host calls they make included.
    const double seconds = std::chrono::duration<double>(inAddIn).count();
    char line[160];
    std::snprintf(line, sizeof line, "  timings: %lld host calls, %.3f s in the add-in, %.2f us a host call\n",
                  static_cast<long long>(hostCalls), seconds,
                  hostCalls > 0 ? seconds * 1e6 / static_cast<double>(hostCalls) : 0.0);
    out_ << line;
}

void Session::ExplainUnshowable() {
    const Settings settings = addin_->Properties();
    for (int i = 0; i < Settings::kFieldCount; ++i) {
        const auto f = static_cast<Settings::Field>(i);
        const std::int32_t value = settings.get(f);
        const bool precision = f == Settings::kMassPrec || f == Settings::kAreaPrec || f == Settings::kVolumePrec;
        // A box shows 0, 1 and 2 (greyed); a precision list has entries 0 to 8, or none chosen.
        if (precision ? value >= -1 && value <= 8 : value >= 0 && value <= 2) continue;
        const std::string takes = precision ? "0 to 8" : "0 or 1";
        out_ << "  " << SettingNames(f) << " is " << value << ", which the options dialog cannot show (it takes "
             << takes << "). To change it: addin unload, set \"" << RegistryValueName(f) << "\" to a dword of "
             << takes << " in the registry store " << face_.RegistryName() << ", then addin load\n";
    }
}

void Session::End() {
    if (!addin_) return;
    out_ << "end of session: the host unloads the add-in\n";
    Deactivate();
}

}  // namespace bm::workbench
