#include "workbench/model/host_probe.h"

#include <utility>

#include <algorithm>

#include "core/error.h"

namespace bm::workbench {

namespace {
constexpr std::string_view kPutSuffix = ".put";
}

void HostProbe::Enter(std::string_view operation) { enter(operation, false); }

void HostProbe::EnterPut(std::string_view operation) { enter(operation, true); }

void HostProbe::count(Counts& counts, std::string_view name) {
    auto it = counts.find(name);
    if (it == counts.end()) it = counts.emplace(std::string(name), 0).first;
    ++it->second;
}

void HostProbe::enter(std::string_view operation, bool put) {
    ++total_;
    count(counts_, operation);
    if (put) count(putCounts_, operation);
    if (tracing_) trace_.emplace_back(std::string(operation) + (put ? std::string(kPutSuffix) : std::string()));

    // Every due countdown moves on, even when another fault fires on the
    // same call, so that faults set together keep their meaning.
    bool fail = false;
    if (callCountdown_ > 0 && --callCountdown_ == 0) fail = true;
    for (auto it = named_.begin(); it != named_.end();) {
        const std::string_view named = it->operation;
        const bool matches = named == operation || (put && named.size() == operation.size() + kPutSuffix.size() &&
                                                     named.starts_with(operation) && named.ends_with(kPutSuffix));
        if (!matches) {
            ++it;
            continue;
        }
        if (it->always) {
            fail = true;
            ++it;
        } else if (--it->remaining == 0) {
            fail = true;
            it = named_.erase(it);
        } else {
            ++it;
        }
    }
    if (fail) {
        ++fired_;
        Refuse(std::string(operation) + " failed (injected)");
    }
}

void HostProbe::Refuse(const std::string& message) {
    served_.push_back(message);
    raise(ErrorKind::HostFailure, message);
}

std::vector<std::string> HostProbe::TakeServedFailures() { return std::exchange(served_, {}); }

std::int64_t HostProbe::Calls(std::string_view operation) const {
    const bool put = operation.ends_with(kPutSuffix);
    const Counts& counts = put ? putCounts_ : counts_;
    if (put) operation.remove_suffix(kPutSuffix.size());
    auto it = counts.find(operation);
    return it == counts.end() ? 0 : it->second;
}

std::map<std::string, std::int64_t, std::less<>> HostProbe::CallCounts() const {
    std::map<std::string, std::int64_t, std::less<>> all(counts_.begin(), counts_.end());
    for (const auto& [operation, calls] : putCounts_) all.emplace(operation + std::string(kPutSuffix), calls);
    return all;
}

std::int64_t HostProbe::TotalCalls() const { return total_; }

void HostProbe::ResetCounts() {
    counts_.clear();
    putCounts_.clear();
    total_ = 0;
    trace_.clear();
}

void HostProbe::FailOperation(std::string_view operation, std::int64_t nth) {
    if (nth < 1) raise(ErrorKind::InvalidArgument, "a fault counts calls from 1");
    named_.push_back({std::string(operation), nth, false});
}

void HostProbe::FailOperationAlways(std::string_view operation) {
    named_.push_back({std::string(operation), 0, true});
}

void HostProbe::FailCall(std::int64_t nth) {
    if (nth < 1) raise(ErrorKind::InvalidArgument, "a fault counts calls from 1");
    callCountdown_ = nth;
}

void HostProbe::ClearFaults() {
    named_.clear();
    callCountdown_ = 0;
}

bool HostProbe::FaultPending() const {
    return callCountdown_ > 0 ||
           std::any_of(named_.begin(), named_.end(), [](const NamedFault& f) { return !f.always; });
}

}  // namespace bm::workbench
