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
// With a registry file, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT of this
// process are pointed at scratch keys holding the file's content, so the
// user's own keys stay untouched, and the scratch keys are written back to
// the file at the end. COM's own class lookup does not go through the
// redirected HKEY_CLASSES_ROOT, so the add-in is then created as COM
// creates an in-process server: the library registered there is loaded
// and its class factory asked.

#include <windows.h>

#include <oleauto.h>
#include <wrl/client.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
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
#include "workbench/com/served_host.h"
#include "workbench/host_face.h"
#include "workbench/session.h"
#include "workbench/system.h"

namespace bm::workbench {

namespace fs = std::filesystem;
namespace regfile = portable::regfile;
using Microsoft::WRL::ComPtr;
using com::DllModule;
using win32::MemberName;
using win32::UniqueHkey;
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

// --- the registry file, imported into scratch keys ------------------------

constexpr const wchar_t* kScratchParent = L"Software\\Brindlemark workbench";

struct Root {
    const char* name;
    HKEY system;
    reg::Hkey api;
};
const Root kRedirectedRoots[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, reg::kHkeyClassesRoot},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER, reg::kHkeyCurrentUser},
};

// The values of an open key in the registry's listing order.
std::vector<regfile::Value> ValuesOf(RegistryApi& api, reg::Hkey key) {
    std::vector<regfile::Value> values;
    reg::DWord count = 0;
    reg::DWord maxName = 0;
    reg::DWord maxData = 0;
    api.RegQueryInfoKeyA(key, &count, &maxName, &maxData);
    for (reg::DWord i = 0; i < count; ++i) {
        std::string name(maxName + 1, '\0');
        Bytes data(maxData);
        reg::DWord nameLength = maxName + 1;
        reg::DWord dataSize = maxData;
        reg::DWord type = 0;
        if (api.RegEnumValueA(key, i, name.data(), &nameLength, &type, data.data(), &dataSize) !=
            reg::kErrorSuccess)
            break;
        name.resize(nameLength);
        data.resize(dataSize);
        values.push_back({name, type, data});
    }
    return values;
}

const Root* RootOf(std::string_view path) {
    for (const Root& root : kRedirectedRoots) {
        const std::string_view name = root.name;
        if (path.size() >= name.size() && regfile::SameName(path.substr(0, name.size()), name) &&
            (path.size() == name.size() || path[name.size()] == '\\'))
            return &root;
    }
    return nullptr;
}

class RedirectedRegistry {
public:
    explicit RedirectedRegistry(fs::path file) : file_(std::move(file)) {
        std::ifstream in(file_, std::ios::binary);
        std::ostringstream text;
        if (in) text << in.rdbuf();
        if (in.bad() || (!in && fs::exists(file_)))
            throw BadRegistry("the registry store " + Shown() + " cannot be read");
        auto parsed = regfile::Parse(text.str());
        if (parsed.error)
            throw BadRegistry("the registry store " + Shown() + " cannot be used: line " +
                              std::to_string(parsed.error->line) + ": " + parsed.error->message);
        original_ = std::move(parsed.document);

        // A scratch tree left by a crashed run of the same process id goes.
        RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str());
        for (std::size_t i = 0; i < std::size(kRedirectedRoots); ++i) {
            const std::wstring below = scratch_ + L"\\" + Utf16(kRedirectedRoots[i].name);
            if (RegCreateKeyExW(HKEY_CURRENT_USER, below.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                targets_[i].put(), nullptr) != ERROR_SUCCESS)
                throw BadRegistry("cannot make the scratch registry keys for " + Shown());
        }
        // Both are made before either is redirected: HKEY_CURRENT_USER must
        // still be the user's while the second is made.
        for (std::size_t i = 0; i < std::size(kRedirectedRoots); ++i) {
            if (RegOverridePredefKey(kRedirectedRoots[i].system, targets_[i].get()) != ERROR_SUCCESS)
                throw BadRegistry("cannot redirect the registry for " + Shown());
            ++redirected_;
        }
        Import();
    }
    RedirectedRegistry(const RedirectedRegistry&) = delete;
    RedirectedRegistry& operator=(const RedirectedRegistry&) = delete;
    ~RedirectedRegistry() {
        for (std::size_t i = 0; i < redirected_; ++i) RegOverridePredefKey(kRedirectedRoots[i].system, nullptr);
        for (UniqueHkey& target : targets_) target.reset();
        RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str());
        // Fails while another workbench still has its keys there.
        RegDeleteKeyW(HKEY_CURRENT_USER, kScratchParent);
    }

    std::string Shown() const { return Utf8(file_.wstring()); }

    // The file as it was, with the redirected roots as they are now: keys
    // that were in the file keep their place, new ones follow.
    void Export() {
        regfile::Document now;
        for (const Root& root : kRedirectedRoots) Collect(root.system, root.name, now);
        regfile::Document out;
        for (const regfile::Key& key : original_.keys) {
            if (!RootOf(key.path)) {
                Copy(key, out);
            } else if (const regfile::Key* current = now.Find(key.path)) {
                Copy(*current, out);
            }
        }
        for (const regfile::Key& key : now.keys)
            if (!out.Find(key.path)) Copy(key, out);
        try {
            system::WriteAtomically(file_, regfile::Serialize(out));
        } catch (const system::FileError& e) {
            throw std::runtime_error(std::string("the registry store cannot be written: ") + e.what());
        }
    }

