#include "core/variant.h"

#include "core/error.h"

namespace bm {

std::string_view to_string(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Overflow: return "overflow";
        case ErrorKind::TypeMismatch: return "type mismatch";
        case ErrorKind::InvalidArgument: return "invalid argument";
        case ErrorKind::InvalidPropertyValue: return "invalid property value";
        case ErrorKind::HostFailure: return "host failure";
    }
    return "error";
}

void raise(ErrorKind kind, const std::string& message) { throw Error(kind, message); }

const char* type_name(VarType type) {
    switch (type) {
        case VarType::kEmpty: return "Empty";
        case VarType::kBoolean: return "Boolean";
        case VarType::kInteger: return "Integer";
        case VarType::kLong: return "Long";
        case VarType::kDouble: return "Double";
        case VarType::kDate: return "Date";
        case VarType::kString: return "String";
        case VarType::kBytes: return "Byte()";
        case VarType::kObject: return "Object";
    }
    return "?";
}

bool Variant::is_numeric() const {
    switch (type()) {
        case VarType::kBoolean:
        case VarType::kInteger:
        case VarType::kLong:
        case VarType::kDouble:
        case VarType::kDate: return true;
        default: return false;
    }
}

namespace {
template <class T>
const T& get_as(const auto& v, VarType want, VarType have) {
    if (const T* p = std::get_if<T>(&v)) return *p;
    raise(ErrorKind::TypeMismatch,
          std::string("expected a ") + type_name(want) + " value, got " + type_name(have));
}
}  // namespace

bool Variant::as_bool() const { return get_as<bool>(v_, VarType::kBoolean, type()); }
std::int16_t Variant::as_integer() const {
    return get_as<std::int16_t>(v_, VarType::kInteger, type());
}
std::int32_t Variant::as_long() const { return get_as<std::int32_t>(v_, VarType::kLong, type()); }
double Variant::as_double() const { return get_as<double>(v_, VarType::kDouble, type()); }
Date Variant::as_date() const { return get_as<Date>(v_, VarType::kDate, type()); }
const std::string& Variant::as_string() const {
    return get_as<std::string>(v_, VarType::kString, type());
}
const Bytes& Variant::as_bytes() const { return get_as<Bytes>(v_, VarType::kBytes, type()); }
const ObjectRef& Variant::as_object() const {
    return get_as<ObjectRef>(v_, VarType::kObject, type());
}

}  // namespace bm
