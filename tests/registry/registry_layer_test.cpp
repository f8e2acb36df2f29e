#include <stdexcept>
#include <string>

#include "platform/portable/registry_store.h"
#include "registry_test_support.h"

namespace bm::regtest {

// The file store in a directory of its own.
class Scratch {
public:
    RegistryApi& Api() { return store; }

    TempDir dir;
    portable::RegistryStore store{dir.path() / "registry.reg"};
};

}  // namespace bm::regtest

#include "registry_layer_cases.h"

namespace bm {
namespace {

using portable::RegistryStore;

// ---------------------------------------------------------------------------
// Key paths.

struct PathCase {
    const char* base;
    const char* application;
    const char* section;
    const char* want;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << '"' << c.base << "\" + \"" << c.application << "\" + \"" << c.section << '"';
}

class BuildRegPath : public ::testing::TestWithParam<PathCase> {};

TEST_P(BuildRegPath, JoinsBaseApplicationAndSection) {
    RegistryStore store("/nonexistent/registry.reg");
    ModRegistry registry(store);
    registry.RegBasePath = GetParam().base;
    EXPECT_EQ(registry.BuildRegPath(GetParam().application, GetParam().section), GetParam().want);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BuildRegPath,
    ::testing::Values(PathCase{"", "A", "", "A"}, PathCase{"B\\", "A", "", "B\\A"},
                      PathCase{"", "A", "S", "A\\S"}, PathCase{"B\\", "A", "S", "B\\A\\S"},
                      PathCase{"CLSID\\{X}", "", "", "CLSID\\{X}"}, PathCase{"", "", "S", "\\S"},
                      PathCase{kBase, "Copy Custom Prop", "Defaults",
                               "Software\\Quillfern\\Copy Custom Prop\\Defaults"}));

// ---------------------------------------------------------------------------
// The file the store keeps.

TEST_F(RegistryLayer, SetRegValueCreatesEveryMissingKey) {
    std::int32_t type = 0;
    registry.SetRegValue("Copy Custom Prop", "Defaults", "CopyMass", std::int32_t(1), type);
    EXPECT_EQ(regtest::ReadFile(scratch.store.Path()),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quillfern]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quillfern\\Copy Custom Prop]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quillfern\\Copy Custom Prop\\Defaults]\n"
              "\"CopyMass\"=dword:00000001\n\n");
}

// ---------------------------------------------------------------------------
// Failures of the platform never leave the layer.

using ::testing::_;
using ::testing::DoAll;
using ::testing::Return;
using ::testing::SetArgReferee;
using ::testing::StrictMock;
using ::testing::Throw;

TEST(RegistryLayerFailures, FailedOpenIsNeverQueried) {
    StrictMock<MockRegistryApi> api;
    ModRegistry registry(api);
    registry.RegRootKey = reg::kHkeyCurrentUser;
    EXPECT_CALL(api, RegOpenKeyExA(reg::kHkeyCurrentUser, _, 0, reg::kKeyAccess, _))
        .WillOnce(Return(reg::kErrorFileNotFound));
    EXPECT_EQ(registry.GetRegValue("App", "Sec", "V", "fallback"), Variant("fallback"));
}

TEST(RegistryLayerFailures, ExceptionsStayInsideAndOpenedKeysAreClosed) {
    StrictMock<MockRegistryApi> api;
    ModRegistry registry(api);
    registry.RegRootKey = reg::kHkeyCurrentUser;
    EXPECT_CALL(api, RegOpenKeyExA(_, _, _, _, _))
        .WillOnce(DoAll(SetArgReferee<4>(42), Return(reg::kErrorSuccess)))
        .WillOnce(Throw(std::runtime_error("open")));
    EXPECT_CALL(api, RegQueryValueExA(42, _, _, _, _)).WillOnce(Throw(std::bad_alloc()));
    EXPECT_CALL(api, RegCloseKey(42)).WillOnce(Return(reg::kErrorSuccess));
    EXPECT_CALL(api, RegCreateKeyExA(_, _, _, _, _, _)).WillOnce(Throw(std::runtime_error("c")));

    EXPECT_EQ(registry.GetRegValue("App", "", "V", std::int16_t(3)), Variant(std::int16_t(3)));
    EXPECT_EQ(registry.EnumRegValues("App", ""), std::nullopt);
    std::int32_t type = 0;
    EXPECT_NO_THROW(registry.SetRegValue("App", "", "V", "12", type));
    EXPECT_EQ(type, 4);
}

TEST(RegistryLayerFailures, RootKeyIsListedButNeverClosed) {
    StrictMock<MockRegistryApi> api;
    ModRegistry registry(api);
    registry.RegRootKey = reg::kHkeyClassesRoot;
    EXPECT_CALL(api, RegQueryInfoKeyA(reg::kHkeyClassesRoot, _, _, _))
        .WillOnce(Return(reg::kErrorAccessDenied));
    EXPECT_EQ(registry.EnumRegValues("", ""), std::nullopt);
}

}  // namespace
}  // namespace bm
