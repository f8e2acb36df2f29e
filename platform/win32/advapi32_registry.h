#pragma once

// The registry layer's backend on Windows: each operation forwards to the
// wide-character call of advapi32, with UTF-8 on our side and UTF-16 on the
// system's. Key paths and value names must be well-formed UTF-8 (anything
// else is refused with kErrorInvalidParameter rather than stored under a
// name nobody asked for); the bytes of the string types are converted both
// ways, an ill-formed sequence becoming U+FFFD, and every size seen through
// the interface counts UTF-8 bytes.
//
// The predefined roots travel as the interface's constants and are mapped
// to the system's HKEY values here; any other handle is the HKEY itself.

#include <windows.h>

#include "platform/win32/com/unique_any.h"
#include "settings/registry_api.h"

namespace bm::win32 {

class Advapi32Registry : public RegistryApi {
public:
    reg::Status RegOpenKeyExA(reg::Hkey root, const char* subKey, reg::DWord options,
                              reg::DWord samDesired, reg::Hkey& result) override;
    reg::Status RegCreateKeyExA(reg::Hkey root, const char* subKey, reg::DWord options,
                                reg::DWord samDesired, reg::Hkey& result,
                                reg::DWord* disposition) override;
    reg::Status RegQueryValueExA(reg::Hkey key, const char* valueName, reg::DWord* type,
                                 std::uint8_t* data, reg::DWord* dataSize) override;
    reg::Status RegSetValueExA(reg::Hkey key, const char* valueName, reg::DWord type,
                               const std::uint8_t* data, reg::DWord dataSize) override;
    // The longest name and data are upper bounds in UTF-8 bytes, never less
    // than what RegEnumValueA then hands over.
    reg::Status RegQueryInfoKeyA(reg::Hkey key, reg::DWord* values, reg::DWord* maxValueNameLen,
                                 reg::DWord* maxValueDataLen) override;
    reg::Status RegEnumValueA(reg::Hkey key, reg::DWord index, char* name, reg::DWord* nameCapacity,
                              reg::DWord* type, std::uint8_t* data, reg::DWord* dataSize) override;
    reg::Status RegCloseKey(reg::Hkey key) override;
};

}  // namespace bm::win32
