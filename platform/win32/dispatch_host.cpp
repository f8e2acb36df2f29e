#include "platform/win32/dispatch_host.h"

#include <ocidl.h>

#include <array>
#include <cctype>
#include <utility>
#include <vector>

#include "core/error.h"
#include "host/dispids.h"
#include "platform/win32/com_object.h"
#include "platform/win32/module_count.h"

namespace bm::win32 {
namespace {

using Microsoft::WRL::ComPtr;
namespace dispid = host::dispid;

// How a member that answers a value is called, as late binding does: the
// host may have declared it a method or a property, with or without
// arguments.
constexpr WORD kGetOrCall = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

// Whether `text` holds `name` as a word of its own.
bool Names(std::string_view text, std::string_view name) {
    const auto partOfWord = [&](std::size_t at) {
        return at < text.size() && (std::isalnum(static_cast<unsigned char>(text[at])) || text[at] == '_');
    };
    for (auto at = text.find(name); at != std::string_view::npos; at = text.find(name, at + 1))
        if ((at == 0 || !partOfWord(at - 1)) && !partOfWord(at + name.size())) return true;
    return false;
}

// The host's description, followed by the operation unless it names it
// already; the host's status goes with it.
[[noreturn]] void Fail(std::string description, HRESULT status, std::string_view operation) {
    if (description.empty()) description = "the host refused the call (" + StatusText(status) + ")";
    if (!Names(description, operation)) description += " [" + std::string(operation) + "]";
    throw Error(ErrorKind::HostFailure, description, status);
}

// Arguments of one call, given in reading order and kept in COM's reversed
// order; cleared when the call is done.
class Arguments {
public:
    Arguments() = default;
    Arguments(const Arguments&) = delete;
    Arguments& operator=(const Arguments&) = delete;

    Arguments& Add(const Variant& value) {
        ToVariant(value, Front());
        return *this;
    }
    // The callee writes the number back through the reference.
    Arguments& AddByRef(double& value) {
        VARIANT& v = Front();
        v.vt = VT_BYREF | VT_R8;
        v.pdblVal = &value;
        return *this;
    }
    DISPPARAMS Params() {
        static_assert(sizeof(UniqueVariant) == sizeof(VARIANT));
        VARIANT* first = reversed_.empty() ? nullptr : reversed_.front().addressof();
        return {first, nullptr, static_cast<UINT>(reversed_.size()), 0};
    }

private:
    VARIANT& Front() { return *reversed_.emplace(reversed_.begin())->addressof(); }

    std::vector<UniqueVariant> reversed_;
};

std::int32_t LongOf(const VARIANT& value, const char* operation) {
    UniqueVariant number;
    if (FAILED(VariantChangeType(number.addressof(), const_cast<VARIANT*>(&value), 0, VT_I4)))
        raise(ErrorKind::TypeMismatch, std::string(operation) + " answered no whole number");
    return number->lVal;
}

double DoubleOf(const UniqueVariant& result, const char* operation) {
    UniqueVariant number;
    if (FAILED(VariantChangeType(number.addressof(), const_cast<VARIANT*>(&*result), 0, VT_R8)))
        raise(ErrorKind::TypeMismatch, std::string(operation) + " answered no number");
    return number->dblVal;
}

std::string TextOf(const UniqueVariant& result, const char* operation) {
    UniqueVariant text;
    if (FAILED(VariantChangeType(text.addressof(), const_cast<VARIANT*>(&*result), 0, VT_BSTR)))
        raise(ErrorKind::TypeMismatch, std::string(operation) + " answered no text");
    return FromBstr(text->bstrVal);
}

// The object a call handed over; none at all is a host failure.
ComPtr<IDispatch> ObjectOf(const VARIANT& result, const char* operation) {
    ComPtr<IDispatch> object;
    if (result.vt == VT_DISPATCH)
        object = result.pdispVal;
    else if (result.vt == VT_UNKNOWN && result.punkVal)
        result.punkVal->QueryInterface(IID_PPV_ARGS(&object));
    if (!object) raise(ErrorKind::HostFailure, std::string(operation) + ": the host handed over no object");
    return object;
}

// Base of every adapter object: the host's IDispatch and the calls on it.
class DispatchCalls : public DispatchHolder {
protected:
    explicit DispatchCalls(ComPtr<IDispatch> dispatch) : DispatchHolder(std::move(dispatch)) {}

