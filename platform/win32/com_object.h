#pragma once

// The IUnknown plumbing of the COM objects this code makes itself (event
// sinks, served automation objects, enumerators): one reference count, and
// QueryInterface answering IUnknown, each implemented interface, and any
// further interface identifier the object claims through Answers. Objects
// live on one apartment thread, so the count needs no atomics.

#include <oaidl.h>
#include <objbase.h>
#include <wrl/client.h>

#include <cstring>
#include <type_traits>
#include <utility>

namespace bm::win32 {

// Orders GUIDs, for maps keyed by interface id.
struct GuidLess {
    bool operator()(const GUID& a, const GUID& b) const { return std::memcmp(&a, &b, sizeof(GUID)) < 0; }
};

// COM interfaces have no virtual destructor by design: objects end in
// Release, never through a pointer to an interface.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
template <class First, class... Rest>
class ComObject : public First, public Rest... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (iid == __uuidof(IUnknown) || Answers(iid)) {
            *out = static_cast<First*>(this);
        } else if (iid == __uuidof(First)) {
            *out = static_cast<First*>(this);
        } else {
            (void)((iid == __uuidof(Rest) ? (*out = static_cast<Rest*>(this), true) : false) || ...);
            if (!*out && std::is_base_of_v<IDispatch, First> && iid == __uuidof(IDispatch))
                *out = static_cast<First*>(this);
        }
        if (!*out) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    // Further interfaces the object implements through First (an event
    // interface that is IDispatch underneath, for instance).
    virtual bool Answers(REFIID) const { return false; }

private:
    ULONG refs_ = 0;
};
#pragma GCC diagnostic pop

// A new object, owned by the pointer handed back.
template <class T, class... Args>
Microsoft::WRL::ComPtr<T> MakeCom(Args&&... args) {
    return Microsoft::WRL::ComPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace bm::win32
