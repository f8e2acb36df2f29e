#include "platform/win32/addin_object.h"

#include <oleauto.h>
#include <wrl/client.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "addin/cbrindlemark5.h"
#include "brindlemark5.h"  // the type library's interface, made from brindlemark5.idl
#include "core/error.h"
#include "platform/win32/addin_dispids.h"
#include "platform/win32/advapi32_registry.h"
#include "platform/win32/com/type_info.h"
#include "platform/win32/com_failure.h"
#include "platform/win32/com_object.h"
#include "platform/win32/dispatch_host.h"
#include "platform/win32/gdi_raster.h"
#include "platform/win32/module_count.h"
#include "platform/win32/server_interface.h"
#include "platform/win32/this_module.h"
#include "platform/win32/variant_convert.h"
#include "platform/win32/win32_forms_runtime.h"

namespace bm::win32 {

namespace {

using Microsoft::WRL::ComPtr;

// The library's module state, made with the first object and kept while
// the library is loaded.
addin::AddInModule& Module() {
    static Advapi32Registry registry;
    static Win32FormsRuntime forms;
    static GdiRaster raster;
    static addin::AddInModule module(registry, forms, raster);
    return module;
}

// The type information of _CBrindlemark5, from the type library inside
// this DLL: loaded with the first object and shared by the later ones
// until the library may be unloaded (ReleaseAddInTypeInfo).
std::mutex sharedTypeInfoLock;
ComPtr<ITypeInfo> sharedTypeInfo;

ComPtr<ITypeInfo> AddInTypeInfo() {
    const std::lock_guard lock(sharedTypeInfoLock);
    if (sharedTypeInfo) return sharedTypeInfo;
    const std::wstring path = ThisModulePath();
    ComPtr<ITypeLib> library;
    ComPtr<ITypeInfo> info;
    HRESULT status = path.empty() ? E_FAIL : LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (SUCCEEDED(status)) status = library->GetTypeInfoOfGuid(__uuidof(_CBrindlemark5), &info);
    if (FAILED(status))
        raise(ErrorKind::HostFailure, "the add-in's type library cannot be loaded (" + StatusText(status) + ")");
    sharedTypeInfo = info;
    return info;
}

// An object argument the add-in cannot do without, wrapped for the core.
IDispatch* Deref(IDispatch** object) { return object ? *object : nullptr; }

// A script passes an object variable by reference as a reference to its
// VARIANT, and an expression by value; a member that takes an object by
// reference (IDispatch**) is handed a reference to the object either way.
// `objects` holds the references made; it must outlive the call.
DISPPARAMS ObjectsByReference(const DISPPARAMS& params, std::vector<VARIANT>& objects) {
    objects.assign(params.rgvarg, params.rgvarg + params.cArgs);
    for (UINT i = 0; i < params.cArgs; ++i) {
        VARIANT& given = params.rgvarg[i];
        VARIANT* held = V_VT(&given) == (VT_BYREF | VT_VARIANT) ? V_VARIANTREF(&given) : &given;
        if (held && V_VT(held) == VT_DISPATCH) {
            V_VT(&objects[i]) = VT_BYREF | VT_DISPATCH;
            V_DISPATCHREF(&objects[i]) = &V_DISPATCH(held);
        }
    }
    DISPPARAMS byReference = params;
    byReference.rgvarg = objects.data();
    return byReference;
}

template <class Wrap>
auto Given(IDispatch* object, Wrap wrap, const char* what) {
    if (!object) raise(ErrorKind::InvalidArgument, std::string("no ") + what + " was given");
    return wrap(object);
}

class AddInObject final : public ComObject<_CBrindlemark5, ISupportErrorInfo>, private ServerCalls {
public:
    explicit AddInObject(ComPtr<ITypeInfo> typeInfo)
        : typeInfo_(std::move(typeInfo)), object_(Module()) {
        LockModule();
    }
    ~AddInObject() override { UnlockModule(); }

