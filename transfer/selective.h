#pragma once

// The selective copy: the person picks, in the selection dialog, which
// properties of the referenced models go into the drawing.

#include "host/host.h"
#include "select/frm_files.h"
#include "settings/settings.h"
#include "transfer/merge.h"
#include "ui/forms.h"

namespace bm::transfer {

// Fills a new selection dialog with a row per model that has properties and
// a row per property, shows it modally through `runtime` (unless no model
// has any property), lets pending messages run once, then writes the rows
// left checked into `oCustProps`. A failure passes to the caller; what was
// written before it stays.
void SelectAndCopyProps(const Settings& settings, ui::FormsRuntime& runtime,
                        host::FileRefList& refs, host::PropertySet& oCustProps);

// The same, writing through `merge`.
void SelectAndCopyProps(const Settings& settings, ui::FormsRuntime& runtime,
                        host::FileRefList& refs, PropertyMerge& merge);

// Writes every checked property row of the closed dialog under its target
// name through `merge`: the nearest model row above gives the prefix (when
// PrefaceModel is on), the row's visible text the name, its hidden value the
// value. Reads PrefaceModel once per model row and UpdateExistOnly once per
// row written.
void ApplySelectedProps(const Settings& settings, select::frmFiles& dialog, PropertyMerge& merge);

}  // namespace bm::transfer
