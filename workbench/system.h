#pragma once

// What the workbench asks of the system it runs on, one file per face:
// workbench/system_posix.cpp and workbench/com/system_windows.cpp, chosen
// in CMake.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace bm::workbench::system {

// A file operation the system refused: "FILE: what was done: why".
class FileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole of a file a user named, refused before a byte is read when it
// is missing, a folder, not a regular file (a FIFO, a device) or larger
// than `maxBytes`. Fails with FileError: "FILE: is not a regular file".
std::string ReadInputFile(const std::filesystem::path& file, std::uintmax_t maxBytes);

// Replaces `file` with `content` in one step: a temporary file beside it,
// flushed to disk, then renamed over it, so that a crash leaves the old
// file or the new one, never a mix. A read-only file is not replaced.
// Fails with FileError.
void WriteAtomically(const std::filesystem::path& file, std::string_view content);

// Whether standard input is a terminal (a console on Windows).
bool StdinIsTerminal();

// The folder of the running program.
std::filesystem::path ProgramFolder();

// Whether this process may create files in `folder`.
bool CanCreateFilesIn(const std::filesystem::path& folder);

}  // namespace bm::workbench::system
