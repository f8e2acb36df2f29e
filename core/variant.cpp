#include "core/variant.h"

#include <cstddef>
#include <cstdio>
#include <ostream>

#include "core/convert.h"
#include "core/date.h"
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

std::ostream& operator<<(std::ostream& os, ErrorKind kind) { return os << to_string(kind); }

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

namespace {

void write_quoted(std::ostream& os, const std::string& text) {
    os << '"';
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            os << '\\' << c;
        } else if (b < 0x20 || b == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", b);
            os << hex;
        } else {
            os << c;
        }
    }
    os << '"';
}

// The first bytes only: a picture's worth would flood the message.
constexpr std::size_t kBytesShown = 32;

void write_bytes(std::ostream& os, const Bytes& bytes) {
    os << '[' << bytes.size() << ']';
    for (std::size_t i = 0; i < bytes.size() && i < kBytesShown; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        os << ' ' << hex;
    }
    if (bytes.size() > kBytesShown) os << " ...";
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const Variant& v) {
    os << type_name(v.type());
    switch (v.type()) {
        case VarType::kEmpty: break;
        case VarType::kBoolean: os << (v.as_bool() ? " True" : " False"); break;
        case VarType::kInteger: os << ' ' << v.as_integer(); break;
        case VarType::kLong: os << ' ' << v.as_long(); break;
        case VarType::kDouble:
            os << ' ' << shortest_text(v.as_double());
            break;
        case VarType::kDate: {
            os << ' ' << shortest_text(v.as_date().serial);
            const auto t = date_time_of(v.as_date(), TimeUnit::kMillisecond);
            if (t && t->year >= 1 && t->year <= 9999) os << " (" << iso_text(*t) << ')';
            break;
        }
        case VarType::kString:
            os << ' ';
            write_quoted(os, v.as_string());
            break;
        case VarType::kBytes: write_bytes(os, v.as_bytes()); break;
        case VarType::kObject:
            if (!v.as_object()) os << " Nothing";
            break;
    }
    return os;
}

}  // namespace bm
