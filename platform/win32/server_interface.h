#pragma once

// The host's add-in server interface, learned from the host's own type
// information: the add-in carries none of the host's interface ids. When
// the host asks the add-in for an interface id it does not know, the id is
// looked up under HKEY_CLASSES_ROOT\Interface\{id}\TypeLib, its type
// library loaded, and the id taken as the add-in server interface if the
// library describes it as an interface named ApplicationAddInServer with
// exactly the members Activate(site, FirstTime), Deactivate(),
// ExecuteCommand(Long) and the property get Automation. Its vtable is then
// built with each of those at the slot the type information gives it (and
// IUnknown's and IDispatch's before them); IDispatch calls on it go through
// the same type information. Each id's answer, a refusal too, is kept for
// the life of the library.

#include <oaidl.h>
#include <wrl/client.h>

#include <memory>
#include <vector>

namespace bm::win32 {

// What the host's server interface calls; the add-in object implements it.
class ServerCalls {
public:
    virtual HRESULT ServerQueryInterface(REFIID iid, void** out) = 0;
    virtual ULONG ServerAddRef() = 0;
    virtual ULONG ServerRelease() = 0;
    virtual HRESULT ServerActivate(IDispatch* site, VARIANT_BOOL firstTime) = 0;
    virtual HRESULT ServerDeactivate() = 0;
    virtual HRESULT ServerExecuteCommand(LONG commandId) = 0;
    virtual HRESULT ServerAutomation(IDispatch** automation) = 0;

protected:
    ~ServerCalls() = default;
};

struct ServerInterface {
    Microsoft::WRL::ComPtr<ITypeInfo> vtableInfo;  // the interface's vtable half
    std::vector<void*> vtable;
};

// The interface `iid` as the host's add-in server interface, or null when
// it is none.
std::shared_ptr<const ServerInterface> LearnServerInterface(REFIID iid);

// One object's face of a server interface: the pointer the host holds.
// Its vtable must stay first.
struct ServerFace {
    ServerFace(const ServerInterface& learned, ServerCalls& calls)
        : vtable(learned.vtable.data()), described(&learned), object(&calls) {}

    void* const* vtable;
    const ServerInterface* described;
    ServerCalls* object;
};

}  // namespace bm::win32
