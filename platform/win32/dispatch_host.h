#pragma once

// The host's automation objects as the add-in's host interfaces
// (host/host.h): every operation is an IDispatch::Invoke by the dispatch
// identifiers of host/dispids.h, never a lookup by name. Values cross as
// VARIANTs and arrive as Variants of the same type; a failed call becomes an
// Error of kind HostFailure carrying the host's EXCEPINFO description.

#include <oaidl.h>

#include "host/host.h"

namespace bm::win32 {

// Wraps an object the host handed over. The wrapper holds its own
// reference; a null pointer is a HostFailure, as everywhere in host/host.h.
host::Ref<host::AddInSite> AddInSiteOver(IDispatch* site);
host::Ref<host::ApplicationEvents> ApplicationEventsOver(IDispatch* source);
host::Ref<host::Document> DocumentOver(IDispatch* document);
host::Ref<host::PropertySet> PropertySetOver(IDispatch* propertySet);

// The IDispatch behind an object that this adapter made, with a reference
// added for the caller, or null for any other object.
IDispatch* DispatchOf(const host::Object& object);

}  // namespace bm::win32
