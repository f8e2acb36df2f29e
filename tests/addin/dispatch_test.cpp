#include "addin_testing.h"
#include "core/error.h"
#include "select/frm_files.h"

namespace bm::addin::testing {
namespace {

using workbench::kEventAfter;
using workbench::kEventBefore;
using workbench::MemoryDocument;

class Dispatch : public AddInTest {
protected:
    void SetUp() override {
        part = host.AddPart("C:/Work/Bracket.ipt");
        part->AddProp("Material", "Steel").AddProp("Rev", std::int32_t{3});
        part->SetUnits("kg", "mm").SetMassFigures(2500.0, 10.0, 20.0);
        drawing = host.AddDrawing("C:/Work/Bracket.idw");
        drawing->AddRef(part).AddProp("Title", "Old");
        bare = host.AddDrawing("C:/Work/Bare.idw");
        bare->AddProp("Title", "Kept?");
        Activate();
    }
    // Switches every physical quantity off, so only the custom copy runs.
    void NoPhysical() {
        addin->Mass(0);
        addin->Area(0);
        addin->Volume(0);
    }
    std::int32_t Notify(const std::shared_ptr<MemoryDocument>& doc, std::int32_t timing) {
        return host.FireActivateDocument(doc, timing);
    }

    std::shared_ptr<MemoryDocument> part, drawing, bare;
};

TEST_F(Dispatch, CommandStateFollowsTheActiveDocumentKind) {
    addin->UpdateOnActivate(0);
    Notify(drawing, kEventAfter);
    EXPECT_TRUE(CopyCmd()->enabled()) << "a drawing enables the copy even without updates on activation";
    EXPECT_EQ(drawing->Props().size(), 1u) << "nothing is copied while updates on activation are off";
    Notify(part, kEventAfter);
    EXPECT_FALSE(CopyCmd()->enabled());
    Notify(drawing, kEventAfter);
    const int writes = CopyCmd()->enabled_writes();
    EXPECT_EQ(Notify(part, kEventBefore), 0) << "the handling code is never changed";
    EXPECT_TRUE(CopyCmd()->enabled()) << "the ignored timing changes nothing";
    EXPECT_EQ(CopyCmd()->enabled_writes(), writes);
}

TEST_F(Dispatch, ActivationCopiesWithoutUpdatingTheDrawing) {
    Notify(drawing, kEventAfter);
    EXPECT_EQ(drawing->Prop("Material"), Variant("Steel"));
    EXPECT_EQ(drawing->Prop("Rev"), Variant(std::int32_t{3}));
    EXPECT_EQ(drawing->Prop("Model_Mass_Value"), Variant("2.5"));
    EXPECT_EQ(drawing->UpdateCount(), 0);
    EXPECT_EQ(forms.Shown(), std::vector<std::string>{"act"});
}

TEST_F(Dispatch, CopyCommandCopiesAndUpdatesTheDrawing) {
    NoPhysical();
    host.Activate(drawing);
    drawing->UserProps()->add("Extra", Variant("x"));
    EXPECT_TRUE(host.Pick(kCopyCommandId));
    EXPECT_EQ(drawing->UpdateCount(), 1);
    EXPECT_EQ(forms.Shown().back(), "act");
}

TEST_F(Dispatch, ActivationEmptiesADrawingWithoutReferences) {
    addin->EraseFirst(1);
    Notify(bare, kEventAfter);
    EXPECT_TRUE(bare->Props().empty());
    EXPECT_TRUE(forms.Shown().empty()) << "no copy follows for a drawing without references";
}

TEST_F(Dispatch, CopyCommandOnADrawingWithoutReferences) {
    NoPhysical();
    host.SetCurrentDocument(bare);
    addin->ApplicationAddInServer_ExecuteCommand(kCopyCommandId);
    EXPECT_EQ(bare->Props().size(), 1u);
    EXPECT_EQ(bare->UpdateCount(), 1);
    EXPECT_EQ(forms.Shown(), std::vector<std::string>{"act"});

    addin->Volume(1);  // the physical step now needs a first model and fails
    EXPECT_THROW(addin->ApplicationAddInServer_ExecuteCommand(kCopyCommandId), Error);
    EXPECT_EQ(bare->UpdateCount(), 1) << "the steps after the failure do not run";
    EXPECT_EQ(forms.Shown().size(), 1u);
}

TEST_F(Dispatch, UnknownCommandDoesNothing) {
    host.SetCurrentDocument(drawing);
    addin->ApplicationAddInServer_ExecuteCommand(3);
    addin->ApplicationAddInServer_ExecuteCommand(-1);
    EXPECT_EQ(drawing->Props().size(), 1u);
    EXPECT_TRUE(forms.Shown().empty());
}

TEST_F(Dispatch, CopyCommandOnANonDrawingFails) {
    host.SetCurrentDocument(part);
    try {
        addin->ApplicationAddInServer_ExecuteCommand(kCopyCommandId);
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::TypeMismatch);
    }
}

// The same failure is quiet on activation and reaches the host from the
// command: a model that cannot be opened stops the copy after the models
// before it.
TEST_F(Dispatch, FailureIsQuietOnActivationAndReportedByTheCommand) {
    auto other = host.AddPart("C:/Work/Pin.ipt");
    other->AddProp("Pin", "yes");
    auto lost = host.AddDrawing("C:/Work/Lost.idw");
    lost->AddRef(part).AddUnresolvedRef("C:/Gone/Missing.ipt").AddRef(other);

    EXPECT_NO_THROW(Notify(lost, kEventAfter));
    EXPECT_EQ(lost->Prop("Material"), Variant("Steel")) << "what came before the failure stays";
    EXPECT_FALSE(lost->Prop("Pin"));
    EXPECT_FALSE(lost->Prop("Model_Mass_Value"));
    EXPECT_TRUE(CopyCmd()->enabled());

    host.SetCurrentDocument(lost);
    try {
        addin->ApplicationAddInServer_ExecuteCommand(kCopyCommandId);
        FAIL() << "the copy command must report the failure";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::HostFailure);
    }
    EXPECT_EQ(lost->UpdateCount(), 0);
}

