#include "workbench/com/served_host.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "core/error.h"
#include "host_types.h"  // made from host_types.idl
#include "platform/win32/com/error_info.h"
#include "platform/win32/com/text.h"
#include "platform/win32/com/type_info.h"
#include "platform/win32/com_object.h"
#include "platform/win32/dispatch_host.h"
#include "platform/win32/this_module.h"
#include "platform/win32/variant_convert.h"

namespace bm::workbench::com {

namespace {

using Microsoft::WRL::ComPtr;

GUID IidOf(ITypeInfo* info) {
    TYPEATTR* attributes = nullptr;
    if (FAILED(info->GetTypeAttr(&attributes))) raise(ErrorKind::HostFailure, "a host type has no attributes");
    const GUID iid = attributes->guid;
    info->ReleaseTypeAttr(attributes);
    return iid;
}

ComPtr<ITypeLib> LoadHostLibrary(const std::wstring& path) {
    ComPtr<ITypeLib> library;
    const HRESULT status = LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(status))
        raise(ErrorKind::HostFailure, "the host type library cannot be loaded (" + win32::StatusText(status) + ")");
    return library;
}

// The interfaces of `library` by name: the vtable half of a dual interface,
// a dispinterface as it is.
std::map<std::wstring, ComPtr<ITypeInfo>> InterfacesOf(ITypeLib* library) {
    std::map<std::wstring, ComPtr<ITypeInfo>> interfaces;
    for (UINT i = 0, n = library->GetTypeInfoCount(); i < n; ++i) {
        TYPEKIND kind{};
        if (FAILED(library->GetTypeInfoType(i, &kind)) || (kind != TKIND_DISPATCH && kind != TKIND_INTERFACE))
            continue;
        ComPtr<ITypeInfo> info;
        if (FAILED(library->GetTypeInfo(i, &info))) continue;
        ComPtr<ITypeInfo> vtable = win32::VtableHalf(info.Get());
        interfaces[win32::MemberName(info.Get(), MEMBERID_NIL)] = vtable ? vtable : info;
    }
    return interfaces;
}

}  // namespace

HostTypeLibrary::HostTypeLibrary(HostIdentity identity) {
    const std::wstring program = win32::ThisModulePath();
    path_ = program + (identity == HostIdentity::kStandard ? L"\\1" : L"\\2");
    library_ = LoadHostLibrary(path_);
    interfaces_ = InterfacesOf(library_.Get());
    // The objects' C++ declarations carry the standard library's ids; each
    // finds its type information under the same name here.
    const ComPtr<ITypeLib> standard = identity == HostIdentity::kStandard ? library_ : LoadHostLibrary(program + L"\\1");
    for (const auto& [name, info] : InterfacesOf(standard.Get()))
        if (const auto own = interfaces_.find(name); own != interfaces_.end())
            described_[IidOf(info.Get())] = Description{own->second, IidOf(own->second.Get())};
    const ComPtr<ITypeInfo> events = Interface(L"HostApplicationEvents");
    eventsIid_ = IidOf(events.Get());
    LPOLESTR name = const_cast<LPOLESTR>(L"OnActivateDocument");
    if (FAILED(events->GetIDsOfNames(&name, 1, &onActivateDocument_)))
        raise(ErrorKind::HostFailure, "the host type library describes no OnActivateDocument");
}

ComPtr<ITypeInfo> HostTypeLibrary::Interface(const std::wstring& name) const {
    const auto found = interfaces_.find(name);
    if (found == interfaces_.end()) raise(ErrorKind::HostFailure, "the host type library lacks " + win32::Utf8(name));
    return found->second;
}

const HostTypeLibrary::Description& HostTypeLibrary::Described(REFIID standardIid) const {
    const auto found = described_.find(standardIid);
    if (found == described_.end()) raise(ErrorKind::HostFailure, "a served interface is not in the host type library");
    return found->second;
}

struct ServedHost::State {
    std::shared_ptr<const HostTypeLibrary> types;
    std::int64_t nameLookups = 0;
};

