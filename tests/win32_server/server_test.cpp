// Brindlemark5.dll as COM sees it, loaded from beside this program: the
// class factory asked directly (no registration needed), the module count
// that allows unloading, failures arriving as HRESULTs with error info,
// both through the interface and through late binding by DISPID, and the
// host's add-in server interface, which the add-in learns from the host's
// registered type library.

#include <windows.h>

#include <initguid.h>  // defines the identifiers brindlemark5.h declares

#include <gtest/gtest.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <utility>
#include <memory>
#include <string>
#include <vector>

#include "brindlemark5.h"
#include "brindlemark_version.h"
#include "host/host.h"
#include "platform/win32/addin_dispids.h"
#include "platform/win32/dialog_controls.h"
#include "win32_forms/desktop.h"
#include "workbench/com/served_host.h"
#include "workbench/model/memory_host.h"

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

GUID IdOf(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    EXPECT_EQ(info->GetTypeAttr(&attributes), S_OK);
    const GUID id = attributes ? attributes->guid : GUID{};
    if (attributes) info->ReleaseTypeAttr(attributes);
    return id;
}

DISPID MemberOf(ITypeInfo* info, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR names = const_cast<LPOLESTR>(name);
    EXPECT_EQ(info->GetIDsOfNames(&names, 1, &id), S_OK) << "no member " << name;
    return id;
}

// One call through IDispatch, arguments in reading order; the EXCEPINFO
// of a failure is handed back.
HRESULT Invoke(IDispatch* object, DISPID id, std::vector<VARIANT> args, EXCEPINFO& exception) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    exception = EXCEPINFO{};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, &exception,
                          nullptr);
}

// HKEY_CLASSES_ROOT and HKEY_CURRENT_USER of this process on scratch keys
// while it lives, so that what an activation writes (and a type library
// registered for a test) stays out of the registry other tests read.
class ScratchRegistry {
public:
    ScratchRegistry() {
        RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str());
        for (std::size_t i = 0; i < std::size(roots_); ++i)
            RegCreateKeyExW(HKEY_CURRENT_USER, (scratch_ + L"\\" + std::to_wstring(i)).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &keys_[i], nullptr);
        for (std::size_t i = 0; i < std::size(roots_); ++i) RegOverridePredefKey(roots_[i], keys_[i]);
    }
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;
    ~ScratchRegistry() {
        for (std::size_t i = 0; i < std::size(roots_); ++i) {
            RegOverridePredefKey(roots_[i], nullptr);
            RegCloseKey(keys_[i]);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str());
    }

private:
    const std::wstring scratch_ = L"Software\\Brindlemark server test " + std::to_wstring(GetCurrentProcessId());
    HKEY roots_[2] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER};
    HKEY keys_[2] = {};
};

// Under either identity of the workbench's host, with its type library
// registered as a host's is: the add-in answers the host's id of the add-in
// server interface, and no other id of the host's; activation through it
// binds the events the host's type library describes, and a host call that
// fails under Activate comes back with the host's own HRESULT and words.
TEST_F(AddInDll, AnswersTheHostsServerInterfaceAsTheHostsTypeLibraryDescribesIt) {
    using bm::workbench::HostIdentity;
    namespace com = bm::workbench::com;
    const ScratchRegistry scratch;
    for (const auto identity : {HostIdentity::kStandard, HostIdentity::kOther}) {
        SCOPED_TRACE(identity == HostIdentity::kStandard ? "standard host" : "other host");
        const auto types = std::make_shared<com::HostTypeLibrary>(identity);
        std::wstring path = types->Path();
        ASSERT_EQ(RegisterTypeLib(types->Library(), path.data(), nullptr), S_OK);
        const ComPtr<ITypeInfo> server = types->Interface(L"ApplicationAddInServer");

        ComPtr<_CBrindlemark5> addIn = Create();
        ComPtr<IDispatch> asServer;
        ASSERT_EQ(addIn->QueryInterface(IdOf(server.Get()), &asServer), S_OK);
        ComPtr<IUnknown> identityOfServer;
        ComPtr<IUnknown> identityOfAddIn;
        ASSERT_EQ(asServer.As(&identityOfServer), S_OK);
        ASSERT_EQ(addIn.As(&identityOfAddIn), S_OK);
        EXPECT_EQ(identityOfServer.Get(), identityOfAddIn.Get()) << "one object, one identity";
        ComPtr<IUnknown> document;
        EXPECT_EQ(addIn->QueryInterface(IdOf(types->Interface(L"HostDocument").Get()), &document), E_NOINTERFACE);

        bm::workbench::MemoryHost host;
        com::ServedHost served(host, types);
        VARIANT site;
        VariantInit(&site);
        V_VT(&site) = VT_DISPATCH;
        V_DISPATCH(&site) = served.Site().Detach();
        VARIANT firstTime;
        VariantInit(&firstTime);
        V_VT(&firstTime) = VT_BOOL;
        V_BOOL(&firstTime) = VARIANT_TRUE;
        const DISPID activate = MemberOf(server.Get(), L"Activate");
        EXCEPINFO exception{};

        host.Probe().FailOperation("HostVersion");
        EXPECT_EQ(Invoke(asServer.Get(), activate, {site, firstTime}, exception), DISP_E_EXCEPTION);
        EXPECT_EQ(exception.scode, com::kHostRefused) << "the host's HRESULT, not one of the add-in's";
        EXPECT_EQ(std::wstring(exception.bstrDescription ? exception.bstrDescription : L""),
                  L"HostVersion failed (injected)");
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrSource);

        EXPECT_EQ(Invoke(asServer.Get(), activate, {site, firstTime}, exception), S_OK);
        EXPECT_EQ(host.BoundSinkCount(), 1u);
        auto drawing = host.AddDrawing("C:/Work/Sheet.idw");
        host.Activate(drawing);
        EXPECT_TRUE(host.Command(2)->enabled()) << "the activation event arrived by the host's DISPID";
        EXPECT_EQ(Invoke(asServer.Get(), MemberOf(server.Get(), L"Deactivate"), {}, exception), S_OK);
        EXPECT_EQ(host.BoundSinkCount(), 0u);
        EXPECT_EQ(served.NameLookups(), 0);
        VariantClear(&site);

        TLIBATTR* registered = nullptr;
        ASSERT_EQ(types->Library()->GetLibAttr(&registered), S_OK);
        EXPECT_EQ(UnRegisterTypeLib(registered->guid, registered->wMajorVerNum, registered->wMinorVerNum, registered->lcid,
                                    registered->syskind),
                  S_OK);
        types->Library()->ReleaseTLibAttr(registered);
    }
}

