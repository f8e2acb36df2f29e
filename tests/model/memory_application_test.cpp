#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/error_kind.h"
#include "workbench/model/memory_host.h"

namespace bm::workbench {
namespace {

using bm::test::ErrorKindOf;

struct Seen {
    std::string name;
    std::int32_t timing;
    bool active;  // whether the document was the current one at that time
};

struct Quiet : host::ApplicationEventSink {
    void OnActivateDocument(const host::Ref<host::Document>&, std::int32_t, const Variant&,
                            std::int32_t&) override {}
};

class RecordingSink : public host::ApplicationEventSink {
public:
    RecordingSink(MemoryHost& host, std::string name) : host_(host), name_(std::move(name)) {}

    void OnActivateDocument(const host::Ref<host::Document>& document, std::int32_t beforeOrAfter,
                            const Variant& context, std::int32_t& handlingCode) override {
        EXPECT_TRUE(context.is_empty());
        seen.push_back({name_, beforeOrAfter, host_.ActiveDocument() == document});
        if (log) log->push_back(name_);
        handlingCode += 1;
        if (onFire) onFire();
    }

    std::vector<Seen> seen;
    std::vector<std::string>* log = nullptr;
    std::function<void()> onFire;

private:
    MemoryHost& host_;
    std::string name_;
};

TEST(Events, EveryBoundSinkHearsInBindingOrderUntilReleased) {
    MemoryHost host;
    auto drawing = host.AddDrawing("C:/Work/Sheet.idw");
    std::vector<std::string> log;
    RecordingSink a(host, "a"), b(host, "b");
    a.log = b.log = &log;
    auto source = host.App()->AppEventSource();
    auto connA = source->Bind(a);
    auto connB = source->Bind(b);
    EXPECT_EQ(host.BoundSinkCount(), 2u);

    EXPECT_EQ(host.FireActivateDocument(drawing, kEventAfter), kNotHandled + 2);
    EXPECT_EQ(log, (std::vector<std::string>{"a", "b"}));

    auto copy = connA;
    connA.reset();
    EXPECT_EQ(host.BoundSinkCount(), 2u) << "a copy of the connection still binds";
    copy.reset();
    EXPECT_EQ(host.BoundSinkCount(), 1u);
    host.FireActivateDocument(drawing, kEventAfter);
    EXPECT_EQ(a.seen.size(), 1u);
    EXPECT_EQ(b.seen.size(), 2u);
}

TEST(Events, ASinkUnboundDuringDeliveryHearsNoMore) {
    MemoryHost host;
    RecordingSink a(host, "a"), b(host, "b");
    auto source = host.App()->AppEventSource();
    auto connA = source->Bind(a);
    auto connB = source->Bind(b);
    a.onFire = [&] { connB.reset(); };
    host.FireActivateDocument(nullptr, kEventAfter);
    EXPECT_EQ(a.seen.size(), 1u);
    EXPECT_TRUE(b.seen.empty());
}

TEST(Events, AConnectionMayOutliveItsHost) {
    Quiet sink;
    std::shared_ptr<void> connection;
    {
        MemoryHost host;
        connection = host.App()->AppEventSource()->Bind(sink);
    }
    connection.reset();  // nothing left to unbind from; must not touch freed memory
}

TEST(Events, ActivateNotifiesBeforeAndAfterTheSwitch) {
    MemoryHost host;
    auto part = host.AddPart("C:/Work/Bracket.ipt");
    RecordingSink sink(host, "s");
    auto connection = host.App()->AppEventSource()->Bind(sink);
    host.Activate(part);
    ASSERT_EQ(sink.seen.size(), 2u);
    EXPECT_EQ(sink.seen[0].timing, kEventBefore);
    EXPECT_FALSE(sink.seen[0].active);
    EXPECT_EQ(sink.seen[1].timing, kEventAfter);
    EXPECT_TRUE(sink.seen[1].active);
    EXPECT_EQ(host.App()->CurrentDocument(), part);
}

TEST(Application, WithoutAnActiveDocumentCurrentDocumentFails) {
    MemoryHost host;
    EXPECT_EQ(ErrorKindOf([&] { host.App()->CurrentDocument(); }), ErrorKind::HostFailure);
}

TEST(Commands, PickRunsOnlyEnabledCommandsAndTheLatestDefinitionCounts) {
    MemoryHost host;
    std::vector<std::int32_t> ran;
    host.OnCommand([&](std::int32_t id) { ran.push_back(id); });
    auto site = host.Site();
    site->AddCommand("Options", 1, true);
    auto copy = site->AddCommand("Copy Custom Properties", 2, true);
    EXPECT_TRUE(host.Command(2)->enabled());

    copy->CommandEnabled(false);
    EXPECT_FALSE(host.Pick(2));
    EXPECT_TRUE(host.Pick(1));
    EXPECT_FALSE(host.Pick(3));
    EXPECT_EQ(ran, std::vector<std::int32_t>{1});

    // A second activation adds the commands again; the newest one answers.
    site->AddCommand("Copy Custom Properties", 2, true);
    EXPECT_TRUE(host.Pick(2));
    EXPECT_EQ(host.Commands().size(), 3u);
    EXPECT_EQ(host.Command(2)->enabled_writes(), 0);
}

TEST(AddIns, SwitchingOffIsRecordedPerClassId) {
    MemoryHost host;
    const std::string own = "{F5E15921-9A9A-11D5-B219-0000E83F3400}";
    EXPECT_EQ(host.AddInActive(own), std::nullopt);
    host.App()->AddInList()->Item(own)->AddInActive(false);
    EXPECT_EQ(host.AddInActive(own), false);
    EXPECT_EQ(host.AddInActive("{00000000-0000-0000-0000-000000000000}"), std::nullopt);
}

// Each host operation, made once against a small session. Every one must
// be counted under its name and fail when a fault names it.
struct OperationCase {
    const char* operation;
    std::function<void(MemoryHost&)> call;
};

std::shared_ptr<MemoryDocument> Part(MemoryHost& h) { return h.FindDocument("C:/Work/Bracket.ipt"); }
std::shared_ptr<MemoryProperty> Prop(MemoryHost& h) { return Part(h)->UserProps()->properties()[0]; }
std::shared_ptr<MemoryFileRef> Ref(MemoryHost& h) {
    return h.FindDocument("C:/Work/Sheet.idw")->Refs()->refs().front();
}

class EveryOperation : public ::testing::TestWithParam<OperationCase> {
protected:
    static void build(MemoryHost& host) {
        auto bracket = host.AddPart("C:/Work/Bracket.ipt");
        bracket->AddProp("Material", "Steel");
        host.AddDrawing("C:/Work/Sheet.idw")->AddRef(bracket);
        host.SetCurrentDocument(bracket);
        host.AddAssembly("C:/Work/Frame.iam");
        // Objects only a host call hands out, made before counting starts.
        host.Site()->AddCommand("Options", 1, true);
        host.App()->AddInList()->Item("{x}");
        host.Probe().ResetCounts();
    }
};

TEST_P(EveryOperation, IsCountedAndCanFail) {
    const std::string op = GetParam().operation;
    {
        MemoryHost host;
        build(host);
        GetParam().call(host);
        EXPECT_EQ(host.Probe().TotalCalls(), 1);
        EXPECT_EQ(host.Probe().Calls(op), 1);
    }
    {
        MemoryHost host;
        build(host);
        host.Probe().FailOperation(op);
        EXPECT_EQ(ErrorKindOf([&] { GetParam().call(host); }), ErrorKind::HostFailure);
        EXPECT_EQ(host.Probe().FaultsFired(), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, EveryOperation,
    ::testing::Values(
        OperationCase{"SiteApplication", [](MemoryHost& h) { h.Site()->SiteApplication(); }},
        OperationCase{"AddCommand", [](MemoryHost& h) { h.Site()->AddCommand("C", 2, true); }},
        OperationCase{"CommandEnabled.put",
                      [](MemoryHost& h) { h.Command(1)->CommandEnabled(false); }},
        OperationCase{"AppEventSource", [](MemoryHost& h) { h.App()->AppEventSource(); }},
        OperationCase{"Bind",
                      [](MemoryHost& h) {
                          Quiet sink;
                          h.App()->events()->Bind(sink);
                      }},
        OperationCase{"HostVersion", [](MemoryHost& h) { h.App()->HostVersion(); }},
        OperationCase{"VersionMajor", [](MemoryHost& h) { h.App()->version()->VersionMajor(); }},
        OperationCase{"AddInList", [](MemoryHost& h) { h.App()->AddInList(); }},
        OperationCase{"Item", [](MemoryHost& h) { h.App()->addins()->Item("{y}"); }},
        OperationCase{"AddInActive.put",
                      [](MemoryHost& h) { h.App()->addins()->find("{x}")->AddInActive(false); }},
        OperationCase{"CurrentDocument", [](MemoryHost& h) { h.App()->CurrentDocument(); }},
        OperationCase{"DocKind", [](MemoryHost& h) { Part(h)->DocKind(); }},
        OperationCase{"FileRefs", [](MemoryHost& h) { Part(h)->FileRefs(); }},
        OperationCase{"DocPropertySets", [](MemoryHost& h) { Part(h)->DocPropertySets(); }},
        OperationCase{"DocUpdate", [](MemoryHost& h) { Part(h)->DocUpdate(); }},
        OperationCase{"DocUnits", [](MemoryHost& h) { Part(h)->DocUnits(); }},
        OperationCase{"PartDefinition", [](MemoryHost& h) { Part(h)->PartDefinition(); }},
        OperationCase{"AssemblyDefinition",
                      [](MemoryHost& h) {
                          h.FindDocument("C:/Work/Frame.iam")->AssemblyDefinition();
                      }},
        OperationCase{"DefinitionMassProps",
                      [](MemoryHost& h) { Part(h)->Definition()->DefinitionMassProps(); }},
        OperationCase{"MassAccuracy.put",
                      [](MemoryHost& h) { Part(h)->MassProps()->MassAccuracy(24580); }},
        OperationCase{"MassValue", [](MemoryHost& h) { Part(h)->MassProps()->MassValue(); }},
        OperationCase{"AreaValue", [](MemoryHost& h) { Part(h)->MassProps()->AreaValue(); }},
        OperationCase{"VolumeValue", [](MemoryHost& h) { Part(h)->MassProps()->VolumeValue(); }},
        OperationCase{"FileRefKind", [](MemoryHost& h) { Ref(h)->FileRefKind(); }},
        OperationCase{"FileRefName", [](MemoryHost& h) { Ref(h)->FileRefName(); }},
        OperationCase{"FileRefFullName", [](MemoryHost& h) { Ref(h)->FileRefFullName(); }},
        OperationCase{"FileRefDocument", [](MemoryHost& h) { Ref(h)->FileRefDocument(); }},
        OperationCase{"Count", [](MemoryHost& h) { Part(h)->UserProps()->Count(); }},
        OperationCase{"Enumerate", [](MemoryHost& h) { Part(h)->Refs()->Enumerate(); }},
        OperationCase{"PropAdd", [](MemoryHost& h) { Part(h)->UserProps()->PropAdd(1.0, "N"); }},
        OperationCase{"PropName", [](MemoryHost& h) { Prop(h)->PropName(); }},
        OperationCase{"PropValue", [](MemoryHost& h) { Prop(h)->PropValue(); }},
        OperationCase{"PropValue.put", [](MemoryHost& h) { Prop(h)->PropValue(Variant("x")); }},
        OperationCase{"PropDelete", [](MemoryHost& h) { Prop(h)->PropDelete(); }},
        OperationCase{"UnitText", [](MemoryHost& h) { Part(h)->Units()->UnitText(11281); }},
        OperationCase{"UnitConvert",
                      [](MemoryHost& h) {
                          double v = 1.0;
                          Part(h)->Units()->UnitConvert(v, "mm");
                      }}),
    [](const auto& c) {
        std::string name = c.param.operation;
        std::erase(name, '.');
        return name;
    });

}  // namespace
}  // namespace bm::workbench