    UniqueVariant Call(DISPID id, WORD flags, const char* operation, Arguments& args) const {
        DISPPARAMS params = args.Params();
        return InvokeDispatch(Dispatch(), id, flags, params, operation);
    }
    UniqueVariant Get(DISPID id, const char* operation) const {
        Arguments none;
        return Call(id, kGetOrCall, operation, none);
    }
    void Put(DISPID id, const char* operation, const Variant& value) const {
        Arguments args;
        args.Add(value);
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params = args.Params();
        params.rgdispidNamedArgs = &named;
        params.cNamedArgs = 1;
        InvokeDispatch(Dispatch(), id, DISPATCH_PROPERTYPUT, params, operation);
    }
    void Method(DISPID id, const char* operation) const {
        Arguments none;
        Call(id, DISPATCH_METHOD, operation, none);
    }
    ComPtr<IDispatch> GetObject(DISPID id, const char* operation) const {
        return ObjectOf(*Get(id, operation), operation);
    }
};

// An adapter object of the host interface I.
template <class I>
class Over : public I, public DispatchCalls {
public:
    explicit Over(ComPtr<IDispatch> dispatch) : DispatchCalls(std::move(dispatch)) {}
};

template <class Adapter>
std::shared_ptr<Adapter> Wrap(ComPtr<IDispatch> dispatch) {
    return std::make_shared<Adapter>(std::move(dispatch));
}

// ---- lists ------------------------------------------------------------------

template <class Interface, class ItemAdapter>
class RemoteList : public Over<Interface> {
public:
    using Over<Interface>::Over;
    using Exposed = typename Interface::ItemType;

    std::int32_t Count() override { return LongOf(*this->Get(dispid::Count, "Count"), "Count"); }

    host::Ref<Exposed> Item(std::int32_t position) override {
        Arguments args;
        args.Add(position);
        return Wrap<ItemAdapter>(ObjectOf(*this->Call(dispid::Item, kGetOrCall, "Item", args), "Item"));
    }

