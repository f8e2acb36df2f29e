#pragma once

// The names a workspace file gives the document kinds, for reading and
// writing alike.

#include <array>
#include <cstdint>
#include <string_view>

#include "host/host.h"

namespace bm::workbench {

struct KindName {
    std::string_view name;
    std::int32_t kind;
};

inline constexpr std::array kKinds{
    KindName{"part", host::kPartDocument},
    KindName{"assembly", host::kAssemblyDocument},
    KindName{"drawing", host::kDrawingDocument},
    KindName{"presentation", host::kPresentationDocument},
};

}  // namespace bm::workbench
