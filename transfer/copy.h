#pragma once

// The direct copy: every user-defined property of every model a drawing
// references goes into the drawing's user-defined set, and the erase that
// may come before it.

#include "host/host.h"
#include "settings/settings.h"
#include "transfer/merge.h"

namespace bm::transfer {

// Deletes every property of the set. A failure leaves what was deleted
// before it deleted and passes to the caller.
void EraseCustomProps(host::PropertySet& oCustProps);

// Copies every property of every referenced model into `oCustProps`, under
// its target name, in the host's order of models and properties. Reads
// PrefaceModel once per model and UpdateExistOnly once per property. A
// failure ends the copy where it happens and passes to the caller; what was
// written before it stays.
void CopyAllProps(const Settings& settings, host::FileRefList& refs, host::PropertySet& oCustProps);

// The same walk over the models, writing through `merge`.
void CopyAllProps(const Settings& settings, host::FileRefList& refs, PropertyMerge& merge);

}  // namespace bm::transfer
