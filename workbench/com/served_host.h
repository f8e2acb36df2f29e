#pragma once

// The in-memory host served as COM automation objects, as the CAD host
// hands its own to an add-in: each object answers the dispatch identifiers
// of host/dispids.h through IDispatch::Invoke, lists enumerate through
// _NewEnum, and the application's event source is a connection point
// container for host::kApplicationEventsIid whose advised sinks receive
// OnActivateDocument by Invoke whenever the memory host fires the event.
//
// Every call is served by the memory host's own objects through the
// host/host.h interfaces, so its HostProbe counts and fails calls made over
// COM exactly as direct ones. A failure answers DISP_E_EXCEPTION with the
// failure's message as the EXCEPINFO description. Names are never looked
// up: GetIDsOfNames answers DISP_E_UNKNOWNNAME, and counts the attempt.
//
//   MemoryHost host;  ...
//   com::ServedHost served(host);
//   addin.ApplicationAddInServer_Activate(win32::AddInSiteOver(served.Site().Get()), true);

#include <oaidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <memory>

#include "workbench/model/memory_host.h"

namespace bm::workbench::com {

class ServedHost {
public:
    // `host` must outlive the objects served from it.
    explicit ServedHost(MemoryHost& host);

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
