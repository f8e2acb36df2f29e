#pragma once

// How a COM call's failure is told and read: the status as text, the
// thread's error info (set once here for every COM entry point of the add-in
// and the workbench), and an EXCEPINFO's description.

#include <oaidl.h>

#include <string>
#include <string_view>

namespace bm::win32 {

// The status as "0x8002000A".
std::string StatusText(HRESULT status);

// Leaves `description` as the thread's error info, naming the interface
// `source` and the component `sourceName` where they are given. A failure
// to do so leaves none, so that no stale description is taken for this one.
void SetErrorDescription(std::string_view description, REFGUID source = GUID_NULL,
                         std::string_view sourceName = {}) noexcept;
// Leaves none, before a call whose own description is to be read after it.
void ClearErrorInfo() noexcept;

// The description of the thread's error info, for calls that answer
// without EXCEPINFO; empty when there is none.
std::string ThreadErrorDescription();

// The description an EXCEPINFO carries, its deferred part filled in first;
// its texts are freed.
std::string TakeDescription(EXCEPINFO& exception);

}  // namespace bm::win32