// What the thread saw each time a modal window of the add-in came up: its
// caption, whether the host's window was enabled, whether the shell would
// give it a task-bar button, and whether the library could be unloaded
// once the host had let go of the add-in.
struct ModalSeen {
    std::wstring caption;
    bool hostWindowEnabled = true;
    bool onTheTaskBar = false;
    HRESULT unloadable = S_OK;
};
struct UnderTheDialogs {
    HWND hostWindow = nullptr;
    IUnknown* releasedByTheHost = nullptr;  // the host's reference, let go under the first dialog
    HRESULT(STDAPICALLTYPE* canUnloadNow)() = nullptr;
    std::vector<ModalSeen> seen;
    std::vector<HWND> windows;  // each seen when it first comes up, not again when the one above it closes
    bool aboutAsked = false;
};
UnderTheDialogs* underTheDialogs = nullptr;

bool IsModalOfTheAddIn(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return std::wstring(name) == bm::win32::dialog::kFormClass || std::wstring(name) == L"#32770";
}

std::wstring CaptionOf(HWND window) {
    wchar_t caption[128] = {};
    GetWindowTextW(window, caption, 128);
    return caption;
}

// The shell's rule: a window gets a button unless it is owned or a tool
// window, and always when it asks for one.
bool OnTheTaskBar(HWND window) {
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
    return (style & WS_EX_APPWINDOW) || (!GetWindow(window, GW_OWNER) && !(style & WS_EX_TOOLWINDOW));
}

