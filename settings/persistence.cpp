#include "settings/persistence.h"

#include "core/convert.h"

namespace bm {

const char* RegistryValueName(Settings::Field f) {
    switch (f) {
        case Settings::kMass: return "CopyMass";
        case Settings::kMassPrec: return "MassPrecision";
        case Settings::kArea: return "CopyArea";
        case Settings::kAreaPrec: return "AreaPrecision";
        case Settings::kVolume: return "CopyVolume";
        case Settings::kVolumePrec: return "VolumePrecision";
        default: return Settings::property_name(f);
    }
}

std::int16_t DefaultValue(Settings::Field f) {
    switch (f) {
        case Settings::kUpdateExistOnly:
        case Settings::kPrefaceModel:
        case Settings::kSelectProps:
        case Settings::kEraseFirst: return 0;
        default: return 1;
    }
}

StoredSettings LoadSettings(ModRegistry& registry, Settings& settings) {
    StoredSettings found;
    for (int i = 0; i < Settings::kFieldCount; ++i) {
        const auto f = static_cast<Settings::Field>(i);
        const Variant stored = registry.GetRegValue(kSettingsApplication, kSettingsSection,
                                                    RegistryValueName(f), DefaultValue(f));
        settings.put(f, to_long(stored));
        // Only a REG_DWORD reads as a Long; a default is an Integer.
        if (stored.type() == VarType::kLong) found[i] = stored.as_long();
    }
    return found;
}

void SaveSettings(ModRegistry& registry, const Settings& settings, const StoredSettings& asLoaded) {
    for (int i = 0; i < Settings::kFieldCount; ++i) {
        const auto f = static_cast<Settings::Field>(i);
        if (asLoaded[i] == settings.get(f)) continue;
        std::int32_t valueType = 0;  // SetRegValue writes back the type it chose
        registry.SetRegValue(kSettingsApplication, kSettingsSection, RegistryValueName(f),
                             settings.get(f), valueType);
    }
}

}  // namespace bm
