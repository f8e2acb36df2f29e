#include "platform/portable/registry_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>
#include <utility>

#include "platform/portable/posix_file.h"

namespace bm::portable {

using reg::DWord;
using reg::Hkey;
using reg::Status;

namespace {

Status StatusFromErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS: return reg::kErrorAccessDenied;
        case ENOSPC:
        case EDQUOT: return reg::kErrorDiskFull;
        default: return reg::kErrorRegistryIoFailed;
    }
}

const char* RootName(Hkey key) {
    switch (key) {
        case reg::kHkeyClassesRoot: return "HKEY_CLASSES_ROOT";
        case reg::kHkeyCurrentUser: return "HKEY_CURRENT_USER";
        case reg::kHkeyLocalMachine: return "HKEY_LOCAL_MACHINE";
        case reg::kHkeyUsers: return "HKEY_USERS";
        case reg::kHkeyCurrentConfig: return "HKEY_CURRENT_CONFIG";
        default: return nullptr;
    }
}

// `base` + "\" + `subKey`. A null or empty subKey names `base` itself; a
// trailing backslash is ignored. Names must be non-empty and hold no line
// breaks or other control characters, which the file could not keep.
Status JoinPath(const std::string& base, const char* subKey, std::string& out) {
    out = base;
    if (subKey == nullptr) return reg::kErrorSuccess;
    std::string_view sub(subKey);
    while (!sub.empty() && sub.back() == '\\') sub.remove_suffix(1);
    if (sub.empty()) return reg::kErrorSuccess;
    bool partEmpty = true;
    for (char c : sub) {
        if (static_cast<unsigned char>(c) < 0x20) return reg::kErrorBadPathname;
        if (c == '\\') {
            if (partEmpty) return reg::kErrorBadPathname;
            partEmpty = true;
        } else {
            partEmpty = false;
        }
    }
    out += '\\';
    out += sub;
    return reg::kErrorSuccess;
}

bool ValidValueName(std::string_view name) {
    return name.find_first_of("\r\n") == std::string_view::npos;
}

const regfile::Value* FindValue(const regfile::Document& doc, std::string_view path,
                                std::string_view name) {
    const regfile::Key* key = doc.Find(path);
    return key != nullptr ? key->Find(name) : nullptr;
}

const std::vector<regfile::Value>& ValuesOf(const regfile::Document& doc, std::string_view path) {
    static const std::vector<regfile::Value> none;
    const regfile::Key* key = doc.Find(path);
    return key != nullptr ? key->values : none;
}

std::filesystem::path DirectoryOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

}  // namespace

RegistryStore::RegistryStore() : RegistryStore(DefaultPath()) {}

RegistryStore::RegistryStore(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path RegistryStore::DefaultPath() {
    if (const char* p = std::getenv("BRINDLEMARK_REGISTRY"); p != nullptr && *p != '\0') return p;
    const std::filesystem::path tail = std::filesystem::path("brindlemark") / "registry.reg";
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x != nullptr && *x == '/')
        return std::filesystem::path(x) / tail;
    std::string home;
    if (const char* h = std::getenv("HOME"); h != nullptr && *h != '\0') {
        home = h;
    } else {
        passwd entry{};
        passwd* found = nullptr;
        std::vector<char> buffer(16384);
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr && found->pw_dir != nullptr)
            home = found->pw_dir;
    }
    return std::filesystem::path(home) / ".config" / tail;
}

// ---- The file --------------------------------------------------------------

// Any write by anyone replaces the file (a new inode) or changes its size or
// times, so an unchanged signature means unchanged content.
RegistryStore::FileSignature RegistryStore::SignatureOf(const struct stat& st) {
    return FileSignature{static_cast<unsigned long long>(st.st_dev),
                         static_cast<unsigned long long>(st.st_ino),
                         static_cast<unsigned long long>(st.st_size),
                         st.st_mtim.tv_sec,
                         st.st_mtim.tv_nsec,
                         st.st_ctim.tv_sec,
                         st.st_ctim.tv_nsec};
}

