#include "platform/win32/variant_convert.h"

#include <algorithm>
#include <memory>
#include <new>

#include "core/error.h"

namespace bm::win32 {
namespace {

// An object from COM, held inside a Variant.
class HeldObject final : public Object, public DispatchHolder {
public:
    using DispatchHolder::DispatchHolder;
};

[[noreturn]] void mismatch(VARTYPE vt) {
    raise(ErrorKind::TypeMismatch, "a value of VARIANT type " + std::to_string(vt) + " has no Variant type");
}

SAFEARRAY* ToByteArray(const Bytes& bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (!array) throw std::bad_alloc();
    if (!bytes.empty()) {
        void* data = nullptr;
        SafeArrayAccessData(array, &data);
        std::copy(bytes.begin(), bytes.end(), static_cast<std::uint8_t*>(data));
        SafeArrayUnaccessData(array);
    }
    return array;
}

Bytes FromByteArray(SAFEARRAY* array) {
    if (!array) return {};
    if (SafeArrayGetDim(array) != 1) raise(ErrorKind::TypeMismatch, "a byte array of more than one dimension");
    LONG low = 0, high = -1;
    SafeArrayGetLBound(array, 1, &low);
    SafeArrayGetUBound(array, 1, &high);
    Bytes bytes(static_cast<std::size_t>(high - low + 1));
    if (!bytes.empty()) {
        void* data = nullptr;
        if (FAILED(SafeArrayAccessData(array, &data)))
            raise(ErrorKind::TypeMismatch, "a byte array that cannot be read");
        const auto* first = static_cast<const std::uint8_t*>(data);
        std::copy(first, first + bytes.size(), bytes.begin());
        SafeArrayUnaccessData(array);
    }
    return bytes;
}

Variant FromObject(IUnknown* object) {
    if (!object) return Variant(ObjectRef{});
    Microsoft::WRL::ComPtr<IDispatch> dispatch;
    if (FAILED(object->QueryInterface(IID_PPV_ARGS(&dispatch))))
        raise(ErrorKind::TypeMismatch, "an object without IDispatch");
    return Variant(ObjectRef(std::make_shared<HeldObject>(std::move(dispatch))));
}

// The value of a numeric type Variant has no own type for, as `target`.
VARIANT Widened(const VARIANT& value, VARTYPE target) {
    VARIANT out;
    VariantInit(&out);
    if (FAILED(VariantChangeType(&out, const_cast<VARIANT*>(&value), 0, target))) mismatch(value.vt);
    return out;
}

}  // namespace

void ToVariant(const Variant& value, VARIANT& out) {
    ClearVariant{}(out);
    switch (value.type()) {
        case VarType::kEmpty: break;
        case VarType::kBoolean:
            out.vt = VT_BOOL;
            out.boolVal = value.as_bool() ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case VarType::kInteger:
            out.vt = VT_I2;
            out.iVal = value.as_integer();
            break;
        case VarType::kLong:
            out.vt = VT_I4;
            out.lVal = value.as_long();
            break;
        case VarType::kDouble:
            out.vt = VT_R8;
            out.dblVal = value.as_double();
            break;
        case VarType::kDate:
            out.vt = VT_DATE;
            out.date = value.as_date().serial;
            break;
        case VarType::kString:
            out.bstrVal = ToBstr(value.as_string());
            out.vt = VT_BSTR;
            break;
        case VarType::kBytes:
            out.parray = ToByteArray(value.as_bytes());
            out.vt = VT_ARRAY | VT_UI1;
            break;
        case VarType::kObject: {
            const ObjectRef& object = value.as_object();
            IDispatch* dispatch = nullptr;
            if (object) {
                const auto* holder = dynamic_cast<const DispatchHolder*>(object.get());
                if (!holder) raise(ErrorKind::TypeMismatch, "an object that is no COM object cannot cross to COM");
                dispatch = holder->Dispatch();
                dispatch->AddRef();
            }
            out.vt = VT_DISPATCH;
            out.pdispVal = dispatch;
            break;
        }
    }
}

Variant FromVariant(const VARIANT& value) {
    if (value.vt & VT_BYREF) {
        UniqueVariant direct;
        if (FAILED(VariantCopyInd(direct.addressof(), const_cast<VARIANT*>(&value)))) mismatch(value.vt);
        return FromVariant(*direct);
    }
    switch (value.vt) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_ERROR: return Variant();
        case VT_BOOL: return Variant(value.boolVal != VARIANT_FALSE);
        case VT_I2: return Variant(std::int16_t{value.iVal});
        case VT_I4: return Variant(std::int32_t{value.lVal});
        case VT_R8: return Variant(value.dblVal);
        case VT_DATE: return Variant(Date{value.date});
        case VT_BSTR: return Variant(FromBstr(value.bstrVal));
        case VT_ARRAY | VT_UI1: return Variant(FromByteArray(value.parray));
        case VT_DISPATCH: return FromObject(value.pdispVal);
        case VT_UNKNOWN: return FromObject(value.punkVal);
        case VT_I1:
        case VT_UI1: return Variant(static_cast<std::int16_t>(Widened(value, VT_I2).iVal));
        case VT_UI2:
        case VT_INT: return Variant(std::int32_t{Widened(value, VT_I4).lVal});
        case VT_R4:
        case VT_I8:
        case VT_UI4:
        case VT_UI8:
        case VT_UINT:
        case VT_CY:
        case VT_DECIMAL: return Variant(Widened(value, VT_R8).dblVal);
        default: mismatch(value.vt);
    }
}

}  // namespace bm::win32
