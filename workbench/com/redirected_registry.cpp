#include "workbench/com/redirected_registry.h"

#include <fstream>
#include <sstream>
#include <utility>

#include "platform/win32/com/text.h"
#include "workbench/host_face.h"
#include "workbench/system.h"

namespace bm::workbench::com {

namespace fs = std::filesystem;
namespace regfile = portable::regfile;
using win32::UniqueHkey;
using win32::Utf16;
using win32::Utf8;

namespace {

constexpr const wchar_t* kScratchParent = L"Software\\Brindlemark workbench";

}  // namespace

std::vector<regfile::Value> ValuesOf(RegistryApi& api, reg::Hkey key) {
    std::vector<regfile::Value> values;
    reg::DWord count = 0;
    reg::DWord maxName = 0;
    reg::DWord maxData = 0;
    api.RegQueryInfoKeyA(key, &count, &maxName, &maxData);
    for (reg::DWord i = 0; i < count; ++i) {
        std::string name(maxName + 1, '\0');
        Bytes data(maxData);
        reg::DWord nameLength = maxName + 1;
        reg::DWord dataSize = maxData;
        reg::DWord type = 0;
        if (api.RegEnumValueA(key, i, name.data(), &nameLength, &type, data.data(), &dataSize) !=
            reg::kErrorSuccess)
            break;
        name.resize(nameLength);
        data.resize(dataSize);
        values.push_back({name, type, data});
    }
    return values;
}

const Root* RootOf(std::string_view path) {
    for (const Root& root : kRedirectedRoots) {
        const std::string_view name = root.name;
        if (path.size() >= name.size() && regfile::SameName(path.substr(0, name.size()), name) &&
            (path.size() == name.size() || path[name.size()] == '\\'))
            return &root;
    }
    return nullptr;
}

RedirectedRegistry::RedirectedRegistry(fs::path file)
    : file_(std::move(file)),
      scratch_(std::wstring(kScratchParent) + L"\\" + std::to_wstring(GetCurrentProcessId())) {
    std::ifstream in(file_, std::ios::binary);
    std::ostringstream text;
    if (in) text << in.rdbuf();
    if (in.bad() || (!in && fs::exists(file_)))
        throw BadRegistry("the registry store " + Shown() + " cannot be read");
    auto parsed = regfile::Parse(text.str());
    if (parsed.error)
        throw BadRegistry("the registry store " + Shown() + " cannot be used: line " +
                          std::to_string(parsed.error->line) + ": " + parsed.error->message);
    original_ = std::move(parsed.document);

    // A scratch tree left by a crashed run of the same process id goes.
    RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str());
    try {
        Redirect();
    } catch (...) {
        // The user's registry keeps no scratch keys of a run that never started.
        Undo();
        throw;
    }
}

void RedirectedRegistry::Redirect() {
    for (std::size_t i = 0; i < std::size(kRedirectedRoots); ++i) {
        const std::wstring below = scratch_ + L"\\" + Utf16(kRedirectedRoots[i].name);
        if (RegCreateKeyExW(HKEY_CURRENT_USER, below.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            targets_[i].put(), nullptr) != ERROR_SUCCESS)
            throw BadRegistry("cannot make the scratch registry keys for " + Shown());
    }
    // Both are made before either is redirected: HKEY_CURRENT_USER must
    // still be the user's while the second is made.
    for (std::size_t i = 0; i < std::size(kRedirectedRoots); ++i) {
        if (RegOverridePredefKey(kRedirectedRoots[i].system, targets_[i].get()) != ERROR_SUCCESS)
            throw BadRegistry("cannot redirect the registry for " + Shown());
        ++redirected_;
    }
    Import();
}

RedirectedRegistry::~RedirectedRegistry() { Undo(); }

void RedirectedRegistry::Undo() {
    for (std::size_t i = 0; i < redirected_; ++i) RegOverridePredefKey(kRedirectedRoots[i].system, nullptr);
    for (UniqueHkey& target : targets_) target.reset();
    RegDeleteTreeW(HKEY_CURRENT_USER, scratch_.c_str());
    // Fails while another workbench still has its keys there.
    RegDeleteKeyW(HKEY_CURRENT_USER, kScratchParent);
}

std::string RedirectedRegistry::Shown() const { return Utf8(file_.wstring()); }

void RedirectedRegistry::Export() {
    regfile::Document now;
    for (const Root& root : kRedirectedRoots) Collect(root.system, root.name, now);
    regfile::Document out;
    for (const regfile::Key& key : original_.keys) {
        if (!RootOf(key.path)) {
            Copy(key, out);
        } else if (const regfile::Key* current = now.Find(key.path)) {
            Copy(*current, out);
        }
    }
    for (const regfile::Key& key : now.keys)
        if (!out.Find(key.path)) Copy(key, out);
    try {
        system::WriteAtomically(file_, regfile::Serialize(out));
    } catch (const system::FileError& e) {
        throw std::runtime_error(std::string("the registry store cannot be written: ") + e.what());
    }
}

void RedirectedRegistry::Copy(const regfile::Key& key, regfile::Document& into) {
    regfile::Key& copy = into.Append(key.path);
    for (const regfile::Value& value : key.values) copy.Set(value);
}

void RedirectedRegistry::Import() {
    for (const regfile::Key& key : original_.keys) {
        const Root* root = RootOf(key.path);
        if (!root) continue;  // kept as it is, and written back so
        const std::string below = key.path.size() > std::string_view(root->name).size()
                                      ? key.path.substr(std::string_view(root->name).size() + 1)
                                      : std::string();
        reg::Hkey handle = 0;
        if (api_.RegCreateKeyExA(root->api, below.c_str(), 0, reg::kKeyAccess, handle, nullptr) !=
            reg::kErrorSuccess)
            throw BadRegistry("cannot import " + key.path + " from " + Shown());
        const KeyCloser closer(api_, handle);
        bool written = true;
        for (const regfile::Value& value : key.values)
            written = written && api_.RegSetValueExA(handle, value.name.c_str(), value.type, value.data.data(),
                                                     static_cast<reg::DWord>(value.data.size())) ==
                                     reg::kErrorSuccess;
        if (!written) throw BadRegistry("cannot import the values of " + key.path + " from " + Shown());
    }
}

void RedirectedRegistry::Collect(HKEY key, const std::string& path, regfile::Document& into) {
    std::vector<std::wstring> subKeys;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        subKeys.emplace_back(name, length);
    }
    if (path.find('\\') != std::string::npos) {
        regfile::Key& section = into.Append(path);
        const reg::Hkey handle = static_cast<reg::Hkey>(reinterpret_cast<std::uintptr_t>(key));
        for (regfile::Value& value : ValuesOf(api_, handle)) section.Set(std::move(value));
    }
    for (const std::wstring& name : subKeys) {
        UniqueHkey child;
        if (RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, child.put()) == ERROR_SUCCESS)
            Collect(child.get(), path + "\\" + Utf8(name), into);
    }
}

}  // namespace bm::workbench::com
