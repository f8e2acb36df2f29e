#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/error.h"
#include "workbench/model/host_probe.h"

namespace bm::workbench {
namespace {

// A fixed run of host calls; a name ending in ".put" is entered as a put.
const std::vector<std::string> kRun = {"Count", "Item", "PropName", "PropValue",
                                       "Item",  "PropName", "PropValue.put", "PropAdd"};

void Enter(HostProbe& probe, const std::string& name) {
    const auto dot = name.find(".put");
    if (dot == std::string::npos)
        probe.Enter(name);
    else
        probe.EnterPut(name.substr(0, dot));
}

// Plays the run, goes on past failures, and gives the 0-based positions of
// the calls that failed with their messages.
std::vector<std::pair<int, std::string>> Play(HostProbe& probe) {
    std::vector<std::pair<int, std::string>> failed;
    for (int i = 0; i < static_cast<int>(kRun.size()); ++i) {
        try {
            Enter(probe, kRun[static_cast<std::size_t>(i)]);
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::HostFailure);
            failed.emplace_back(i, e.what());
        }
    }
    return failed;
}

TEST(HostProbe, CountsEachCallOnceAndPutsUnderBothNames) {
    HostProbe probe;
    Play(probe);
    EXPECT_EQ(probe.TotalCalls(), static_cast<std::int64_t>(kRun.size()));
    EXPECT_EQ(probe.Calls("Item"), 2);
    EXPECT_EQ(probe.Calls("PropValue"), 2);
    EXPECT_EQ(probe.Calls("PropValue.put"), 1);
    EXPECT_EQ(probe.Calls("DocUpdate"), 0);

    probe.ResetCounts();
    EXPECT_EQ(probe.TotalCalls(), 0);
    EXPECT_EQ(probe.Calls("Item"), 0);
}

TEST(HostProbe, TraceKeepsCallOrderOnlyWhenAsked) {
    HostProbe probe;
    probe.Enter("Count");
    probe.Trace(true);
    Play(probe);
    EXPECT_EQ(probe.TraceLog(), kRun);
}

struct FaultCase {
    const char* label;
    std::function<void(HostProbe&)> arm;
    std::vector<std::pair<int, std::string>> failures;
};

class HostProbeFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(HostProbeFaults, FailExactlyTheChosenCalls) {
    HostProbe probe;
    GetParam().arm(probe);
    EXPECT_EQ(Play(probe), GetParam().failures);
    // The failed calls were made, so they count.
    EXPECT_EQ(probe.TotalCalls(), static_cast<std::int64_t>(kRun.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostProbeFaults,
    ::testing::Values(
        FaultCase{"NextItem", [](HostProbe& p) { p.FailOperation("Item"); },
                  {{1, "Item failed (injected)"}}},
        FaultCase{"SecondItem", [](HostProbe& p) { p.FailOperation("Item", 2); },
                  {{4, "Item failed (injected)"}}},
        FaultCase{"EveryPropName", [](HostProbe& p) { p.FailOperationAlways("PropName"); },
                  {{2, "PropName failed (injected)"}, {5, "PropName failed (injected)"}}},
        FaultCase{"GetOrPut", [](HostProbe& p) { p.FailOperationAlways("PropValue"); },
                  {{3, "PropValue failed (injected)"}, {6, "PropValue failed (injected)"}}},
        FaultCase{"PutOnly", [](HostProbe& p) { p.FailOperation("PropValue.put"); },
                  {{6, "PropValue failed (injected)"}}},
        FaultCase{"ThirdCall", [](HostProbe& p) { p.FailCall(3); },
                  {{2, "PropName failed (injected)"}}},
        FaultCase{"LastCall", [](HostProbe& p) { p.FailCall(8); },
                  {{7, "PropAdd failed (injected)"}}},
        FaultCase{"BeyondTheRun", [](HostProbe& p) { p.FailCall(9); }, {}},
        FaultCase{"UnknownName", [](HostProbe& p) { p.FailOperation("DocUpdate"); }, {}},
        FaultCase{"TwoAtOnce",
                  [](HostProbe& p) {
                      p.FailCall(2);
                      p.FailOperation("Item");
                  },
                  {{1, "Item failed (injected)"}}},
        FaultCase{"NamedAndCall",
                  [](HostProbe& p) {
                      p.FailOperation("PropAdd");
                      p.FailCall(1);
                  },
                  {{0, "Count failed (injected)"}, {7, "PropAdd failed (injected)"}}},
        FaultCase{"Cleared",
                  [](HostProbe& p) {
                      p.FailCall(1);
                      p.FailOperationAlways("Item");
                      p.ClearFaults();
                  },
                  {}}),
    [](const auto& c) { return std::string(c.param.label); });

TEST(HostProbe, FaultsCountFromWhenTheyAreSetAndSurviveReset) {
    HostProbe probe;
    probe.Enter("Count");
    probe.Enter("Count");
    probe.FailCall(2);
    probe.FailOperation("Count", 2);
    probe.ResetCounts();
    EXPECT_TRUE(probe.FaultPending());

    EXPECT_NO_THROW(probe.Enter("Count"));
    EXPECT_THROW(probe.Enter("Count"), Error);  // both due on this call: one failure
    EXPECT_FALSE(probe.FaultPending());
    EXPECT_EQ(probe.FaultsFired(), 1);
    EXPECT_NO_THROW(probe.Enter("Count"));
}

TEST(HostProbe, RefusesFaultsBeforeTheNextCall) {
    HostProbe probe;
    EXPECT_THROW(probe.FailCall(0), Error);
    EXPECT_THROW(probe.FailOperation("Item", 0), Error);
    EXPECT_FALSE(probe.FaultPending());
}

}  // namespace
}  // namespace bm::workbench
