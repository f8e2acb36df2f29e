#pragma once

// The add-in's COM class CBrindlemark5. The object is the dual interface _CBrindlemark5 of the library's
// type library (its IDispatch works through that type library's type
// information) with ISupportErrorInfo, around one bm::addin::CBrindlemark5.
// Every object of the library shares one module state with the desktop of
// this machine: the advapi32 registry and the Win32 forms runtime.

#include <objbase.h>

namespace bm::win32 {

// Creates an add-in object and hands out its interface `iid`.
HRESULT CreateAddInObject(REFIID iid, void** object) noexcept;

// Lets the type information the objects share go; to be called when no
// object is left, before the library is unloaded. The next object loads
// it again.
void ReleaseAddInTypeInfo() noexcept;

}  // namespace bm::win32
