#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/portable/registry_store.h"
#include "registry_test_support.h"
#include "settings/registry.h"

namespace bm {
namespace {

using namespace std::string_view_literals;
using portable::RegistryStore;
using regtest::BytesOf;

constexpr const char* kBase = "Software\\Quillfern\\";
constexpr const char* kHkcuBase = "HKEY_CURRENT_USER\\Software\\Quillfern\\";

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
// The layer over the file store.

class MockRegistryApi : public RegistryApi {
public:
    MOCK_METHOD(reg::Status, RegOpenKeyExA,
                (reg::Hkey, const char*, reg::DWord, reg::DWord, reg::Hkey&), (override));
    MOCK_METHOD(reg::Status, RegCreateKeyExA,
                (reg::Hkey, const char*, reg::DWord, reg::DWord, reg::Hkey&, reg::DWord*),
                (override));
    MOCK_METHOD(reg::Status, RegQueryValueExA,
                (reg::Hkey, const char*, reg::DWord*, std::uint8_t*, reg::DWord*), (override));
    MOCK_METHOD(reg::Status, RegSetValueExA,
                (reg::Hkey, const char*, reg::DWord, const std::uint8_t*, reg::DWord), (override));
    MOCK_METHOD(reg::Status, RegQueryInfoKeyA, (reg::Hkey, reg::DWord*, reg::DWord*, reg::DWord*),
                (override));
    MOCK_METHOD(reg::Status, RegEnumValueA,
                (reg::Hkey, reg::DWord, char*, reg::DWord*, reg::DWord*, std::uint8_t*,
                 reg::DWord*),
                (override));
    MOCK_METHOD(reg::Status, RegCloseKey, (reg::Hkey), (override));
};

class RegistryLayer : public ::testing::Test {
protected:
    void SetUp() override {
        registry.RegRootKey = reg::kHkeyCurrentUser;
        registry.RegBasePath = kBase;
    }
    void TearDown() override { EXPECT_EQ(store.OpenHandles(), 0u) << "a handle was left open"; }

    // Stores raw data under HKCU\Software\Quillfern\<key>.
    void Put(const std::string& key, const char* name, reg::DWord type, const Bytes& data) {
        reg::Hkey h = 0;
        ASSERT_EQ(store.RegCreateKeyExA(reg::kHkeyCurrentUser, (kBase + key).c_str(), 0,
                                        reg::kKeyAccess, h, nullptr),
                  reg::kErrorSuccess);
        ASSERT_EQ(store.RegSetValueExA(h, name, type, data.data(), reg::DWord(data.size())),
                  reg::kErrorSuccess);
        store.RegCloseKey(h);
    }
    std::optional<std::vector<RegistryStore::ListedValue>> Stored(const std::string& key) {
        return store.ListValues(kHkcuBase + key);
    }

