// The workbench's system calls on POSIX.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "workbench/system.h"

namespace bm::workbench::system {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const fs::path& file, const std::string& what, int error) {
    throw FileError(file.string() + ": " + what + ": " + std::strerror(error));
}

// A temporary file that is removed unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) { fd_ = ::mkstemp(path_.data()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!kept_) ::unlink(path_.c_str());
    }

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    int close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }
    void keep() { kept_ = true; }

private:
    std::string path_;
    int fd_ = -1;
    bool kept_ = false;
};

}  // namespace

void WriteAtomically(const fs::path& out, std::string_view content) {
    if (!out.has_filename()) throw FileError(out.string() + ": expected a file name to write");
    const fs::path dir = out.has_parent_path() ? out.parent_path() : fs::path(".");
    TempFile temp((dir / ("." + out.filename().string() + ".tmp-XXXXXX")).string());
    if (temp.fd() < 0) Fail(out, "cannot create a temporary file beside it", errno);

    for (std::size_t done = 0; done < content.size();) {
        const ssize_t n = ::write(temp.fd(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) Fail(out, "cannot write", errno);
        done += static_cast<std::size_t>(n);
    }
    // The replacement keeps the permissions of the file it replaces.
    struct stat old {};
    const mode_t mode = ::stat(out.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    if (::fchmod(temp.fd(), mode) != 0) Fail(out, "cannot set permissions", errno);
    if (::fsync(temp.fd()) != 0) Fail(out, "cannot flush to disk", errno);
    if (temp.close() != 0) Fail(out, "cannot write", errno);
    if (::rename(temp.path().c_str(), out.c_str()) != 0) Fail(out, "cannot replace", errno);
    temp.keep();

    // Makes the rename itself durable; not every file system can.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

fs::path ProgramFolder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path(".") : self.parent_path();
}

bool CanCreateFilesIn(const fs::path& folder) { return ::access(folder.c_str(), W_OK) == 0; }

}  // namespace bm::workbench::system
