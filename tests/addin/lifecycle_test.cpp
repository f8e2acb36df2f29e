#include <fstream>
#include <iterator>

#include "addin_testing.h"
#include "core/error.h"

namespace bm::addin::testing {
namespace {

using workbench::MemoryHost;

class Lifecycle : public AddInTest {};

TEST_F(Lifecycle, CreationAndDestructionSetTheModuleInstance) {
    EXPECT_EQ(module.AddInInstance, addin.get());
    EXPECT_EQ(addin->ApplicationAddInServer_Automation(), nullptr);
    addin.reset();
    EXPECT_EQ(module.AddInInstance, nullptr);
}

TEST_F(Lifecycle, ActivationCreatesBothCommandsWithCopyDisabled) {
    Activate();
    ASSERT_EQ(host.Commands().size(), 2u);
    EXPECT_EQ(host.Commands()[0]->caption(), "Options");
    EXPECT_EQ(host.Commands()[0]->id(), kOptionsCommandId);
    EXPECT_TRUE(host.Commands()[0]->enabled());
    EXPECT_EQ(host.Commands()[1]->caption(), "Copy Custom Properties");
    EXPECT_EQ(host.Commands()[1]->id(), kCopyCommandId);
    EXPECT_FALSE(host.Commands()[1]->enabled());
    EXPECT_TRUE(host.Commands()[0]->flag() && host.Commands()[1]->flag());
    EXPECT_EQ(host.BoundSinkCount(), 1u);
    EXPECT_TRUE(forms.Messages().empty());
}

TEST_F(Lifecycle, FirstTimeFlagChangesNothing) {
    addin->ApplicationAddInServer_Activate(host.Site(), false);
    const auto afterLater = store.ListValues(kSettingsKey);
    MemoryHost other;
    CBrindlemark5 second(module);
    second.ApplicationAddInServer_Activate(other.Site(), true);
    EXPECT_EQ(other.Commands().size(), host.Commands().size());
    for (int f = 0; f < Settings::kFieldCount; ++f)
        EXPECT_EQ(second.get(Settings::Field(f)), addin->get(Settings::Field(f)));
    EXPECT_EQ(store.ListValues(kSettingsKey), afterLater);
}

class RefusedVersion : public AddInTest, public ::testing::WithParamInterface<std::int32_t> {};

TEST_P(RefusedVersion, ShowsTheMessageAndSwitchesItselfOff) {
    host.SetVersionMajor(GetParam());
    Store("MassPrecision", std::int32_t{4});
    Activate();
    ASSERT_EQ(forms.Messages().size(), 1u);
    EXPECT_EQ(forms.Messages()[0].text, "This Add-In requires that\r\nAutodesk Inventor 5 be installed");
    EXPECT_EQ(forms.Messages()[0].style, 48);
    EXPECT_EQ(forms.Messages()[0].title, "Brindlemark");
    EXPECT_TRUE(host.Commands().empty());
    EXPECT_EQ(host.AddInActive(kClassId), std::optional<bool>(false));
    EXPECT_EQ(host.BoundSinkCount(), 1u) << "events stay bound on the refused path";
    EXPECT_EQ(addin->MassPrec(), 0) << "no settings are loaded";
    EXPECT_FALSE(store.ListValues(kClassKey)) << "the class registration is left alone";

    // A host that honours the switch-off deactivates at once; the stored
    // settings must survive that (saving unloaded settings would zero them).
    addin->ApplicationAddInServer_Deactivate();
    EXPECT_EQ(Stored("MassPrecision"), Variant(std::int32_t{4}));
    EXPECT_FALSE(Stored("CopyMass"));
    EXPECT_EQ(host.BoundSinkCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(OtherHosts, RefusedVersion, ::testing::Values(4, 6, 0));

TEST_F(Lifecycle, FirstRunDefaultsAreSavedAsFourteenDwords) {
    Activate();
    EXPECT_EQ(addin->UpdateOnActivate(), 1);
    EXPECT_EQ(addin->UpdateExistOnly() + addin->PrefaceModel() + addin->SelectProps() + addin->EraseFirst(), 0);
    addin->ApplicationAddInServer_Deactivate();
    EXPECT_EQ(module.AddInInstance, nullptr);
    EXPECT_EQ(host.BoundSinkCount(), 0u);

    const auto values = store.ListValues(kSettingsKey);
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 14u);
    for (int f = 0; f < Settings::kFieldCount; ++f) {
        const auto field = Settings::Field(f);
        EXPECT_EQ((*values)[f].name, RegistryValueName(field));
        EXPECT_EQ((*values)[f].type, reg::kRegDword);
        EXPECT_EQ(Stored(RegistryValueName(field)), Variant(std::int32_t{DefaultValue(field)}));
    }
}

TEST_F(Lifecycle, DeactivationSavesWhatTheObjectHolds) {
    Activate();
    addin->MassPrec(8);
    addin->EraseFirst(1);
    addin->Area(0);
    EXPECT_FALSE(Stored("MassPrecision")) << "nothing is saved before deactivation";
    addin->ApplicationAddInServer_Deactivate();
    EXPECT_EQ(Stored("MassPrecision"), Variant(std::int32_t{8}));
    EXPECT_EQ(Stored("EraseFirst"), Variant(std::int32_t{1}));
    EXPECT_EQ(Stored("CopyArea"), Variant(std::int32_t{0}));
}

// Two hosts share one store: each writes back only what it changed, so
// neither undoes the other's change, whatever the order of their saves.
TEST_F(Lifecycle, HostsSharingAStoreKeepEachOthersChanges) {
    Activate();
    addin->ApplicationAddInServer_Deactivate();  // a first run stores the defaults

    portable::HeadlessRuntime otherForms;
    AddInModule otherModule(store, otherForms, raster);
    workbench::MemoryHost otherHost;
    Activate();
    CBrindlemark5 other(otherModule);
    other.ApplicationAddInServer_Activate(otherHost.Site(), true);

    addin->MassPrec(5);
    other.AreaPrec(7);
    other.ApplicationAddInServer_Deactivate();
    addin->ApplicationAddInServer_Deactivate();
    EXPECT_EQ(Stored("MassPrecision"), Variant(std::int32_t{5}));
    EXPECT_EQ(Stored("AreaPrecision"), Variant(std::int32_t{7})) << "the later save kept it";

    // A change back to the value stored at load is no change: the other
    // host's value stays.
    Activate();
    other.ApplicationAddInServer_Activate(otherHost.Site(), true);
    other.MassPrec(2);
    other.ApplicationAddInServer_Deactivate();
    addin->MassPrec(3);
    addin->MassPrec(5);
    addin->ApplicationAddInServer_Deactivate();
    EXPECT_EQ(Stored("MassPrecision"), Variant(std::int32_t{2}));
}

struct StoredText {
    const char* name;
    const char* text;
    std::int32_t loaded;
};

class StoredTextLoad : public AddInTest, public ::testing::WithParamInterface<StoredText> {};

TEST_P(StoredTextLoad, TextIsReadAsANumberRoundedHalfToEven) {
    const StoredText& c = GetParam();
    Store(c.name, c.text);
    Activate();
    for (int f = 0; f < Settings::kFieldCount; ++f) {
        if (std::string(RegistryValueName(Settings::Field(f))) == c.name) {
            EXPECT_EQ(addin->get(Settings::Field(f)), c.loaded) << c.name << " = '" << c.text << "'";
        }
    }
    addin->ApplicationAddInServer_Deactivate();
    EXPECT_EQ(Stored(c.name), Variant(c.loaded)) << "saved back as a REG_DWORD";
}

INSTANTIATE_TEST_SUITE_P(Values, StoredTextLoad,
                         ::testing::Values(StoredText{"MassPrecision", "3", 3},
                                           StoredText{"AreaPrecision", "2.5", 2},
                                           StoredText{"AreaPrecision", "3.5", 4},
                                           StoredText{"CopyArea", "", 1},
                                           StoredText{"CopyMass", " 0 ", 0}));

TEST_F(Lifecycle, StoredZeroStaysZero) {
    Store("CopyMass", std::int32_t{0});
    Activate();
    EXPECT_EQ(addin->Mass(), 0);
}

TEST_F(Lifecycle, NonNumericTextEndsTheLoadAndTheActivation) {
    Store("SelectProps", std::int32_t{1});
    Store("EraseFirst", "yes");
    Store("CopyMass", std::int32_t{0});
    try {
        Activate();
        FAIL() << "a text that is no number must fail the activation";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::TypeMismatch);
    }
    EXPECT_EQ(addin->SelectProps(), 1) << "values before the bad one are loaded";
    EXPECT_EQ(addin->Mass(), 0) << "values after it keep what they held";
    EXPECT_EQ(addin->MassZero(), 0);
    // A deactivation after the failed activation must not write half-loaded
    // settings over the stored ones.
    addin->ApplicationAddInServer_Deactivate();
    EXPECT_EQ(Stored("EraseFirst"), Variant("yes"));
    EXPECT_EQ(Stored("CopyMass"), Variant(std::int32_t{0}));
}

// A load completed by an earlier activation does not license a save after a
// later activation that is refused or fails: the stored values stay.
TEST_F(Lifecycle, LaterRefusedOrFailedActivationDoesNotSave) {
    Activate();
    addin->ApplicationAddInServer_Deactivate();

    Store("MassPrecision", std::int32_t{6});
    host.SetVersionMajor(6);
    Activate();
    addin->ApplicationAddInServer_Deactivate();
    EXPECT_EQ(Stored("MassPrecision"), Variant(std::int32_t{6})) << "refused activation";

    host.SetVersionMajor(5);
    Store("EraseFirst", "yes");
    EXPECT_THROW(Activate(), Error);
    addin->ApplicationAddInServer_Deactivate();
    EXPECT_EQ(Stored("EraseFirst"), Variant("yes")) << "failed activation";
    EXPECT_EQ(Stored("MassPrecision"), Variant(std::int32_t{6}));
}

// The class registration's default value is made to read "Brindlemark".
TEST_F(Lifecycle, ClassRegistrationIsRenamedOnceAndThenLeftAlone) {
    {
        reg::Hkey key = 0;
        ASSERT_EQ(store.RegCreateKeyExA(reg::kHkeyClassesRoot, "CLSID\\{F5E15921-9A9A-11D5-B219-0000E83F3400}",
                                        0, reg::kKeyAccess, key, nullptr),
                  reg::kErrorSuccess);
        const std::string progId = kProgId;
        store.RegSetValueExA(key, "", reg::kRegSz, reinterpret_cast<const std::uint8_t*>(progId.c_str()),
                             static_cast<reg::DWord>(progId.size() + 1));
        store.RegCloseKey(key);
    }
    Activate();
    auto values = store.ListValues(kClassKey);
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 1u);
    EXPECT_EQ(store.FormatValue((*values)[0]), "@=\"Brindlemark\"");
    addin->ApplicationAddInServer_Deactivate();

