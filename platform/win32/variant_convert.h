#pragma once

// VARIANTs and Variants, each keeping its type: VT_EMPTY (and VT_NULL)
// Empty, VT_BOOL Boolean, VT_I2 Integer, VT_I4 Long, VT_R8 Double, VT_DATE
// Date (the same day serial), VT_BSTR String (UTF-16 and UTF-8), a
// one-dimensional SAFEARRAY of VT_UI1 Bytes, VT_DISPATCH an object.
// Objects cross as IDispatch: an object arriving from COM is held by a
// DispatchHolder, and only such objects can go back.

#include <oaidl.h>
#include <wrl/client.h>

#include <string>
#include <string_view>

#include "core/variant.h"
#include "platform/win32/com/text.h"
#include "platform/win32/com/unique_any.h"

namespace bm::win32 {

// What stands for a COM automation object on this side: the adapter's host
// objects, and the objects that arrive inside values.
class DispatchHolder {
public:
    explicit DispatchHolder(Microsoft::WRL::ComPtr<IDispatch> dispatch)
        : dispatch_(std::move(dispatch)) {}
    virtual ~DispatchHolder() = default;
    IDispatch* Dispatch() const { return dispatch_.Get(); }

private:
    Microsoft::WRL::ComPtr<IDispatch> dispatch_;
};

// Writes `value` into `out`, clearing what `out` held (it must be
// initialised). An object that is no DispatchHolder cannot cross: type
// mismatch.
void ToVariant(const Variant& value, VARIANT& out);

// The Variant of a VARIANT; a by-reference VARIANT is read through. The
// other numeric types widen to the nearest Variant type that holds them
// exactly (VT_I1 and VT_UI1 Integer, VT_UI2 and VT_INT Long, the rest Double);
// VT_ERROR, a missing argument, is Empty. Anything else is a type mismatch.
Variant FromVariant(const VARIANT& value);

}  // namespace bm::win32
