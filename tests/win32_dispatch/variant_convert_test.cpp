#include "platform/win32/variant_convert.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <limits>
#include <string>
#include <vector>

#include "core/error.h"
#include "workbench/com/served_host.h"

namespace bm::win32 {
namespace {

IDispatch* DispatchOf(const Variant& object) {
    const auto* holder = dynamic_cast<const DispatchHolder*>(object.as_object().get());
    return holder ? holder->Dispatch() : nullptr;
}

struct RoundTrip {
    Variant value;
    VARTYPE vt;
    std::function<bool(const VARIANT&)> holds;  // what COM sees
};

TEST(VariantConvert, EveryTypeCrossesBothWaysUnchanged) {
    workbench::MemoryHost host;
    workbench::com::ServedHost served(
        host, std::make_shared<workbench::com::HostTypeLibrary>(workbench::HostIdentity::kStandard));
    const auto site = served.Site();
    VARIANT siteVariant{};
    siteVariant.vt = VT_DISPATCH;
    siteVariant.pdispVal = site.Get();
    const ObjectRef object = FromVariant(siteVariant).as_object();
    auto bstr = [](std::wstring text) {
        return [text](const VARIANT& v) { return std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) == text; };
    };

    const std::vector<RoundTrip> table = {
        {Variant(), VT_EMPTY, [](const VARIANT&) { return true; }},
        {Variant(true), VT_BOOL, [](const VARIANT& v) { return v.boolVal == VARIANT_TRUE; }},
        {Variant(false), VT_BOOL, [](const VARIANT& v) { return v.boolVal == VARIANT_FALSE; }},
        {Variant(std::int16_t{-32768}), VT_I2, [](const VARIANT& v) { return v.iVal == -32768; }},
        {Variant(std::numeric_limits<std::int32_t>::min()), VT_I4,
         [](const VARIANT& v) { return v.lVal == std::numeric_limits<std::int32_t>::min(); }},
        {Variant(-0.1), VT_R8, [](const VARIANT& v) { return v.dblVal == -0.1; }},
        {Variant(Date{45352.5}), VT_DATE, [](const VARIANT& v) { return v.date == 45352.5; }},
        {Variant(""), VT_BSTR, bstr(L"")},
        {Variant("Gr\xC3\xB6\xC3\x9F" "e \xF0\x9D\x84\x9E"), VT_BSTR, bstr(L"Gr\u00F6\u00DFe \xD834\xDD1E")},
        {Variant(std::string("a\0b", 3)), VT_BSTR, bstr(std::wstring(L"a\0b", 3))},
        {Variant(Bytes{}), VT_ARRAY | VT_UI1, [](const VARIANT& v) { return v.parray->rgsabound[0].cElements == 0; }},
        {Variant(Bytes{0x00, 0xFF, 0x0A}), VT_ARRAY | VT_UI1,
         [](const VARIANT& v) { return static_cast<std::uint8_t*>(v.parray->pvData)[1] == 0xFF; }},
        {Variant(ObjectRef{}), VT_DISPATCH, [](const VARIANT& v) { return v.pdispVal == nullptr; }},
        {Variant(object), VT_DISPATCH, [&](const VARIANT& v) {
             return v.pdispVal == dynamic_cast<const DispatchHolder&>(*object).Dispatch();
         }},
    };
    for (const RoundTrip& row : table) {
        SCOPED_TRACE(::testing::PrintToString(row.value));
        UniqueVariant com;
        ToVariant(row.value, *com.addressof());
        ASSERT_EQ(com->vt, row.vt);
        EXPECT_TRUE(row.holds(*com));
        const Variant back = FromVariant(*com);
        if (row.value.type() == VarType::kObject)  // a new holder of the same COM object
            EXPECT_EQ(DispatchOf(back), DispatchOf(row.value));
        else
            EXPECT_EQ(back, row.value);
    }
}

TEST(VariantConvert, ForeignValuesArriveAsTheNearestType) {
    auto from = [](VARTYPE vt, auto&& fill) {
        UniqueVariant v;
        v.addressof()->vt = vt;
        fill(*v.addressof());
        return FromVariant(*v);
    };
    EXPECT_EQ(from(VT_NULL, [](VARIANT&) {}), Variant());
    EXPECT_EQ(from(VT_ERROR, [](VARIANT& v) { v.scode = DISP_E_PARAMNOTFOUND; }), Variant()) << "a missing argument";
    EXPECT_EQ(from(VT_UI1, [](VARIANT& v) { v.bVal = 200; }), Variant(std::int16_t{200}));
    EXPECT_EQ(from(VT_UI2, [](VARIANT& v) { v.uiVal = 60000; }), Variant(std::int32_t{60000}));
    EXPECT_EQ(from(VT_R4, [](VARIANT& v) { v.fltVal = 1.5f; }), Variant(1.5));
    LONG referenced = 7;
    EXPECT_EQ(from(VT_BYREF | VT_I4, [&](VARIANT& v) { v.plVal = &referenced; }), Variant(std::int32_t{7}));
    // Ill-formed text on either side becomes U+FFFD rather than being cut.
    EXPECT_EQ(from(VT_BSTR, [](VARIANT& v) { v.bstrVal = SysAllocStringLen(L"a\xD800" L"b", 3); }),
              Variant("a\xEF\xBF\xBD" "b"));
    UniqueVariant bad;
    ToVariant(Variant("x\xFFy"), *bad.addressof());
    EXPECT_EQ(std::wstring(bad->bstrVal, SysStringLen(bad->bstrVal)), L"x\uFFFDy");

    try {
        from(VT_ARRAY | VT_I4, [](VARIANT& v) { v.parray = SafeArrayCreateVector(VT_I4, 0, 1); });
        ADD_FAILURE() << "an array of longs has no Variant type";
    } catch (const Error& e) {
        EXPECT_EQ(e.kind(), ErrorKind::TypeMismatch);
    }
    UniqueVariant out;
    EXPECT_THROW(ToVariant(Variant(ObjectRef(std::make_shared<Object>())), *out.addressof()), Error)
        << "an object that is no COM object cannot cross";
}

}  // namespace
}  // namespace bm::win32
