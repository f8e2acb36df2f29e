// The owners of Win32 and COM handles, and the text converter of the
// Windows face, which must replace bad input as the portable face does.

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/portable/registry_store_format.h"
#include "platform/win32/com/text.h"
#include "platform/win32/com/unique_any.h"

namespace bm::win32 {
namespace {

// Records what it closes; 0 is "none", as for a handle, and -1 too, as
// INVALID_HANDLE_VALUE is for a file.
struct Recorder {
    std::vector<int>* closed = nullptr;
    static bool Held(int value) { return value != 0 && value != -1; }
    void operator()(int value) const { closed->push_back(value); }
};
using Owner = UniqueAny<int, Recorder>;

TEST(UniqueAny, ClosesEachValueOnceWhateverMovesAndResetsItGoesThrough) {
    std::vector<int> closed;
    {
        Owner a(1, Recorder{&closed});
        Owner b(std::move(a));
        EXPECT_FALSE(a) << "a moved-from owner holds nothing";
        Owner c(2, Recorder{&closed});
        c = std::move(b);  // 2 goes, 1 moves on
        EXPECT_EQ(closed, std::vector<int>{2});
        EXPECT_EQ(c.get(), 1);

        c.reset(3);  // 1 goes
        EXPECT_EQ(c.release(), 3);
        EXPECT_FALSE(c);

        *c.put() = 4;  // an out-parameter fills the empty owner
        *c.put() = 5;  // and a second call closes what the first handed back
        c.reset(-1);   // a "none" of another spelling is never closed
        Owner d(6, Recorder{&closed});
    }
    EXPECT_EQ(closed, (std::vector<int>{2, 1, 4, 5, 6}));
}

TEST(UniqueAny, OwnedVariantsAreVariantsInMemoryAndClearOnMoveAndReset) {
    static_assert(sizeof(UniqueVariant) == sizeof(VARIANT), "arrays of owners are handed over as VARIANT arrays");
    UniqueVariant text;
    text.addressof()->vt = VT_BSTR;
    text.addressof()->bstrVal = ToBstr("abc");
    UniqueVariant moved(std::move(text));
    EXPECT_EQ(text->vt, VT_EMPTY);
    EXPECT_EQ(FromBstr(moved->bstrVal), "abc");
    moved.reset();
    EXPECT_EQ(moved->vt, VT_EMPTY);

    UniqueHandle file(INVALID_HANDLE_VALUE);
    EXPECT_FALSE(file);
    EXPECT_TRUE(file.close()) << "closing no file succeeds";
}

// Both faces turn each byte that starts no well-formed sequence into one
// U+FFFD: the registry file's text on the portable face, the system's
// UTF-16 here.
TEST(Utf16Text, BadInputIsReplacedAsOnThePortableFace) {
    const std::string_view cases[] = {
        "Größe €",
        "\xF0\x90\x90\x80",  // beyond sixteen bits: a surrogate pair
        "a\xFFz",
        "\xE2\x82",          // cut short
        "\xC0\xAF",          // overlong
        "\xED\xA0\x80",      // a surrogate
        "\xF4\x90\x80\x80",  // beyond U+10FFFF
        std::string_view("nul\0inside", 10),
    };
    for (const std::string_view text : cases) {
        SCOPED_TRACE(::testing::PrintToString(text));
        EXPECT_EQ(Utf8(Utf16(text)), portable::regfile::NormalizeUtf8(text));
        const UniqueBstr bstr(ToBstr(text));
        EXPECT_EQ(FromBstr(bstr.get()), portable::regfile::NormalizeUtf8(text));
    }
    EXPECT_EQ(Utf16("\xF0\x90\x90\x80"), L"\xD801\xDC00");
    EXPECT_EQ(Utf8(L"a\xDC00\xD800z"), "a\xEF\xBF\xBD\xEF\xBF\xBDz") << "lone surrogates, either half";
    EXPECT_EQ(FromBstr(nullptr), "");
}

}  // namespace
}  // namespace bm::win32
