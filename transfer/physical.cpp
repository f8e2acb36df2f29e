#include "transfer/physical.h"

#include "core/convert.h"
#include "core/error.h"

namespace bm::transfer {

std::string PhysicalValueText(double x, std::int32_t precision, std::int32_t zeroFlag) {
    std::string text = format_fixed_pattern(x, precision);
    if (!text.empty() && text.back() == '.') text.pop_back();
    if (zeroFlag != 0 && !text.empty() && text.front() == '0') text.erase(0, 1);
    return text;
}

void UpdatePhysicalProps(host::PropertySet& oCustProps, const std::string& strName,
                         const std::string& strValue) {
    const std::int16_t n = count16(oCustProps.Count(), "properties in the drawing's set");
    for (std::int32_t i = 1; i <= n; ++i) {
        auto prop = oCustProps.Item(i);
        if (prop->PropName() == strName) {
            prop->PropValue(Variant(strValue));
            return;
        }
    }
    oCustProps.PropAdd(Variant(strValue), strName);
}

void GetPhysicalProps(const Settings& settings, host::Document& oDoc, host::PropertySet& oCustProps) {
    IndexedMerge writer(oCustProps, NameMatch::kExact);
    GetPhysicalProps(settings, oDoc, writer);
}

namespace {

struct Quantity {
    std::int32_t (Settings::*copy)() const;
    std::int32_t (Settings::*zero)() const;
    std::int32_t (Settings::*precision)() const;
    const char* valueName;
    const char* unitsName;
    double display;
    std::string units;
};

}  // namespace

void GetPhysicalProps(const Settings& settings, host::Document& oDoc, PropertyMerge& writer) {
    const auto first = oDoc.FileRefs()->Item(1);
    host::Ref<host::Document> model;
    host::Ref<host::UnitsService> unitsService;
    host::Ref<host::MassProperties> massProps;
    switch (first->FileRefKind()) {
        case host::kPartDocument:
            model = first->FileRefDocument();
            unitsService = model->DocUnits();
            massProps = model->PartDefinition()->DefinitionMassProps();
            break;
        case host::kAssemblyDocument:
            model = first->FileRefDocument();
            unitsService = model->DocUnits();
            massProps = model->AssemblyDefinition()->DefinitionMassProps();
            break;
        default: return;  // drawings and other kinds have no mass to report
    }

    massProps->MassAccuracy(kMassAccuracy);
    // The mass-properties object gives grams; the units service converts
    // mass from kilograms.
    double mass = massProps->MassValue() / 1000.0;
    double area = massProps->AreaValue();
    double volume = massProps->VolumeValue();

    std::string massUnits = unitsService->UnitText(host::kMassUnitCode);
    const std::string length = unitsService->UnitText(host::kLengthUnitCode);
    const std::string areaExpr = length + " " + length;
    const std::string volumeExpr = areaExpr + " " + length;

    // Every quantity is converted, enabled or not: a host that cannot convert
    // one fails the step whatever the flags say.
    const double massShown = leading_number(unitsService->UnitConvert(mass, Variant(host::kMassUnitCode)));
    const double areaShown = leading_number(unitsService->UnitConvert(area, Variant(areaExpr)));
    const double volumeShown = leading_number(unitsService->UnitConvert(volume, Variant(volumeExpr)));

    // The host calls the pound "lbmass" to tell it from the pound-force; a
    // title block shows the unit as people write it. Other names pass as given.
    if (massUnits == "lbmass") massUnits = "lb";

    const Quantity quantities[] = {
        {&Settings::Mass, &Settings::MassZero, &Settings::MassPrec, kMassValueName, kMassUnitsName,
         massShown, massUnits},
        {&Settings::Area, &Settings::AreaZero, &Settings::AreaPrec, kAreaValueName, kAreaUnitsName,
         areaShown, length + "^2"},
        {&Settings::Volume, &Settings::VolumeZero, &Settings::VolumePrec, kVolumeValueName,
         kVolumeUnitsName, volumeShown, length + "^3"},
    };
    for (const auto& q : quantities) {
        if ((settings.*q.copy)() == 0) continue;
        const std::int32_t precision = (settings.*q.precision)();
        const std::string text = PhysicalValueText(q.display, precision, (settings.*q.zero)());
        writer.Merge(q.valueName, Variant(text), false);
        writer.Merge(q.unitsName, Variant(q.units), false);
    }
}

}  // namespace bm::transfer
