#include "platform/portable/posix_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace bm::portable {

namespace fs = std::filesystem;

namespace {

FileProblem SystemProblem(const char* what, int error) {
    return {error, std::string(what) + " (" + std::strerror(error) + ")"};
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t n = ::write(fd, text.data(), text.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

fs::path FolderOf(const fs::path& file) { return file.has_parent_path() ? file.parent_path() : fs::path("."); }

// The file a replacement of `file` writes (`target`), its status before
// (`old`, when it `exists`), and why it may not be replaced.
std::optional<FileProblem> InspectTarget(const fs::path& file, fs::path& target, struct stat& old, bool& exists) {
    if (!file.has_filename()) return FileProblem{EISDIR, "is not a file name"};
    target = WriteTarget(file);
    exists = ::stat(target.c_str(), &old) == 0;
    if (exists && S_ISDIR(old.st_mode)) return FileProblem{EISDIR, "is a folder, not a file"};
    // The owner's write bit is the user's "do not change this"; a process
    // allowed to replace the file anyway (root, say) respects it too.
    if (exists && (old.st_mode & S_IWUSR) == 0) return FileProblem{EACCES, "is read-only"};
    return std::nullopt;
}

}  // namespace

int UniqueFd::Reset() {
    if (fd_ < 0) return 0;
    return ::close(std::exchange(fd_, -1));
}

std::string SizeText(std::uintmax_t bytes) {
    if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MiB";
    if (bytes >= (1u << 10) && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + " KiB";
    return std::to_string(bytes) + " bytes";
}

std::optional<FileProblem> ReadRegularFile(const fs::path& file, std::uintmax_t maxBytes, std::string& content,
                                           struct stat* seen) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer that may never
    // come; a regular file reads the same either way.
    UniqueFd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        if (errno == ENOENT) return FileProblem{ENOENT, "does not exist"};
        return SystemProblem("cannot be read", errno);
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) return SystemProblem("cannot be read", errno);
    if (S_ISDIR(st.st_mode)) return FileProblem{EISDIR, "is a folder, not a file"};
    if (!S_ISREG(st.st_mode)) return FileProblem{EINVAL, "is not a regular file"};
    if (static_cast<std::uintmax_t>(st.st_size) > maxBytes)
        return FileProblem{EFBIG, "is larger than " + SizeText(maxBytes)};
    std::string text;
    text.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return SystemProblem("cannot be read", errno);
        }
        if (n == 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
        // A file still growing as it is read is held to the same limit.
        if (text.size() > maxBytes) return FileProblem{EFBIG, "is larger than " + SizeText(maxBytes)};
    }
    content = std::move(text);
    if (seen) *seen = st;
    return std::nullopt;
}

fs::path WriteTarget(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_symlink(file, ec)) return file;
    fs::path target = fs::weakly_canonical(file, ec);
    return ec ? file : target;
}

void RemoveStaleTemporaries(const fs::path& file) {
    const fs::path target = WriteTarget(file);
    const std::string prefix = target.filename().string() + ".tmp";
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(FolderOf(target), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
            fs::remove(entry.path(), ec);
    }
}

std::optional<FileProblem> ReplaceProblem(const fs::path& file) {
    fs::path target;
    struct stat old {};
    bool exists = false;
    return InspectTarget(file, target, old, exists);
}

std::optional<FileProblem> ReplaceFile(const fs::path& file, std::string_view content, mode_t newMode) {
    fs::path target;
    struct stat old {};
    bool exists = false;
    if (auto problem = InspectTarget(file, target, old, exists)) return problem;

    std::string temp = target.string() + ".tmpXXXXXX";
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd) return SystemProblem("cannot get a temporary file beside it", errno);
    const auto fail = [&](const char* what, int error) {
        fd.Reset();
        ::unlink(temp.c_str());
        return SystemProblem(what, error);
    };
    if (::fchmod(fd.get(), exists ? (old.st_mode & 07777) : newMode) != 0)
        return fail("cannot set its permissions", errno);
    if (!WriteAll(fd.get(), content)) return fail("cannot be written", errno);
    if (::fsync(fd.get()) != 0) return fail("cannot be flushed to disk", errno);
    if (fd.Reset() != 0) return fail("cannot be written", errno);
    if (::rename(temp.c_str(), target.c_str()) != 0) return fail("cannot be replaced", errno);
    // The rename itself must survive a crash too; not every file system can.
    UniqueFd folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder) ::fsync(folder.get());
    return std::nullopt;
}

}  // namespace bm::portable
