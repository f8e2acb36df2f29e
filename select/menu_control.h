#pragma once

// The menu control of the selection dialog: a collection of named tools and
// the bands that arrange them. Band 0 is the dialog's popup menu; opening it
// hands its entries to the forms runtime, which returns the tool picked.

#include <cstdint>
#include <string>
#include <vector>

#include "ui/forms.h"

namespace bm::select {

// How a tool shows its state.
enum ToolStyle : std::int32_t {
    kToolPlain = 0,
    kToolCheckable = 1,  // shows a check mark when checked
};

struct Tool {
    std::string name;
    std::string caption;
    std::string tipText;
    std::string description;
    std::string category;
    bool enabled = true;
    bool checked = false;
    std::int32_t style = kToolPlain;
};

struct Band {
    std::string name;
    std::string caption;
    std::vector<std::string> tools;  // tool names top to bottom; "" is a separator
};

class MenuControl {
public:
    // The control as the dialog was designed: the tools and band 0.
    MenuControl();

    // The tool of that exact name; InvalidArgument when there is none.
    Tool& Tools(const std::string& name);
    const Tool& Tools(const std::string& name) const;
    bool HasTool(const std::string& name) const;

    std::int32_t BandCount() const { return static_cast<std::int32_t>(bands_.size()); }
    const Band& Bands(std::int32_t index) const;

    // Applies style and state changes to the shown menus.
    void RecalcLayout() { ++layouts_; }
    std::size_t LayoutCount() const { return layouts_; }

    // The entries of a band as a popup shows them.
    std::vector<ui::MenuEntry> Entries(std::int32_t band) const;
    // Opens the band as a popup at the mouse pointer. Returns the name of the
    // tool clicked, or "" when the menu was dismissed or the runtime answered
    // with something that is not an enabled tool of the band (a disabled
    // entry cannot be clicked).
    std::string PopupMenu(std::int32_t band, ui::FormsRuntime& runtime, ui::Form& owner) const;

private:
    std::vector<Tool> tools_;
    std::vector<Band> bands_;
    std::size_t layouts_ = 0;
};

}  // namespace bm::select