namespace {

using StateRef = std::shared_ptr<ServedHost::State>;
using win32::ComObject;
using win32::UniqueVariant;

// The refusal of a call as COM reports it where there is no EXCEPINFO:
// the status, and the message as the thread's error info.
HRESULT Refused(const std::exception& failure) noexcept {
    win32::SetErrorDescription(failure.what());
    return kHostRefused;
}

template <class Body>
HRESULT Answer(Body&& body) noexcept {
    try {
        body();
        return S_OK;
    } catch (const std::exception& failure) {
        return Refused(failure);
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// A read: the out value cleared first, so a failure hands back nothing.
template <class T, class Get>
HRESULT Out(T* out, Get&& get) noexcept {
    if (!out) return E_POINTER;
    *out = T{};
    return Answer([&] { *out = get(); });
}

template <class Get>
HRESULT OutText(BSTR* out, Get&& get) noexcept {
    return Out(out, [&] { return win32::ToBstr(get()); });
}

// Base of the served automation objects: the vtable interface I, and
// IDispatch through I's type information in the host's library.
template <class I, class... Extra>
class Served : public ComObject<I, Extra...> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == described_.iid) {
            *out = static_cast<I*>(this);
            this->AddRef();
            return S_OK;
        }
        // The C++ declaration's id is the standard host's, not this one's.
        if (iid == __uuidof(I)) return E_NOINTERFACE;
        return ComObject<I, Extra...>::QueryInterface(iid, out);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return win32::OneTypeInfoCount(count); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        return win32::OneTypeInfo(described_.info, index, info);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        ++state_->nameLookups;
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return DispGetIDsOfNames(described_.info.Get(), names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* badArgument) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        return DispInvoke(static_cast<I*>(this), described_.info.Get(), id, flags, params, result, exception, badArgument);
    }

protected:
    explicit Served(StateRef state)
        : state_(std::move(state)), described_(state_->types->Described(__uuidof(I))) {}

    // A new served object of class S over `object`, handed out through
    // `out`; none for none, which the caller then reports as a failure.
    template <class S, class Handed, class Get>
    HRESULT Hand(Handed** out, Get&& get) noexcept {
        return com::Out(out, [&]() -> Handed* {
            auto object = get();
            return object ? win32::MakeCom<S>(state_, std::move(object)).Detach() : nullptr;
        });
    }

    StateRef state_;
    const HostTypeLibrary::Description& described_;  // held through state_
};

// A served object over the memory host's object of interface H.
template <class I, class H, class... Extra>
class Over : public Served<I, Extra...> {
public:
    Over(StateRef state, host::Ref<H> object) : Served<I, Extra...>(std::move(state)), object_(std::move(object)) {}

protected:
    host::Ref<H> object_;
};

// ---- enumerators --------------------------------------------------------------

void Put(VARIANT& out, const ComPtr<IDispatch>& item) {
    VariantInit(&out);
    out.vt = VT_DISPATCH;
    out.pdispVal = item.Get();
    if (item) item->AddRef();
}

void Put(IConnectionPoint*& out, const ComPtr<IConnectionPoint>& item) {
    out = item.Get();
    if (item) item->AddRef();
}

// An enumeration interface Enum over items of interface Item, handed out
// as Slot (a VARIANT or an interface pointer).
template <class Enum, class Slot, class Item>
class Enumerator final : public ComObject<Enum> {
public:
    explicit Enumerator(std::vector<ComPtr<Item>> items, std::size_t next = 0)
        : items_(std::move(items)), next_(next) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, Slot* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        for (; n < count && next_ < items_.size(); ++n, ++next_) Put(out[n], items_[next_]);
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
        const std::size_t left = items_.size() - next_;
        next_ += std::min<std::size_t>(count, left);
        return count <= left ? S_OK : S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override {
        next_ = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(Enum** copy) override {
        if (!copy) return E_POINTER;
        *copy = win32::MakeCom<Enumerator>(items_, next_).Detach();
        return S_OK;
    }

private:
    std::vector<ComPtr<Item>> items_;
    std::size_t next_;
};

// ---- lists ------------------------------------------------------------------

template <class I, class H, class ItemServed, class ItemI>
class ServedList : public Over<I, H> {
public:
    using Over<I, H>::Over;

    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        return Out(count, [&] { return LONG{this->object_->Count()}; });
    }
    HRESULT STDMETHODCALLTYPE get_Item(LONG position, ItemI** item) override {
        return this->template Hand<ItemServed>(item, [&] { return this->object_->Item(position); });
    }
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** items) override {
        return Out(items, [&]() -> IUnknown* {
            std::vector<ComPtr<IDispatch>> served;
            for (auto& item : this->object_->Enumerate())
                served.push_back(win32::MakeCom<ItemServed>(this->state_, std::move(item)));
            return win32::MakeCom<Enumerator<IEnumVARIANT, VARIANT, IDispatch>>(std::move(served)).Detach();
        });
    }
};

// ---- documents --------------------------------------------------------------

