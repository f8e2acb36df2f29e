#pragma once

// The count that keeps the library loaded: live objects, class factories,
// server locks and event sinks the host may still hold. The library may be
// unloaded (DllCanUnloadNow) when none is left. One count per module that
// links this code.

#include <atomic>

namespace bm::win32 {

inline std::atomic<long> moduleUsers{0};

inline void LockModule() noexcept { ++moduleUsers; }
inline void UnlockModule() noexcept { --moduleUsers; }
inline bool ModuleInUse() noexcept { return moduleUsers != 0; }

}  // namespace bm::win32
