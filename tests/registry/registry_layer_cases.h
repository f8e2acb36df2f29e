#pragma once

// The registry layer over a real backend, whatever it is: the cases hold for
// the file store and for the Windows registry alike. A test program defines
// bm::regtest::Scratch (a fresh registry private to one test and removed
// with it, whose Api() is the backend) and then includes this header, once.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "registry_test_support.h"
#include "settings/registry.h"

namespace bm {
namespace regtest {
class Scratch;
}  // namespace regtest

namespace {

using namespace std::string_view_literals;
using regtest::BytesOf;

constexpr const char* kBase = "Software\\Quillfern\\";

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

// A value as the backend lists it.
struct StoredValue {
    std::string name;
    reg::DWord type = 0;
    Bytes data;
    friend bool operator==(const StoredValue&, const StoredValue&) = default;
};

void PrintTo(const StoredValue& v, std::ostream* os) {
    *os << '"' << v.name << "\" type " << v.type << ", " << v.data.size() << " bytes";
}

// The layer over a fresh backend. Every call passes through a mock that
// keeps count of the handles the layer holds and lets a test change the
// registry between two calls of an enumeration, as another program could.
class RegistryLayer : public ::testing::Test {
protected:
    RegistryLayer() {
        ON_CALL(api, RegOpenKeyExA)
            .WillByDefault([this](auto root, auto sub, auto o, auto s, reg::Hkey& key) {
                const reg::Status rc = backend.RegOpenKeyExA(root, sub, o, s, key);
                if (rc == reg::kErrorSuccess) open.insert(key);
                return rc;
            });
        ON_CALL(api, RegCreateKeyExA)
            .WillByDefault([this](auto root, auto sub, auto o, auto s, reg::Hkey& key, auto d) {
                const reg::Status rc = backend.RegCreateKeyExA(root, sub, o, s, key, d);
                if (rc == reg::kErrorSuccess) open.insert(key);
                return rc;
            });
        ON_CALL(api, RegQueryValueExA).WillByDefault([this](auto&&... a) {
            return backend.RegQueryValueExA(a...);
        });
        ON_CALL(api, RegSetValueExA).WillByDefault([this](auto&&... a) {
            return backend.RegSetValueExA(a...);
        });
        ON_CALL(api, RegQueryInfoKeyA).WillByDefault([this](auto&&... a) {
            const reg::Status rc = backend.RegQueryInfoKeyA(a...);
            if (afterCount) std::exchange(afterCount, nullptr)();
            return rc;
        });
        ON_CALL(api, RegEnumValueA)
            .WillByDefault([this](auto k, auto i, auto n, auto nc, auto t, auto d, auto ds) {
                const reg::Status rc = backend.RegEnumValueA(k, i, n, nc, t, d, ds);
                if (d == nullptr && afterNameRead) std::exchange(afterNameRead, nullptr)();
                return rc;
            });
        ON_CALL(api, RegCloseKey).WillByDefault([this](reg::Hkey key) {
            const reg::Status rc = backend.RegCloseKey(key);
            if (rc == reg::kErrorSuccess && open.count(key) != 0) open.erase(open.find(key));
            return rc;
        });
        registry.RegRootKey = reg::kHkeyCurrentUser;
        registry.RegBasePath = kBase;
    }
    void TearDown() override { EXPECT_TRUE(open.empty()) << "a handle was left open"; }

    // Stores raw data under HKCU\Software\Quillfern\<key>.
    void Put(const std::string& key, const std::string& name, reg::DWord type, const Bytes& data) {
        reg::Hkey h = 0;
        ASSERT_EQ(backend.RegCreateKeyExA(reg::kHkeyCurrentUser, (kBase + key).c_str(), 0,
                                          reg::kKeyAccess, h, nullptr),
                  reg::kErrorSuccess);
        ASSERT_EQ(
            backend.RegSetValueExA(h, name.c_str(), type, data.data(), reg::DWord(data.size())),
            reg::kErrorSuccess);
        backend.RegCloseKey(h);
    }