class ServedProperty final : public Over<HostProperty, host::Property> {
public:
    using Over::Over;
    HRESULT STDMETHODCALLTYPE get_PropName(BSTR* name) override {
        return OutText(name, [&] { return object_->PropName(); });
    }
    HRESULT STDMETHODCALLTYPE get_PropValue(VARIANT* value) override {
        if (!value) return E_POINTER;
        VariantInit(value);
        return Answer([&] { win32::ToVariant(object_->PropValue(), *value); });
    }
    HRESULT STDMETHODCALLTYPE put_PropValue(VARIANT value) override {
        return Answer([&] { object_->PropValue(win32::FromVariant(value)); });
    }
    HRESULT STDMETHODCALLTYPE PropDelete() override {
        return Answer([&] { object_->PropDelete(); });
    }
};

class ServedPropertySet final
    : public ServedList<HostPropertySet, host::PropertySet, ServedProperty, HostProperty> {
public:
    using ServedList::ServedList;
    HRESULT STDMETHODCALLTYPE PropAdd(VARIANT value, BSTR name, HostProperty** property) override {
        return Hand<ServedProperty>(property, [&] {
            return object_->PropAdd(win32::FromVariant(value), win32::FromBstr(name));
        });
    }
};

class ServedPropertySets final : public Over<HostPropertySets, host::PropertySets> {
public:
    using Over::Over;
    HRESULT STDMETHODCALLTYPE get_Item(BSTR formatId, HostPropertySet** set) override {
        return Hand<ServedPropertySet>(set, [&] { return object_->Item(win32::FromBstr(formatId)); });
    }
};

class ServedMassProperties final : public Over<HostMassProperties, host::MassProperties> {
public:
    using Over::Over;
    HRESULT STDMETHODCALLTYPE put_MassAccuracy(LONG accuracy) override {
        return Answer([&] { object_->MassAccuracy(accuracy); });
    }
    HRESULT STDMETHODCALLTYPE get_MassValue(double* mass) override {
        return Out(mass, [&] { return object_->MassValue(); });
    }
    HRESULT STDMETHODCALLTYPE get_AreaValue(double* area) override {
        return Out(area, [&] { return object_->AreaValue(); });
    }
    HRESULT STDMETHODCALLTYPE get_VolumeValue(double* volume) override {
        return Out(volume, [&] { return object_->VolumeValue(); });
    }
};

// Served as a part's or as an assembly's definition (I), which name their
// mass properties by different identifiers.
template <class I>
class ServedDefinition final : public Over<I, host::ComponentDefinition> {
public:
    using Over<I, host::ComponentDefinition>::Over;
    HRESULT STDMETHODCALLTYPE get_DefinitionMassProps(HostMassProperties** mass) override {
        return this->template Hand<ServedMassProperties>(mass, [&] { return this->object_->DefinitionMassProps(); });
    }
};

class ServedUnits final : public Over<HostUnitsService, host::UnitsService> {
public:
    using Over::Over;
    HRESULT STDMETHODCALLTYPE UnitText(LONG unitCode, BSTR* text) override {
        return OutText(text, [&] { return object_->UnitText(unitCode); });
    }
    HRESULT STDMETHODCALLTYPE UnitConvert(double* value, VARIANT units, BSTR* text) override {
        if (!value) return E_POINTER;
        return OutText(text, [&] { return object_->UnitConvert(*value, win32::FromVariant(units)); });
    }
};

class ServedDocument;

class ServedFileRef final : public Over<HostFileRef, host::FileRef> {
public:
    using Over::Over;
    HRESULT STDMETHODCALLTYPE get_FileRefKind(LONG* kind) override {
        return Out(kind, [&] { return LONG{object_->FileRefKind()}; });
    }
    HRESULT STDMETHODCALLTYPE get_FileRefName(BSTR* name) override {
        return OutText(name, [&] { return object_->FileRefName(); });
    }
    HRESULT STDMETHODCALLTYPE get_FileRefFullName(BSTR* name) override {
        return OutText(name, [&] { return object_->FileRefFullName(); });
    }
    HRESULT STDMETHODCALLTYPE get_FileRefDocument(HostDocument** document) override;
};

