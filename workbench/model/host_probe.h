#pragma once

// Call meter and fault injection shared by every object of one in-memory
// host. Each host operation enters the probe once, under the operation's
// name as host/host.h spells it ("Count", "Item", "Enumerate", "PropName",
// "PropValue", "PropAdd", "PropDelete", "FileRefName", "DocKind", "Bind",
// ...). The probe counts the call, then throws an Error of kind HostFailure
// ("<operation> failed (injected)") when a fault is due. A failed call is
// counted like any other: it was made.
//
// Puts: a property put (PropValue, MassAccuracy, CommandEnabled,
// AddInActive) counts under its operation name and also under
// "<operation>.put", so Calls("PropValue") covers gets and puts together and
// Calls("PropValue.put") the puts alone. The total counts each call once.
// A fault set for "PropValue" fails gets and puts; one set for
// "PropValue.put" fails puts only.
//
// A test that wants a failure at every step runs its scenario once, reads
// TotalCalls(), then reruns it on a fresh host with FailCall(k) for each k.

#include <cstdint>
#include <map>
#include <unordered_map>
#include <string>
#include <string_view>
#include <vector>

namespace bm::workbench {

class HostProbe {
public:
    // Entry of every host call (see above).
    void Enter(std::string_view operation);
    void EnterPut(std::string_view operation);

    // Calls made since construction or the last ResetCounts.
    std::int64_t Calls(std::string_view operation) const;
    std::int64_t TotalCalls() const;
    // Every operation name seen, with its count.
    std::map<std::string, std::int64_t, std::less<>> CallCounts() const;
    // Clears counts and the trace; pending faults stay.
    void ResetCounts();

    // Fails the nth call of `operation` from now (1 is the next one), once.
    void FailOperation(std::string_view operation, std::int64_t nth = 1);
    // Fails every call of `operation` until ClearFaults.
    void FailOperationAlways(std::string_view operation);
    // Fails the nth host call from now, whatever its operation, once.
    // A later FailCall replaces an earlier one that has not fired yet.
    void FailCall(std::int64_t nth);
    void ClearFaults();
    // Whether a one-shot fault is still waiting to fire.
    bool FaultPending() const;
    // How many injected faults have fired since construction.
    std::int64_t FaultsFired() const { return fired_; }

    // Fails the call being served: the failure is kept for the host's own
    // account (the add-in may hide it from everyone else), then raised as
    // an Error of kind HostFailure.
    [[noreturn]] void Refuse(const std::string& message);
    // The failures served since the last call, oldest first, and forgets
    // them. Injected faults count as served.
    std::vector<std::string> TakeServedFailures();

    // Names of the calls in the order made (puts as "<operation>.put").
    // Off by default so that long runs stay cheap.
    void Trace(bool on) { tracing_ = on; }
    const std::vector<std::string>& TraceLog() const { return trace_; }

private:
    struct NamedFault {
        std::string operation;
        std::int64_t remaining;  // calls to go, the failing one included
        bool always;
    };

    void enter(std::string_view operation, bool put);

    // Counted on every host call: hashed, and looked up without making a
    // string, since large copies make millions of calls.
    struct NameHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const { return std::hash<std::string_view>{}(name); }
    };
    using Counts = std::unordered_map<std::string, std::int64_t, NameHash, std::equal_to<>>;
    static void count(Counts& counts, std::string_view name);

    Counts counts_;
    Counts putCounts_;  // by operation, without the ".put"
    std::int64_t total_ = 0;
    std::vector<NamedFault> named_;
    std::int64_t callCountdown_ = 0;  // 0: no call fault
    std::int64_t fired_ = 0;
    bool tracing_ = false;
    std::vector<std::string> trace_;
    std::vector<std::string> served_;
};

}  // namespace bm::workbench
