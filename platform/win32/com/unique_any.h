#pragma once

// One owner for every Win32 and COM handle the Windows face holds: the
// value is closed when its owner goes, is reset, or is handed a new one
// through put(). Owners move and never copy. `Close` is called with a held
// value only; it may carry state (the window of a window's device context).
// A value counts as held unless it equals T{}, or unless Close::Held says
// otherwise where "none" has another spelling (INVALID_HANDLE_VALUE,
// VT_EMPTY).

#include <windows.h>

#include <oleauto.h>

#include <concepts>
#include <utility>

namespace bm::win32 {

template <class T, class Close>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(T value, Close close = Close{}) noexcept : value_(value), close_(std::move(close)) {}
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()), close_(std::move(other.close_)) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) {
            reset();
            value_ = other.release();
            close_ = std::move(other.close_);
        }
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;
    ~UniqueAny() { reset(); }

    const T& get() const noexcept { return value_; }
    const T& operator*() const noexcept { return value_; }
    const T* operator->() const noexcept { return &value_; }
    explicit operator bool() const noexcept { return Held(value_); }

    // Gives the value up without closing it.
    T release() noexcept { return std::exchange(value_, T{}); }
    // Closes the value held, if any, and holds `value` from then on.
    void reset(T value = T{}) noexcept {
        T old = std::exchange(value_, value);
        if (Held(old)) close_(old);
    }
    // For a call that hands back a new value: the one held so far is closed.
    T* put() noexcept {
        reset();
        return &value_;
    }
    // The value's own address, for a call that reads or fills it in place
    // (an array of VARIANTs, a VARIANT built member by member); what is
    // written there is owned.
    T* addressof() noexcept { return &value_; }
    // Closes the value now, for a caller that must know whether closing
    // failed (a file's last writes may fail there); holding none succeeds.
    bool close() noexcept
        requires std::same_as<decltype(std::declval<const Close&>()(std::declval<T>())), bool>
    {
        return !Held(value_) || close_(release());
    }

private:
    static bool Held(const T& value) noexcept {
        if constexpr (requires { Close::Held(value); })
            return Close::Held(value);
        else
            return value != T{};
    }

    T value_{};
    // Most closers are empty: the owner is then the size of its value, and
    // an array of owned VARIANTs can be handed over as VARIANTs.
    [[no_unique_address]] Close close_{};
};

// A closer that hands the value to one call of the system.
template <auto kClose>
struct CloseWith {
    template <class T>
    void operator()(T value) const noexcept {
        kClose(value);
    }
};

using UniqueHkey = UniqueAny<HKEY, CloseWith<&RegCloseKey>>;
using UniqueBstr = UniqueAny<BSTR, CloseWith<&SysFreeString>>;

struct ClearVariant {
    static bool Held(const VARIANT& value) noexcept { return value.vt != VT_EMPTY; }
    void operator()(VARIANT& value) const noexcept { VariantClear(&value); }
};
// Zero-initialised, a VARIANT is VT_EMPTY; moving leaves VT_EMPTY behind.
using UniqueVariant = UniqueAny<VARIANT, ClearVariant>;

struct ReleaseWindowDc {
    HWND window = nullptr;  // null: the screen's
    void operator()(HDC dc) const noexcept { ReleaseDC(window, dc); }
};
using UniqueWindowDc = UniqueAny<HDC, ReleaseWindowDc>;

// The device context of `window`, or of the screen for null; the owner
// holds none when the system gives none.
inline UniqueWindowDc WindowDc(HWND window) { return UniqueWindowDc(GetDC(window), ReleaseWindowDc{window}); }

using UniqueMemoryDc = UniqueAny<HDC, CloseWith<&DeleteDC>>;
template <class Object>
using UniqueGdi = UniqueAny<Object, CloseWith<&DeleteObject>>;
using UniqueBitmap = UniqueGdi<HBITMAP>;
using UniqueFont = UniqueGdi<HFONT>;
using UniqueWindow = UniqueAny<HWND, CloseWith<&DestroyWindow>>;
using UniqueMenu = UniqueAny<HMENU, CloseWith<&DestroyMenu>>;
using UniqueModule = UniqueAny<HMODULE, CloseWith<&FreeLibrary>>;

// Files answer INVALID_HANDLE_VALUE for none, most other kernel objects
// null: neither is closed.
struct CloseKernelHandle {
    static bool Held(HANDLE handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    bool operator()(HANDLE handle) const noexcept { return CloseHandle(handle) != FALSE; }
};
using UniqueHandle = UniqueAny<HANDLE, CloseKernelHandle>;

}  // namespace bm::win32
