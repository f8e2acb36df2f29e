#include "settings/settings.h"

#include "core/error.h"

namespace bm {

std::int32_t Settings::PhysicalUpdate() const {
    std::int32_t sum = 0;
    for (std::int32_t flag : {Mass(), Area(), Volume()}) {
        if (__builtin_add_overflow(sum, flag, &sum))
            raise(ErrorKind::Overflow, "PhysicalUpdate: Mass + Area + Volume overflows");
    }
    return sum;
}

const char* Settings::property_name(Field f) {
    static constexpr const char* names[kFieldCount] = {
        "UpdateOnActivate", "UpdateExistOnly", "PrefaceModel", "SelectProps", "EraseFirst",
        "Mass",             "MassZero",        "MassPrec",     "Area",        "AreaZero",
        "AreaPrec",         "Volume",          "VolumeZero",   "VolumePrec"};
    return names[f];
}

}  // namespace bm
