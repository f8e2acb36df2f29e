#pragma once

// The fourteen settings live from one run of the host to the next as
// REG_DWORD values under HKEY_CURRENT_USER\<base path>Copy Custom Prop\Defaults.

#include <array>
#include <cstdint>
#include <optional>

#include "settings/registry.h"
#include "settings/settings.h"

namespace bm {

inline constexpr const char* kSettingsApplication = "Copy Custom Prop";
inline constexpr const char* kSettingsSection = "Defaults";

// The registry value name of a setting (six differ from the property names)
// and the value a setting takes when nothing is stored.
const char* RegistryValueName(Settings::Field f);
std::int16_t DefaultValue(Settings::Field f);

// What a load found stored: for each setting the REG_DWORD it read, or
// nothing when the value was missing, text, or of another type.
using StoredSettings = std::array<std::optional<std::int32_t>, Settings::kFieldCount>;

// Reads every setting, in record order, from the registry or its default,
// and says what it found stored. A stored value that is no 32-bit number
// (text that is no number, bytes) ends the load with a type mismatch;
// settings read before it keep their new values, the rest keep theirs.
StoredSettings LoadSettings(ModRegistry& registry, Settings& settings);

// Writes as REG_DWORD values the settings that differ from what the load
// found stored, and those it did not find stored as a REG_DWORD of their
// value (missing, text, another type): a first run writes all fourteen
// defaults, a damaged value is repaired. Several hosts share one store, and
// writing back values this host never changed would undo what another host
// saved meanwhile.
void SaveSettings(ModRegistry& registry, const Settings& settings, const StoredSettings& asLoaded);

}  // namespace bm
