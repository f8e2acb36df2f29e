// Workspace files on disk: reading one whole, and replacing one in a
// single rename. POSIX calls; the reading and writing of the text itself
// is portable.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "workbench/workspace/workspace.h"

namespace bm::workbench {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void io_failure(const fs::path& file, const std::string& what, int error) {
    throw WorkspaceError(file.string() + ": " + what + ": " + std::strerror(error));
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

void write_atomically(const fs::path& out, std::string_view content) {
    if (!out.has_filename()) throw WorkspaceError(out.string() + ": expected a file name to write");
    const fs::path dir = out.has_parent_path() ? out.parent_path() : fs::path(".");
    TempFile temp((dir / ("." + out.filename().string() + ".tmp-XXXXXX")).string());
    if (temp.fd() < 0) io_failure(out, "cannot create a temporary file beside it", errno);

    for (std::size_t done = 0; done < content.size();) {
        const ssize_t n = ::write(temp.fd(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) io_failure(out, "cannot write", errno);
        done += static_cast<std::size_t>(n);
    }
    // The replacement keeps the permissions of the file it replaces.
    struct stat old {};
    const mode_t mode = ::stat(out.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    if (::fchmod(temp.fd(), mode) != 0) io_failure(out, "cannot set permissions", errno);
    if (::fsync(temp.fd()) != 0) io_failure(out, "cannot flush to disk", errno);
    if (temp.close() != 0) io_failure(out, "cannot write", errno);
    if (::rename(temp.path().c_str(), out.c_str()) != 0) io_failure(out, "cannot replace", errno);
    temp.keep();

    // Makes the rename itself durable; not every file system can.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

}  // namespace

Workspace LoadWorkspace(const fs::path& file) {
    std::error_code ec;
    if (fs::is_directory(file, ec))
        throw WorkspaceError(file.string() + ": is a folder; expected a workspace file");
    std::ifstream in(file, std::ios::binary);
    if (!in) io_failure(file, "cannot open", errno);
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) io_failure(file, "cannot read", errno);
    return ParseWorkspace(content.str(), file.string());
}

void SaveWorkspace(const MemoryHost& host, std::int32_t hostVersion, const fs::path& out) {
    write_atomically(out, WorkspaceText(host, hostVersion));
}

void SaveWorkspace(const Workspace& workspace, const fs::path& out) {
    SaveWorkspace(workspace.host, workspace.hostVersion, out);
}

}  // namespace bm::workbench
