#include "workbench/com/served_host.h"

#include <ocidl.h>
#include <olectl.h>

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "host/dispids.h"
#include "platform/win32/com_object.h"
#include "platform/win32/dispatch_host.h"
#include "platform/win32/variant_convert.h"

namespace bm::workbench::com {

struct ServedHost::State {
    std::int64_t nameLookups = 0;
};

namespace {

using Microsoft::WRL::ComPtr;
using StateRef = std::shared_ptr<ServedHost::State>;
using win32::ComObject;
using win32::OwnedVariant;
namespace dispid = host::dispid;

// A call refused before it reaches the memory host: the status Invoke
// answers, and the argument at fault.
struct Refusal {
    HRESULT status;
    UINT argument = 0;
};

// One Invoke as a served object reads it: the kind of call, its arguments
// in reading order, and its result.
class Request {
public:
    Request(WORD flags, DISPPARAMS* params, VARIANT* result)
        : flags_(flags), params_(params ? *params : DISPPARAMS{}), result_(result) {}

    bool IsPut() const { return flags_ & DISPATCH_PROPERTYPUT; }
    // A property get or a method call with `args` arguments: late binding
    // calls a member with a value either way.
    void Get(UINT args = 0) const { Expect(DISPATCH_PROPERTYGET | DISPATCH_METHOD, args, 0); }
    void Method(UINT args) const { Expect(DISPATCH_METHOD, args, 0); }
    // A property put: one value, named DISPID_PROPERTYPUT.
    void Put() const {
        Expect(DISPATCH_PROPERTYPUT, 1, 1);
        if (!params_.rgdispidNamedArgs || params_.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
            throw Refusal{DISP_E_PARAMNOTFOUND};
    }

    std::int32_t Long(UINT i) const { return Coerced(i, VT_I4)->lVal; }
    bool Bool(UINT i) const { return Coerced(i, VT_BOOL)->boolVal != VARIANT_FALSE; }
    std::string Text(UINT i) const { return win32::FromBstr(Coerced(i, VT_BSTR)->bstrVal); }
    Variant Value(UINT i) const { return win32::FromVariant(At(i)); }
    double& DoubleByRef(UINT i) const {
        VARIANT& v = At(i);
        if (v.vt != (VT_BYREF | VT_R8) || !v.pdblVal) throw Refusal{DISP_E_TYPEMISMATCH, Position(i)};
        return *v.pdblVal;
    }

    void Return(const Variant& value) const {
        if (result_) win32::ToVariant(value, *result_);
    }
    void Return(ComPtr<IDispatch> object) const {
        if (!result_) return;
        VariantClear(result_);
        result_->vt = VT_DISPATCH;
        result_->pdispVal = object.Detach();
    }
    void ReturnUnknown(ComPtr<IUnknown> object) const {
        if (!result_) return;
        VariantClear(result_);
        result_->vt = VT_UNKNOWN;
        result_->punkVal = object.Detach();
    }

private:
    void Expect(WORD kinds, UINT args, UINT named) const {
        if (!(flags_ & kinds)) throw Refusal{DISP_E_MEMBERNOTFOUND};
        if (params_.cArgs != args || params_.cNamedArgs != named) throw Refusal{DISP_E_BADPARAMCOUNT};
    }
    UINT Position(UINT i) const { return params_.cArgs - 1 - i; }
    VARIANT& At(UINT i) const { return params_.rgvarg[Position(i)]; }
    OwnedVariant Coerced(UINT i, VARTYPE type) const {
        OwnedVariant value;
        if (FAILED(VariantChangeType(value.get(), &At(i), 0, type)))
            throw Refusal{DISP_E_TYPEMISMATCH, Position(i)};
        return value;
    }

    WORD flags_;
    DISPPARAMS params_;
    VARIANT* result_;
};

// Base of the served automation objects: IDispatch without type
// information, Invoke answering through Serve.
template <class... Extra>
class Served : public ComObject<IDispatch, Extra...> {
public:
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        ++state_->nameLookups;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* badArgument) override {
        if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
        try {
            return Serve(id, Request(flags, params, result)) ? S_OK : DISP_E_MEMBERNOTFOUND;
        } catch (const Refusal& refusal) {
            if (badArgument) *badArgument = refusal.argument;
            return refusal.status;
        } catch (const std::exception& failure) {
            return win32::ExceptionToCaller(failure, exception);
        }
    }

protected:
    explicit Served(StateRef state) : state_(std::move(state)) {}
    // Answers member `id`; false when there is none of that identifier.
    virtual bool Serve(DISPID id, const Request& call) = 0;

