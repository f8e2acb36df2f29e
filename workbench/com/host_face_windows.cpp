// The workbench's Windows face: the add-in is the COM object of
// Brindlemark5.dll, created by its class id and driven, as a host does,
// through the host's add-in server interface: asked for by the id the
// host's type library gives it and called through its vtable at the slots
// that type library gives its members. The add-in's settings are read by
// the dispatch identifiers of platform/win32/addin_dispids.h, never by
// name. The documents are served to it as COM objects (served_host.h),
// described by the host type library of the session's identity, which is
// registered for the session and removed at its end.
//
// With a registry file, the registry is redirected to it
// (redirected_registry.h). COM's own class lookup does not go through the
// redirected HKEY_CLASSES_ROOT, so the add-in is then created as COM
// creates an in-process server: the library registered there is loaded
// and its class factory asked.

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "addin/cbrindlemark5.h"
#include "core/error.h"
#include "platform/win32/addin_dispids.h"
#include "platform/win32/advapi32_registry.h"
#include "platform/win32/com/error_info.h"
#include "platform/win32/com/guid.h"
#include "platform/win32/com/text.h"
#include "platform/win32/com/type_info.h"
#include "platform/win32/com/unique_any.h"
#include "platform/win32/com_failure.h"
#include "workbench/com/dialog_driver.h"
#include "workbench/com/dll_module.h"
#include "workbench/com/link_handler.h"
#include "workbench/com/redirected_registry.h"
#include "workbench/com/served_host.h"
#include "workbench/host_face.h"
#include "workbench/session.h"

namespace bm::workbench {

namespace fs = std::filesystem;
namespace regfile = portable::regfile;
using Microsoft::WRL::ComPtr;
using com::DllModule;
using com::RedirectedRegistry;
using com::Root;
using com::RootOf;
using com::ValuesOf;
using win32::MemberName;
using win32::UniqueVariant;
using win32::Utf16;
using win32::Utf8;

namespace {

constexpr const wchar_t* kLibraryName = L"Brindlemark5.dll";

// A failure the add-in returned, as the Error of the same kind and words as
// on the other face; the status is kept as the host status.
[[noreturn]] void AddInFailed(HRESULT status, std::string description) {
    if (description.empty()) description = "the add-in answered " + win32::StatusText(status);
    throw Error(win32::KindOf(status), description, status);
}

// One call of the add-in by dispatch identifier. `args` are in the order
// of the member's parameters.
UniqueVariant Call(IDispatch* addin, DISPID id, WORD flags, std::vector<VARIANT> args = {}) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    UniqueVariant result;
    EXCEPINFO exception{};
    UINT badArgument = 0;
    HRESULT status = addin->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.addressof(),
                                   &exception, &badArgument);
    if (SUCCEEDED(status)) return result;
    std::string description;
    if (status == DISP_E_EXCEPTION) {
        description = win32::TakeDescription(exception);
        if (exception.scode != 0) status = exception.scode;
    } else {
        description = win32::ThreadErrorDescription();
    }
    AddInFailed(status, description);
}

// The add-in's side of the host's add-in server interface, called through
// the vtable at the slot the host's type information gives each member.
class ServerInterface {
public:
    ServerInterface(IUnknown* addin, ComPtr<ITypeInfo> info) : info_(std::move(info)) {
        TYPEATTR* attributes = nullptr;
        HRESULT status = info_->GetTypeAttr(&attributes);
        if (SUCCEEDED(status)) {
            status = addin->QueryInterface(attributes->guid, reinterpret_cast<void**>(server_.GetAddressOf()));
            info_->ReleaseTypeAttr(attributes);
        }
        if (FAILED(status))
            throw Error(ErrorKind::HostFailure,
                        "the add-in does not answer the host's add-in server interface (" + win32::StatusText(status) + ")");
    }

