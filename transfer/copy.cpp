#include "transfer/copy.h"

#include "core/convert.h"

namespace bm::transfer {

void EraseCustomProps(host::PropertySet& oCustProps) {
    const std::int16_t n = count16(oCustProps.Count(), "properties in the drawing's set");
    for (std::int32_t i = 0; i < n; ++i) oCustProps.Item(1)->PropDelete();
}

void CopyAllProps(const Settings& settings, host::FileRefList& refs, host::PropertySet& oCustProps) {
    IndexedMerge merge(oCustProps, NameMatch::kCaseBlind);
    CopyAllProps(settings, refs, merge);
}

void CopyAllProps(const Settings& settings, host::FileRefList& refs, PropertyMerge& merge) {
    for (const auto& ref : refs.Enumerate()) {
        const std::string prefix =
            settings.PrefaceModel() != 0 ? ModelPrefix(ref->FileRefName()) : std::string();
        const auto source = UserDefinedProps(*ref->FileRefDocument());
        for (const auto& prop : source->Enumerate()) {
            const std::string name = TargetName(prefix, prop->PropName());
            const bool existOnly = settings.UpdateExistOnly() != 0;
            merge.Merge(name, prop->PropValue(), existOnly);
        }
    }
}

}  // namespace bm::transfer
