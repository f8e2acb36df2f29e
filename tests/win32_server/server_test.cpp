// Brindlemark5.dll as COM sees it, loaded from beside this program: the
// class factory asked directly (no registration needed), the module count
// that allows unloading, and failures arriving as HRESULTs with error info,
// both through the interface and through late binding by DISPID.

#include <windows.h>

#include <initguid.h>  // defines the identifiers brindlemark5.h declares

#include <gtest/gtest.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <climits>
#include <string>

#include "brindlemark5.h"
#include "brindlemark_version.h"
#include "platform/win32/addin_dispids.h"

namespace {

using Microsoft::WRL::ComPtr;

class AddInDll : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        library = LoadLibraryW(L"Brindlemark5.dll");
    }
    static void TearDownTestSuite() {
        FreeLibrary(library);
        CoUninitialize();
    }
    void SetUp() override {
        ASSERT_NE(library, nullptr) << "Brindlemark5.dll is not beside the test program";
        getClassObject = reinterpret_cast<decltype(getClassObject)>(
            reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
        canUnloadNow = reinterpret_cast<decltype(canUnloadNow)>(
            reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
        ASSERT_TRUE(getClassObject && canUnloadNow);
    }

    ComPtr<IClassFactory> Factory() {
        ComPtr<IClassFactory> factory;
        EXPECT_EQ(getClassObject(CLSID_CBrindlemark5, IID_IClassFactory, &factory), S_OK);
        return factory;
    }
    ComPtr<_CBrindlemark5> Create() {
        ComPtr<_CBrindlemark5> addIn;
        EXPECT_EQ(Factory()->CreateInstance(nullptr, __uuidof(_CBrindlemark5), &addIn), S_OK);
        return addIn;
    }

    static inline HMODULE library = nullptr;
    HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* canUnloadNow)() = nullptr;
};

// What Explorer's properties page and an installer read from the file.
TEST_F(AddInDll, CarriesTheBuildsVersionAndMaker) {
    wchar_t path[MAX_PATH] = {};
    ASSERT_NE(GetModuleFileNameW(library, path, MAX_PATH), 0u);
    const DWORD size = GetFileVersionInfoSizeW(path, nullptr);
    ASSERT_NE(size, 0u) << "no version resource";
    std::wstring data(size, L'\0');
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, data.data()));
    auto query = [&](const wchar_t* name) -> void* {
        void* value = nullptr;
        UINT length = 0;
        return VerQueryValueW(data.data(), name, &value, &length) && length ? value : nullptr;
    };
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(query(L"\\"));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(BM_VERSION_MINOR, BM_VERSION_MAJOR)));
    EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, BM_VERSION_PATCH)));
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
    auto text = [&](const wchar_t* name) {
        const std::wstring key = L"\\StringFileInfo\\040904B0\\" + std::wstring(name);
        const auto* value = static_cast<const wchar_t*>(query(key.c_str()));
        return value ? std::wstring(value) : std::wstring(L"(none)");
    };
    const std::string version = BM_VERSION_TEXT;
    EXPECT_EQ(text(L"CompanyName"), L"Quillfern");
    EXPECT_EQ(text(L"ProductName"), L"Brindlemark");
    EXPECT_EQ(text(L"FileVersion"), std::wstring(version.begin(), version.end()));
    EXPECT_EQ(text(L"ProductVersion"), text(L"FileVersion"));
    EXPECT_EQ(text(L"OriginalFilename"), L"Brindlemark5.dll");
    EXPECT_EQ(text(L"LegalCopyright").rfind(L"Copyright", 0), 0u);
    EXPECT_NE(text(L"FileDescription"), L"(none)");
}

TEST_F(AddInDll, StaysLoadedWhileAnObjectAFactoryOrALockRemains) {
    EXPECT_EQ(canUnloadNow(), S_OK);
    void* none = nullptr;
    EXPECT_EQ(getClassObject(IID_IClassFactory, IID_IClassFactory, &none), CLASS_E_CLASSNOTAVAILABLE);

    ComPtr<IClassFactory> factory = Factory();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    ComPtr<IUnknown> refused;
    EXPECT_EQ(factory->CreateInstance(factory.Get(), IID_IUnknown, &refused), CLASS_E_NOAGGREGATION);
    ComPtr<IDispatch> addIn;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &addIn), S_OK);
    factory.Reset();
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    addIn.Reset();
    EXPECT_EQ(canUnloadNow(), S_OK);

    EXPECT_EQ(Factory()->LockServer(TRUE), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(Factory()->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

std::wstring Description(IErrorInfo* info) {
    BSTR text = nullptr;
    if (!info || FAILED(info->GetDescription(&text))) return L"(none)";
    std::wstring description(text, SysStringLen(text));
    SysFreeString(text);
    return description;
}

HRESULT PutLong(IDispatch* object, DISPID id, LONG value) {
    VARIANT argument;
    VariantInit(&argument);
    V_VT(&argument) = VT_I4;
    V_I4(&argument) = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&argument, &named, 1, 1};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                          nullptr);
}

TEST_F(AddInDll, AFailureArrivesAsTheHresultOfItsKindWithItsMessage) {
    ComPtr<_CBrindlemark5> addIn = Create();
    // Set through late binding, read through the interface: the DISPIDs
    // name the members the interface declares.
    ASSERT_EQ(PutLong(addIn.Get(), BM_DISPID_MASS, INT_MAX), S_OK);
    ASSERT_EQ(PutLong(addIn.Get(), BM_DISPID_AREA, 1), S_OK);
    LONG mass = 0;
    ASSERT_EQ(addIn->get_Mass(&mass), S_OK);
    EXPECT_EQ(mass, INT_MAX);

    ComPtr<ISupportErrorInfo> supports;
    ASSERT_EQ(addIn.As(&supports), S_OK);
    EXPECT_EQ(supports->InterfaceSupportsErrorInfo(__uuidof(_CBrindlemark5)), S_OK);
    const std::wstring message = L"PhysicalUpdate: Mass + Area + Volume overflows";

    LONG sum = 7;
    EXPECT_EQ(addIn->get_PhysicalUpdate(&sum), DISP_E_OVERFLOW);
    EXPECT_EQ(sum, 0);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    EXPECT_EQ(Description(info.Get()), message);

    EXPECT_EQ(addIn->GetPhysicalProps(nullptr, nullptr), E_INVALIDARG);

    DISPPARAMS none{};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO exception{};
    EXPECT_EQ(addIn->Invoke(BM_DISPID_PHYSICALUPDATE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                            &result, &exception, nullptr),
              DISP_E_EXCEPTION);
    EXPECT_EQ(exception.scode, DISP_E_OVERFLOW);
    EXPECT_EQ(std::wstring(exception.bstrDescription ? exception.bstrDescription : L""), message);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
}

}  // namespace