    std::vector<host::Ref<Exposed>> Enumerate() override {
        Arguments none;
        const UniqueVariant start = this->Call(dispid::NewEnum, kGetOrCall, "Enumerate", none);
        ComPtr<IEnumVARIANT> items;
        if (start->vt == VT_UNKNOWN && start->punkVal) start->punkVal->QueryInterface(IID_PPV_ARGS(&items));
        if (start->vt == VT_DISPATCH && start->pdispVal) start->pdispVal->QueryInterface(IID_PPV_ARGS(&items));
        if (!items) raise(ErrorKind::HostFailure, "Enumerate: the host handed over no enumerator");

        // The enumerator fills the batch as an array of VARIANTs.
        static_assert(sizeof(UniqueVariant) == sizeof(VARIANT));
        std::vector<host::Ref<Exposed>> all;
        for (;;) {
            std::array<UniqueVariant, 32> batch;
            ULONG fetched = 0;
            const HRESULT status = items->Next(static_cast<ULONG>(batch.size()), batch[0].addressof(), &fetched);
            if (FAILED(status)) Fail(ThreadErrorDescription(), status, "Enumerate");
            for (ULONG i = 0; i < fetched && i < batch.size(); ++i)
                all.push_back(Wrap<ItemAdapter>(ObjectOf(*batch[i], "Enumerate")));
            if (status != S_OK || fetched == 0) return all;
        }
    }
};

// ---- documents --------------------------------------------------------------

class RemoteProperty final : public Over<host::Property> {
public:
    using Over::Over;
    std::string PropName() override { return TextOf(Get(dispid::PropName, "PropName"), "PropName"); }
    Variant PropValue() override { return FromVariant(*Get(dispid::PropValue, "PropValue")); }
    void PropValue(const Variant& value) override { Put(dispid::PropValue, "PropValue", value); }
    void PropDelete() override { Method(dispid::PropDelete, "PropDelete"); }
};

class RemotePropertySet final : public RemoteList<host::PropertySet, RemoteProperty> {
public:
    using RemoteList::RemoteList;
    host::Ref<host::Property> PropAdd(const Variant& value, const std::string& name) override {
        Arguments args;
        args.Add(value).Add(name);
        return Wrap<RemoteProperty>(ObjectOf(*Call(dispid::PropAdd, DISPATCH_METHOD, "PropAdd", args), "PropAdd"));
    }
};

class RemotePropertySets final : public Over<host::PropertySets> {
public:
    using Over::Over;
    host::Ref<host::PropertySet> Item(const std::string& formatId) override {
        Arguments args;
        args.Add(formatId);
        return Wrap<RemotePropertySet>(ObjectOf(*Call(dispid::Item, kGetOrCall, "Item", args), "Item"));
    }
};

class RemoteMassProperties final : public Over<host::MassProperties> {
public:
    using Over::Over;
    void MassAccuracy(std::int32_t accuracy) override { Put(dispid::MassAccuracy, "MassAccuracy", accuracy); }
    double MassValue() override { return DoubleOf(Get(dispid::MassValue, "MassValue"), "MassValue"); }
    double AreaValue() override { return DoubleOf(Get(dispid::AreaValue, "AreaValue"), "AreaValue"); }
    double VolumeValue() override {
        return DoubleOf(Get(dispid::VolumeValue, "VolumeValue"), "VolumeValue");
    }
};

// A part's and an assembly's definitions name their mass properties by
// different identifiers.
class RemoteComponentDefinition final : public Over<host::ComponentDefinition> {
public:
    RemoteComponentDefinition(ComPtr<IDispatch> dispatch, DISPID massProps)
        : Over(std::move(dispatch)), massProps_(massProps) {}
    host::Ref<host::MassProperties> DefinitionMassProps() override {
        return Wrap<RemoteMassProperties>(GetObject(massProps_, "DefinitionMassProps"));
    }

private:
    DISPID massProps_;
};

class RemoteUnits final : public Over<host::UnitsService> {
public:
    using Over::Over;
    std::string UnitText(std::int32_t unitCode) override {
        Arguments args;
        args.Add(unitCode);
        return TextOf(Call(dispid::UnitText, kGetOrCall, "UnitText", args), "UnitText");
    }
    std::string UnitConvert(double& value, const Variant& units) override {
        // Converted in a copy, so that a failed call leaves `value` alone.
        double converted = value;
        Arguments args;
        args.AddByRef(converted).Add(units);
        std::string text = TextOf(Call(dispid::UnitConvert, DISPATCH_METHOD, "UnitConvert", args), "UnitConvert");
        value = converted;
        return text;
    }
};

class RemoteDocument;

class RemoteFileRef final : public Over<host::FileRef> {
public:
    using Over::Over;
    std::int32_t FileRefKind() override { return LongOf(*Get(dispid::FileRefKind, "FileRefKind"), "FileRefKind"); }
    std::string FileRefName() override { return TextOf(Get(dispid::FileRefName, "FileRefName"), "FileRefName"); }
    std::string FileRefFullName() override {
        return TextOf(Get(dispid::FileRefFullName, "FileRefFullName"), "FileRefFullName");
    }
    host::Ref<host::Document> FileRefDocument() override;
};

using RemoteFileRefList = RemoteList<host::FileRefList, RemoteFileRef>;

class RemoteDocument final : public Over<host::Document> {
public:
    using Over::Over;
    std::int32_t DocKind() override { return LongOf(*Get(dispid::DocKind, "DocKind"), "DocKind"); }
    host::Ref<host::FileRefList> FileRefs() override {
        return Wrap<RemoteFileRefList>(GetObject(dispid::FileRefs, "FileRefs"));
    }
    host::Ref<host::PropertySets> DocPropertySets() override {
        return Wrap<RemotePropertySets>(GetObject(dispid::DocPropertySets, "DocPropertySets"));
    }
    void DocUpdate() override { Method(dispid::DocUpdate, "DocUpdate"); }
    host::Ref<host::UnitsService> DocUnits() override {
        return Wrap<RemoteUnits>(GetObject(dispid::DocUnits, "DocUnits"));
    }
    host::Ref<host::ComponentDefinition> PartDefinition() override {
        return std::make_shared<RemoteComponentDefinition>(GetObject(dispid::PartDefinition, "PartDefinition"),
                                                         dispid::PartMassProps);
    }
    host::Ref<host::ComponentDefinition> AssemblyDefinition() override {
        return std::make_shared<RemoteComponentDefinition>(
            GetObject(dispid::AssemblyDefinition, "AssemblyDefinition"), dispid::AssemblyMassProps);
    }
};

host::Ref<host::Document> RemoteFileRef::FileRefDocument() {
    return Wrap<RemoteDocument>(GetObject(dispid::FileRefDocument, "FileRefDocument"));
}

// ---- application --------------------------------------------------------------

class RemoteCommand final : public Over<host::CommandDefinition> {
public:
    using Over::Over;
    void CommandEnabled(bool enabled) override { Put(dispid::CommandEnabled, "CommandEnabled", enabled); }
};

class RemoteAddInEntry final : public Over<host::AddInEntry> {
public:
    using Over::Over;
    void AddInActive(bool active) override { Put(dispid::AddInActive, "AddInActive", active); }
};

class RemoteAddInList final : public Over<host::AddInList> {
public:
    using Over::Over;
    host::Ref<host::AddInEntry> Item(const std::string& classId) override {
        Arguments args;
        args.Add(classId);
        return Wrap<RemoteAddInEntry>(ObjectOf(*Call(dispid::Item, kGetOrCall, "Item", args), "Item"));
    }
};

class RemoteVersion final : public Over<host::SoftwareVersion> {
public:
    using Over::Over;
    std::int32_t VersionMajor() override {
        return LongOf(*Get(dispid::VersionMajor, "VersionMajor"), "VersionMajor");
    }
};

// Where the host delivers OnActivateDocument: the interface of the event
// source's connection point that declares it, and its DISPID there.
struct EventInterface {
    ComPtr<IConnectionPoint> point;
    IID iid;
    DISPID onActivateDocument;
};

// The add-in's side of the event connection: the host calls it by the
// dispatch identifier its type information gives OnActivateDocument. Once
// the connection is released it no longer reaches the add-in, even if the
// host calls it late.
class EventSink final : public ComObject<IDispatch> {
public:
    // The host may hold the sink after the add-in object has gone: its code
    // must stay loaded as long.
    EventSink(host::ApplicationEventSink& sink, const EventInterface& events)
        : sink_(&sink), iid_(events.iid), onActivateDocument_(events.onActivateDocument) {
        LockModule();
    }
    ~EventSink() override { UnlockModule(); }
    void Detach() { sink_ = nullptr; }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                     EXCEPINFO* exception, UINT* badArgument) override {
        if (id != onActivateDocument_) return DISP_E_MEMBERNOTFOUND;
        if (!params || params->cArgs != 4) return DISP_E_BADPARAMCOUNT;
        // Reversed: handling code, context, timing, document.
        VARIANT& handling = params->rgvarg[0];
        if (handling.vt != (VT_BYREF | VT_I4) || !handling.plVal) {
            if (badArgument) *badArgument = 0;
            return DISP_E_TYPEMISMATCH;
        }
        if (!sink_) return S_OK;
        // The add-in may release the connection while handling the event.
        const ComPtr<IDispatch> alive(this);
        try {
            const Variant document = FromVariant(params->rgvarg[3]);
            const auto* holder = document.type() == VarType::kObject
                                     ? dynamic_cast<const DispatchHolder*>(document.as_object().get())
                                     : nullptr;
            if (!holder) raise(ErrorKind::HostFailure, "OnActivateDocument: the host handed over no document");
            const std::int32_t timing = LongOf(params->rgvarg[2], "OnActivateDocument");
            std::int32_t code = *handling.plVal;
            sink_->OnActivateDocument(Wrap<RemoteDocument>(ComPtr<IDispatch>(holder->Dispatch())), timing,
                                      FromVariant(params->rgvarg[1]), code);
            *handling.plVal = code;
            return S_OK;
        } catch (const std::exception& failure) {
            return ExceptionToCaller(failure, exception);
        }
    }

protected:
    bool Answers(REFIID iid) const override { return iid == iid_; }

private:
    host::ApplicationEventSink* sink_;
    IID iid_;
    DISPID onActivateDocument_;
};

// The host's type library, as the object describes itself: through its
// class information, or the type information of its IDispatch.
ComPtr<ITypeLib> TypeLibraryOf(IDispatch* object) {
    ComPtr<ITypeInfo> info;
    ComPtr<IProvideClassInfo> classInfo;
    if (SUCCEEDED(object->QueryInterface(IID_PPV_ARGS(&classInfo))))
        classInfo->GetClassInfo(&info);
    UINT count = 0;
    if (!info && SUCCEEDED(object->GetTypeInfoCount(&count)) && count == 1)
        object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info);
    ComPtr<ITypeLib> library;
    UINT index = 0;
    if (info) info->GetContainingTypeLib(&library, &index);
    return library;
}

