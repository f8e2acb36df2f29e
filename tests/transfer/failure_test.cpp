// A host failure at every single host call of a run: the run ends there and
// tells its caller, everything written before the failing call stays, and
// nothing after it is written.

#include <gtest/gtest.h>

#include <functional>

#include "core/error.h"
#include "tests/transfer/transfer_testing.h"

namespace bm::transfer::testing {
namespace {

// A run over a fixed scene, and the drawing after each of its writes in turn
// (the first entry is the drawing before any write).
struct FailureCase {
    const char* label;
    Scene scene;
    std::function<void(World&, portable::HeadlessRuntime&)> run;
    std::vector<Props> states;
};

const Scene kCopyScene{{{"MATERIAL", "Alu"}},
                       {{"C:/Work/Bracket.ipt", {{" Part No ", "P-1"}, {"Material", "Steel"}}},
                        {"C:/Work/Empty.ipt", {}},
                        {"C:/Work/Pin.ipt", {{"Finish", "Zinc"}}}}};

const std::vector<Props> kCopyStates{
    {{"MATERIAL", "Alu"}},
    {{"MATERIAL", "Alu"}, {"Part No", "P-1"}},
    {{"MATERIAL", "Steel"}, {"Part No", "P-1"}},
    {{"MATERIAL", "Steel"}, {"Part No", "P-1"}, {"Finish", "Zinc"}},
};

Scene PhysicalScene() {
    return {{{"Title", "t"}, {kMassValueName, "old"}}, {{"C:/Work/Bracket.ipt", {}}}};
}

Settings AllPhysical() {
    Settings s;
    s.Mass(1);
    s.Area(1);
    s.Volume(1);
    s.MassPrec(1);
    s.AreaPrec(1);
    s.VolumePrec(1);
    return s;
}

std::vector<Props> PhysicalStates() {
    const Props written[] = {{{kMassValueName, "0.0"}},
                             {{kMassUnitsName, "kg"}},
                             {{kAreaValueName, "0.0"}},
                             {{kAreaUnitsName, "cm^2"}},
                             {{kVolumeValueName, "0.0"}},
                             {{kVolumeUnitsName, "cm^3"}}};
    std::vector<Props> states{{{"Title", "t"}, {kMassValueName, "old"}}};
    states.push_back({{"Title", "t"}, {kMassValueName, "0.0"}});
    for (std::size_t i = 1; i < std::size(written); ++i) {
        states.push_back(states.back());
        states.back().push_back(written[i][0]);
    }
    return states;
}

const FailureCase kFailureCases[] = {
    {"CopyAllProps", kCopyScene,
     [](World& w, portable::HeadlessRuntime&) {
         CopyAllProps(CopySettings(false, false), w.refs(), w.target());
     },
     kCopyStates},
    {"SelectAndCopyProps", kCopyScene,
     [](World& w, portable::HeadlessRuntime& runtime) {
         ConfirmSelection(runtime);
         SelectAndCopyProps(CopySettings(false, false), runtime, w.refs(), w.target());
     },
     kCopyStates},
    {"GetPhysicalProps", PhysicalScene(),
     [](World& w, portable::HeadlessRuntime&) {
         GetPhysicalProps(AllPhysical(), *w.drawing, w.target());
     },
     PhysicalStates()},
    {"EraseCustomProps", {{{"A", "1"}, {"B", "2"}, {"C", "3"}}, {}},
     [](World& w, portable::HeadlessRuntime&) { EraseCustomProps(w.target()); },
     {{{"A", "1"}, {"B", "2"}, {"C", "3"}}, {{"B", "2"}, {"C", "3"}}, {{"C", "3"}}, {}}},
};

bool IsWrite(const std::string& op) {
    return op == "PropAdd" || op == "PropValue.put" || op == "PropDelete";
}

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.label << ": ";
    PrintTo(c.scene, os);
}

class FailureAtEveryCall : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailureAtEveryCall, KeepsEarlierWritesAndStops) {
    const FailureCase& c = GetParam();

    // The run without a fault: its calls, and the last state.
    World clean(c.scene);
    clean.probe().Trace(true);
    portable::HeadlessRuntime cleanRuntime;
    c.run(clean, cleanRuntime);
    ASSERT_EQ(clean.Result(), c.states.back());
    const std::vector<std::string> calls = clean.probe().TraceLog();

    std::size_t writesBefore = 0;
    for (std::size_t k = 1; k <= calls.size(); ++k) {
        World world(c.scene);
        world.probe().FailCall(static_cast<std::int64_t>(k));
        portable::HeadlessRuntime runtime;
        try {
            c.run(world, runtime);
            ADD_FAILURE() << "call " << k << " (" << calls[k - 1] << ") failed unnoticed";
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::HostFailure) << "call " << k;
        }
        EXPECT_EQ(world.Result(), c.states[writesBefore])
            << "failure at call " << k << " (" << calls[k - 1] << ")";
        if (IsWrite(calls[k - 1])) ++writesBefore;
    }
    EXPECT_EQ(writesBefore + 1, c.states.size());
}

INSTANTIATE_TEST_SUITE_P(Runs, FailureAtEveryCall, ::testing::ValuesIn(kFailureCases),
                         [](const auto& p) { return std::string(p.param.label); });

}  // namespace
}  // namespace bm::transfer::testing