    // The values of HKCU\Software\Quillfern\<key> in listing order; nullopt
    // when the key does not exist.
    std::optional<std::vector<StoredValue>> Stored(const std::string& key) {
        reg::Hkey h = 0;
        if (backend.RegOpenKeyExA(reg::kHkeyCurrentUser, (kBase + key).c_str(), 0, reg::kKeyAccess,
                                  h) != reg::kErrorSuccess)
            return std::nullopt;
        reg::DWord count = 0, maxName = 0, maxData = 0;
        EXPECT_EQ(backend.RegQueryInfoKeyA(h, &count, &maxName, &maxData), reg::kErrorSuccess);
        std::vector<StoredValue> values(count);
        for (reg::DWord i = 0; i < count; ++i) {
            StoredValue& v = values[i];
            v.name.assign(maxName + 1, '\0');
            v.data.assign(maxData + 1, 0);
            reg::DWord nameLength = maxName + 1, size = maxData + 1;
            EXPECT_EQ(backend.RegEnumValueA(h, i, v.name.data(), &nameLength, &v.type,
                                            v.data.data(), &size),
                      reg::kErrorSuccess);
            v.name.resize(nameLength);
            v.data.resize(size);
        }
        backend.RegCloseKey(h);
        return values;
    }

    regtest::Scratch scratch;
    RegistryApi& backend = scratch.Api();
    ::testing::NiceMock<MockRegistryApi> api;
    ModRegistry registry{api};
    std::multiset<reg::Hkey> open;
    std::function<void()> afterCount, afterNameRead;
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
        StoredCase{"NonAsciiText", reg::kRegSz, BytesOf("Grüße, 設計 😀\0"sv), "Grüße, 設計 😀"},
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
    std::optional<StoredValue> stored;  // nothing: nothing written
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

StoredValue V(reg::DWord type, Bytes data) { return {"V", type, std::move(data)}; }

INSTANTIATE_TEST_SUITE_P(
    Types, SetRegValue,
    ::testing::Values(
        WriteCase{"LongBecomesDword", std::int32_t(7), 0, 4, V(4, {7, 0, 0, 0})},
        WriteCase{"NegativeLong", std::int32_t(-2), 0, 4, V(4, {0xFE, 0xFF, 0xFF, 0xFF})},
        WriteCase{"TextBecomesStringOfFourBytes", "abc", 0, 1, V(1, BytesOf("abc\0"sv))},
        WriteCase{"NonAsciiTextKeepsItsUtf8", "Grüße, 設計 😀", 0, 1,
                  V(1, BytesOf("Grüße, 設計 😀\0"sv))},
        WriteCase{"NumericTextBecomesDword", "12", 0, 4, V(4, {12, 0, 0, 0})},
        WriteCase{"DoubleRoundsHalfToEven", 2.5, 0, 4, V(4, {2, 0, 0, 0})},
        WriteCase{"NumberAsString", std::int32_t(7), 1, 1, V(1, BytesOf("7\0"sv))},
        WriteCase{"BytesAsBinary", Bytes{1, 2}, 3, 3, V(3, {1, 2})},
        WriteCase{"TooLargeForDword", 3e10, 0, 4, std::nullopt},
        WriteCase{"TextAsBinary", "x", 3, 3, std::nullopt},
        WriteCase{"UnhandledType", "x", 2, 2, std::nullopt}),
    regtest::Label<WriteCase>);

TEST_F(RegistryLayer, ClassRegistrationDefaultValueRoundTrip) {
    registry.RegRootKey = reg::kHkeyClassesRoot;
    registry.RegBasePath = "CLSID\\{F5E15921-9A9A-11D5-B219-0000E83F3400}";
    EXPECT_EQ(registry.EnumRegValues("", ""), std::nullopt);
    std::int32_t type = 0;
    registry.SetRegValue("", "", "", "Brindlemark", type);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(registry.EnumRegValues("", ""), (ValueTable{{"", "Brindlemark"}}));
    EXPECT_EQ(registry.GetRegValue("", "", "", "none"), Variant("Brindlemark"));
    registry.RegRootKey = reg::kHkeyCurrentUser;
    EXPECT_EQ(registry.GetRegValue("", "", "", "none"), Variant("none"))
        << "written under HKEY_CLASSES_ROOT only";
}

TEST_F(RegistryLayer, EnumRegValuesListsEveryValueInOrder) {
    Put("App\\Sec", "Short", reg::kRegSz, BytesOf("x\0"sv));
    Put("App\\Sec", "The longest value name of all", reg::kRegDword, {5, 0, 0, 0});
    Put("App\\Sec", "", reg::kRegSz, BytesOf("default\0"sv));
    Put("App\\Sec", "Raw", reg::kRegBinary, {0, 1, 2});
    Put("App\\Sec", "NoNul", reg::kRegSz, BytesOf("abc"));
    Put("App\\Sec", "Expand", reg::kRegExpandSz, BytesOf("%P%\0"sv));
    Put("App\\Sec", "EmptySz", reg::kRegSz, {});
    const std::map<std::string, Variant> want{
        {"Short", "x"},        {"The longest value name of all", std::int32_t(5)},
        {"", "default"},       {"Raw", Bytes{0, 1, 2}},
        {"NoNul", "abc"},      {"Expand", Variant()},
        {"EmptySz", Variant()}};
    // The rows come in the order the registry lists the values, which need
    // not be the order they were written in.
    const auto listed = Stored("App\\Sec");
    ASSERT_TRUE(listed.has_value());
    ValueTable rows;
    for (const StoredValue& v : *listed) rows.push_back({v.name, want.at(v.name)});
    EXPECT_EQ(rows.size(), want.size());
    EXPECT_EQ(registry.EnumRegValues("App", "Sec"), rows);
}

TEST_F(RegistryLayer, EnumRegValuesIsEmptyForKeyWithoutValuesOrMissing) {
    Put("Only", "", reg::kRegSz, BytesOf("x\0"sv));
    EXPECT_EQ(registry.EnumRegValues("Only", ""), (ValueTable{{"", "x"}}));
    std::int32_t type = 2;  // creates the key, writes nothing
    registry.SetRegValue("Bare", "", "V", "x", type);
    EXPECT_EQ(registry.EnumRegValues("Bare", ""), std::nullopt);
    EXPECT_EQ(registry.EnumRegValues("Missing", ""), std::nullopt);
}

TEST_F(RegistryLayer, NonAsciiKeysNamesAndValuesRoundTrip) {
    // The longest name in bytes is not the longest in characters.
    const std::string app = "Ünïcode", section = "Réglages ✓", longName = "長い名前の値";
    for (const auto& [name, value] : {std::pair<std::string, Variant>{"Größe", "😀 ½"},
                                      {longName, std::int32_t(5)},
                                      {"ASCII name", "x"}}) {
        std::int32_t type = 0;
        registry.SetRegValue(app, section, name, value, type);
    }
    EXPECT_EQ(registry.GetRegValue(app, section, "Größe", ""), Variant("😀 ½"));
    EXPECT_EQ(registry.GetRegValue(app, section, longName, ""), Variant(std::int32_t(5)));
    const auto table = registry.EnumRegValues(app, section);
    ASSERT_TRUE(table.has_value());
    EXPECT_THAT(*table, ::testing::UnorderedElementsAre(ValueRow{"Größe", "😀 ½"},
                                                        ValueRow{longName, std::int32_t(5)},
                                                        ValueRow{"ASCII name", "x"}));
}

TEST_F(RegistryLayer, EnumRegValuesLeavesOutValuesAddedMeanwhile) {
    Put("App", "A", reg::kRegDword, {1, 0, 0, 0});
    Put("App", "B", reg::kRegSz, BytesOf("b\0"sv));
    // Named to come last in any listing order: by name or by age.
    afterCount = [&] {
        for (const char* name : {"C, a much longer name than any before", "D", "E"})
            Put("App", name, reg::kRegBinary, Bytes(300, 7));
    };
    EXPECT_EQ(registry.EnumRegValues("App", ""), (ValueTable{{"A", std::int32_t(1)}, {"B", "b"}}));
}

TEST_F(RegistryLayer, EnumRegValuesReadsValueThatGrewMeanwhile) {
    Put("App", "A", reg::kRegSz, BytesOf("short\0"sv));
    const std::string grown(200, 'g');
    afterNameRead = [&] { Put("App", "A", reg::kRegSz, BytesOf(grown + '\0')); };
    EXPECT_EQ(registry.EnumRegValues("App", ""), (ValueTable{{"A", grown}}));
}

}  // namespace
}  // namespace bm
