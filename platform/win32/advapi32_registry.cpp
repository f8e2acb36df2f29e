#include "platform/win32/advapi32_registry.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/utf8.h"
#include "platform/win32/com/text.h"

namespace bm::win32 {

using reg::DWord;
using reg::Hkey;
using reg::Status;

namespace {

// A value can grow between the call that measures it and the one that reads
// it; a few rounds cover that without chasing a value that keeps growing.
constexpr int kReadAttempts = 4;

// The longest value name the registry keeps (16,383 characters) and its NUL.
constexpr DWORD kNameCapacity = 16384;

struct Root {
    Hkey ours;
    HKEY theirs;
};

// On Win64 the system's roots are sign-extended (HKEY_CURRENT_USER is
// 0xFFFFFFFF80000001), so they are matched one by one, never by value.
const std::array<Root, 5>& Roots() {
    static const std::array<Root, 5> roots{{{reg::kHkeyClassesRoot, HKEY_CLASSES_ROOT},
                                            {reg::kHkeyCurrentUser, HKEY_CURRENT_USER},
                                            {reg::kHkeyLocalMachine, HKEY_LOCAL_MACHINE},
                                            {reg::kHkeyUsers, HKEY_USERS},
                                            {reg::kHkeyCurrentConfig, HKEY_CURRENT_CONFIG}}};
    return roots;
}

HKEY ToHkey(Hkey key) {
    for (const Root& root : Roots())
        if (key == root.ours) return root.theirs;
    return reinterpret_cast<HKEY>(key);
}

// RegOpenKeyExW hands back the root itself for an empty path under it.
Hkey FromHkey(HKEY key) {
    for (const Root& root : Roots())
        if (key == root.theirs) return root.ours;
    return reinterpret_cast<Hkey>(key);
}

bool IsRoot(Hkey key) {
    const HKEY h = ToHkey(key);
    return std::any_of(Roots().begin(), Roots().end(),
                       [h](const Root& root) { return root.theirs == h; });
}

bool IsStringType(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

DWord Saturated(unsigned long long n) {
    return static_cast<DWord>(std::min<unsigned long long>(n, std::numeric_limits<DWord>::max()));
}

// Key paths and value names: null is the empty name. Ill-formed UTF-8 is
// refused: replaced, it would name a key or value nobody asked for.
std::optional<std::wstring> Name(const char* utf8) {
    const std::string_view text = utf8 != nullptr ? utf8 : "";
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = decode_utf8(text, i).length;
        if (length == 0) return std::nullopt;
        i += length;
    }
    return Utf16(text);
}

// A value's data as the interface carries it: string types in UTF-8 (an odd
// last byte, which no UTF-16 unit holds, is dropped), all else as stored.
std::vector<BYTE> InterfaceData(DWORD type, std::vector<BYTE> raw) {
    if (!IsStringType(type)) return raw;
    std::wstring units(raw.size() / sizeof(wchar_t), L'\0');
    std::memcpy(units.data(), raw.data(), units.size() * sizeof(wchar_t));
    const std::string text = Utf8(units);
    return std::vector<BYTE>(text.begin(), text.end());
}

// Hands a value over as the ANSI calls do: the type, and the data when the
// caller's buffer holds it, else kErrorMoreData with the size it needs.
Status Deliver(DWORD rawType, std::vector<BYTE> raw, DWord* type, std::uint8_t* data,
               DWord* dataSize) {
    if (type != nullptr) *type = rawType;
    if (dataSize == nullptr) return reg::kErrorSuccess;
    const std::vector<BYTE> bytes = InterfaceData(rawType, std::move(raw));
    const DWord size = Saturated(bytes.size());
    if (data != nullptr && (*dataSize < size || size < bytes.size())) {
        *dataSize = size;
        return reg::kErrorMoreData;
    }
    if (data != nullptr) std::copy(bytes.begin(), bytes.end(), data);
    *dataSize = size;
    return reg::kErrorSuccess;
}

// The whole data of a value. `read` makes one call of the system with a
// buffer (null: measure only) and reports the size as that call does.
template <class Read>
LSTATUS ReadWhole(Read read, std::vector<BYTE>& data) {
    DWORD size = 0;
    LSTATUS rc = read(nullptr, &size);
    for (int attempt = 0; rc == ERROR_SUCCESS && attempt < kReadAttempts; ++attempt) {
        data.assign(std::max<DWORD>(size, 1), 0);
        DWORD got = static_cast<DWORD>(data.size());
        rc = read(data.data(), &got);
        if (rc == ERROR_SUCCESS) {
            data.resize(got);
            return rc;
        }
        if (rc == ERROR_MORE_DATA) {
            size = got;
            rc = ERROR_SUCCESS;
        }
    }
    return rc == ERROR_SUCCESS ? ERROR_MORE_DATA : rc;
}

}  // namespace

Status Advapi32Registry::RegOpenKeyExA(Hkey root, const char* subKey, DWord options,
                                       DWord samDesired, Hkey& result) {
    result = 0;
    const auto path = Name(subKey);
    if (!path) return reg::kErrorInvalidParameter;
    UniqueHkey key;
    const LSTATUS rc = ::RegOpenKeyExW(ToHkey(root), path->c_str(), options, samDesired, key.put());
    if (rc == ERROR_SUCCESS) result = FromHkey(key.release());
    return rc;
}

Status Advapi32Registry::RegCreateKeyExA(Hkey root, const char* subKey, DWord options,
                                         DWord samDesired, Hkey& result, DWord* disposition) {
    result = 0;
    const auto path = Name(subKey);
    if (!path) return reg::kErrorInvalidParameter;
    UniqueHkey key;
    DWORD outcome = 0;
    const LSTATUS rc = ::RegCreateKeyExW(ToHkey(root), path->c_str(), 0, nullptr, options,
                                         samDesired, nullptr, key.put(), &outcome);
    if (rc != ERROR_SUCCESS) return rc;
    result = FromHkey(key.release());
    if (disposition != nullptr) *disposition = outcome;
    return reg::kErrorSuccess;
}

Status Advapi32Registry::RegQueryValueExA(Hkey key, const char* valueName, DWord* type,
                                          std::uint8_t* data, DWord* dataSize) {
    if (data != nullptr && dataSize == nullptr) return reg::kErrorInvalidParameter;
    const auto name = Name(valueName);
    if (!name) return reg::kErrorInvalidParameter;
    // Even a caller that only measures needs the data: a text's size in
    // UTF-8 depends on its characters.
    DWORD rawType = 0;
    std::vector<BYTE> raw;
    const LSTATUS rc = ReadWhole(
        [&](BYTE* buffer, DWORD* size) {
            return ::RegQueryValueExW(ToHkey(key), name->c_str(), nullptr, &rawType, buffer, size);
        },
        raw);
    if (rc != ERROR_SUCCESS) return rc;
    return Deliver(rawType, std::move(raw), type, data, dataSize);
}

Status Advapi32Registry::RegSetValueExA(Hkey key, const char* valueName, DWord type,
                                        const std::uint8_t* data, DWord dataSize) {
    if (data == nullptr && dataSize != 0) return reg::kErrorInvalidParameter;
    const auto name = Name(valueName);
    if (!name) return reg::kErrorInvalidParameter;
    if (!IsStringType(type))
        return ::RegSetValueExW(ToHkey(key), name->c_str(), 0, type, data, dataSize);

    std::wstring text = Utf16(std::string_view(reinterpret_cast<const char*>(data), dataSize));
    const DWORD size = Saturated(text.size() * sizeof(wchar_t));
    if (size < text.size() * sizeof(wchar_t)) return reg::kErrorInvalidParameter;
    // advapi32 counts a NUL that follows a text into it when the text does
    // not end in one; a non-character after the data keeps the size given.
    text += L'\xFFFF';
    return ::RegSetValueExW(ToHkey(key), name->c_str(), 0, type,
                            reinterpret_cast<const BYTE*>(text.data()), size);
}

Status Advapi32Registry::RegQueryInfoKeyA(Hkey key, DWord* values, DWord* maxValueNameLen,
                                          DWord* maxValueDataLen) {
    DWORD count = 0, maxName = 0, maxData = 0;
    const LSTATUS rc = ::RegQueryInfoKeyW(ToHkey(key), nullptr, nullptr, nullptr, nullptr, nullptr,
                                          nullptr, &count, &maxName, &maxData, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    // A UTF-16 unit takes at most three bytes in UTF-8 (a surrogate pair, two
    // units, takes four); binary data keeps its size.
    if (values != nullptr) *values = count;
    if (maxValueNameLen != nullptr) *maxValueNameLen = Saturated(3ull * maxName);
    if (maxValueDataLen != nullptr)
        *maxValueDataLen = Saturated(std::max(1ull * maxData, 3ull * (maxData / 2)));
    return reg::kErrorSuccess;
}

Status Advapi32Registry::RegEnumValueA(Hkey key, DWord index, char* name, DWord* nameCapacity,
                                       DWord* type, std::uint8_t* data, DWord* dataSize) {
    if (name == nullptr || nameCapacity == nullptr) return reg::kErrorInvalidParameter;
    if (data != nullptr && dataSize == nullptr) return reg::kErrorInvalidParameter;
    std::wstring wideName(kNameCapacity, L'\0');
    DWORD nameLength = 0, rawType = 0;
    const auto enumerate = [&](BYTE* buffer, DWORD* size) {
        nameLength = kNameCapacity;
        return ::RegEnumValueW(ToHkey(key), index, wideName.data(), &nameLength, nullptr, &rawType,
                               buffer, size);
    };
    std::vector<BYTE> raw;
    const LSTATUS rc =
        dataSize != nullptr ? ReadWhole(enumerate, raw) : enumerate(nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return rc;

    const std::string utf8Name =
        Utf8(std::wstring_view(wideName.data(), std::min(nameLength, kNameCapacity)));
    if (utf8Name.size() >= *nameCapacity) return reg::kErrorMoreData;
    std::copy(utf8Name.begin(), utf8Name.end(), name);
    name[utf8Name.size()] = '\0';
    *nameCapacity = static_cast<DWord>(utf8Name.size());
    return Deliver(rawType, std::move(raw), type, data, dataSize);
}

Status Advapi32Registry::RegCloseKey(Hkey key) {
    // The roots are never opened here, so there is nothing to close.
    if (IsRoot(key)) return reg::kErrorSuccess;
    return ::RegCloseKey(ToHkey(key));
}

}  // namespace bm::win32
