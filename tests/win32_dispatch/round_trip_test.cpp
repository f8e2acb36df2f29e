// The add-in over COM: the adapter calling the in-memory host served as
// automation objects must behave exactly as the add-in on the memory host
// itself, call for call.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <objbase.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "addin/cbrindlemark5.h"
#include "addin/module.h"
#include "core/error.h"
#include "platform/portable/headless_runtime.h"
#include "platform/portable/memory_raster.h"
#include "platform/win32/dispatch_host.h"
#include "workbench/com/served_host.h"
#include "workbench/model/memory_host.h"

namespace bm::win32 {
namespace {

using workbench::MemoryDocument;
using workbench::MemoryHost;

class ComApartment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};
[[maybe_unused]] ::testing::Environment* const kApartment =
    ::testing::AddGlobalTestEnvironment(new ComApartment);

// Holds nothing and keeps nothing: settings load their defaults and their
// save is lost, quietly, as registry failures always are.
class NoRegistry final : public RegistryApi {
public:
    reg::Status RegOpenKeyExA(reg::Hkey, const char*, reg::DWord, reg::DWord, reg::Hkey& result) override {
        result = 0;
        return reg::kErrorFileNotFound;
    }
    reg::Status RegCreateKeyExA(reg::Hkey, const char*, reg::DWord, reg::DWord, reg::Hkey& result,
                                reg::DWord*) override {
        result = 0;
        return reg::kErrorAccessDenied;
    }
    reg::Status RegQueryValueExA(reg::Hkey, const char*, reg::DWord*, std::uint8_t*, reg::DWord*) override {
        return reg::kErrorInvalidHandle;
    }
    reg::Status RegSetValueExA(reg::Hkey, const char*, reg::DWord, const std::uint8_t*, reg::DWord) override {
        return reg::kErrorInvalidHandle;
    }
    reg::Status RegQueryInfoKeyA(reg::Hkey, reg::DWord*, reg::DWord*, reg::DWord*) override {
        return reg::kErrorInvalidHandle;
    }
    reg::Status RegEnumValueA(reg::Hkey, reg::DWord, char*, reg::DWord*, reg::DWord*, std::uint8_t*,
                              reg::DWord*) override {
        return reg::kErrorInvalidHandle;
    }
    reg::Status RegCloseKey(reg::Hkey) override { return reg::kErrorSuccess; }
};

struct Outcome {
    std::map<std::string, std::vector<std::pair<std::string, Variant>>> drawings;
    std::map<std::string, std::int64_t, std::less<>> calls;
    std::vector<std::string> failures;  // messages of the host failures that reached the add-in's caller
    bool copyEnabledAfterPart = true;
    std::size_t sinksLeft = 1;
};

// The add-in's whole life on `host`, reached through `site`: activation,
// the copy command plain and with the physical properties, the copy on a
// drawing's activation, the command switched off by a part, the copy on a
// drawing with an unresolved reference, an injected failure, deactivation.
Outcome RunSession(MemoryHost& host, const host::Ref<host::AddInSite>& site) {
    auto part = host.AddPart("C:/Work/Bracket.ipt");
    part->AddProp("Material", "St\xC3\xA4hl").AddProp("Rev", std::int32_t{3}).AddProp("Checked", true);
    part->AddProp("Made", Date{45352.5}).AddProp("Weight", 2.75);
    part->SetUnits("kg", "mm").SetMassFigures(2500.0, 120.0, 320.0);
    auto drawing = host.AddDrawing("C:/Work/Bracket.idw");
    drawing->AddRef(part).AddProp("Title", "Old");
    auto sheet = host.AddDrawing("C:/Work/Sheet.idw");
    sheet->AddRef(part);
    auto lost = host.AddDrawing("C:/Work/Lost.idw");
    lost->AddRef(part).AddUnresolvedRef("C:/Lost/Pin.ipt");

    NoRegistry registry;
    portable::HeadlessRuntime forms;
    portable::MemoryRaster raster;
    addin::AddInModule module(registry, forms, raster);
    addin::CBrindlemark5 addin(module);
    Outcome outcome;
    auto attempt = [&](const std::function<void()>& step) {
        try {
            step();
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::HostFailure) << e.what();
            outcome.failures.push_back(e.what());
        }
    };