RegistryStore::Snapshot RegistryStore::Load(const std::filesystem::path& file) {
    Snapshot snap;
    std::string text;
    struct stat st {};
    if (auto problem = ReadRegularFile(file, kMaxFileSize, text, &st)) {
        if (problem->error == ENOENT) return snap;
        snap.state = FileState::kUnreadable;
        snap.error = problem->error;
        snap.problem = std::move(problem->reason);
        return snap;
    }
    snap.signature = SignatureOf(st);
    regfile::ParseResult parsed = regfile::Parse(text);
    if (parsed.error) {
        snap.state = FileState::kUnparsable;
        snap.problem = "line " + std::to_string(parsed.error->line) + ": " + parsed.error->message;
        return snap;
    }
    snap.state = FileState::kGood;
    snap.document = std::move(parsed.document);
    return snap;
}

void RegistryStore::Refresh() {
    struct stat st {};
    if (::stat(file_.c_str(), &st) != 0) {
        if (errno == ENOENT && state_ == FileState::kMissing) return;
    } else if (signature_ && SignatureOf(st) == *signature_) {
        return;
    }
    Adopt(Load(file_));
}

void RegistryStore::Adopt(Snapshot snapshot) {
    state_ = snapshot.state;
    document_ = std::move(snapshot.document);
    signature_ = snapshot.signature;
    problem_ = std::move(snapshot.problem);
    error_ = snapshot.error;
    if (Usable()) {
        complained_ = false;
        return;
    }
    if (!complained_) {
        std::fprintf(stderr,
                     "brindlemark: registry file %s %s, the file is left as it is and changes "
                     "are not saved\n",
                     file_.c_str(), problem_.c_str());
        complained_ = true;
    }
}

Status RegistryStore::Refusal() const {
    if (state_ == FileState::kUnparsable) return reg::kErrorRegistryCorrupt;
    return StatusFromErrno(error_);
}

template <class Change>
Status RegistryStore::Mutate(Change change) {
    std::error_code ec;
    std::filesystem::create_directories(DirectoryOf(file_), ec);
    if (ec) return StatusFromErrno(ec.value());
    const std::filesystem::path target = WriteTarget(file_);
    const std::string lockPath = target.string() + ".lock";
    UniqueFd lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!lock) return StatusFromErrno(errno);
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) return StatusFromErrno(errno);
    }
    // Another process may have written since our last look.
    Refresh();
    if (!Usable()) return Refusal();
    regfile::Document next = document_;
    bool changed = false;
    const Status rc = change(next, changed);
    if (rc != reg::kErrorSuccess || !changed) return rc;
    const Status saved = Save(next);
    if (saved != reg::kErrorSuccess) return saved;
    // Still under the lock, so what is on disk now is what we wrote: no need
    // to read it back.
    Snapshot written;
    written.state = FileState::kGood;
    written.document = std::move(next);
    struct stat st {};
    if (::stat(file_.c_str(), &st) == 0) written.signature = SignatureOf(st);
    Adopt(std::move(written));
    return reg::kErrorSuccess;
}

Status RegistryStore::Save(const regfile::Document& document) {
    // Under the writers' lock no live writer owns a temporary.
    RemoveStaleTemporaries(file_);
    // A new store is private to its user.
    const auto problem = ReplaceFile(file_, regfile::Serialize(document), 0600);
    if (!problem) return reg::kErrorSuccess;
    // The add-in carries on without a word when a write fails; whoever
    // runs it can tell the person (SaveProblem).
    if (!saveProblem_) saveProblem_ = problem->reason;
    return StatusFromErrno(problem->error);
}

// ---- Handles -----------------------------------------------------------------

std::optional<RegistryStore::OpenKey> RegistryStore::Resolve(Hkey key) const {
    if (const char* root = RootName(key)) return OpenKey{root, ~DWord{0}};
    const auto it = handles_.find(key);
    if (it == handles_.end()) return std::nullopt;
    return it->second;
}

Status RegistryStore::PathBelow(Hkey root, const char* subKey, std::string& path) {
    const auto base = Resolve(root);
    if (!base) return reg::kErrorInvalidHandle;
    if (const Status rc = JoinPath(base->path, subKey, path)) return rc;
    Refresh();
    return reg::kErrorSuccess;
}

