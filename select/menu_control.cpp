#include "select/menu_control.h"

#include <algorithm>

#include "core/error.h"

namespace bm::select {

MenuControl::MenuControl() {
    const auto edit = [](const char* name, const char* caption, const char* tip) {
        return Tool{name, caption, tip, tip, "Edit"};
    };
    tools_ = {
        edit("miEClear", "Remove", "Remove from list"),
        edit("miEClearAll", "Remove all", "Remove all from list"),
        edit("miEAdd", "Add", "Add to list"),
        edit("miEAddAll", "Add all", "Add all to list"),
        edit("miEName", "Show Full Path", ""),
        edit("miECollapse", "Collapse All", ""),
        edit("miEExpand", "Expand All", ""),
    };
    // "mnuEdiit", double i and all, is the band's name in the dialog's own
    // control names; it is kept as spelled there, like every control name.
    // The popup is found by its index, so the spelling never matters at run
    // time.
    bands_ = {Band{"mnuEdiit",
                   "Edit Submenu",
                   {"miEClear", "miEClearAll", "", "miEAdd", "miEAddAll", "", "miEName",
                    "miECollapse", "miEExpand"}}};
}

const Tool& MenuControl::Tools(const std::string& name) const {
    const auto it =
        std::find_if(tools_.begin(), tools_.end(), [&](const Tool& t) { return t.name == name; });
    if (it == tools_.end()) raise(ErrorKind::InvalidArgument, "no tool named \"" + name + "\"");
    return *it;
}

Tool& MenuControl::Tools(const std::string& name) {
    return const_cast<Tool&>(static_cast<const MenuControl&>(*this).Tools(name));
}

bool MenuControl::HasTool(const std::string& name) const {
    return std::any_of(tools_.begin(), tools_.end(), [&](const Tool& t) { return t.name == name; });
}

const Band& MenuControl::Bands(std::int32_t index) const {
    if (index < 0 || index >= BandCount())
        raise(ErrorKind::InvalidArgument, "invalid band " + std::to_string(index));
    return bands_[static_cast<std::size_t>(index)];
}

std::vector<ui::MenuEntry> MenuControl::Entries(std::int32_t band) const {
    std::vector<ui::MenuEntry> entries;
    for (const auto& name : Bands(band).tools) {
        if (name.empty()) {
            entries.emplace_back();
            continue;
        }
        const Tool& t = Tools(name);
        entries.push_back({t.name, t.caption, t.enabled, t.style == kToolCheckable && t.checked});
    }
    return entries;
}

std::string MenuControl::PopupMenu(std::int32_t band, ui::FormsRuntime& runtime,
                                   ui::Form& owner) const {
    const auto entries = Entries(band);
    const std::string picked = runtime.PopupMenu(owner, entries);
    for (const auto& e : entries)
        if (!e.separator() && e.name == picked && e.enabled) return picked;
    return "";
}

}  // namespace bm::select
