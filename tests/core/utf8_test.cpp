#include "core/utf8.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace bm {
namespace {

using namespace std::string_view_literals;

TEST(Utf8, DecodesWellFormedSequencesAndEncodesThemBack) {
    const struct {
        std::string_view bytes;
        char32_t cp;
    } cases[] = {
        {"A"sv, U'A'},
        {"\0"sv, 0},
        {"\xC2\x80"sv, 0x80},
        {"\xDF\xBF"sv, 0x7FF},
        {"\xE0\xA0\x80"sv, 0x800},
        {"\xED\x9F\xBF"sv, 0xD7FF},  // just below the surrogates
        {"\xEE\x80\x80"sv, 0xE000},  // just above them
        {"\xEF\xBF\xBF"sv, 0xFFFF},
        {"\xF0\x90\x80\x80"sv, 0x10000},
        {"\xF4\x8F\xBF\xBF"sv, 0x10FFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "U+" << std::hex << static_cast<std::uint32_t>(c.cp));
        const Utf8Sequence seq = decode_utf8(c.bytes, 0);
        EXPECT_EQ(seq.code_point, c.cp);
        EXPECT_EQ(seq.length, c.bytes.size());
        std::string out;
        append_utf8(out, c.cp);
        EXPECT_EQ(out, c.bytes);
    }
}

TEST(Utf8, RefusesIllFormedSequences) {
    for (const std::string_view bytes : {
             "\x80"sv,              // continuation without a lead
             "\xC0\x80"sv,          // overlong
             "\xC1\xBF"sv,          // overlong
             "\xE0\x9F\xBF"sv,      // overlong
             "\xF0\x8F\xBF\xBF"sv,  // overlong
             "\xED\xA0\x80"sv,      // surrogate
             "\xED\xBF\xBF"sv,      // surrogate
             "\xF4\x90\x80\x80"sv,  // beyond U+10FFFF
             "\xF5\x80\x80\x80"sv,  // beyond U+10FFFF
             "\xFF"sv,
             "\xE2\x82"sv,          // cut short
             "\xE2\x28\xA1"sv,      // no continuation byte
             "\xF0\x90\x80\x7F"sv,  // nor here
         })
        EXPECT_EQ(decode_utf8(bytes, 0).length, 0u) << testing::PrintToString(std::string(bytes));
}

TEST(Utf8, DecodesAtAnOffsetWithinTheText) {
    EXPECT_EQ(decode_utf8("a\xC3\xA9z", 1).code_point, U'é');
    EXPECT_EQ(decode_utf8("a\xC3\xA9z", 1).length, 2u);
    // The text ends inside the sequence, though the bytes after it would
    // complete it.
    EXPECT_EQ(decode_utf8(std::string_view("ab\xE2\x82\xAC", 4), 2).length, 0u);
}

TEST(Utf8, ScalarValuesExcludeSurrogatesAndWhatLiesBeyond) {
    EXPECT_TRUE(is_scalar_value(0xD7FF));
    EXPECT_FALSE(is_scalar_value(0xD800));
    EXPECT_FALSE(is_scalar_value(0xDFFF));
    EXPECT_TRUE(is_scalar_value(0xE000));
    EXPECT_TRUE(is_scalar_value(0x10FFFF));
    EXPECT_FALSE(is_scalar_value(0x110000));
}

}  // namespace
}  // namespace bm
