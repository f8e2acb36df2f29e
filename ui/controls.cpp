#include "ui/controls.h"

#include "core/error.h"

namespace bm::ui {

void CheckBox::Value(std::int16_t state) {
    if (state < 0 || state > 2)
        raise(ErrorKind::InvalidPropertyValue,
              "check box '" + caption + "' cannot show the state " + std::to_string(state));
    value_ = state;
}

void DropDownList::ListIndex(std::int16_t position) {
    if (position < -1 || position >= static_cast<std::int32_t>(entries.size()))
        raise(ErrorKind::InvalidPropertyValue,
              "list of " + std::to_string(entries.size()) + " entries cannot choose position " +
                  std::to_string(position));
    listIndex_ = position;
}

}  // namespace bm::ui