    regtest::TempDir dir;
    RegistryStore store{dir.path() / "registry.reg"};
    ModRegistry registry{store};
};

TEST_F(RegistryLayer, MissingKeyOrValueGivesTheDefault) {
    EXPECT_EQ(registry.GetRegValue("Copy Custom Prop", "Defaults", "CopyMass", std::int16_t(1)),
              Variant(std::int16_t(1)));
    Put("Copy Custom Prop\\Defaults", "Other", reg::kRegDword, {1, 0, 0, 0});
    EXPECT_EQ(registry.GetRegValue("Copy Custom Prop", "Defaults", "CopyMass", std::int16_t(1)),
              Variant(std::int16_t(1)));
}

struct StoredCase {
    const char* label;
    reg::DWord type;
    Bytes data;
    Variant want;  // Empty: the default
};

void PrintTo(const StoredCase& c, std::ostream* os) { *os << c.label; }

class GetRegValue : public RegistryLayer, public ::testing::WithParamInterface<StoredCase> {};

TEST_P(GetRegValue, ReadsStoredValue) {
    const StoredCase& c = GetParam();
    Put("App\\Sec", "V", c.type, c.data);
    const Variant fallback(std::int16_t(99));
    const Variant want = c.want.is_empty() ? fallback : c.want;
    EXPECT_EQ(registry.GetRegValue("App", "Sec", "V", fallback), want);
}

INSTANTIATE_TEST_SUITE_P(
    Types, GetRegValue,
    ::testing::Values(
        StoredCase{"DwordZeroIsKept", reg::kRegDword, {0, 0, 0, 0}, std::int32_t(0)},
        StoredCase{
            "DwordBitsReadSigned", reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, std::int32_t(-1)},
        StoredCase{"DwordOfTwoBytes", reg::kRegDword, {1, 2}, {}},
        StoredCase{"TextDropsItsNul", reg::kRegSz, BytesOf("abc\0"sv), "abc"},
        StoredCase{"TextWithoutNulKeepsAllCharacters", reg::kRegSz, BytesOf("abc"), "abc"},
        StoredCase{"TextKeepsInnerNul", reg::kRegSz, BytesOf("ab\0c\0"sv), std::string("ab\0c", 4)},
        StoredCase{"OnlyNul", reg::kRegSz, BytesOf("\0"sv), {}},
        StoredCase{"EmptyText", reg::kRegSz, {}, {}},
        StoredCase{"ExpandableText", reg::kRegExpandSz, BytesOf("%P%\0"sv), {}},
        StoredCase{"MultiText", reg::kRegMultiSz, BytesOf("a\0b\0\0"sv), {}},
        StoredCase{"BinaryKeepsEveryByte", reg::kRegBinary, {0, 1, 0}, Bytes{0, 1, 0}},
        StoredCase{"EmptyBinary", reg::kRegBinary, {}, {}},
        StoredCase{"Qword", reg::kRegQword, Bytes(8, 1), {}}),
    regtest::Label<StoredCase>);

struct WriteCase {
    const char* label;
    Variant value;
    std::int32_t typeIn, typeOut;
    std::optional<RegistryStore::ListedValue> stored;  // nothing: nothing written
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.label; }

class SetRegValue : public RegistryLayer, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(SetRegValue, ChoosesTypeAndWrites) {
    const WriteCase& c = GetParam();
    std::int32_t type = c.typeIn;
    EXPECT_NO_THROW(registry.SetRegValue("App", "Sec", "V", c.value, type));
    EXPECT_EQ(type, c.typeOut);
    const auto values = Stored("App\\Sec");
    ASSERT_TRUE(values.has_value()) << "the key is created whatever is written";
    if (c.stored) {
        ASSERT_EQ(values->size(), 1u);
        EXPECT_EQ(values->front(), *c.stored);
    } else {
        EXPECT_TRUE(values->empty());
    }
}

RegistryStore::ListedValue V(reg::DWord type, Bytes data) { return {"V", type, std::move(data)}; }

INSTANTIATE_TEST_SUITE_P(
    Types, SetRegValue,
    ::testing::Values(
        WriteCase{"LongBecomesDword", std::int32_t(7), 0, 4, V(4, {7, 0, 0, 0})},
        WriteCase{"NegativeLong", std::int32_t(-2), 0, 4, V(4, {0xFE, 0xFF, 0xFF, 0xFF})},
        WriteCase{"TextBecomesStringOfFourBytes", "abc", 0, 1, V(1, BytesOf("abc\0"sv))},
        WriteCase{"NumericTextBecomesDword", "12", 0, 4, V(4, {12, 0, 0, 0})},
        WriteCase{"DoubleRoundsHalfToEven", 2.5, 0, 4, V(4, {2, 0, 0, 0})},
        WriteCase{"NumberAsString", std::int32_t(7), 1, 1, V(1, BytesOf("7\0"sv))},
        WriteCase{"BytesAsBinary", Bytes{1, 2}, 3, 3, V(3, {1, 2})},
        WriteCase{"TooLargeForDword", 3e10, 0, 4, std::nullopt},
        WriteCase{"TextAsBinary", "x", 3, 3, std::nullopt},
        WriteCase{"UnhandledType", "x", 2, 2, std::nullopt}),
    regtest::Label<WriteCase>);

TEST_F(RegistryLayer, SetRegValueCreatesEveryMissingKey) {
    std::int32_t type = 0;
    registry.SetRegValue("Copy Custom Prop", "Defaults", "CopyMass", std::int32_t(1), type);
    EXPECT_EQ(regtest::ReadFile(store.Path()),
              "Windows Registry Editor Version 5.00\n\n"
              "[HKEY_CURRENT_USER\\Software]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quillfern]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quillfern\\Copy Custom Prop]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Quillfern\\Copy Custom Prop\\Defaults]\n"
              "\"CopyMass\"=dword:00000001\n\n");
}

TEST_F(RegistryLayer, ClassRegistrationDefaultValueRoundTrip) {
    registry.RegRootKey = reg::kHkeyClassesRoot;
    registry.RegBasePath = "CLSID\\{F5E15921-9A9A-11D5-B219-0000E83F3400}";
    EXPECT_EQ(registry.EnumRegValues("", ""), std::nullopt);
    std::int32_t type = 0;
    registry.SetRegValue("", "", "", "Brindlemark", type);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(registry.EnumRegValues("", ""), (ValueTable{{"", "Brindlemark"}}));
    EXPECT_EQ(registry.GetRegValue("", "", "", "none"), Variant("Brindlemark"));
    EXPECT_NE(regtest::ReadFile(store.Path())
                  .find("[HKEY_CLASSES_ROOT\\CLSID\\{F5E15921-9A9A-11D5-B219-0000E83F3400}]\n"
                        "@=\"Brindlemark\"\n"),
              std::string::npos);
}

TEST_F(RegistryLayer, EnumRegValuesListsEveryValueInOrder) {
    Put("App\\Sec", "Short", reg::kRegSz, BytesOf("x\0"sv));
    Put("App\\Sec", "The longest value name of all", reg::kRegDword, {5, 0, 0, 0});
    Put("App\\Sec", "", reg::kRegSz, BytesOf("default\0"sv));
    Put("App\\Sec", "Raw", reg::kRegBinary, {0, 1, 2});
    Put("App\\Sec", "NoNul", reg::kRegSz, BytesOf("abc"));
    Put("App\\Sec", "Expand", reg::kRegExpandSz, BytesOf("%P%\0"sv));
    Put("App\\Sec", "EmptySz", reg::kRegSz, {});
    const ValueTable want{{"Short", "x"},        {"The longest value name of all", std::int32_t(5)},
                          {"", "default"},       {"Raw", Bytes{0, 1, 2}},
                          {"NoNul", "abc"},      {"Expand", Variant()},
                          {"EmptySz", Variant()}};
    EXPECT_EQ(registry.EnumRegValues("App", "Sec"), want);
}

TEST_F(RegistryLayer, EnumRegValuesIsEmptyForKeyWithoutValuesOrMissing) {
    Put("Only", "", reg::kRegSz, BytesOf("x\0"sv));
    EXPECT_EQ(registry.EnumRegValues("Only", ""), (ValueTable{{"", "x"}}));
    std::int32_t type = 2;  // creates the key, writes nothing
    registry.SetRegValue("Bare", "", "V", "x", type);
    EXPECT_EQ(registry.EnumRegValues("Bare", ""), std::nullopt);
    EXPECT_EQ(registry.EnumRegValues("Missing", ""), std::nullopt);
}

// Passes every call to the store, and lets a test change the key between
// two calls of an enumeration, as another program could.
struct MeddledRegistry {
    explicit MeddledRegistry(RegistryStore& store) {
        using ::testing::_;
        ON_CALL(api, RegOpenKeyExA).WillByDefault([&](auto&&... a) {
            return store.RegOpenKeyExA(a...);
        });
        ON_CALL(api, RegCloseKey).WillByDefault([&](auto k) { return store.RegCloseKey(k); });
        ON_CALL(api, RegQueryInfoKeyA).WillByDefault([&](auto&&... a) {
            const reg::Status rc = store.RegQueryInfoKeyA(a...);
            if (afterCount) std::exchange(afterCount, nullptr)();
            return rc;
        });
        ON_CALL(api, RegEnumValueA)
            .WillByDefault([&](auto k, auto i, auto n, auto nc, auto t, auto d, auto ds) {
                const reg::Status rc = store.RegEnumValueA(k, i, n, nc, t, d, ds);
                if (d == nullptr && afterNameRead) std::exchange(afterNameRead, nullptr)();
                return rc;
            });
        registry.RegRootKey = reg::kHkeyCurrentUser;
        registry.RegBasePath = kBase;
    }
    ::testing::NiceMock<MockRegistryApi> api;
    ModRegistry registry{api};
    std::function<void()> afterCount, afterNameRead;
};

TEST_F(RegistryLayer, EnumRegValuesLeavesOutValuesAddedMeanwhile) {
    Put("App", "A", reg::kRegDword, {1, 0, 0, 0});
    Put("App", "B", reg::kRegSz, BytesOf("b\0"sv));
    MeddledRegistry m(store);
    m.afterCount = [&] {
        for (const char* name : {"A much longer name than any before", "C", "D"})
            Put("App", name, reg::kRegBinary, Bytes(300, 7));
    };
    EXPECT_EQ(m.registry.EnumRegValues("App", ""),
              (ValueTable{{"A", std::int32_t(1)}, {"B", "b"}}));
}

TEST_F(RegistryLayer, EnumRegValuesReadsValueThatGrewMeanwhile) {
    Put("App", "A", reg::kRegSz, BytesOf("short\0"sv));
    const std::string grown(200, 'g');
    MeddledRegistry m(store);
    m.afterNameRead = [&] { Put("App", "A", reg::kRegSz, BytesOf(grown + '\0')); };
    EXPECT_EQ(m.registry.EnumRegValues("App", ""), (ValueTable{{"A", grown}}));
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
