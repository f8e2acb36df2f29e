#pragma once

// For one test, HKEY_CURRENT_USER and HKEY_CLASSES_ROOT point at two fresh
// keys under HKCU\Software\Brindlemark tests\<process id>, so that no test
// reads or writes the user's own registry. The keys go with the test.

#include <windows.h>

#include <stdexcept>
#include <string>

#include "platform/win32/advapi32_registry.h"

namespace bm::regtest {

class Scratch {
public:
    Scratch() {
        // The user's own keys must be out of sight before anything is written.
        win32::UniqueHkey own;
        if (::RegOpenKeyExW(HKEY_CURRENT_USER, kParent, 0, KEY_READ, own.put()) !=
            ERROR_FILE_NOT_FOUND)
            throw std::runtime_error("HKEY_CURRENT_USER is not redirected");
    }

    RegistryApi& Api() { return backend_; }

private:
    static constexpr const wchar_t* kParent = L"Software\\Brindlemark tests";

    // The keys of this test, left over from a run that crashed or fresh.
    class Tree {
    public:
        Tree() { ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }
        ~Tree() {
            ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
            // Fails while another run still has its keys there.
            ::RegDeleteKeyW(HKEY_CURRENT_USER, kParent);
        }
        Tree(const Tree&) = delete;
        Tree& operator=(const Tree&) = delete;
        std::wstring Below(const wchar_t* name) const { return path_ + L"\\" + name; }

    private:
        std::wstring path_ =
            std::wstring(kParent) + L"\\" + std::to_wstring(::GetCurrentProcessId());
    };

    // A predefined key pointed at a new key under the real HKEY_CURRENT_USER
    // (which must not be redirected yet) for the holder's life.
    class Redirect {
    public:
        Redirect(HKEY root, const std::wstring& target) : root_(root) {
            if (::RegCreateKeyExW(HKEY_CURRENT_USER, target.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, target_.put(), nullptr) != ERROR_SUCCESS ||
                ::RegOverridePredefKey(root, target_.get()) != ERROR_SUCCESS)
                throw std::runtime_error("cannot redirect a predefined key");
        }
        ~Redirect() { ::RegOverridePredefKey(root_, nullptr); }
        Redirect(const Redirect&) = delete;
        Redirect& operator=(const Redirect&) = delete;

    private:
        HKEY root_;
        win32::UniqueHkey target_;
    };

    Tree tree_;
    Redirect classes_{HKEY_CLASSES_ROOT, tree_.Below(L"HKCR")};
    Redirect user_{HKEY_CURRENT_USER, tree_.Below(L"HKCU")};
    win32::Advapi32Registry backend_;
};

}  // namespace bm::regtest