// The connection point of `container` whose interface, in the host's type
// library, has a member OnActivateDocument.
EventInterface FindEventInterface(IDispatch* source, IConnectionPointContainer& container) {
    const ComPtr<ITypeLib> library = TypeLibraryOf(source);
    ComPtr<IEnumConnectionPoints> points;
    if (library && SUCCEEDED(container.EnumConnectionPoints(&points)) && points) {
        ComPtr<IConnectionPoint> point;
        while (points->Next(1, point.ReleaseAndGetAddressOf(), nullptr) == S_OK && point) {
            EventInterface found{point, {}, DISPID_UNKNOWN};
            ComPtr<ITypeInfo> info;
            LPOLESTR name = const_cast<LPOLESTR>(L"OnActivateDocument");
            if (SUCCEEDED(point->GetConnectionInterface(&found.iid)) &&
                SUCCEEDED(library->GetTypeInfoOfGuid(found.iid, &info)) &&
                SUCCEEDED(info->GetIDsOfNames(&name, 1, &found.onActivateDocument)))
                return found;
        }
    }
    raise(ErrorKind::HostFailure,
          "the application's event source describes no event interface with OnActivateDocument [Bind]");
}

// An advised event connection; releasing it unadvises.
class Advised {
public:
    Advised(ComPtr<IConnectionPoint> point, ComPtr<EventSink> sink, DWORD cookie)
        : point_(std::move(point)), sink_(std::move(sink)), cookie_(cookie) {}
    Advised(const Advised&) = delete;
    Advised& operator=(const Advised&) = delete;
    ~Advised() {
        sink_->Detach();
        point_->Unadvise(cookie_);
    }

private:
    ComPtr<IConnectionPoint> point_;
    ComPtr<EventSink> sink_;
    DWORD cookie_;
};