Hkey RegistryStore::NewHandle(std::string path, DWord access) {
    // Handles are not reused, so a stale one is refused rather than naming
    // another key.
    const Hkey handle = nextHandle_++;
    handles_.emplace(handle, OpenKey{std::move(path), access});
    return handle;
}

std::size_t RegistryStore::OpenHandles() const {
    std::lock_guard lock(mutex_);
    return handles_.size();
}

// ---- The registry operations -------------------------------------------------

Status RegistryStore::RegOpenKeyExA(Hkey root, const char* subKey, DWord /*options*/,
                                    DWord samDesired, Hkey& result) {
    std::lock_guard lock(mutex_);
    result = 0;
    std::string path;
    if (const Status rc = PathBelow(root, subKey, path)) return rc;
    if (!document_.Exists(path)) return reg::kErrorFileNotFound;
    result = NewHandle(std::move(path), samDesired);
    return reg::kErrorSuccess;
}

Status RegistryStore::RegCreateKeyExA(Hkey root, const char* subKey, DWord /*options*/,
                                      DWord samDesired, Hkey& result, DWord* disposition) {
    std::lock_guard lock(mutex_);
    result = 0;
    std::string path;
    if (const Status rc = PathBelow(root, subKey, path)) return rc;
    DWord outcome = reg::kRegOpenedExistingKey;
    if (!(Usable() && document_.Exists(path))) {
        const Status rc = Mutate([&](regfile::Document& doc, bool& changed) {
            if (!doc.Exists(path)) {
                doc.Ensure(path);
                changed = true;
                outcome = reg::kRegCreatedNewKey;
            }
            return reg::kErrorSuccess;
        });
        if (rc != reg::kErrorSuccess) return rc;
    }
    result = NewHandle(std::move(path), samDesired);
    if (disposition != nullptr) *disposition = outcome;
    return reg::kErrorSuccess;
}

Status RegistryStore::DeleteKeyTree(std::string_view keyPath) {
    std::lock_guard lock(mutex_);
    return Mutate([&](regfile::Document& doc, bool& changed) {
        changed = doc.EraseTree(keyPath);
        return reg::kErrorSuccess;
    });
}

Status RegistryStore::RegQueryValueExA(Hkey key, const char* valueName, DWord* type,
                                       std::uint8_t* data, DWord* dataSize) {
    std::lock_guard lock(mutex_);
    const auto open = Resolve(key);
    if (!open) return reg::kErrorInvalidHandle;
    if ((open->access & reg::kKeyQueryValue) == 0) return reg::kErrorAccessDenied;
    if (data != nullptr && dataSize == nullptr) return reg::kErrorInvalidParameter;
    Refresh();
    if (!document_.Exists(open->path)) return reg::kErrorKeyDeleted;
    const regfile::Value* value =
        FindValue(document_, open->path, valueName != nullptr ? valueName : "");
    if (value == nullptr) return reg::kErrorFileNotFound;
    if (type != nullptr) *type = value->type;
    const auto size = static_cast<DWord>(value->data.size());
    if (data != nullptr) {
        if (*dataSize < size) {
            *dataSize = size;
            return reg::kErrorMoreData;
        }
        std::copy(value->data.begin(), value->data.end(), data);
    }
    if (dataSize != nullptr) *dataSize = size;
    return reg::kErrorSuccess;
}

