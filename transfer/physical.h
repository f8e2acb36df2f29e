#pragma once

// The physical properties of a drawing's first referenced model (mass, area
// and volume, each as a value text and a units text), written into the
// drawing's user-defined set under six fixed names.

#include <cstdint>
#include <string>

#include "host/host.h"
#include "settings/settings.h"
#include "transfer/merge.h"

namespace bm::transfer {

inline constexpr const char* kMassValueName = "Model_Mass_Value";
inline constexpr const char* kMassUnitsName = "Model_Mass_Units";
inline constexpr const char* kAreaValueName = "Model_Area_Value";
inline constexpr const char* kAreaUnitsName = "Model_Area_Units";
inline constexpr const char* kVolumeValueName = "Model_Volume_Value";
inline constexpr const char* kVolumeUnitsName = "Model_Volume_Units";

// The accuracy this step asks the mass-properties object for.
inline constexpr std::int32_t kMassAccuracy = 24580;

// Measures the first model that `oDoc` references and writes the enabled
// quantities into `oCustProps` as text, in the order mass value, mass units,
// area value, area units, volume value, volume units. A first reference that
// is neither a part nor an assembly writes nothing; a drawing without
// references fails at the first step. Failures pass to the caller.
void GetPhysicalProps(const Settings& settings, host::Document& oDoc, host::PropertySet& oCustProps);

// The same, writing each text through `writer` (names matched exactly,
// missing ones always added).
void GetPhysicalProps(const Settings& settings, host::Document& oDoc, PropertyMerge& writer);

// Makes the property named exactly `strName` (letter case counts) hold the
// text `strValue`: the first such property takes it, or a new one is
// appended.
void UpdatePhysicalProps(host::PropertySet& oCustProps, const std::string& strName,
                         const std::string& strValue);

// The text a display value is written as: rounded to `precision` places
// (ties to even), formatted "0.00…", a trailing period dropped, and one
// leading "0" dropped when `zeroFlag` is non-zero. A negative precision is
// an invalid argument.
std::string PhysicalValueText(double x, std::int32_t precision, std::int32_t zeroFlag);

}  // namespace bm::transfer