class RemoteEvents final : public Over<host::ApplicationEvents> {
public:
    using Over::Over;
    std::shared_ptr<void> Bind(host::ApplicationEventSink& sink) override {
        ComPtr<IConnectionPointContainer> container;
        HRESULT status = Dispatch()->QueryInterface(IID_PPV_ARGS(&container));
        if (FAILED(status)) Fail("the event source offers no connection points", status, "Bind");
        EventInterface events = FindEventInterface(Dispatch(), *container.Get());
        auto comSink = MakeCom<EventSink>(sink, events);
        DWORD cookie = 0;
        ClearErrorInfo();
        status = events.point->Advise(comSink.Get(), &cookie);
        if (FAILED(status)) {
            comSink->Detach();
            Fail(ThreadErrorDescription(), status, "Bind");
        }
        return std::make_shared<Advised>(std::move(events.point), std::move(comSink), cookie);
    }
};

class RemoteApplication final : public Over<host::Application> {
public:
    using Over::Over;
    host::Ref<host::ApplicationEvents> AppEventSource() override {
        return Wrap<RemoteEvents>(GetObject(dispid::AppEventSource, "AppEventSource"));
    }
    host::Ref<host::SoftwareVersion> HostVersion() override {
        return Wrap<RemoteVersion>(GetObject(dispid::HostVersion, "HostVersion"));
    }
    host::Ref<host::AddInList> AddInList() override {
        return Wrap<RemoteAddInList>(GetObject(dispid::AddInList, "AddInList"));
    }
    host::Ref<host::Document> CurrentDocument() override {
        return Wrap<RemoteDocument>(GetObject(dispid::CurrentDocument, "CurrentDocument"));
    }
};

