// What the registry layer's cases cannot see: how the backend meets the
// system. Text reaches other programs as UTF-16 and comes back as UTF-8 with
// sizes in UTF-8 bytes; handles are the system's own; roots map both ways.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <string_view>

#include "scratch_registry.h"

namespace bm {
namespace {

using namespace std::string_view_literals;

class Advapi32Registry : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(api.RegCreateKeyExA(reg::kHkeyCurrentUser, "Käse\\Schlüssel", 0, reg::kKeyAccess,
                                      key, nullptr),
                  reg::kErrorSuccess);
    }
    void TearDown() override { EXPECT_EQ(api.RegCloseKey(key), reg::kErrorSuccess); }

    HKEY System() const { return reinterpret_cast<HKEY>(key); }

    // The value as another program reads it, in UTF-16.
    std::wstring ReadWide(const wchar_t* name) const {
        std::wstring text(64, L'\0');
        DWORD size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
        EXPECT_EQ(::RegQueryValueExW(System(), name, nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(text.data()), &size),
                  ERROR_SUCCESS);
        text.resize(size / sizeof(wchar_t));
        return text;
    }

    // Reads through the backend with a buffer of `capacity` bytes.
    reg::Status Read(const char* name, reg::DWord capacity, std::string& text) {
        text.assign(capacity, '\0');
        reg::DWord size = capacity;
        const reg::Status rc = api.RegQueryValueExA(
            key, name, nullptr, reinterpret_cast<std::uint8_t*>(text.data()), &size);
        text.resize(size);
        return rc;
    }

    regtest::Scratch scratch;
    RegistryApi& api = scratch.Api();
    reg::Hkey key = 0;
};

TEST_F(Advapi32Registry, TextTravelsAsUtf16AndComesBackAsUtf8) {
    const auto set = [&](const char* name, std::string_view utf8) {
        return api.RegSetValueExA(key, name, reg::kRegSz,
                                  reinterpret_cast<const std::uint8_t*>(utf8.data()),
                                  static_cast<reg::DWord>(utf8.size()));
    };
    const std::string smile = "Grüße 😀";  // 11 bytes, 8 UTF-16 units
    ASSERT_EQ(set("Größe", smile + '\0'), reg::kErrorSuccess);
    EXPECT_EQ(ReadWide(L"Gr\u00f6\u00dfe"), std::wstring(L"Gr\u00fc\u00dfe \U0001F600") + L'\0');

    std::string text;
    EXPECT_EQ(Read("Größe", 12, text), reg::kErrorMoreData) << "the NUL does not fit";
    EXPECT_EQ(text.size(), 13u) << "the size needed, in UTF-8 bytes";
    EXPECT_EQ(Read("Größe", 13, text), reg::kErrorSuccess);
    EXPECT_EQ(text, smile + '\0');

    // A text stored without its NUL keeps its size; ill-formed UTF-8 turns
    // into U+FFFD rather than into something the registry cannot hold.
    ASSERT_EQ(set("NoNul", "abc"), reg::kErrorSuccess);
    EXPECT_EQ(ReadWide(L"NoNul"), L"abc");
    ASSERT_EQ(set("Broken", "a\xC3z\0"sv), reg::kErrorSuccess);
    EXPECT_EQ(ReadWide(L"Broken"), std::wstring(L"a\uFFFDz") + L'\0');
    EXPECT_EQ(set("Bad\xC3name", "x"), reg::kErrorInvalidParameter);

    // Written by another program: a lone surrogate and an odd last byte.
    const wchar_t odd[] = {L'a', static_cast<wchar_t>(0xD800), L'b', L'c'};
    ASSERT_EQ(::RegSetValueExW(System(), L"Odd", 0, REG_SZ, reinterpret_cast<const BYTE*>(odd), 7),
              ERROR_SUCCESS);
    EXPECT_EQ(Read("Odd", 16, text), reg::kErrorSuccess);
    EXPECT_EQ(text, "a\uFFFDb");
}

