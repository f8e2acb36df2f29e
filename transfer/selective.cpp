#include "transfer/selective.h"

#include "core/convert.h"

namespace bm::transfer {

void SelectAndCopyProps(const Settings& settings, ui::FormsRuntime& runtime,
                        host::FileRefList& refs, host::PropertySet& oCustProps) {
    IndexedMerge merge(oCustProps, NameMatch::kCaseBlind);
    SelectAndCopyProps(settings, runtime, refs, merge);
}

void SelectAndCopyProps(const Settings& settings, ui::FormsRuntime& runtime,
                        host::FileRefList& refs, PropertyMerge& merge) {
    select::frmFiles dialog(runtime);
    // Taking the grid loads (and centres) the dialog before any host call.
    select::OutlineGrid& grid = dialog.fgFiles();
    std::int32_t total = 0;
    for (const auto& ref : refs.Enumerate()) {
        const auto model = ref->FileRefDocument();
        const auto source = UserDefinedProps(*model);
        const std::int16_t count = count16(source->Count(), "properties in a model's set");
        if (count < 1) continue;
        total += count;
        count16(total, "properties offered");

        const std::string name = ref->FileRefName();
        const std::string fullName = ref->FileRefFullName();
        dialog.AddModelRow(name, fullName, model->DocKind());
        for (const auto& prop : source->Enumerate()) {
            const std::string propName = prop->PropName();
            dialog.AddPropertyRow(propName, prop->PropValue());
        }
    }
    grid.Outline(1);

    if (total < 1) {
        runtime.Unload(dialog);
        return;
    }
    runtime.ShowModal(dialog);
    runtime.DoEvents();
    ApplySelectedProps(settings, dialog, merge);
}

void ApplySelectedProps(const Settings& settings, select::frmFiles& dialog, PropertyMerge& merge) {
    std::string prefix;
    const std::int16_t rows = dialog.RowCount();
    for (std::int32_t row = 0; row < rows; ++row) {
        if (dialog.IsModelRow(row)) {
            prefix = settings.PrefaceModel() != 0 ? ModelPrefix(dialog.ModelName(row)) : std::string();
        } else if (dialog.IsRowChecked(row)) {
            const std::string name = TargetName(prefix, dialog.RowText(row));
            const bool existOnly = settings.UpdateExistOnly() != 0;
            merge.Merge(name, dialog.RowValue(row), existOnly);
        }
    }
}

}  // namespace bm::transfer