private:
    static void Copy(const regfile::Key& key, regfile::Document& into) {
        regfile::Key& copy = into.Append(key.path);
        for (const regfile::Value& value : key.values) copy.Set(value);
    }

    void Import() {
        for (const regfile::Key& key : original_.keys) {
            const Root* root = RootOf(key.path);
            if (!root) continue;  // kept as it is, and written back so
            const std::string below = key.path.size() > std::string_view(root->name).size()
                                          ? key.path.substr(std::string_view(root->name).size() + 1)
                                          : std::string();
            reg::Hkey handle = 0;
            if (api_.RegCreateKeyExA(root->api, below.c_str(), 0, reg::kKeyAccess, handle, nullptr) !=
                reg::kErrorSuccess)
                throw BadRegistry("cannot import " + key.path + " from " + Shown());
            const KeyCloser closer(api_, handle);
            bool written = true;
            for (const regfile::Value& value : key.values)
                written = written && api_.RegSetValueExA(handle, value.name.c_str(), value.type, value.data.data(),
                                                         static_cast<reg::DWord>(value.data.size())) ==
                                         reg::kErrorSuccess;
            if (!written) throw BadRegistry("cannot import the values of " + key.path + " from " + Shown());
        }
    }

    // Every key below the root `key`, each with its values, as the
    // registry editor exports it.
    void Collect(HKEY key, const std::string& path, regfile::Document& into) {
        std::vector<std::wstring> subKeys;
        for (DWORD i = 0;; ++i) {
            wchar_t name[256];
            DWORD length = 256;
            if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
            subKeys.emplace_back(name, length);
        }
        if (path.find('\\') != std::string::npos) {
            regfile::Key& section = into.Append(path);
            const reg::Hkey handle = static_cast<reg::Hkey>(reinterpret_cast<std::uintptr_t>(key));
            for (regfile::Value& value : ValuesOf(api_, handle)) section.Set(std::move(value));
        }
        for (const std::wstring& name : subKeys) {
            UniqueHkey child;
            if (RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, child.put()) == ERROR_SUCCESS)
                Collect(child.get(), path + "\\" + Utf8(name), into);
        }
    }

    fs::path file_;
    regfile::Document original_;
    std::wstring scratch_ = std::wstring(kScratchParent) + L"\\" + std::to_wstring(GetCurrentProcessId());
    UniqueHkey targets_[std::size(kRedirectedRoots)];
    std::size_t redirected_ = 0;
    win32::Advapi32Registry api_;
};

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
