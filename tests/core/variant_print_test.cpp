#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "core/variant.h"

namespace bm {
namespace {

std::string Repeated(const std::string& text, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) out += text;
    return out;
}

TEST(VariantPrint, TypeNameAndReadableValue) {
    const struct {
        Variant value;
        std::string want;
    } cases[] = {
        {Variant(), "Empty"},
        {true, "Boolean True"},
        {std::int16_t{-7}, "Integer -7"},
        {std::int32_t{123456}, "Long 123456"},
        {0.1 + 0.2, "Double 0.30000000000000004"},  // every digit that tells it from 0.3
        {Date{45352.5}, "Date 45352.5 (2024-03-01T12:00:00)"},
        {Date{1e10}, "Date 1e+10"},  // no calendar date
        {"a \"b\"\\c\n", R"(String "a \"b\"\\c\x0a")"},
        {"é", "String \"é\""},
        {Bytes{0x0A, 0xFF}, "Byte()[2] 0a ff"},
        {Bytes(40, 0), "Byte()[40]" + Repeated(" 00", 32) + " ..."},  // the first bytes only
        {ObjectRef(), "Object Nothing"},
        {std::make_shared<Object>(), "Object"},
    };
    for (const auto& c : cases) EXPECT_EQ(testing::PrintToString(c.value), c.want);
}

}  // namespace
}  // namespace bm
