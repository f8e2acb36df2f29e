#pragma once

// Value-holding controls of the dialogs. They refuse values the real
// controls refuse, so a setting that no control can show fails the dialog's
// load instead of showing something else.

#include <cstdint>
#include <string>
#include <vector>

#include "ui/forms.h"

namespace bm::ui {

// A check box: 0 clear, 1 ticked, 2 greyed. A person can only tick or clear
// it; a 2 put in by code shows greyed until clicked.
struct CheckBox {
    std::string caption;
    Place place;
    Font font{};

    std::int16_t Value() const { return value_; }
    // InvalidPropertyValue for anything but 0, 1 or 2.
    void Value(std::int16_t state);
    // What a person's click does: a ticked box clears, any other ticks.
    void Click() { value_ = value_ == 1 ? 0 : 1; }

private:
    std::int16_t value_ = 0;
};

// A drop-down list that accepts no typing: the chosen entry's position, or
// -1 when none is chosen.
struct DropDownList {
    Place place;
    std::vector<std::string> entries;

    std::int16_t ListIndex() const { return listIndex_; }
    // InvalidPropertyValue for a position outside -1 to the last entry.
    void ListIndex(std::int16_t position);

private:
    std::int16_t listIndex_ = -1;
};

// A captioned frame around other controls.
struct Frame {
    std::string caption;
    Place place;
    Font font{};
};

}  // namespace bm::ui