    // Besides its own interfaces, the object answers the host's add-in
    // server interface, whatever the host's id for it (server_interface.h).
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        const HRESULT own = ComObject::QueryInterface(iid, out);
        if (own != E_NOINTERFACE) return own;
        ServerFace* face = FaceFor(iid);
        if (!face) return E_NOINTERFACE;
        AddRef();
        *out = face;
        return S_OK;
    }

    // IDispatch, through the type information.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return OneTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        return OneTypeInfo(typeInfo_, index, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return DispGetIDsOfNames(typeInfo_.Get(), names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* badArgument) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        std::vector<VARIANT> objects;
        DISPPARAMS byReference{};
        if (params && (id == BM_DISPID_GETPHYSICALPROPS || id == BM_DISPID_UPDATEPHYSICALPROPS)) {
            byReference = ObjectsByReference(*params, objects);
            params = &byReference;
        }
        return DispInvoke(static_cast<_CBrindlemark5*>(this), typeInfo_.Get(), id, flags, params, result,
                          exception, badArgument);
    }

    // ISupportErrorInfo
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
        return iid == __uuidof(_CBrindlemark5) || faces_.count(iid) ? S_OK : S_FALSE;
    }

    // _CBrindlemark5
    HRESULT STDMETHODCALLTYPE get_AppEvents(IDispatch** source) override {
        return Read(source, [&]() -> IDispatch* {
            const host::Ref<host::ApplicationEvents>& bound = object_.AppEvents();
            return bound ? DispatchOf(*bound) : nullptr;
        });
    }
    HRESULT STDMETHODCALLTYPE putref_AppEvents(IDispatch* source) override {
        return Entry([&] { object_.AppEvents(source ? ApplicationEventsOver(source) : nullptr); });
    }

