#pragma once

// The seven registry operations the add-in needs, with the meanings of the
// advapi32 ANSI entry points of the same names. The Windows backend forwards
// to advapi32; the portable backend keeps the registry in a file. Nothing
// here includes a platform header, so the constants and handle type are our
// own (spelled so that they never collide with the platform's macros).
//
// All text crossing this interface is UTF-8: key paths, value names and the
// bytes of the string types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ). Sizes are
// UTF-8 byte counts. A backend whose platform speaks another code page
// converts on the way.

#include <array>
#include <cstdint>

namespace bm::reg {

// A key handle. Wide enough to carry a platform handle unchanged; the
// predefined roots are the small constants below.
using Hkey = std::uintptr_t;
using Status = std::int32_t;  // LONG result code, 0 for success
using DWord = std::uint32_t;

inline constexpr Hkey kHkeyClassesRoot = 0x80000000u;
inline constexpr Hkey kHkeyCurrentUser = 0x80000001u;
inline constexpr Hkey kHkeyLocalMachine = 0x80000002u;
inline constexpr Hkey kHkeyUsers = 0x80000003u;
inline constexpr Hkey kHkeyCurrentConfig = 0x80000005u;

// Value types.
inline constexpr DWord kRegNone = 0;
inline constexpr DWord kRegSz = 1;
inline constexpr DWord kRegExpandSz = 2;
inline constexpr DWord kRegBinary = 3;
inline constexpr DWord kRegDword = 4;
inline constexpr DWord kRegMultiSz = 7;
inline constexpr DWord kRegQword = 11;

// Access rights. kKeyAccess is what the add-in asks for on every open and
// create: query, set, create subkey, enumerate subkeys, notify, create link.
inline constexpr DWord kKeyQueryValue = 0x0001;
inline constexpr DWord kKeySetValue = 0x0002;
inline constexpr DWord kKeyAccess = 0x003F;

// Options and dispositions of RegCreateKeyExA.
inline constexpr DWord kRegOptionNonVolatile = 0;
inline constexpr DWord kRegCreatedNewKey = 1;
inline constexpr DWord kRegOpenedExistingKey = 2;

// Result codes.
inline constexpr Status kErrorSuccess = 0;
inline constexpr Status kErrorFileNotFound = 2;
inline constexpr Status kErrorAccessDenied = 5;
inline constexpr Status kErrorInvalidHandle = 6;
inline constexpr Status kErrorInvalidParameter = 87;
inline constexpr Status kErrorDiskFull = 112;
inline constexpr Status kErrorBadPathname = 161;
inline constexpr Status kErrorMoreData = 234;
inline constexpr Status kErrorNoMoreItems = 259;
inline constexpr Status kErrorBadKey = 1010;
inline constexpr Status kErrorRegistryCorrupt = 1015;
inline constexpr Status kErrorRegistryIoFailed = 1016;
inline constexpr Status kErrorKeyDeleted = 1018;

// A REG_DWORD's data: four bytes, least significant first, whatever the
// machine's byte order.
inline constexpr std::array<std::uint8_t, 4> DwordBytes(DWord bits) {
    return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
            static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}
// `data` holds at least four bytes.
inline constexpr DWord DwordFromBytes(const std::uint8_t* data) {
    return DWord(data[0]) | DWord(data[1]) << 8 | DWord(data[2]) << 16 | DWord(data[3]) << 24;
}

}  // namespace bm::reg

namespace bm {

class RegistryApi {
public:
    virtual ~RegistryApi() = default;

    // Opens `subKey` under `root` (an empty or null subKey opens `root`
    // again). On success `result` holds a new handle; on failure it is 0.
    virtual reg::Status RegOpenKeyExA(reg::Hkey root, const char* subKey, reg::DWord options,
                                      reg::DWord samDesired, reg::Hkey& result) = 0;

    // Opens `subKey` under `root`, creating it and every missing key above
    // it. `disposition` (may be null) receives kRegCreatedNewKey or
    // kRegOpenedExistingKey.
    virtual reg::Status RegCreateKeyExA(reg::Hkey root, const char* subKey, reg::DWord options,
                                        reg::DWord samDesired, reg::Hkey& result,
                                        reg::DWord* disposition) = 0;

    // Reads value `valueName` (null or empty: the key's default value).
    // `type` may be null. With `data` null only the type and the size are
    // reported. Otherwise `*dataSize` is the buffer size on entry and the
    // data size on return; a buffer too small gives kErrorMoreData with the
    // needed size in `*dataSize`.
    virtual reg::Status RegQueryValueExA(reg::Hkey key, const char* valueName, reg::DWord* type,
                                         std::uint8_t* data, reg::DWord* dataSize) = 0;

    // Writes `dataSize` bytes as the value `valueName` with type `type`.
    virtual reg::Status RegSetValueExA(reg::Hkey key, const char* valueName, reg::DWord type,
                                       const std::uint8_t* data, reg::DWord dataSize) = 0;

    // Number of values, longest value name (in bytes, NUL not counted) and
    // longest data (bytes). Any pointer may be null.
    virtual reg::Status RegQueryInfoKeyA(reg::Hkey key, reg::DWord* values,
                                         reg::DWord* maxValueNameLen,
                                         reg::DWord* maxValueDataLen) = 0;

    // The value at `index`. `*nameCapacity` is the name buffer size with
    // room for the NUL on entry and the name length without it on return.
    // kErrorNoMoreItems past the end; kErrorMoreData when the name or the
    // data does not fit (the needed data size is then in `*dataSize`).
    // `name` and `nameCapacity` are required; `type`, `data` and `dataSize`
    // may be null, but `data` needs `dataSize`.
    virtual reg::Status RegEnumValueA(reg::Hkey key, reg::DWord index, char* name,
                                      reg::DWord* nameCapacity, reg::DWord* type,
                                      std::uint8_t* data, reg::DWord* dataSize) = 0;

    // Closing a predefined root succeeds and does nothing.
    virtual reg::Status RegCloseKey(reg::Hkey key) = 0;
};

// Closes a key opened through `api`, whatever happens in between.
class KeyCloser {
public:
    KeyCloser(RegistryApi& api, reg::Hkey key) : api_(api), key_(key) {}
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;
    ~KeyCloser() {
        try {
            api_.RegCloseKey(key_);
        } catch (...) {
            // Closing is the last thing done with the key; nothing to report to.
        }
    }

private:
    RegistryApi& api_;
    reg::Hkey key_;
};

}  // namespace bm