TEST_F(Dispatch, EventsOnARefusedAddInAreSwallowed) {
    workbench::MemoryHost other;
    other.SetVersionMajor(6);
    CBrindlemark5 refused(module);
    refused.ApplicationAddInServer_Activate(other.Site(), true);
    auto doc = other.AddDrawing("C:/x.idw");
    EXPECT_NO_THROW(other.FireActivateDocument(doc, kEventAfter));
}

TEST_F(Dispatch, CancelledSelectionWithEraseLeavesOnlyThePhysicalProperties) {
    addin->SelectProps(1);
    addin->EraseFirst(1);
    forms.Expect<select::frmFiles>("files", [](select::frmFiles& f) { f.cmdCancel_Click(); });
    host.SetCurrentDocument(drawing);
    addin->ApplicationAddInServer_ExecuteCommand(kCopyCommandId);
    std::vector<std::string> names;
    for (const auto& [name, value] : drawing->Props()) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"Model_Mass_Value", "Model_Mass_Units", "Model_Area_Value",
                                               "Model_Area_Units", "Model_Volume_Value",
                                               "Model_Volume_Units"}));
    EXPECT_EQ(forms.PendingExpectations(), 0u);
}

TEST_F(Dispatch, SelectionOnActivationCopiesTheCheckedRows) {
    addin->SelectProps(1);
    NoPhysical();
    forms.Expect<select::frmFiles>("files", [](select::frmFiles& f) { f.cmdOK_Click(); });
    Notify(drawing, kEventAfter);
    EXPECT_EQ(drawing->Prop("Material"), Variant("Steel"));
    EXPECT_EQ(drawing->Prop("Rev"), Variant(std::int32_t{3}));
    EXPECT_EQ(forms.Shown(), (std::vector<std::string>{"files", "act"}));
}

}  // namespace
}  // namespace bm::addin::testing