#define BM_SETTING_PROPERTY(Name)                                                                \
    HRESULT STDMETHODCALLTYPE put_##Name(LONG lng##Name) override {                             \
        return Entry([&] { object_.Name(lng##Name); });                                          \
    }                                                                                            \
    HRESULT STDMETHODCALLTYPE get_##Name(LONG* value) override {                                \
        return Read(value, [&] { return LONG{object_.Name()}; });                                \
    }
    BM_SETTING_PROPERTY(UpdateOnActivate)
    BM_SETTING_PROPERTY(UpdateExistOnly)
    BM_SETTING_PROPERTY(PrefaceModel)
    BM_SETTING_PROPERTY(SelectProps)
    BM_SETTING_PROPERTY(EraseFirst)
    BM_SETTING_PROPERTY(Mass)
    BM_SETTING_PROPERTY(MassZero)
    BM_SETTING_PROPERTY(MassPrec)
    BM_SETTING_PROPERTY(Area)
    BM_SETTING_PROPERTY(AreaZero)
    BM_SETTING_PROPERTY(AreaPrec)
    BM_SETTING_PROPERTY(Volume)
    BM_SETTING_PROPERTY(VolumeZero)
    BM_SETTING_PROPERTY(VolumePrec)
#undef BM_SETTING_PROPERTY

    HRESULT STDMETHODCALLTYPE ApplicationAddInServer_Activate(IDispatch* AddInSiteObject,
                                                              VARIANT_BOOL FirstTime) override {
        return Entry([&] {
            object_.ApplicationAddInServer_Activate(Given(AddInSiteObject, AddInSiteOver, "add-in site"),
                                                    FirstTime != VARIANT_FALSE);
        });
    }
    HRESULT STDMETHODCALLTYPE get_ApplicationAddInServer_Automation(IDispatch** automation) override {
        return Read(automation, [&]() -> IDispatch* {
            const ObjectRef offered = object_.ApplicationAddInServer_Automation();
            return offered ? DispatchOf(*offered) : nullptr;
        });
    }
    HRESULT STDMETHODCALLTYPE ApplicationAddInServer_Deactivate() override {
        return Entry([&] { object_.ApplicationAddInServer_Deactivate(); });
    }
    HRESULT STDMETHODCALLTYPE ApplicationAddInServer_ExecuteCommand(LONG CommandID) override {
        return Entry([&] { object_.ApplicationAddInServer_ExecuteCommand(CommandID); });
    }

    HRESULT STDMETHODCALLTYPE get_PhysicalUpdate(LONG* sum) override {
        return Read(sum, [&] { return LONG{object_.PhysicalUpdate()}; });
    }

    HRESULT STDMETHODCALLTYPE GetPhysicalProps(IDispatch** oDoc, IDispatch** oCustProps) override {
        return Entry([&] {
            const host::Ref<host::Document> document = Given(Deref(oDoc), DocumentOver, "document");
            const host::Ref<host::PropertySet> target = Given(Deref(oCustProps), PropertySetOver, "property set");
            object_.GetPhysicalProps(*document, *target);
        });
    }
    HRESULT STDMETHODCALLTYPE UpdatePhysicalProps(IDispatch** oCustProps, BSTR strName, BSTR strValue) override {
        return Entry([&] {
            object_.UpdatePhysicalProps(*Given(Deref(oCustProps), PropertySetOver, "property set"),
                                        FromBstr(strName), FromBstr(strValue));
        });
    }

private:
    // Runs an entry point's body. The object holds itself meanwhile: the
    // host may release it while the body waits in a modal dialog, and it
    // must not go before the body returns.
    template <class Body>
    HRESULT Entry(Body&& body) noexcept {
        const ComPtr<_CBrindlemark5> alive(this);
        return ComEntry(__uuidof(_CBrindlemark5), std::forward<Body>(body));
    }

    // A property get: the out pointer is cleared first, so that a failure
    // hands back nothing.
    template <class T, class Get>
    HRESULT Read(T* out, Get&& get) noexcept {
        if (!out) return E_POINTER;
        *out = T{};
        return Entry([&] { *out = get(); });
    }

    ServerFace* FaceFor(REFIID iid) {
        if (const auto known = faces_.find(iid); known != faces_.end()) return known->second.get();
        const std::shared_ptr<const ServerInterface> learned = LearnServerInterface(iid);
        if (!learned) return nullptr;
        return (faces_[iid] = std::make_unique<ServerFace>(*learned, static_cast<ServerCalls&>(*this))).get();
    }

    // ServerCalls: the host's server interface, onto the class's own members.
    HRESULT ServerQueryInterface(REFIID iid, void** out) override { return QueryInterface(iid, out); }
    ULONG ServerAddRef() override { return AddRef(); }
    ULONG ServerRelease() override { return Release(); }
    HRESULT ServerActivate(IDispatch* site, VARIANT_BOOL firstTime) override {
        return ApplicationAddInServer_Activate(site, firstTime);
    }
    HRESULT ServerDeactivate() override { return ApplicationAddInServer_Deactivate(); }
    HRESULT ServerExecuteCommand(LONG commandId) override { return ApplicationAddInServer_ExecuteCommand(commandId); }
    HRESULT ServerAutomation(IDispatch** automation) override {
        return get_ApplicationAddInServer_Automation(automation);
    }

    ComPtr<ITypeInfo> typeInfo_;
    addin::CBrindlemark5 object_;
    // The faces of the host's server interfaces asked for so far, by id.
    std::map<GUID, std::unique_ptr<ServerFace>, GuidLess> faces_;
};

}  // namespace

HRESULT CreateAddInObject(REFIID iid, void** object) noexcept {
    if (!object) return E_POINTER;
    *object = nullptr;
    HRESULT status = E_UNEXPECTED;
    const HRESULT made = ComEntry(__uuidof(_CBrindlemark5), [&] {
        status = MakeCom<AddInObject>(AddInTypeInfo())->QueryInterface(iid, object);
    });
    return FAILED(made) ? made : status;
}

void ReleaseAddInTypeInfo() noexcept {
    const std::lock_guard lock(sharedTypeInfoLock);
    sharedTypeInfo.Reset();
}

}  // namespace bm::win32
