#pragma once

// Which of its two host type libraries the Windows workbench serves its
// host by (--host-types): the standard host, or one of another identity
// whose interface ids, event DISPID and add-in server vtable differ. The
// add-in must work alike under both.

namespace bm::workbench {

enum class HostIdentity { kStandard, kOther };

}  // namespace bm::workbench