    addin.ApplicationAddInServer_Activate(site, true);
    addin.SelectProps(0);
    addin.EraseFirst(0);
    addin.Mass(0);
    addin.Area(0);
    addin.Volume(0);
    host.SetCurrentDocument(drawing);
    addin.ApplicationAddInServer_ExecuteCommand(addin::kCopyCommandId);
    addin.Mass(1);
    addin.Area(1);
    addin.Volume(1);
    addin.MassPrec(3);
    addin.ApplicationAddInServer_ExecuteCommand(addin::kCopyCommandId);

    host.Activate(sheet);
    host.Activate(part);
    outcome.copyEnabledAfterPart = host.Command(addin::kCopyCommandId)->enabled();

    host.SetCurrentDocument(lost);
    attempt([&] { addin.ApplicationAddInServer_ExecuteCommand(addin::kCopyCommandId); });
    host.SetCurrentDocument(drawing);
    host.Probe().FailOperation("DocUpdate");
    attempt([&] { addin.ApplicationAddInServer_ExecuteCommand(addin::kCopyCommandId); });

    addin.ApplicationAddInServer_Deactivate();
    outcome.sinksLeft = host.BoundSinkCount();
    for (const auto& document : host.Documents())
        if (document->kind() == host::kDrawingDocument) outcome.drawings[document->full_name()] = document->Props();
    outcome.calls = host.Probe().CallCounts();
    return outcome;
}

TEST(DispatchRoundTrip, TheAddInOverComMakesTheSameCallsAndTheSameDrawings) {
    MemoryHost direct;
    const Outcome expected = RunSession(direct, direct.Site());
    // The direct run itself is what the add-in's own tests establish; a few
    // marks keep this comparison from passing on an empty session.
    const auto& bracket = expected.drawings.at("C:/Work/Bracket.idw");
    ASSERT_THAT(bracket, ::testing::Contains(std::pair<std::string, Variant>("Material", "St\xC3\xA4hl")));
    ASSERT_THAT(bracket, ::testing::Contains(std::pair<std::string, Variant>("Model_Mass_Value", "2.500")));
    ASSERT_THAT(expected.drawings.at("C:/Work/Sheet.idw"),
                ::testing::Contains(std::pair<std::string, Variant>("Made", Date{45352.5})));
    ASSERT_EQ(expected.failures.size(), 2u);

    // Under either host identity: the add-in learns the event interface
    // and its DISPID from the host's type library.
    for (const auto identity : {workbench::HostIdentity::kStandard, workbench::HostIdentity::kOther}) {
        SCOPED_TRACE(identity == workbench::HostIdentity::kStandard ? "standard host" : "other host");
        MemoryHost served;
        workbench::com::ServedHost com(served, std::make_shared<workbench::com::HostTypeLibrary>(identity));
        const Outcome actual = RunSession(served, AddInSiteOver(com.Site().Get()));

        EXPECT_EQ(actual.drawings, expected.drawings);
        EXPECT_EQ(actual.calls, expected.calls);
        EXPECT_EQ(com.NameLookups(), 0) << "every call goes by dispatch identifier";
        EXPECT_FALSE(actual.copyEnabledAfterPart);
        EXPECT_EQ(actual.sinksLeft, 0u) << "deactivation unadvises the event sink";
        // The host's own description arrives; it names the operation, so the
        // failure reads as on the host itself.
        EXPECT_EQ(actual.failures, expected.failures);
    }
}

}  // namespace
}  // namespace bm::win32