Status RegistryStore::RegSetValueExA(Hkey key, const char* valueName, DWord type,
                                     const std::uint8_t* data, DWord dataSize) {
    std::lock_guard lock(mutex_);
    const auto open = Resolve(key);
    if (!open) return reg::kErrorInvalidHandle;
    if ((open->access & reg::kKeySetValue) == 0) return reg::kErrorAccessDenied;
    if (data == nullptr && dataSize != 0) return reg::kErrorInvalidParameter;
    const std::string name = valueName != nullptr ? valueName : "";
    if (!ValidValueName(name)) return reg::kErrorInvalidParameter;
    Bytes bytes(data, data + dataSize);
    if (type == reg::kRegSz || type == reg::kRegExpandSz || type == reg::kRegMultiSz) {
        // Stored text is always well-formed UTF-8, so the file keeps it as is.
        const std::string text = regfile::NormalizeUtf8(
            std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
        bytes.assign(text.begin(), text.end());
    }
    return Mutate([&](regfile::Document& doc, bool& changed) {
        if (!doc.Exists(open->path)) return reg::kErrorKeyDeleted;
        const std::size_t sections = doc.keys.size();
        regfile::Key& section = doc.Ensure(open->path);
        const bool keyAdded = doc.keys.size() != sections;
        changed = section.Set(regfile::Value{name, type, std::move(bytes)}) || keyAdded;
        return reg::kErrorSuccess;
    });
}

Status RegistryStore::RegQueryInfoKeyA(Hkey key, DWord* values, DWord* maxValueNameLen,
                                       DWord* maxValueDataLen) {
    std::lock_guard lock(mutex_);
    const auto open = Resolve(key);
    if (!open) return reg::kErrorInvalidHandle;
    if ((open->access & reg::kKeyQueryValue) == 0) return reg::kErrorAccessDenied;
    Refresh();
    if (!document_.Exists(open->path)) return reg::kErrorKeyDeleted;
    const auto& list = ValuesOf(document_, open->path);
    std::size_t maxName = 0, maxData = 0;
    for (const regfile::Value& v : list) {
        maxName = std::max(maxName, v.name.size());
        maxData = std::max(maxData, v.data.size());
    }
    if (values != nullptr) *values = static_cast<DWord>(list.size());
    if (maxValueNameLen != nullptr) *maxValueNameLen = static_cast<DWord>(maxName);
    if (maxValueDataLen != nullptr) *maxValueDataLen = static_cast<DWord>(maxData);
    return reg::kErrorSuccess;
}

Status RegistryStore::RegEnumValueA(Hkey key, DWord index, char* name, DWord* nameCapacity,
                                    DWord* type, std::uint8_t* data, DWord* dataSize) {
    std::lock_guard lock(mutex_);
    const auto open = Resolve(key);
    if (!open) return reg::kErrorInvalidHandle;
    if ((open->access & reg::kKeyQueryValue) == 0) return reg::kErrorAccessDenied;
    if (name == nullptr || nameCapacity == nullptr) return reg::kErrorInvalidParameter;
    if (data != nullptr && dataSize == nullptr) return reg::kErrorInvalidParameter;
    Refresh();
    if (!document_.Exists(open->path)) return reg::kErrorKeyDeleted;
    const auto& list = ValuesOf(document_, open->path);
    if (index >= list.size()) return reg::kErrorNoMoreItems;
    const regfile::Value& value = list[index];
    if (value.name.size() >= *nameCapacity) return reg::kErrorMoreData;
    std::copy(value.name.begin(), value.name.end(), name);
    name[value.name.size()] = '\0';
    *nameCapacity = static_cast<DWord>(value.name.size());
    if (type != nullptr) *type = value.type;
    const auto size = static_cast<DWord>(value.data.size());
    if (data != nullptr) {
        if (*dataSize < size) {
            *dataSize = size;
            return reg::kErrorMoreData;
        }
        std::copy(value.data.begin(), value.data.end(), data);
    }
    if (dataSize != nullptr) *dataSize = size;
    return reg::kErrorSuccess;
}

Status RegistryStore::RegCloseKey(Hkey key) {
    std::lock_guard lock(mutex_);
    if (RootName(key) != nullptr) return reg::kErrorSuccess;
    return handles_.erase(key) != 0 ? reg::kErrorSuccess : reg::kErrorInvalidHandle;
}

// ---- For tests and the workbench -------------------------------------------

std::optional<std::vector<RegistryStore::ListedValue>> RegistryStore::ListValues(
    std::string_view keyPath) {
    std::lock_guard lock(mutex_);
    Refresh();
    if (!document_.Exists(keyPath)) return std::nullopt;
    return ValuesOf(document_, keyPath);
}

std::optional<std::string> RegistryStore::SaveProblem() const {
    std::lock_guard lock(mutex_);
    return saveProblem_;
}

std::optional<std::string> RegistryStore::Problem() {
    std::lock_guard lock(mutex_);
    // The caller tells the person of a problem itself; the store keeps
    // quiet about the one it answers.
    complained_ = true;
    Refresh();
    if (!Usable()) return problem_;
    complained_ = false;
    return std::nullopt;
}

}  // namespace bm::portable
