#pragma once

// Whole-file reads and replacements on POSIX, for every file a user hands
// the program (registry stores, workspaces, scripts). A read refuses what
// is not a regular file or is larger than its limit before reading a byte,
// so a FIFO, a device or a folder cannot hang the program or fill its
// memory. A replacement lands whole or not at all.

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace bm::portable {

// A file descriptor closed when it goes.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    explicit operator bool() const { return fd_ >= 0; }
    int get() const { return fd_; }
    // Closes now, reporting the error a delayed write may only show here.
    int Reset();

private:
    int fd_;
};

// Why a file could not be read or written: the errno and the words a
// person reads after the file's name ("is not a regular file").
struct FileProblem {
    int error = 0;
    std::string reason;
};

// Reads the whole regular file into `content`. On success `seen`, when
// given, holds the file's status as it was read. A missing file is a
// problem with error ENOENT.
std::optional<FileProblem> ReadRegularFile(const std::filesystem::path& file, std::uintmax_t maxBytes,
                                           std::string& content, struct stat* seen = nullptr);

// Replaces `file` with `content`: a temporary beside it ("NAME.tmpXXXXXX"),
// flushed, then renamed over it, and the rename flushed too, so a crash
// leaves the old file or the new one. A symbolic link is followed and
// survives. The replacement keeps the file's permissions (a new file gets
// `newMode`). A file whose owner may not write it is read-only to us as
// well, even where the system would let this process replace it.
std::optional<FileProblem> ReplaceFile(const std::filesystem::path& file, std::string_view content,
                                       mode_t newMode = 0644);

// Why ReplaceFile would refuse `file` before writing anything (a folder, a
// read-only file), or nullopt.
std::optional<FileProblem> ReplaceProblem(const std::filesystem::path& file);

// Temporaries that writers left behind when they died before their rename.
// Only safe while no other writer of `file` can be running.
void RemoveStaleTemporaries(const std::filesystem::path& file);

// Where a write of `file` lands: through a symbolic link to what it names.
std::filesystem::path WriteTarget(const std::filesystem::path& file);

// "64 MiB", "512 KiB": a limit as people read it.
std::string SizeText(std::uintmax_t bytes);

}  // namespace bm::portable
