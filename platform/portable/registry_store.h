#pragma once

// The registry where there is no Windows registry: HKEY_CURRENT_USER,
// HKEY_CLASSES_ROOT and the other roots live in one text file in the
// registry editor's export format (see registry_store_format.h).
//
// - Every write reaches the disk before the call returns, through a
//   temporary file in the same directory, fsync and rename, so a crash
//   leaves the old file or the new one, never a mix.
// - Several processes may share the file: writers take a lock on a sibling
//   "<file>.lock" and re-read the file under it, so none loses another's
//   values; readers re-read whenever the file has changed.
// - A file that cannot be read or parsed is never overwritten: reads behave
//   as for missing keys, writes fail with kErrorRegistryCorrupt (or the read
//   error), and the store says once on stderr which file and line is wrong.
// - A missing file is an empty registry, created with its directory on the
//   first write.
//
// A handle names a key path; whether the key exists is decided by the file's
// content at each call. Key paths and value names are matched without regard
// to ASCII letter case.

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/portable/registry_store_format.h"

struct stat;
#include "settings/registry_api.h"

namespace bm::portable {

class RegistryStore : public RegistryApi {
public:
    // A larger file is refused like an unreadable one: the add-in's
    // registry is a few kilobytes, and reading gigabytes would only end in
    // running out of memory.
    static constexpr unsigned long long kMaxFileSize = 64ull << 20;

    // The file at DefaultPath().
    RegistryStore();
    explicit RegistryStore(std::filesystem::path file);

    // $BRINDLEMARK_REGISTRY when set, else
    // $XDG_CONFIG_HOME/brindlemark/registry.reg, else
    // ~/.config/brindlemark/registry.reg.
    static std::filesystem::path DefaultPath();

    const std::filesystem::path& Path() const { return file_; }

    reg::Status RegOpenKeyExA(reg::Hkey root, const char* subKey, reg::DWord options,
                              reg::DWord samDesired, reg::Hkey& result) override;
    reg::Status RegCreateKeyExA(reg::Hkey root, const char* subKey, reg::DWord options,
                                reg::DWord samDesired, reg::Hkey& result,
                                reg::DWord* disposition) override;
    reg::Status RegQueryValueExA(reg::Hkey key, const char* valueName, reg::DWord* type,
                                 std::uint8_t* data, reg::DWord* dataSize) override;
    reg::Status RegSetValueExA(reg::Hkey key, const char* valueName, reg::DWord type,
                               const std::uint8_t* data, reg::DWord dataSize) override;
    reg::Status RegQueryInfoKeyA(reg::Hkey key, reg::DWord* values, reg::DWord* maxValueNameLen,
                                 reg::DWord* maxValueDataLen) override;
    reg::Status RegEnumValueA(reg::Hkey key, reg::DWord index, char* name, reg::DWord* nameCapacity,
                              reg::DWord* type, std::uint8_t* data, reg::DWord* dataSize) override;
    reg::Status RegCloseKey(reg::Hkey key) override;

    using ListedValue = regfile::Value;

    // The values of a key given by its full path
    // ("HKEY_CURRENT_USER\Software\Quillfern\Copy Custom Prop\Defaults"), in
    // listing order; nullopt when the key does not exist.
    std::optional<std::vector<ListedValue>> ListValues(std::string_view keyPath);

    // A value as the file shows it: "CopyMass"=dword:00000001.
    static std::string FormatValue(const ListedValue& value) { return regfile::FormatValue(value); }

    // Removes a key given by its full path with every key below it, as
    // unregistering a class does. Succeeds when the key is not there.
    reg::Status DeleteKeyTree(std::string_view keyPath);

    // Why the file cannot be used ("line 7: expected ..."), or nullopt when it
    // can (a missing file can). The caller then says so: the store does not
    // print this problem itself.
    std::optional<std::string> Problem();

    // Why the first change that could not be saved was not ("is
    // read-only"), or nullopt when every change reached the file.
    std::optional<std::string> SaveProblem() const;

    // Handles currently open (for tests that check nothing leaks).
    std::size_t OpenHandles() const;

private:
    enum class FileState { kMissing, kGood, kUnreadable, kUnparsable };

    struct FileSignature {
        unsigned long long device = 0, inode = 0, size = 0;
        long long mtimeSec = 0, mtimeNsec = 0, ctimeSec = 0, ctimeNsec = 0;
        friend bool operator==(const FileSignature&, const FileSignature&) = default;
    };

    struct Snapshot {
        FileState state = FileState::kMissing;
        regfile::Document document;
        std::optional<FileSignature> signature;
        std::string problem;  // for the unusable states
        int error = 0;        // errno of an unreadable file
    };

    struct OpenKey {
        std::string path;
        reg::DWord access = 0;
    };

    static FileSignature SignatureOf(const struct stat& st);
    static Snapshot Load(const std::filesystem::path& file);
    void Refresh();
    void Adopt(Snapshot snapshot);
    bool Usable() const { return state_ == FileState::kMissing || state_ == FileState::kGood; }
    reg::Status Refusal() const;

    // Runs `change` on the file's current content under the writers' lock
    // and saves the result when `change` reports a change.
    template <class Change>
    reg::Status Mutate(Change change);
    reg::Status Save(const regfile::Document& document);

    // The key a handle names, or nullopt for an unknown handle.
    std::optional<OpenKey> Resolve(reg::Hkey key) const;
    // The full path of `subKey` below the key of `root`, with the file
    // re-read so that the path is looked up in its current content.
    reg::Status PathBelow(reg::Hkey root, const char* subKey, std::string& path);
    reg::Hkey NewHandle(std::string path, reg::DWord access);

    std::filesystem::path file_;
    mutable std::mutex mutex_;

    FileState state_ = FileState::kMissing;
    regfile::Document document_;
    std::optional<FileSignature> signature_;
    std::string problem_;
    int error_ = 0;
    bool complained_ = false;
    std::optional<std::string> saveProblem_;

    std::map<reg::Hkey, OpenKey> handles_;
    reg::Hkey nextHandle_ = 1;
};

}  // namespace bm::portable
