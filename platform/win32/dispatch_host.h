#pragma once

// The host's automation objects as the add-in's host interfaces
// (host/host.h): every operation is an IDispatch::Invoke by the dispatch
// identifiers of host/dispids.h, never a lookup by name. Values cross as
// VARIANTs and arrive as Variants of the same type; a failed call becomes an
// Error of kind HostFailure carrying the host's EXCEPINFO description.
// The application's events arrive on the event source's connection point
// whose interface, in the host's own type library, declares
// OnActivateDocument, by the DISPID that library gives it: the add-in
// carries no identifier of the host's.

#include <oaidl.h>

#include <exception>
#include <string_view>

#include "host/host.h"
#include "platform/win32/com/error_info.h"
#include "platform/win32/variant_convert.h"

namespace bm::win32 {

// Wraps an object the host handed over. The wrapper holds its own
// reference; a null pointer is a HostFailure, as everywhere in host/host.h.
host::Ref<host::AddInSite> AddInSiteOver(IDispatch* site);
host::Ref<host::ApplicationEvents> ApplicationEventsOver(IDispatch* source);
host::Ref<host::Document> DocumentOver(IDispatch* document);
host::Ref<host::PropertySet> PropertySetOver(IDispatch* propertySet);

// The IDispatch behind an object that this adapter made, with a reference
// added for the caller, or null for any other object.
IDispatch* DispatchOf(const Object& object);

// Failures across Invoke, both ways. InvokeDispatch calls `target` and
// hands back the result; a failed call is a HostFailure whose message is the
// callee's EXCEPINFO description (or the status code), then `operation` in
// brackets, and whose host status is the callee's (EXCEPINFO's scode). ExceptionToCaller is what an Invoke served here answers for a
// failure: DISP_E_EXCEPTION with the failure's message as the description.
UniqueVariant InvokeDispatch(IDispatch* target, DISPID id, WORD flags, DISPPARAMS& params,
                             std::string_view operation);
HRESULT ExceptionToCaller(const std::exception& failure, EXCEPINFO* exception);

}  // namespace bm::win32
