#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace bm {

// Base of anything a Variant can hold by reference (host objects, forms).
class Object {
public:
    virtual ~Object() = default;
};
using ObjectRef = std::shared_ptr<Object>;

// A point in time as the automation world keeps it: days since 1899-12-30,
// the fraction being the time of day.
struct Date {
    double serial = 0.0;
    friend bool operator==(const Date&, const Date&) = default;
};

struct Empty {
    friend bool operator==(const Empty&, const Empty&) = default;
};

using Bytes = std::vector<std::uint8_t>;

enum class VarType { kEmpty, kBoolean, kInteger, kLong, kDouble, kDate, kString, kBytes, kObject };

// The value that travels between host, registry and dialogs. It keeps its
// type: a number stays a number, a date stays a date. Text is UTF-8 inside.
class Variant {
public:
    Variant() = default;
    Variant(Empty) {}
    Variant(bool b) : v_(b) {}
    Variant(std::int16_t i) : v_(i) {}
    Variant(std::int32_t l) : v_(l) {}
    Variant(double d) : v_(d) {}
    Variant(Date d) : v_(d) {}
    Variant(std::string s) : v_(std::move(s)) {}
    Variant(const char* s) : v_(std::string(s)) {}
    Variant(Bytes b) : v_(std::move(b)) {}
    Variant(ObjectRef o) : v_(std::move(o)) {}

    VarType type() const { return static_cast<VarType>(v_.index()); }
    bool is_empty() const { return type() == VarType::kEmpty; }
    bool is_numeric() const;  // Boolean, Integer, Long, Double or Date

    // Typed access; asking for the wrong type is a type mismatch.
    bool as_bool() const;
    std::int16_t as_integer() const;
    std::int32_t as_long() const;
    double as_double() const;
    Date as_date() const;
    const std::string& as_string() const;
    const Bytes& as_bytes() const;
    const ObjectRef& as_object() const;

    friend bool operator==(const Variant&, const Variant&) = default;

private:
    std::variant<Empty, bool, std::int16_t, std::int32_t, double, Date, std::string, Bytes,
                 ObjectRef>
        v_;
};

const char* type_name(VarType type);

// The type's name and the value, for messages and test output: Long 12,
// String "a\"b" (text quoted, control bytes escaped), Date 45352.5
// (2024-03-01T12:00:00), Byte()[2] 0a ff.
std::ostream& operator<<(std::ostream& os, const Variant& v);

}  // namespace bm