    StateRef state_;
};

// The served object of a memory host object; none for none, which the
// caller then reports as a host failure.
template <class S, class Ref, class... Extra>
ComPtr<IDispatch> Serve(const StateRef& state, Ref object, Extra... extra) {
    if (!object) return nullptr;
    return win32::MakeCom<S>(state, std::move(object), extra...);
}

// A served object over the host interface I.
template <class I>
class Over : public Served<> {
public:
    Over(StateRef state, host::Ref<I> object) : Served(std::move(state)), object_(std::move(object)) {}

protected:
    host::Ref<I> object_;
};

// ---- lists ------------------------------------------------------------------

class Enumerator final : public ComObject<IEnumVARIANT> {
public:
    explicit Enumerator(std::vector<ComPtr<IDispatch>> items, std::size_t next = 0)
        : items_(std::move(items)), next_(next) {}

    HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* out, ULONG* fetched) override {
        if (!out || (count > 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        for (; n < count && next_ < items_.size(); ++n, ++next_) {
            VariantInit(&out[n]);
            out[n].vt = VT_DISPATCH;
            out[n].pdispVal = items_[next_].Get();
            if (out[n].pdispVal) out[n].pdispVal->AddRef();
        }
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
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override {
        if (!copy) return E_POINTER;
        *copy = win32::MakeCom<Enumerator>(items_, next_).Detach();
        return S_OK;
    }

private:
    std::vector<ComPtr<IDispatch>> items_;
    std::size_t next_;
};

template <class Interface, class ItemServed>
class ServedList : public Over<Interface> {
public:
    using Over<Interface>::Over;

protected:
    bool Serve(DISPID id, const Request& call) override {
        switch (id) {
            case dispid::Count:
                call.Get();
                call.Return(this->object_->Count());
                return true;
            case dispid::Item:
                call.Get(1);
                call.Return(com::Serve<ItemServed>(this->state_, this->object_->Item(call.Long(0))));
                return true;
            case dispid::NewEnum: {
                call.Get();
                std::vector<ComPtr<IDispatch>> items;
                for (auto& item : this->object_->Enumerate())
                    items.push_back(com::Serve<ItemServed>(this->state_, std::move(item)));
                call.ReturnUnknown(win32::MakeCom<Enumerator>(std::move(items)));
                return true;
            }
            default: return false;
        }
    }
};

// ---- documents --------------------------------------------------------------

class ServedProperty final : public Over<host::Property> {
public:
    using Over::Over;

protected:
    bool Serve(DISPID id, const Request& call) override {
        switch (id) {
            case dispid::PropName: call.Get(); call.Return(object_->PropName()); return true;
            case dispid::PropValue:
                if (call.IsPut()) {
                    call.Put();
                    object_->PropValue(call.Value(0));
                } else {
                    call.Get();
                    call.Return(object_->PropValue());
                }
                return true;
            case dispid::PropDelete: call.Method(0); object_->PropDelete(); return true;
            default: return false;
        }
    }
};

class ServedPropertySet final : public ServedList<host::PropertySet, ServedProperty> {
public:
    using ServedList::ServedList;

protected:
    bool Serve(DISPID id, const Request& call) override {
        if (id != dispid::PropAdd) return ServedList::Serve(id, call);
        call.Method(2);
        call.Return(com::Serve<ServedProperty>(state_, object_->PropAdd(call.Value(0), call.Text(1))));
        return true;
    }
};

class ServedPropertySets final : public Over<host::PropertySets> {
public:
    using Over::Over;

protected:
    bool Serve(DISPID id, const Request& call) override {
        if (id != dispid::Item) return false;
        call.Get(1);
        call.Return(com::Serve<ServedPropertySet>(state_, object_->Item(call.Text(0))));
        return true;
    }
};

class ServedMassProperties final : public Over<host::MassProperties> {
public:
    using Over::Over;

protected:
    bool Serve(DISPID id, const Request& call) override {
        switch (id) {
            case dispid::MassAccuracy: call.Put(); object_->MassAccuracy(call.Long(0)); return true;
            case dispid::MassValue: call.Get(); call.Return(object_->MassValue()); return true;
            case dispid::AreaValue: call.Get(); call.Return(object_->AreaValue()); return true;
            case dispid::VolumeValue: call.Get(); call.Return(object_->VolumeValue()); return true;
            default: return false;
        }
    }
};

// Served as a part's or as an assembly's definition, which name their
// mass properties by different identifiers.
class ServedDefinition final : public Over<host::ComponentDefinition> {
public:
    ServedDefinition(StateRef state, host::Ref<host::ComponentDefinition> object, DISPID massProps)
        : Over(std::move(state), std::move(object)), massProps_(massProps) {}

protected:
    bool Serve(DISPID id, const Request& call) override {
        if (id != massProps_) return false;
        call.Get();
        call.Return(com::Serve<ServedMassProperties>(state_, object_->DefinitionMassProps()));
        return true;
    }

private:
    DISPID massProps_;
};

class ServedUnits final : public Over<host::UnitsService> {
public:
    using Over::Over;

protected:
    bool Serve(DISPID id, const Request& call) override {
        switch (id) {
            case dispid::UnitText: call.Get(1); call.Return(object_->UnitText(call.Long(0))); return true;
            case dispid::UnitConvert: {
                call.Method(2);
                double& value = call.DoubleByRef(0);
                call.Return(object_->UnitConvert(value, call.Value(1)));
                return true;
            }
            default: return false;
        }
    }
};

class ServedDocument;

class ServedFileRef final : public Over<host::FileRef> {
public:
    using Over::Over;

protected:
    bool Serve(DISPID id, const Request& call) override;
};

class ServedDocument final : public Over<host::Document> {
public:
    using Over::Over;

protected:
    bool Answers(REFIID iid) const override {
        static const GUID drawing = win32::GuidOf(host::kDrawingDocumentIid);
        return iid == drawing && object_->IsDrawing();
    }
    bool Serve(DISPID id, const Request& call) override {
        using FileRefs = ServedList<host::FileRefList, ServedFileRef>;
        switch (id) {
            case dispid::DocKind: call.Get(); call.Return(object_->DocKind()); return true;
            case dispid::FileRefs: call.Get(); call.Return(com::Serve<FileRefs>(state_, object_->FileRefs())); return true;
            case dispid::DocPropertySets:
                call.Get();
                call.Return(com::Serve<ServedPropertySets>(state_, object_->DocPropertySets()));
                return true;
            case dispid::DocUpdate: call.Method(0); object_->DocUpdate(); return true;
            case dispid::DocUnits: call.Get(); call.Return(com::Serve<ServedUnits>(state_, object_->DocUnits())); return true;
            case dispid::PartDefinition:
                call.Get();
                call.Return(com::Serve<ServedDefinition>(state_, object_->PartDefinition(), dispid::PartMassProps));
                return true;
            case dispid::AssemblyDefinition:
                call.Get();
                call.Return(com::Serve<ServedDefinition>(state_, object_->AssemblyDefinition(),
                                                         dispid::AssemblyMassProps));
                return true;
            default: return false;
        }
    }
};

bool ServedFileRef::Serve(DISPID id, const Request& call) {
    switch (id) {
        case dispid::FileRefKind: call.Get(); call.Return(object_->FileRefKind()); return true;
        case dispid::FileRefName: call.Get(); call.Return(object_->FileRefName()); return true;
        case dispid::FileRefFullName: call.Get(); call.Return(object_->FileRefFullName()); return true;
        case dispid::FileRefDocument:
            call.Get();
            call.Return(com::Serve<ServedDocument>(state_, object_->FileRefDocument()));
            return true;
        default: return false;
    }
}

// ---- events -----------------------------------------------------------------

// A COM sink bound to the memory host's event source: each notification
// becomes an Invoke of OnActivateDocument, the arguments reversed and the
// handling code by reference. What the sink reports as a failure reaches
// the memory host's caller.
class ForwardingSink final : public host::ApplicationEventSink {
public:
    ForwardingSink(StateRef state, ComPtr<IDispatch> sink) : state_(std::move(state)), sink_(std::move(sink)) {}

    void OnActivateDocument(const host::Ref<host::Document>& document, std::int32_t beforeOrAfter,
                            const Variant& context, std::int32_t& handlingCode) override {
        static_assert(sizeof(OwnedVariant) == sizeof(VARIANT));
        LONG code = handlingCode;
        std::array<OwnedVariant, 4> reversed;
        reversed[0].get()->vt = VT_BYREF | VT_I4;
        reversed[0].get()->plVal = &code;
        win32::ToVariant(context, *reversed[1].get());
        win32::ToVariant(beforeOrAfter, *reversed[2].get());
        reversed[3].get()->vt = VT_DISPATCH;
        reversed[3].get()->pdispVal = com::Serve<ServedDocument>(state_, document).Detach();
        DISPPARAMS params{reversed[0].get(), nullptr, 4, 0};
        // The sink may unadvise itself, and so end this forwarder, while
        // it handles the event.
        const ComPtr<IDispatch> sink = sink_;
        win32::InvokeDispatch(sink.Get(), dispid::OnActivateDocument, DISPATCH_METHOD, params,
                              "OnActivateDocument");
        handlingCode = code;
    }

private:
    StateRef state_;
    ComPtr<IDispatch> sink_;
};

// Advise and Unadvise report a failure through the thread's error
// information, as they have no EXCEPINFO.
HRESULT FailWithErrorInfo(const std::exception& failure) {
    ComPtr<ICreateErrorInfo> created;
    if (SUCCEEDED(CreateErrorInfo(&created))) {
        BSTR description = win32::ToBstr(failure.what());
        created->SetDescription(description);
        SysFreeString(description);
        ComPtr<IErrorInfo> info;
        if (SUCCEEDED(created.As(&info))) SetErrorInfo(0, info.Get());
    }
    return E_FAIL;
}

class ConnectionPoint final : public ComObject<IConnectionPoint> {
public:
    ConnectionPoint(StateRef state, host::Ref<host::ApplicationEvents> events,
                    ComPtr<IConnectionPointContainer> container)
        : state_(std::move(state)), events_(std::move(events)), container_(std::move(container)) {}

    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = win32::GuidOf(host::kApplicationEventsIid);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** container) override {
        if (!container) return E_POINTER;
        return container_.CopyTo(container);
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* sink, DWORD* cookie) override {
        if (!sink || !cookie) return E_POINTER;
        *cookie = 0;
        ComPtr<IDispatch> dispatch;
        if (FAILED(sink->QueryInterface(IID_PPV_ARGS(&dispatch)))) return CONNECT_E_CANNOTCONNECT;
        try {
            auto forward = std::make_unique<ForwardingSink>(state_, std::move(dispatch));
            std::shared_ptr<void> connection = events_->Bind(*forward);
            *cookie = ++lastCookie_;
            advised_.emplace(*cookie, Advice{std::move(forward), std::move(connection)});
            return S_OK;
        } catch (const std::exception& failure) {
            return FailWithErrorInfo(failure);
        }
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

class ServedEvents final : public Served<IConnectionPointContainer> {
public:
    ServedEvents(StateRef state, host::Ref<host::ApplicationEvents> events)
        : Served(std::move(state)), events_(std::move(events)) {}

    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override {
        if (!point) return E_POINTER;
        *point = nullptr;
        if (iid != win32::GuidOf(host::kApplicationEventsIid)) return CONNECT_E_NOCONNECTION;
        *point = win32::MakeCom<ConnectionPoint>(state_, events_, ComPtr<IConnectionPointContainer>(this)).Detach();
        return S_OK;
    }

protected:
    bool Serve(DISPID, const Request&) override { return false; }

private:
    host::Ref<host::ApplicationEvents> events_;
};

// ---- application --------------------------------------------------------------

class ServedCommand final : public Over<host::CommandDefinition> {
public:
    using Over::Over;

protected:
    bool Serve(DISPID id, const Request& call) override {
        if (id != dispid::CommandEnabled) return false;
        call.Put();
        object_->CommandEnabled(call.Bool(0));
        return true;
    }
};

class ServedAddInEntry final : public Over<host::AddInEntry> {
public:
    using Over::Over;

protected:
    bool Serve(DISPID id, const Request& call) override {
        if (id != dispid::AddInActive) return false;
        call.Put();
        object_->AddInActive(call.Bool(0));
        return true;
    }
};

class ServedAddInList final : public Over<host::AddInList> {
public:
    using Over::Over;

protected:
    bool Serve(DISPID id, const Request& call) override {
        if (id != dispid::Item) return false;
        call.Get(1);
        call.Return(com::Serve<ServedAddInEntry>(state_, object_->Item(call.Text(0))));
        return true;
    }
};

class ServedVersion final : public Over<host::SoftwareVersion> {
public:
    using Over::Over;

protected:
    bool Serve(DISPID id, const Request& call) override {
        if (id != dispid::VersionMajor) return false;
        call.Get();
        call.Return(object_->VersionMajor());
        return true;
    }
};

class ServedApplication final : public Over<host::Application> {
public:
    using Over::Over;

protected:
    bool Serve(DISPID id, const Request& call) override {
        switch (id) {
            case dispid::AppEventSource:
                call.Get();
                call.Return(com::Serve<ServedEvents>(state_, object_->AppEventSource()));
                return true;
            case dispid::HostVersion: call.Get(); call.Return(com::Serve<ServedVersion>(state_, object_->HostVersion())); return true;
            case dispid::AddInList: call.Get(); call.Return(com::Serve<ServedAddInList>(state_, object_->AddInList())); return true;
            case dispid::CurrentDocument:
                call.Get();
                call.Return(com::Serve<ServedDocument>(state_, object_->CurrentDocument()));
                return true;
            default: return false;
        }
    }
};

class ServedSite final : public Over<host::AddInSite> {
public:
    using Over::Over;

protected:
    bool Serve(DISPID id, const Request& call) override {
        switch (id) {
            case dispid::SiteApplication:
                call.Get();
                call.Return(com::Serve<ServedApplication>(state_, object_->SiteApplication()));
                return true;
            case dispid::AddCommand:
                call.Method(3);
                call.Return(com::Serve<ServedCommand>(
                    state_, object_->AddCommand(call.Text(0), call.Long(1), call.Bool(2))));
                return true;
            default: return false;
        }
    }
};

}  // namespace

ServedHost::ServedHost(MemoryHost& host) : host_(host), state_(std::make_shared<State>()) {}

ComPtr<IDispatch> ServedHost::Site() const {
    return Serve<ServedSite>(state_, host::Ref<host::AddInSite>(host_.Site()));
}

std::int64_t ServedHost::NameLookups() const { return state_->nameLookups; }

}  // namespace bm::workbench::com
