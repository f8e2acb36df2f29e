#pragma once

// The fourteen settings live from one run of the host to the next as
// REG_DWORD values under HKEY_CURRENT_USER\<base path>Copy Custom Prop\Defaults.

#include <cstdint>

#include "settings/registry.h"
#include "settings/settings.h"

namespace bm {

inline constexpr const char* kSettingsApplication = "Copy Custom Prop";
inline constexpr const char* kSettingsSection = "Defaults";

// The registry value name of a setting (six differ from the property names)
// and the value a setting takes when nothing is stored.
const char* RegistryValueName(Settings::Field f);
std::int16_t DefaultValue(Settings::Field f);

// Reads every setting, in record order, from the registry or its default.
// A stored value that is no 32-bit number (text that is no number, bytes)
// ends the load with a type mismatch; settings read before it keep their new
// values, the rest keep theirs.
void LoadSettings(ModRegistry& registry, Settings& settings);

// Writes all fourteen settings as REG_DWORD values, changed or not.
void SaveSettings(ModRegistry& registry, const Settings& settings);

}  // namespace bm
