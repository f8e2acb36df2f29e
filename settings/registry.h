#pragma once

// modRegistry: the add-in's only door to the registry. Callers give an
// application name and a section; the layer puts RegBasePath in front and
// opens the result under RegRootKey. Values travel as variants: Empty, text
// (REG_SZ), a 32-bit integer (REG_DWORD) or bytes (REG_BINARY).
//
// The layer never reports a failure. A key or value that cannot be opened or
// read reads as Empty; a write that fails is silently lost. Nothing thrown
// inside (a conversion that overflows, say) leaves these functions.
//
// No key stays open between calls: each operation opens what it needs and
// closes it before returning.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/variant.h"
#include "settings/registry_api.h"

namespace bm {

// One listed value: [0] its name (text, "" for the default value), [1] its
// data as GetRegValue would give it (Empty when it cannot be read).
using ValueRow = std::array<Variant, 2>;
// The n x 2 table of EnumRegValues, rows in the registry's listing order.
using ValueTable = std::vector<ValueRow>;

class ModRegistry {
public:
    explicit ModRegistry(RegistryApi& api) : api_(api) {}

    // Module state, set by the add-in server before the first call and
    // switched by it for a moment during the class-registration check. Every
    // call uses the values current when it is made.
    reg::Hkey RegRootKey = 0;
    std::string RegBasePath;  // put in front of every path, no separator added

    // The named value, or `defaultValue` when it reads as empty text
    // (missing, unreadable, of another type, or stored empty). A REG_DWORD 0
    // is not empty.
    Variant GetRegValue(std::string_view application, std::string_view section,
                        std::string_view valueName, const Variant& defaultValue);

    // Writes the value, creating every missing key on the way. A valueType
    // of 0 becomes REG_DWORD for a number or numeric text and REG_SZ
    // otherwise, and the choice is written back. An empty valueName names
    // the key's default value.
    void SetRegValue(std::string_view application, std::string_view section,
                     std::string_view valueName, const Variant& value, std::int32_t& valueType);

    // Every value of the key, or nullopt (the Empty result) when the key has
    // no values or cannot be opened. The table has as many rows as the key
    // reported before listing; values added meanwhile are left out.
    std::optional<ValueTable> EnumRegValues(std::string_view application, std::string_view section);

    // RegBasePath + application [+ "\" + section].
    std::string BuildRegPath(std::string_view application, std::string_view section) const;

private:
    reg::Hkey OpenRegKey(std::string_view application, std::string_view section);
    Variant ReadRegValue(const std::string& keyPath, const std::string& valueName);
    void WriteRegValue(const std::string& keyPath, const std::string& valueName,
                       const Variant& value, std::int32_t valueType);
    void QueryKeyValue(reg::Hkey key, const std::string& valueName, Variant& value);
    void SetKeyValue(reg::Hkey key, const std::string& valueName, std::int32_t valueType,
                     const Variant& value);

    // Reads the value at `index` of an enumeration into `row`; false past
    // the end of the list.
    bool ReadListedValue(reg::Hkey key, reg::DWord index, reg::DWord maxName, reg::DWord maxData,
                         ValueRow& row);

    RegistryApi& api_;
};

}  // namespace bm