TEST_F(Advapi32Registry, ListingSizesAreUtf8Bytes) {
    // Four characters, twelve bytes: longer in UTF-8 than any other name.
    const std::string longest = "設計値表";
    // "€€€" and its NUL: ten bytes in UTF-8, eight in UTF-16.
    const std::uint8_t data[] = {0xE2, 0x82, 0xAC, 0xE2, 0x82, 0xAC, 0xE2, 0x82, 0xAC, 0};
    ASSERT_EQ(api.RegSetValueExA(key, longest.c_str(), reg::kRegSz, data, 10), reg::kErrorSuccess);
    ASSERT_EQ(api.RegSetValueExA(key, "Plain", reg::kRegBinary, data, 3), reg::kErrorSuccess);

    reg::DWord count = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(api.RegQueryInfoKeyA(key, &count, &maxName, &maxData), reg::kErrorSuccess);
    EXPECT_EQ(count, 2u);
    EXPECT_GE(maxName, longest.size());
    EXPECT_GE(maxData, 10u);

    for (reg::DWord index = 0; index < count; ++index) {
        std::string name(maxName + 1, '\0');
        reg::DWord length = maxName + 1, size = 0, type = 0;
        ASSERT_EQ(api.RegEnumValueA(key, index, name.data(), &length, &type, nullptr, &size),
                  reg::kErrorSuccess);
        name.resize(length);
        EXPECT_EQ(size, type == reg::kRegSz ? 10u : 3u) << name;
        reg::DWord tight = length;
        EXPECT_EQ(api.RegEnumValueA(key, index, name.data(), &tight, nullptr, nullptr, nullptr),
                  reg::kErrorMoreData)
            << "no room for the NUL after " << name;
    }
    char name[8];
    reg::DWord capacity = sizeof name;
    EXPECT_EQ(api.RegEnumValueA(key, count, name, &capacity, nullptr, nullptr, nullptr),
              reg::kErrorNoMoreItems);
}

TEST_F(Advapi32Registry, HandlesAreTheSystemsAndRootsMapBothWays) {
    // The handle works with the system's own calls.
    DWORD values = 1;
    EXPECT_EQ(::RegQueryInfoKeyW(System(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 &values, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(values, 0u);

    reg::Hkey again = 0;
    reg::DWord disposition = 0;
    ASSERT_EQ(api.RegCreateKeyExA(reg::kHkeyCurrentUser, "Käse\\Schlüssel", 0, reg::kKeyAccess,
                                  again, &disposition),
              reg::kErrorSuccess);
    EXPECT_EQ(disposition, reg::kRegOpenedExistingKey);
    EXPECT_EQ(api.RegCloseKey(again), reg::kErrorSuccess);

    // The system's value of a root (sign-extended on Win64) names it too.
    const auto systemRoot = reinterpret_cast<reg::Hkey>(HKEY_CURRENT_USER);
    ASSERT_EQ(api.RegOpenKeyExA(systemRoot, "Käse", 0, reg::kKeyAccess, again), reg::kErrorSuccess);
    EXPECT_EQ(api.RegCloseKey(again), reg::kErrorSuccess);
    // Opening a root again may hand back the root itself: ours, not the system's.
    ASSERT_EQ(api.RegOpenKeyExA(reg::kHkeyCurrentUser, "", 0, reg::kKeyAccess, again),
              reg::kErrorSuccess);
    if (again == systemRoot) {
        EXPECT_EQ(again, reg::kHkeyCurrentUser);
    }
    EXPECT_EQ(api.RegCloseKey(again), reg::kErrorSuccess);

    for (reg::Hkey root : {reg::kHkeyClassesRoot, reg::kHkeyCurrentUser, systemRoot})
        EXPECT_EQ(api.RegCloseKey(root), reg::kErrorSuccess);
    EXPECT_EQ(api.RegOpenKeyExA(reg::kHkeyCurrentUser, "Käse", 0, reg::kKeyAccess, again),
              reg::kErrorSuccess)
        << "a closed root stays usable";
    EXPECT_EQ(api.RegCloseKey(again), reg::kErrorSuccess);

    EXPECT_EQ(api.RegOpenKeyExA(reg::kHkeyCurrentUser, "Missing", 0, reg::kKeyAccess, again),
              reg::kErrorFileNotFound);
    EXPECT_EQ(again, 0u);
    EXPECT_EQ(api.RegOpenKeyExA(reg::kHkeyCurrentUser, "K\xC3", 0, reg::kKeyAccess, again),
              reg::kErrorInvalidParameter);
}

}  // namespace
}  // namespace bm
