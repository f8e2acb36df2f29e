#pragma once

// The units service of an in-memory document, and the conversions behind it.
//
// Internal units, chosen so that the add-in's chain reads naturally:
//   UnitConvert with the mass code 11281 converts from kilograms
//   (MassValue gives grams; the add-in divides by 1000.0 first)
//   areas from cm^2, volumes from cm^3, lengths from centimetres
// Known mass unit names: "mg", "g", "kg", "lbmass", "ozmass", "slug".
// Known length unit names: "um", "mm", "cm", "m", "km", "mil", "in", "ft",
// "yd". Conversion factors are exact ratios of integers, so
// 6.4516 cm^2 reads as exactly 1 in^2.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/variant.h"
#include "host/host.h"
#include "workbench/model/host_probe.h"

namespace bm::workbench {

class MemoryUnits final : public host::UnitsService {
public:
    explicit MemoryUnits(ProbeRef probe);

    // host::kMassUnitCode gives the mass unit name, host::kLengthUnitCode
    // the length unit name; any other code fails.
    std::string UnitText(std::int32_t unitCode) override;
    // `units` is the mass code 11281 (from kg), the length code 11266 (from
    // cm), or a text of one to three length unit names separated by blanks
    // ("in in" square inches, "cm mm" mixed), converted from cm^n. Sets
    // `value` to the result and returns "<number> <unit>", the number in
    // its shortest form that reads back exactly ("2.5 kg", "1 in^2",
    // "3 cm*mm"). Unknown names fail and leave `value` alone.
    std::string UnitConvert(double& value, const Variant& units) override;

    // Building and inspecting. Names are not checked here, so that a
    // document can carry a unit the service then refuses to convert.
    void set_units(std::string massUnit, std::string lengthUnit);
    const std::string& mass_unit() const { return mass_; }
    const std::string& length_unit() const { return length_; }

private:
    ProbeRef probe_;
    std::string mass_ = "kg";
    std::string length_ = "cm";
};

// Pure conversions behind MemoryUnits, without the probe. Empty when a unit
// is unknown or the expression has no name or more than three.
std::optional<double> MassFromKilograms(double kilograms, std::string_view unit);
std::optional<double> LengthPowerFromCentimetres(double value, std::string_view expression);

}  // namespace bm::workbench
