#include "addin_testing.h"
#include "core/error.h"
#include "select/frm_files.h"
#include "settings/frm_options.h"
#include "ui/frm_about.h"

namespace bm::addin::testing {
namespace {

class OptionsDialog : public AddInTest {
protected:
    void SetUp() override { Activate(); }
    void Options(std::function<void(frmOptions&)> person) {
        forms.Expect<frmOptions>("options", std::move(person));
        addin->ApplicationAddInServer_ExecuteCommand(kOptionsCommandId);
        EXPECT_EQ(forms.PendingExpectations(), 0u);
    }
    std::vector<std::int32_t> All() const {
        std::vector<std::int32_t> v;
        for (int f = 0; f < Settings::kFieldCount; ++f) v.push_back(addin->get(Settings::Field(f)));
        return v;
    }
};

TEST_F(OptionsDialog, FirstRunShowsTheDefaults) {
    Options([](frmOptions& d) {
        EXPECT_EQ(d.Caption(), " Brindlemark Options");
        EXPECT_EQ(d.chkOption[0].Value(), 1);
        for (int i = 1; i < 5; ++i) EXPECT_EQ(d.chkOption[i].Value(), 0) << d.chkOption[i].caption;
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(d.chkPhysical[i].Value(), 1);
            EXPECT_EQ(d.chkZero[i].Value(), 1);
            EXPECT_EQ(d.cboPrec[i].ListIndex(), 1);
        }
        d.cmdCancel_Click();
    });
}

TEST_F(OptionsDialog, OkWritesEverySettingAtOnceButNotTheRegistry) {
    Options([](frmOptions& d) {
        d.chkOption[3].Click();
        d.chkPhysical[0].Click();  // the mass copy off; its other controls still count
        d.chkZero[0].Click();
        d.cboPrec[0].ListIndex(8);
        d.cboPrec[2].ListIndex(0);
        d.PressEnter();
    });
    EXPECT_EQ(All(), (std::vector<std::int32_t>{1, 0, 0, 1, 0, 0, 0, 8, 1, 1, 1, 1, 1, 0}));
    EXPECT_FALSE(Stored("MassPrecision")) << "the registry waits for the deactivation";
}

TEST_F(OptionsDialog, EveryOtherWayOfClosingWritesNothing) {
    const auto before = All();
    for (auto close : {+[](frmOptions& d) { d.cmdCancel_Click(); }, +[](frmOptions& d) { d.PressEscape(); },
                       +[](frmOptions& d) { d.CloseBox(); }}) {
        Options([close](frmOptions& d) {
            d.chkOption[4].Click();
            d.cboPrec[1].ListIndex(5);
            close(d);
        });
        EXPECT_EQ(All(), before);
    }
}

TEST_F(OptionsDialog, OutOfRangeValuesTheControlsAccept) {
    addin->MassPrec(-1);
    addin->AreaZero(2);
    Options([](frmOptions& d) {
        EXPECT_EQ(d.cboPrec[0].ListIndex(), -1);
        EXPECT_EQ(d.chkZero[1].Value(), 2);
        d.cmdOK_Click();
    });
    EXPECT_EQ(addin->MassPrec(), -1);
    EXPECT_EQ(addin->AreaZero(), 2);
}

struct Refused {
    Settings::Field field;
    std::int32_t value;
    ErrorKind kind;
};

class OptionsRefusal : public OptionsDialog, public ::testing::WithParamInterface<Refused> {};

TEST_P(OptionsRefusal, ASettingNoControlCanShowFailsTheCommand) {
    addin->put(GetParam().field, GetParam().value);
    const auto before = All();
    try {
        addin->ApplicationAddInServer_ExecuteCommand(kOptionsCommandId);
        FAIL() << "the dialog must not open";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), GetParam().kind) << e.what();
    }
    EXPECT_EQ(All(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Values, OptionsRefusal,
    ::testing::Values(Refused{Settings::kMassPrec, 9, ErrorKind::InvalidPropertyValue},
                      Refused{Settings::kVolumePrec, -2, ErrorKind::InvalidPropertyValue},
                      Refused{Settings::kEraseFirst, 3, ErrorKind::InvalidPropertyValue},
                      Refused{Settings::kArea, 40000, ErrorKind::Overflow}));

TEST_F(OptionsDialog, LogoOpensTheAboutBoxAndIsPaintedAgainAfterIt) {
    Options([this](frmOptions& d) {
        const ui::Image painted = raster.Shown(d.picViz);
        forms.Expect<ui::frmAbout>("about", [](ui::frmAbout& a) { a.cmdOK_Click(); });
        d.picViz_Click();
        EXPECT_EQ(raster.Shown(d.picViz), painted);
        d.cmdCancel_Click();
    });
    EXPECT_EQ(forms.Shown(), (std::vector<std::string>{"options", "about"}));
}

// From activation to deactivation: a drawing update, a selective copy, a
// change of settings, and the registry holding the new values at the end.
TEST_F(AddInTest, WholeSessionEndToEnd) {
    auto part = host.AddPart("C:/Work/Bracket.ipt");
    part->AddProp("Part No", "BR-100").AddProp("Material", "Steel");
    part->SetUnits("kg", "mm").SetMassFigures(1250.0, 312.5, 160.2);
    auto drawing = host.AddDrawing("C:/Work/Bracket.idw");
    drawing->AddRef(part).AddProp("MATERIAL", "?");

    Activate();
    host.Activate(drawing);
    EXPECT_EQ(drawing->Prop("MATERIAL"), Variant("Steel"));
    EXPECT_EQ(drawing->Prop("Model_Mass_Value"), Variant("1.2")) << "1.25 kg is a tie, rounded to even";

    forms.Expect<frmOptions>("options", [](frmOptions& d) {
        d.chkOption[0].Click();  // no more updates on activation
        d.chkOption[3].Click();  // let the person pick
        d.cboPrec[0].ListIndex(3);
        d.cmdOK_Click();
    });
    EXPECT_TRUE(host.Pick(kOptionsCommandId));

    forms.Expect<select::frmFiles>("files", [](select::frmFiles& f) {
        f.fgFiles().Click(1);  // the first property row, "Part No"
        f.fgFiles_DblClick();
        f.cmdOK_Click();
    });
    drawing->UserProps()->find("Part No")->set_value("keep");
    EXPECT_TRUE(host.Pick(kCopyCommandId));
    EXPECT_EQ(drawing->Prop("Part No"), Variant("keep"));
    EXPECT_EQ(drawing->Prop("Model_Mass_Value"), Variant("1.250"));
    EXPECT_EQ(forms.PendingExpectations(), 0u);

    addin->ApplicationAddInServer_Deactivate();
    EXPECT_EQ(Stored("UpdateOnActivate"), Variant(std::int32_t{0}));
    EXPECT_EQ(Stored("SelectProps"), Variant(std::int32_t{1}));
    EXPECT_EQ(Stored("MassPrecision"), Variant(std::int32_t{3}));
    EXPECT_EQ(Stored("CopyVolume"), Variant(std::int32_t{1}));
}

}  // namespace
}  // namespace bm::addin::testing