    // Calls the member `name` with `args` in the order of its parameters.
    void Call(const wchar_t* name, std::vector<VARIANT> args = {}) const {
        std::vector<VARTYPE> types;
        std::vector<VARIANT*> pointers;
        for (VARIANT& arg : args) {
            types.push_back(V_VT(&arg));
            pointers.push_back(&arg);
        }
        VARIANT result;
        VariantInit(&result);
        win32::ClearErrorInfo();
        HRESULT status = DispCallFunc(server_.Get(), SlotOf(name), CC_STDCALL, VT_ERROR,
                                      static_cast<UINT>(args.size()), types.data(), pointers.data(), &result);
        if (SUCCEEDED(status)) status = V_ERROR(&result);
        if (FAILED(status)) AddInFailed(status, win32::ThreadErrorDescription());
    }

private:
    ULONG_PTR SlotOf(const wchar_t* name) const {
        TYPEATTR* attributes = nullptr;
        if (FAILED(info_->GetTypeAttr(&attributes))) throw Error(ErrorKind::HostFailure, "the host type has no attributes");
        const WORD functions = attributes->cFuncs;
        info_->ReleaseTypeAttr(attributes);
        for (UINT i = 0; i < functions; ++i) {
            FUNCDESC* function = nullptr;
            if (FAILED(info_->GetFuncDesc(i, &function))) break;
            const bool named = function->invkind == INVOKE_FUNC && MemberName(info_.Get(), function->memid) == name;
            const auto slot = static_cast<ULONG_PTR>(function->oVft);
            info_->ReleaseFuncDesc(function);
            if (named) return slot;
        }
        throw Error(ErrorKind::HostFailure, "the host type library has no " + Utf8(name));
    }

    ComPtr<ITypeInfo> info_;
    ComPtr<IUnknown> server_;
};

VARIANT Bool(bool value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VARIANT Long(std::int32_t value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

struct SettingId {
    Settings::Field field;
    DISPID id;
};
constexpr SettingId kSettingIds[] = {
    {Settings::kUpdateOnActivate, BM_DISPID_UPDATEONACTIVATE},
    {Settings::kUpdateExistOnly, BM_DISPID_UPDATEEXISTONLY},
    {Settings::kPrefaceModel, BM_DISPID_PREFACEMODEL},
    {Settings::kSelectProps, BM_DISPID_SELECTPROPS},
    {Settings::kEraseFirst, BM_DISPID_ERASEFIRST},
    {Settings::kMass, BM_DISPID_MASS},
    {Settings::kMassZero, BM_DISPID_MASSZERO},
    {Settings::kMassPrec, BM_DISPID_MASSPREC},
    {Settings::kArea, BM_DISPID_AREA},
    {Settings::kAreaZero, BM_DISPID_AREAZERO},
    {Settings::kAreaPrec, BM_DISPID_AREAPREC},
    {Settings::kVolume, BM_DISPID_VOLUME},
    {Settings::kVolumeZero, BM_DISPID_VOLUMEZERO},
    {Settings::kVolumePrec, BM_DISPID_VOLUMEPREC},
};
static_assert(std::size(kSettingIds) == Settings::kFieldCount);

// A library loaded by this program, freed when it says it can be.
class ComAddIn : public LoadedAddIn {
public:
    ComAddIn(ComPtr<IDispatch> object, std::shared_ptr<const com::HostTypeLibrary> types, std::string library,
             std::unique_ptr<DllModule> loaded)
        : loaded_(std::move(loaded)),
          library_(std::move(library)),
          types_(std::move(types)),
          object_(std::move(object)),
          server_(std::in_place, object_.Get(), types_->Interface(L"ApplicationAddInServer")) {}
    ~ComAddIn() override {
        // The object goes first, then what it was served, then its library.
        server_.reset();
        object_.Reset();
        served_.reset();
        if (!loaded_) CoFreeUnusedLibraries();
    }

    std::string Library() const override { return library_; }
    void Activate(MemoryHost& host, bool firstTime) override {
        served_ = std::make_unique<com::ServedHost>(host, types_);
        UniqueVariant site;
        V_VT(site.addressof()) = VT_DISPATCH;
        V_DISPATCH(site.addressof()) = served_->Site().Detach();
        server_->Call(L"Activate", {*site, Bool(firstTime)});
    }
    void ExecuteCommand(std::int32_t commandId) override { server_->Call(L"ExecuteCommand", {Long(commandId)}); }
    void Deactivate() override { server_->Call(L"Deactivate"); }
    Settings Properties() override {
        Settings settings;
        for (const SettingId& s : kSettingIds) {
            UniqueVariant value = Call(object_.Get(), s.id, DISPATCH_PROPERTYGET);
            const HRESULT converted = VariantChangeType(value.addressof(), value.addressof(), 0, VT_I4);
            if (FAILED(converted))
                throw Error(win32::KindOf(converted), std::string(Settings::property_name(s.field)) +
                                                   " is not a whole number (" + win32::StatusText(converted) + ")");
            settings.put(s.field, V_I4(&*value));
        }
        return settings;
    }
    std::optional<std::int64_t> NameLookups() const override {
        return served_ ? served_->NameLookups() : 0;
    }

private:
    std::unique_ptr<DllModule> loaded_;  // null when COM loaded it
    std::string library_;
    std::shared_ptr<const com::HostTypeLibrary> types_;
    std::unique_ptr<com::ServedHost> served_;
    ComPtr<IDispatch> object_;
    std::optional<ServerInterface> server_;
};

// The library registered for the class, as HKEY_CLASSES_ROOT (redirected
// or not) names it, or "".
std::wstring RegisteredLibrary() {
    const std::wstring key = L"CLSID\\" + Utf16(addin::kClassId) + L"\\InprocServer32";
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD size = static_cast<DWORD>(path.size() * sizeof(wchar_t));
        const LSTATUS status =
            RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, path.data(), &size);
        if (status == ERROR_MORE_DATA) {
            path.resize(size / sizeof(wchar_t) + 1);
            continue;
        }
        if (status != ERROR_SUCCESS) return {};
        path.resize(size / sizeof(wchar_t));
        while (!path.empty() && path.back() == L'\0') path.pop_back();
        return path;
    }
}

