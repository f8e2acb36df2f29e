// A host failure at every host call of every entry point of the add-in:
// the entry stops at the failing call and tells the host (the copy on a
// drawing's activation stays quiet, as the host expects of an event
// handler), what was written before the call stays, and the same add-in
// object then runs the entry cleanly, with no second set of commands.

#include <cstdio>
#include <functional>

#include "addin_testing.h"
#include "core/error.h"
#include "select/frm_files.h"

namespace bm::addin::testing {
namespace {

// One world per run: the fixture's add-in over a host with a part, an
// assembly and a drawing of both.
class World : public AddInTest {
public:
    World() {
        auto part = host.AddPart("C:/Work/Bracket.ipt");
        part->AddProp("Material", "Steel").AddProp("Rev", std::int32_t{3});
        part->SetUnits("kg", "mm").SetMassFigures(2500.0, 10.0, 20.0);
        auto assembly = host.AddAssembly("C:/Work/Frame.iam");
        assembly->AddProp("Project", "Gate");
        drawing = host.AddDrawing("C:/Work/Bracket.idw");
        drawing->AddRef(part).AddRef(assembly).AddProp("Title", "Old").AddProp("Stale", "x");
    }
    void TestBody() override {}

    std::shared_ptr<workbench::MemoryDocument> drawing;
    using AddInTest::addin;
    using AddInTest::forms;
    using AddInTest::host;
    using AddInTest::Activate;
};

struct Scenario {
    const char* name;
    // Brings the world to where the entry is made; its calls are not swept.
    std::function<void(World&)> prepare;
    // The entry itself, once per run.
    std::function<void(World&)> enter;
    bool failureReachesHost = true;
};

void ActiveOnDrawing(World& w) {
    w.Activate();
    w.addin->UpdateOnActivate(0);
    w.host.Activate(w.drawing);
}

void Pick(World& w, std::int32_t command) {
    // The host shows what a command raises; here it reaches the test.
    w.host.Pick(command);
}

// Deactivation and the options dialog ask nothing of the host (they only
// store and show the settings), so they have no host call to fail.
const Scenario kScenarios[] = {
    {"Activation", [](World&) {},
     [](World& w) {
         // A host drops the commands of an add-in whose activation failed.
         const std::size_t before = w.host.Commands().size();
         try {
             w.Activate();
         } catch (...) {
             w.host.Site()->DropCommandsAfter(before);
             throw;
         }
     }},
    {"CopyDirect", ActiveOnDrawing,
     [](World& w) {
         w.addin->Mass(0);
         Pick(w, kCopyCommandId);
     }},
    {"CopyWithPhysical", ActiveOnDrawing, [](World& w) { Pick(w, kCopyCommandId); }},
    {"CopyEraseFirst", ActiveOnDrawing,
     [](World& w) {
         w.addin->EraseFirst(1);
         Pick(w, kCopyCommandId);
     }},
    {"CopySelectedOk", ActiveOnDrawing,
     [](World& w) {
         w.addin->SelectProps(1);
         w.forms.Expect<select::frmFiles>("files", [](select::frmFiles& f) { f.cmdOK_Click(); });
         Pick(w, kCopyCommandId);
     }},
    {"CopySelectedCancel", ActiveOnDrawing,
     [](World& w) {
         w.addin->SelectProps(1);
         w.forms.Expect<select::frmFiles>("files", [](select::frmFiles& f) { f.cmdCancel_Click(); });
         Pick(w, kCopyCommandId);
     }},
    {"CopyOnDrawingActivation",
     [](World& w) {
         w.Activate();
         w.host.Activate(w.host.FindDocument("C:/Work/Bracket.ipt"));
     },
     [](World& w) { w.host.Activate(w.drawing); }, false},
};

// Whether the entry raised, and the host failure it raised.
bool Enter(const Scenario& s, World& w) {
    try {
        s.enter(w);
        return false;
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::HostFailure) << e.what();
        return true;
    }
}

TEST(FaultSweep, EveryEntryStopsAtTheFailingCallAndRecovers) {
    int faults = 0;
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        World clean;
        s.prepare(clean);
        clean.host.Probe().ResetCounts();
        ASSERT_FALSE(Enter(s, clean));
        const std::int64_t calls = clean.host.Probe().TotalCalls();
        ASSERT_GT(calls, 0);
        const auto cleanProps = clean.drawing->Props();
        const auto cleanCommands = clean.host.Commands().size();

        for (std::int64_t k = 1; k <= calls; ++k) {
            SCOPED_TRACE("failing call " + std::to_string(k) + " of " + std::to_string(calls));
            World world;
            s.prepare(world);
            world.host.Probe().ResetCounts();
            world.host.Probe().FailCall(k);
            EXPECT_EQ(Enter(s, world), s.failureReachesHost);
            EXPECT_EQ(world.host.Probe().FaultsFired(), 1);
            // Nothing is asked of the host once a call has failed.
            EXPECT_EQ(world.host.Probe().TotalCalls(), k);
            // The same object runs the entry again as if nothing happened.
            world.host.Probe().ClearFaults();
            EXPECT_FALSE(Enter(s, world));
            EXPECT_EQ(world.drawing->Props(), cleanProps);
            EXPECT_EQ(world.host.Commands().size(), cleanCommands);
            ++faults;
        }
    }
    std::printf("[ figures  ] %zu entry scenarios, %d injected faults\n", std::size(kScenarios), faults);
}

}  // namespace
}  // namespace bm::addin::testing