class ServedDocument final : public Over<HostDocument, host::Document> {
public:
    using Over::Over;
    HRESULT STDMETHODCALLTYPE get_DocKind(LONG* kind) override {
        return Out(kind, [&] { return LONG{object_->DocKind()}; });
    }
    HRESULT STDMETHODCALLTYPE get_FileRefs(HostFileRefList** references) override {
        using FileRefs = ServedList<HostFileRefList, host::FileRefList, ServedFileRef, HostFileRef>;
        return Hand<FileRefs>(references, [&] { return object_->FileRefs(); });
    }
    HRESULT STDMETHODCALLTYPE get_DocPropertySets(HostPropertySets** sets) override {
        return Hand<ServedPropertySets>(sets, [&] { return object_->DocPropertySets(); });
    }
    HRESULT STDMETHODCALLTYPE DocUpdate() override {
        return Answer([&] { object_->DocUpdate(); });
    }
    HRESULT STDMETHODCALLTYPE get_DocUnits(HostUnitsService** units) override {
        return Hand<ServedUnits>(units, [&] { return object_->DocUnits(); });
    }
    HRESULT STDMETHODCALLTYPE get_PartDefinition(HostPartDefinition** definition) override {
        return Hand<ServedDefinition<HostPartDefinition>>(definition, [&] { return object_->PartDefinition(); });
    }
    HRESULT STDMETHODCALLTYPE get_AssemblyDefinition(HostAssemblyDefinition** definition) override {
        return Hand<ServedDefinition<HostAssemblyDefinition>>(definition,
                                                              [&] { return object_->AssemblyDefinition(); });
    }
};

HRESULT ServedFileRef::get_FileRefDocument(HostDocument** document) {
    return Hand<ServedDocument>(document, [&] { return object_->FileRefDocument(); });
}

// ---- events -----------------------------------------------------------------

// A COM sink bound to the memory host's event source: each notification
// becomes an Invoke of OnActivateDocument by the library's DISPID, the
// arguments reversed and the handling code by reference. What the sink
// reports as a failure reaches the memory host's caller.
class ForwardingSink final : public host::ApplicationEventSink {
public:
    ForwardingSink(StateRef state, ComPtr<IDispatch> sink) : state_(std::move(state)), sink_(std::move(sink)) {}

    void OnActivateDocument(const host::Ref<host::Document>& document, std::int32_t beforeOrAfter,
                            const Variant& context, std::int32_t& handlingCode) override {
        static_assert(sizeof(UniqueVariant) == sizeof(VARIANT));
        LONG code = handlingCode;
        std::array<UniqueVariant, 4> reversed;
        reversed[0].addressof()->vt = VT_BYREF | VT_I4;
        reversed[0].addressof()->plVal = &code;
        win32::ToVariant(context, *reversed[1].addressof());
        win32::ToVariant(beforeOrAfter, *reversed[2].addressof());
        reversed[3].addressof()->vt = VT_DISPATCH;
        reversed[3].addressof()->pdispVal =
            document ? static_cast<IDispatch*>(win32::MakeCom<ServedDocument>(state_, document).Detach()) : nullptr;
        DISPPARAMS params{reversed[0].addressof(), nullptr, 4, 0};
        // The sink may unadvise itself, and so end this forwarder, while
        // it handles the event.
        const ComPtr<IDispatch> sink = sink_;
        win32::InvokeDispatch(sink.Get(), state_->types->OnActivateDocument(), DISPATCH_METHOD, params,
                              "OnActivateDocument");
        handlingCode = code;
    }

private:
    StateRef state_;
    ComPtr<IDispatch> sink_;
};