bool FileExists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// --- the face ----------------------------------------------------------------

// The host type library, registered as a COM host registers its own, for
// as long as this lives: an add-in finds the host's interfaces through it.
class RegisteredHostTypes {
public:
    explicit RegisteredHostTypes(HostIdentity identity)
        : types_(std::make_shared<com::HostTypeLibrary>(identity)) {
        std::wstring path = types_->Path();
        const HRESULT status = RegisterTypeLib(types_->Library(), path.data(), nullptr);
        if (FAILED(status))
            throw BadRegistry("the host type library cannot be registered (" + win32::StatusText(status) + ")");
    }
    RegisteredHostTypes(const RegisteredHostTypes&) = delete;
    RegisteredHostTypes& operator=(const RegisteredHostTypes&) = delete;
    ~RegisteredHostTypes() {
        TLIBATTR* attributes = nullptr;
        if (FAILED(types_->Library()->GetLibAttr(&attributes))) return;
        UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum, attributes->lcid,
                          attributes->syskind);
        types_->Library()->ReleaseTLibAttr(attributes);
    }

    const std::shared_ptr<const com::HostTypeLibrary>& Types() const { return types_; }

private:
    std::shared_ptr<const com::HostTypeLibrary> types_;
};

class WindowsFace : public HostFace {
public:
    WindowsFace(std::optional<fs::path> registryFile, fs::path library, WorkbenchRuntime& runtime,
                std::optional<fs::path> pictures, HostIdentity identity)
        : library_(std::move(library)), driver_(runtime, std::move(pictures)) {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
            throw BadRegistry("COM cannot be initialised");
        try {
            if (registryFile) {
                redirected_.emplace(fs::absolute(*registryFile));
                links_.emplace(L"mailto", [&runtime](const std::string& link) { runtime.PrintOpenedLink(link); });
            }
            hostTypes_.emplace(identity);
        } catch (...) {
            links_.reset();
            redirected_.reset();
            CoUninitialize();
            throw;
        }
    }
    ~WindowsFace() override {
        hostTypes_.reset();
        links_.reset();
        redirected_.reset();
        CoUninitialize();
    }

