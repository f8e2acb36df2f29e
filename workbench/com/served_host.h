#pragma once

// The in-memory host served as COM automation objects, as the CAD host
// hands its own to an add-in. The objects are described by a host type
// library (host_types.idl, a resource of the serving program): each
// implements its interface's vtable, and answers IDispatch through
// DispInvoke on that type information, so a call by dispatch identifier
// reaches the same method as a call through the vtable. Lists enumerate
// through _NewEnum; the application's event source is a connection point
// container whose one point, for the library's event interface, delivers
// OnActivateDocument by Invoke whenever the memory host fires the event.
//
// Two identities: the standard host and the other one, whose interface
// ids, event DISPID and add-in server vtable differ (host_types.idl). The
// objects' own vtables are alike under both, so one set of objects serves
// either library.
//
// Every call is served by the memory host's own objects through the
// host/host.h interfaces, so its HostProbe counts and fails calls made over
// COM exactly as direct ones. A failure answers kHostRefused with the
// failure's message as the error info's description (DispInvoke turns it
// into DISP_E_EXCEPTION with both). A lookup of a member by name is
// answered from the type information, and counted.
//
//   MemoryHost host;  ...
//   com::ServedHost served(host, std::make_shared<com::HostTypeLibrary>(HostIdentity::kStandard));
//   addin.ApplicationAddInServer_Activate(win32::AddInSiteOver(served.Site().Get()), true);

#include <oaidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/win32/com_object.h"
#include "workbench/host_identity.h"
#include "workbench/model/memory_host.h"

namespace bm::workbench::com {

// The status of a call the memory host refused.
inline constexpr HRESULT kHostRefused = static_cast<HRESULT>(0x80040201);

// One of the host type libraries, loaded from the resources of this
// program, and what serving needs of it.
class HostTypeLibrary {
public:
    explicit HostTypeLibrary(HostIdentity identity);

    ITypeLib* Library() const { return library_.Get(); }
    // Where it is, as RegisterTypeLib wants it.
    const std::wstring& Path() const { return path_; }
    // The type information of the interface `name`: the vtable half of a
    // dual interface. Fails with a HostFailure when there is none.
    Microsoft::WRL::ComPtr<ITypeInfo> Interface(const std::wstring& name) const;
    // The type information of the interface whose C++ declaration
    // (host_types.h) carries the standard library's id `standardIid`, and
    // its id in this library; kept, as every served object asks.
    struct Description {
        Microsoft::WRL::ComPtr<ITypeInfo> info;
        IID iid;
    };
    const Description& Described(REFIID standardIid) const;
    const IID& EventsIid() const { return eventsIid_; }
    DISPID OnActivateDocument() const { return onActivateDocument_; }

private:
    std::wstring path_;
    Microsoft::WRL::ComPtr<ITypeLib> library_;
    std::map<std::wstring, Microsoft::WRL::ComPtr<ITypeInfo>> interfaces_;
    std::map<GUID, Description, win32::GuidLess> described_;
    IID eventsIid_{};
    DISPID onActivateDocument_ = DISPID_UNKNOWN;
};

class ServedHost {
public:
    // `host` must outlive the objects served from it.
    ServedHost(MemoryHost& host, std::shared_ptr<const HostTypeLibrary> types);

    // The add-in site, a new served object.
    Microsoft::WRL::ComPtr<IDispatch> Site() const;
    // GetIDsOfNames calls on any object served from here.
    std::int64_t NameLookups() const;

    struct State;

private:
    MemoryHost& host_;
    std::shared_ptr<State> state_;
};

}  // namespace bm::workbench::com
