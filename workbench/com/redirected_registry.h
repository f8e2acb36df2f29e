#pragma once

// The registry file of the Windows face, imported into scratch keys:
// HKEY_CURRENT_USER and HKEY_CLASSES_ROOT of this process are pointed at
// scratch keys holding the file's content, so the user's own keys stay
// untouched, and the scratch keys are written back to the file at the end.

#include <windows.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "platform/portable/registry_store_format.h"
#include "platform/win32/advapi32_registry.h"
#include "platform/win32/com/unique_any.h"

namespace bm::workbench::com {

// A root the registry file may hold keys of: its name in the file, the
// system's handle and the registry interface's.
struct Root {
    const char* name;
    HKEY system;
    reg::Hkey api;
};
inline const Root kRedirectedRoots[] = {
    {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT, reg::kHkeyClassesRoot},
    {"HKEY_CURRENT_USER", HKEY_CURRENT_USER, reg::kHkeyCurrentUser},
};

// The values of an open key in the registry's listing order.
std::vector<portable::regfile::Value> ValuesOf(RegistryApi& api, reg::Hkey key);

// The redirected root that `path` lies below (or is), or null.
const Root* RootOf(std::string_view path);

class RedirectedRegistry {
public:
    // Reads `file` (a missing one is empty) and redirects the roots to its
    // content. Fails with BadRegistry.
    explicit RedirectedRegistry(std::filesystem::path file);
    RedirectedRegistry(const RedirectedRegistry&) = delete;
    RedirectedRegistry& operator=(const RedirectedRegistry&) = delete;
    ~RedirectedRegistry();

    std::string Shown() const;

    // The file as it was, with the redirected roots as they are now: keys
    // that were in the file keep their place, new ones follow.
    void Export();

private:
    static void Copy(const portable::regfile::Key& key, portable::regfile::Document& into);
    // Makes the scratch keys, points the roots at them and fills them.
    void Redirect();
    // Points the roots back at the user's keys and deletes the scratch ones.
    void Undo();
    void Import();
    // Every key below the root `key`, each with its values, as the
    // registry editor exports it.
    void Collect(HKEY key, const std::string& path, portable::regfile::Document& into);

    std::filesystem::path file_;
    portable::regfile::Document original_;
    std::wstring scratch_;
    win32::UniqueHkey targets_[std::size(kRedirectedRoots)];
    std::size_t redirected_ = 0;
    win32::Advapi32Registry api_;
};

}  // namespace bm::workbench::com
