#pragma once

#include <array>
#include <cstdint>

namespace bm {

// The fourteen settings that govern the copy, held as plain 32-bit integers
// and exposed as property pairs. Nothing is range-checked here: out-of-domain
// values are stored as they come and the readers decide what they mean.
class Settings {
public:
    // Field order is the order of the record, of the load and of the save.
    enum Field : int {
        kUpdateOnActivate,
        kUpdateExistOnly,
        kPrefaceModel,
        kSelectProps,
        kEraseFirst,
        kMass,
        kMassZero,
        kMassPrec,
        kArea,
        kAreaZero,
        kAreaPrec,
        kVolume,
        kVolumeZero,
        kVolumePrec,
        kFieldCount
    };

    virtual ~Settings() = default;

    std::int32_t get(Field f) const { return fields_[f]; }
    void put(Field f, std::int32_t value) { fields_[f] = value; }

#define BM_SETTING(Name)                                                     \
    std::int32_t Name() const { return fields_[k##Name]; }                   \
    void Name(std::int32_t lng##Name) { fields_[k##Name] = lng##Name; }
    BM_SETTING(UpdateOnActivate)
    BM_SETTING(UpdateExistOnly)
    BM_SETTING(PrefaceModel)
    BM_SETTING(SelectProps)
    BM_SETTING(EraseFirst)
    BM_SETTING(Mass)
    BM_SETTING(MassZero)
    BM_SETTING(MassPrec)
    BM_SETTING(Area)
    BM_SETTING(AreaZero)
    BM_SETTING(AreaPrec)
    BM_SETTING(Volume)
    BM_SETTING(VolumeZero)
    BM_SETTING(VolumePrec)
#undef BM_SETTING

    // Mass + Area + Volume in 32-bit arithmetic; Overflow when the sum
    // leaves the range. Computed on every read.
    std::int32_t PhysicalUpdate() const;

    // The property name of a field, as the class exposes it.
    static const char* property_name(Field f);

private:
    std::array<std::int32_t, kFieldCount> fields_{};
};

}  // namespace bm