// Every window about to be activated passes here, the interlude form too,
// which closes itself before any timer could see it.
LRESULT CALLBACK WatchActivation(int code, WPARAM wParam, LPARAM lParam) {
    HWND window = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && underTheDialogs && IsModalOfTheAddIn(window) &&
        std::ranges::find(underTheDialogs->windows, window) == underTheDialogs->windows.end()) {
        UnderTheDialogs& under = *underTheDialogs;
        under.windows.push_back(window);
        if (IUnknown* object = std::exchange(under.releasedByTheHost, nullptr)) object->Release();
        under.seen.push_back(
            {CaptionOf(window), IsWindowEnabled(under.hostWindow) != FALSE, OnTheTaskBar(window), under.canUnloadNow()});
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// A person's answer to whatever is up: OK, after first asking the options
// dialog for its About box, which is closed before the dialog beneath it.
BOOL CALLBACK Answer(HWND window, LPARAM) {
    if (!IsWindowVisible(window) || !IsModalOfTheAddIn(window)) return TRUE;
    UnderTheDialogs& under = *underTheDialogs;
    const std::wstring caption = CaptionOf(window);
    if (caption == L" Brindlemark Options") {
        if (bm::test::FormOfThread(GetCurrentThreadId(), L" About Brindlemark")) return TRUE;
        if (!std::exchange(under.aboutAsked, true)) {
            HWND logo = GetDlgItem(window, bm::win32::dialog::kOptionsLogo);
            PostMessageW(window, WM_COMMAND, MAKEWPARAM(bm::win32::dialog::kOptionsLogo, STN_CLICKED),
                         reinterpret_cast<LPARAM>(logo));
            return FALSE;
        }
    }
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}

void CALLBACK AnswerTheDialogs(HWND, UINT, UINT_PTR, DWORD) {
    if (underTheDialogs) EnumThreadWindows(GetCurrentThreadId(), &Answer, 0);
}

// Every modal window of the add-in (the options dialog and the About box
// over it, the selection dialog and the interlude after the copy, the
// message box of a refused host version) disables the host's own windows
// of the thread while it is up and enables them after, and none gets a
// button on the task bar; the host may let go of the add-in meanwhile: the
// object lives on until the entry point returns, and goes then.
TEST_F(AddInDll, AModalWindowBlocksTheHostsWindowsAndKeepsTheAddInAlive) {
    const ScratchRegistry scratch;
    HWND hostWindow = CreateWindowExW(0, L"STATIC", L"The host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                      nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hostWindow, nullptr);
    bm::workbench::MemoryHost host;
    bm::workbench::com::ServedHost served(
        host, std::make_shared<bm::workbench::com::HostTypeLibrary>(bm::workbench::HostIdentity::kStandard));
    const ComPtr<IDispatch> site = served.Site();
    auto model = host.AddPart("C:/Work/Bracket.ipt");
    model->AddProp("Material", "Steel");
    auto drawing = host.AddDrawing("C:/Work/Bracket.idw");
    drawing->AddRef(model);

    // An add-in that is active in a host of its version, with a drawing
    // open and the selection of properties asked for.
    auto activeWithSelection = [&](_CBrindlemark5& addIn) {
        host.SetVersionMajor(5);
        EXPECT_EQ(addIn.ApplicationAddInServer_Activate(site.Get(), VARIANT_TRUE), S_OK);
        EXPECT_EQ(addIn.put_UpdateOnActivate(0), S_OK);
        EXPECT_EQ(addIn.put_SelectProps(1), S_OK);
        host.Activate(drawing);
    };
    // The host lets go of the add-in under the dialog, unless it is active:
    // then the host deactivates it once the command is over.
    auto deactivate = [](_CBrindlemark5& addIn) { EXPECT_EQ(addIn.ApplicationAddInServer_Deactivate(), S_OK); };
    struct Entry {
        const char* what;
        std::function<void(_CBrindlemark5&)> before;
        std::function<HRESULT(_CBrindlemark5&)> call;
        std::function<void(_CBrindlemark5&)> after;
        std::vector<std::wstring> captions;
    };
    const Entry entries[] = {
        {"the Options command", [](_CBrindlemark5&) {},
         [](_CBrindlemark5& addIn) { return addIn.ApplicationAddInServer_ExecuteCommand(1); }, nullptr,
         {L" Brindlemark Options", L" About Brindlemark"}},
        {"the Copy command", activeWithSelection,
         [](_CBrindlemark5& addIn) { return addIn.ApplicationAddInServer_ExecuteCommand(2); }, deactivate,
         {L" Referenced Files", L"Form1"}},
        {"activation in a host of another version", [&](_CBrindlemark5&) { host.SetVersionMajor(6); },
         [&](_CBrindlemark5& addIn) { return addIn.ApplicationAddInServer_Activate(site.Get(), VARIANT_TRUE); },
         nullptr, {L"Brindlemark"}},
    };
    const HHOOK hook = SetWindowsHookExW(WH_CBT, &WatchActivation, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    for (const Entry& entry : entries) {
        SCOPED_TRACE(entry.what);
        UnderTheDialogs under;
        under.hostWindow = hostWindow;
        under.canUnloadNow = canUnloadNow;
        _CBrindlemark5* addIn = Create().Detach();
        entry.before(*addIn);
        if (!entry.after) under.releasedByTheHost = addIn;
        underTheDialogs = &under;
        const UINT_PTR timer = SetTimer(nullptr, 0, 50, &AnswerTheDialogs);
        EXPECT_EQ(entry.call(*addIn), S_OK);
        KillTimer(nullptr, timer);
        underTheDialogs = nullptr;

        std::vector<std::wstring> captions;
        for (const ModalSeen& modal : under.seen) {
            SCOPED_TRACE(std::string(modal.caption.begin(), modal.caption.end()));
            captions.push_back(modal.caption);
            EXPECT_FALSE(modal.hostWindowEnabled) << "the host's window stayed enabled under it";
            EXPECT_FALSE(modal.onTheTaskBar) << "it has a button on the task bar";
            EXPECT_EQ(modal.unloadable, S_FALSE) << "the object went while its entry point ran";
        }
        // Each window the entry opens, in order. (Once in about a hundred
        // runs Wine activated one more form of the thread on the way, which
        // must then have met the same conditions.)
        auto next = captions.begin();
        bool inOrder = true;
        for (const std::wstring& caption : entry.captions) {
            next = std::find(next, captions.end(), caption);
            inOrder = inOrder && next != captions.end();
            if (!inOrder) break;
            ++next;
        }
        EXPECT_TRUE(inOrder) << "not every modal window of the entry came up, in order: "
                             << testing::PrintToString(captions);
        EXPECT_TRUE(IsWindowEnabled(hostWindow)) << "the host's window is enabled again";
        if (entry.after) entry.after(*addIn);
        if (IUnknown* object = entry.after ? addIn : under.releasedByTheHost) object->Release();
        EXPECT_EQ(canUnloadNow(), S_OK) << "the object went when its entry point returned";
    }
    UnhookWindowsHookEx(hook);
    DestroyWindow(hostWindow);
}

}  // namespace
