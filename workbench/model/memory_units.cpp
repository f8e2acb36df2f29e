#include "workbench/model/memory_units.h"

#include <algorithm>
#include <array>
#include <vector>

#include "core/convert.h"
#include "workbench/text.h"

namespace bm::workbench {

namespace {

// A unit as an exact ratio: one internal unit is num/den of it. Both parts
// are integers well below 2^53, so products of up to three stay exact and a
// conversion rounds only twice.
struct Unit {
    std::string_view name;
    double num;
    double den;
};

// From kilograms. One slug is 0.45359237 kg * 9.80665 / 0.3048.
constexpr std::array kMassUnits{
    Unit{"mg", 1e6, 1.0},
    Unit{"g", 1000.0, 1.0},
    Unit{"kg", 1.0, 1.0},
    Unit{"lbmass", 1e8, 45359237.0},
    Unit{"ozmass", 16e8, 45359237.0},
    Unit{"slug", 3048e9, 45359237.0 * 980665.0},
};

// From centimetres; an inch is 127/50 cm exactly.
constexpr std::array kLengthUnits{
    Unit{"um", 1e4, 1.0},   Unit{"mm", 10.0, 1.0},   Unit{"cm", 1.0, 1.0},
    Unit{"m", 1.0, 100.0},  Unit{"km", 1.0, 1e5},    Unit{"mil", 50000.0, 127.0},
    Unit{"in", 50.0, 127.0}, Unit{"ft", 25.0, 762.0}, Unit{"yd", 25.0, 2286.0},
};

template <std::size_t N>
const Unit* FindUnit(const std::array<Unit, N>& table, std::string_view name) {
    for (const Unit& u : table)
        if (u.name == name) return &u;
    return nullptr;
}

// "in" for one name, "in^2" for a repeated one, "cm*mm" for a mix.
std::string ExpressionText(const std::vector<std::string>& words) {
    const bool same = std::all_of(words.begin(), words.end(),
                                  [&](const std::string& w) { return w == words.front(); });
    std::string text = words.front();
    if (same) {
        if (words.size() > 1) text += "^" + std::to_string(words.size());
        return text;
    }
    for (std::size_t i = 1; i < words.size(); ++i) text += "*" + words[i];
    return text;
}

}  // namespace

std::optional<double> MassFromKilograms(double kilograms, std::string_view unit) {
    const Unit* u = FindUnit(kMassUnits, unit);
    if (!u) return std::nullopt;
    return kilograms * u->num / u->den;
}

std::optional<double> LengthPowerFromCentimetres(double value, std::string_view expression) {
    const auto words = Words(expression);
    if (words.empty() || words.size() > 3) return std::nullopt;
    double num = 1.0;
    double den = 1.0;
    for (const std::string& w : words) {
        const Unit* u = FindUnit(kLengthUnits, w);
        if (!u) return std::nullopt;
        num *= u->num;
        den *= u->den;
    }
    return value * num / den;
}

MemoryUnits::MemoryUnits(ProbeRef probe) : probe_(std::move(probe)) {}

std::string MemoryUnits::UnitText(std::int32_t unitCode) {
    probe_->Enter("UnitText");
    if (unitCode == host::kMassUnitCode) return mass_;
    if (unitCode == host::kLengthUnitCode) return length_;
    probe_->Refuse("the host knows no unit of code " + std::to_string(unitCode) + " (UnitText)");
}

std::string MemoryUnits::UnitConvert(double& value, const Variant& units) {
    probe_->Enter("UnitConvert");
    std::optional<double> converted;
    std::string unitText;
    if (units.type() == VarType::kString) {
        const auto words = Words(units.as_string());
        converted = LengthPowerFromCentimetres(value, units.as_string());
        if (converted) unitText = ExpressionText(words);
    } else if (units.type() == VarType::kLong || units.type() == VarType::kInteger) {
        const std::int32_t code =
            units.type() == VarType::kLong ? units.as_long() : units.as_integer();
        if (code == host::kMassUnitCode) {
            converted = MassFromKilograms(value, mass_);
            unitText = mass_;
        } else if (code == host::kLengthUnitCode) {
            converted = LengthPowerFromCentimetres(value, length_);
            unitText = length_;
        }
    }
    if (!converted) probe_->Refuse("the host cannot convert into these units (UnitConvert)");
    value = *converted;
    return shortest_text(value) + " " + unitText;
}

void MemoryUnits::set_units(std::string massUnit, std::string lengthUnit) {
    mass_ = std::move(massUnit);
    length_ = std::move(lengthUnit);
}

}  // namespace bm::workbench