class RemoteSite final : public Over<host::AddInSite> {
public:
    using Over::Over;
    host::Ref<host::Application> SiteApplication() override {
        return Wrap<RemoteApplication>(GetObject(dispid::SiteApplication, "SiteApplication"));
    }
    host::Ref<host::CommandDefinition> AddCommand(const std::string& caption, std::int32_t commandId,
                                                  bool third) override {
        Arguments args;
        args.Add(caption).Add(commandId).Add(third);
        return Wrap<RemoteCommand>(
            ObjectOf(*Call(dispid::AddCommand, DISPATCH_METHOD, "AddCommand", args), "AddCommand"));
    }
};

template <class Adapter>
std::shared_ptr<Adapter> Handed(IDispatch* object, const char* what) {
    if (!object) raise(ErrorKind::HostFailure, std::string("the host handed over no ") + what);
    return Wrap<Adapter>(ComPtr<IDispatch>(object));
}

}  // namespace

host::Ref<host::AddInSite> AddInSiteOver(IDispatch* site) { return Handed<RemoteSite>(site, "add-in site"); }

host::Ref<host::ApplicationEvents> ApplicationEventsOver(IDispatch* source) {
    return Handed<RemoteEvents>(source, "event source");
}

host::Ref<host::Document> DocumentOver(IDispatch* document) {
    return Handed<RemoteDocument>(document, "document");
}

host::Ref<host::PropertySet> PropertySetOver(IDispatch* propertySet) {
    return Handed<RemotePropertySet>(propertySet, "property set");
}

IDispatch* DispatchOf(const Object& object) {
    const auto* holder = dynamic_cast<const DispatchHolder*>(&object);
    if (!holder) return nullptr;
    holder->Dispatch()->AddRef();
    return holder->Dispatch();
}

UniqueVariant InvokeDispatch(IDispatch* target, DISPID id, WORD flags, DISPPARAMS& params,
                             std::string_view operation) {
    UniqueVariant result;
    EXCEPINFO exception{};
    UINT badArgument = 0;
    const HRESULT status = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                          result.addressof(), &exception, &badArgument);
    if (SUCCEEDED(status)) return result;
    if (status != DISP_E_EXCEPTION) Fail(std::string(), status, operation);
    // The exception's own status is the host's answer.
    const HRESULT hostStatus = exception.scode != 0 ? exception.scode : status;
    Fail(TakeDescription(exception), hostStatus, operation);
}

HRESULT ExceptionToCaller(const std::exception& failure, EXCEPINFO* exception) {
    if (exception) {
        *exception = EXCEPINFO{};
        exception->scode = E_FAIL;
        exception->bstrDescription = ToBstr(failure.what());
    }
    return DISP_E_EXCEPTION;
}

}  // namespace bm::win32