class ConnectionPoint final : public ComObject<IConnectionPoint> {
public:
    ConnectionPoint(StateRef state, host::Ref<host::ApplicationEvents> events,
                    ComPtr<IConnectionPointContainer> container)
        : state_(std::move(state)), events_(std::move(events)), container_(std::move(container)) {}

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = state_->types->EventsIid();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override {
        if (!container) return E_POINTER;
        return container_.CopyTo(container);
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        *cookie = 0;
        // A sink answers the event interface; its IDispatch is what is called.
        ComPtr<IUnknown> events;
        ComPtr<IDispatch> dispatch;
        if (FAILED(sink->QueryInterface(state_->types->EventsIid(), &events)) ||
            FAILED(sink->QueryInterface(IID_PPV_ARGS(&dispatch))))
            return CONNECT_E_CANNOTCONNECT;
        return Answer([&] {
            auto forward = std::make_unique<ForwardingSink>(state_, std::move(dispatch));
            std::shared_ptr<void> connection = events_->Bind(*forward);
            *cookie = ++lastCookie_;
            advised_.emplace(*cookie, Advice{std::move(forward), std::move(connection)});
        });
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        return advised_.erase(cookie) ? S_OK : CONNECT_E_NOCONNECTION;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

private:
    struct Advice {
        std::unique_ptr<ForwardingSink> sink;
        std::shared_ptr<void> connection;  // released first: unbinds before the sink goes
    };

    StateRef state_;
    host::Ref<host::ApplicationEvents> events_;
    ComPtr<IConnectionPointContainer> container_;
    std::map<DWORD, Advice> advised_;
    DWORD lastCookie_ = 0;
};

class ServedEvents final
    : public Over<HostApplicationEventSource, host::ApplicationEvents, IConnectionPointContainer> {
public:
    using Over::Over;

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override {
        return Out(points, [&]() -> IEnumConnectionPoints* {
            std::vector<ComPtr<IConnectionPoint>> one{Point()};
            return win32::MakeCom<Enumerator<IEnumConnectionPoints, IConnectionPoint*, IConnectionPoint>>(
                       std::move(one))
                .Detach();
        });
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        if (!point) return E_POINTER;
        *point = nullptr;
        if (iid != state_->types->EventsIid()) return CONNECT_E_NOCONNECTION;
        *point = Point().Detach();
        return S_OK;
    }

private:
    ComPtr<IConnectionPoint> Point() {
        return win32::MakeCom<ConnectionPoint>(state_, object_, ComPtr<IConnectionPointContainer>(this));
    }
};

// ---- application --------------------------------------------------------------

class ServedCommand final : public Over<HostCommandDefinition, host::CommandDefinition> {
public:
    using Over::Over;
    HRESULT STDMETHODCALLTYPE put_CommandEnabled(VARIANT_BOOL enabled) override {
        return Answer([&] { object_->CommandEnabled(enabled != VARIANT_FALSE); });
    }
};

class ServedAddInEntry final : public Over<HostAddInEntry, host::AddInEntry> {
public:
    using Over::Over;
    HRESULT STDMETHODCALLTYPE put_AddInActive(VARIANT_BOOL active) override {
        return Answer([&] { object_->AddInActive(active != VARIANT_FALSE); });
    }
};

class ServedAddInList final : public Over<HostAddInList, host::AddInList> {
public:
    using Over::Over;
    HRESULT STDMETHODCALLTYPE get_Item(BSTR classId, HostAddInEntry** entry) override {
        return Hand<ServedAddInEntry>(entry, [&] { return object_->Item(win32::FromBstr(classId)); });
    }
};

class ServedVersion final : public Over<HostSoftwareVersion, host::SoftwareVersion> {
public:
    using Over::Over;
    HRESULT STDMETHODCALLTYPE get_VersionMajor(LONG* major) override {
        return Out(major, [&] { return LONG{object_->VersionMajor()}; });
    }
};

class ServedApplication final : public Over<HostApplication, host::Application> {
public:
    using Over::Over;
    HRESULT STDMETHODCALLTYPE get_AppEventSource(HostApplicationEventSource** source) override {
        return Hand<ServedEvents>(source, [&] { return object_->AppEventSource(); });
    }
    HRESULT STDMETHODCALLTYPE get_HostVersion(HostSoftwareVersion** version) override {
        return Hand<ServedVersion>(version, [&] { return object_->HostVersion(); });
    }
    HRESULT STDMETHODCALLTYPE get_AddInList(HostAddInList** list) override {
        return Hand<ServedAddInList>(list, [&] { return object_->AddInList(); });
    }
    HRESULT STDMETHODCALLTYPE get_CurrentDocument(HostDocument** document) override {
        return Hand<ServedDocument>(document, [&] { return object_->CurrentDocument(); });
    }
};

class ServedSite final : public Over<HostAddInSite, host::AddInSite> {
public:
    using Over::Over;
    HRESULT STDMETHODCALLTYPE get_SiteApplication(HostApplication** application) override {
        return Hand<ServedApplication>(application, [&] { return object_->SiteApplication(); });
    }
    HRESULT STDMETHODCALLTYPE AddCommand(BSTR caption, LONG commandId, VARIANT_BOOL flag,
                                         HostCommandDefinition** command) override {
        return Hand<ServedCommand>(command, [&] {
            return object_->AddCommand(win32::FromBstr(caption), commandId, flag != VARIANT_FALSE);
        });
    }
};

}  // namespace

ServedHost::ServedHost(MemoryHost& host, std::shared_ptr<const HostTypeLibrary> types)
    : host_(host), state_(std::make_shared<State>(State{std::move(types)})) {}

ComPtr<IDispatch> ServedHost::Site() const {
    return win32::MakeCom<ServedSite>(state_, host::Ref<host::AddInSite>(host_.Site()));
}

std::int64_t ServedHost::NameLookups() const { return state_->nameLookups; }

}  // namespace bm::workbench::com