    std::unique_ptr<LoadedAddIn> Load(std::ostream& out) override {
        std::wstring registered = RegisteredLibrary();
        std::error_code ec;
        // A registry shared with another build names that build's library;
        // this workbench tries its own, as an installer of this build would.
        const bool named = !registered.empty() && FileExists(registered);
        if (!named || !fs::equivalent(fs::path(registered), library_, ec)) {
            Register();
            out << "  registered the add-in library " << Utf8(library_.wstring());
            if (named) out << " (the registry named " << Utf8(registered) << ")";
            out << "\n";
            registered = RegisteredLibrary();
        }
        if (!redirected_) {
            ComPtr<IDispatch> object;
            const HRESULT status =
                CoCreateInstance(win32::GuidOf(addin::kClassId), nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(object.GetAddressOf()));
            if (FAILED(status))
                throw Error(ErrorKind::HostFailure, "the add-in cannot be created (" + win32::StatusText(status) + ")");
            return std::make_unique<ComAddIn>(std::move(object), hostTypes_->Types(), Utf8(registered), nullptr);
        }
        auto library = std::make_unique<DllModule>(registered, "the add-in library");
        ComPtr<IDispatch> object = library->Create<IDispatch>(win32::GuidOf(addin::kClassId), "the add-in");
        return std::make_unique<ComAddIn>(std::move(object), hostTypes_->Types(), Utf8(registered),
                                          std::move(library));
    }

    std::string RegistryName() const override {
        return redirected_ ? redirected_->Shown() : "the registry of this Windows user";
    }
    std::optional<std::vector<regfile::Value>> ListValues(std::string_view keyPath) override {
        const Root* root = RootOf(keyPath);
        if (!root) return std::nullopt;
        const std::string below(keyPath.substr(std::string_view(root->name).size() + 1));
        win32::Advapi32Registry api;
        reg::Hkey key = 0;
        if (api.RegOpenKeyExA(root->api, below.c_str(), 0, reg::kKeyQueryValue, key) != reg::kErrorSuccess)
            return std::nullopt;
        const KeyCloser closer(api, key);
        return ValuesOf(api, key);
    }

    void Play(const std::function<void()>& step) override { driver_.Play(step); }

    void Close() override {
        // The link handler's keys and the host's type library are the
        // workbench's, not the session's.
        links_.reset();
        hostTypes_.reset();
        if (redirected_) redirected_->Export();
    }

private:
    // What an installer does: the library beside the program registers
    // itself.
    void Register() {
        if (!FileExists(library_.wstring()))
            throw StepRefused("the add-in library is not where it is installed: " + Utf8(library_.wstring()));
        DllModule library(library_.wstring(), "the add-in library");
        auto registerServer = library.Export<HRESULT(STDAPICALLTYPE*)()>("DllRegisterServer");
        const HRESULT status = registerServer ? registerServer() : E_NOTIMPL;
        if (FAILED(status))
            throw Error(ErrorKind::HostFailure, "the add-in library " + Utf8(library_.wstring()) +
                                                    " cannot register itself (" + win32::StatusText(status) + ")");
    }

    fs::path library_;
    std::optional<RedirectedRegistry> redirected_;
    // Only in the redirected registry: the user's own keeps the user's mail program.
    std::optional<com::LinkHandler> links_;
    std::optional<RegisteredHostTypes> hostTypes_;
    com::DialogDriver driver_;
};

}  // namespace

bool FaceShowsWindows() { return true; }

std::unique_ptr<HostFace> OpenHostFace(const std::optional<fs::path>& registryFile, const fs::path& programFolder,
                                       WorkbenchRuntime& runtime, const std::optional<fs::path>& pictures,
                                       HostIdentity identity) {
    std::optional<fs::path> file = registryFile;
    if (!file) {
        // As on the other face, the environment may name the registry file.
        if (const wchar_t* named = _wgetenv(L"BRINDLEMARK_REGISTRY"); named && *named) file = fs::path(named);
    }
    return std::make_unique<WindowsFace>(file, programFolder / kLibraryName, runtime, pictures, identity);
}

}  // namespace bm::workbench