    const auto before = std::filesystem::last_write_time(RegistryFile());
    CBrindlemark5 again(module);
    MemoryHost other;
    again.ApplicationAddInServer_Activate(other.Site(), true);
    values = store.ListValues(kClassKey);
    ASSERT_TRUE(values);
    EXPECT_EQ(values->size(), 1u);
    EXPECT_EQ(std::filesystem::last_write_time(RegistryFile()), before) << "the second activation writes nothing";
    EXPECT_EQ(module.registry.RegRootKey, reg::kHkeyCurrentUser) << "the layer's state is restored";
    EXPECT_EQ(module.registry.RegBasePath, kSettingsBasePath);
}

TEST_F(Lifecycle, ClassKeyWithoutValuesGetsItsDefaultValue) {
    Activate();
    const auto values = store.ListValues(kClassKey);
    ASSERT_TRUE(values);
    ASSERT_EQ(values->size(), 1u);
    EXPECT_EQ(store.FormatValue((*values)[0]), "@=\"Brindlemark\"");
}

TEST_F(Lifecycle, HostFailureDuringActivationReachesTheHost) {
    host.Probe().FailOperation("AddCommand");
    EXPECT_THROW(Activate(), Error);
    EXPECT_TRUE(host.Commands().empty());
}

std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(Lifecycle, UnparsableStoreIsLeftByteForByte) {
    const std::string damaged = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n"
                                "\"CopyMass\"=dword:zz\r\n";
    std::filesystem::create_directories(RegistryFile().parent_path());
    std::ofstream(RegistryFile(), std::ios::binary) << damaged;
    ::testing::internal::CaptureStderr();
    Activate();
    addin->MassPrec(3);
    addin->ApplicationAddInServer_Deactivate();
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(ReadAll(RegistryFile()), damaged);
    EXPECT_NE(said.find(RegistryFile().string()), std::string::npos) << said;
    EXPECT_EQ(addin->UpdateOnActivate(), 1) << "reads behave as for a missing key";
}

}  // namespace
}  // namespace bm::addin::testing
