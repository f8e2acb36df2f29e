// The workbench's system calls on POSIX.

#include <unistd.h>

#include "platform/portable/posix_file.h"
#include "workbench/system.h"

namespace bm::workbench::system {

namespace fs = std::filesystem;

namespace {

std::string Shown(const fs::path& file, const portable::FileProblem& problem) {
    return file.string() + ": " + problem.reason;
}

}  // namespace

std::string ReadInputFile(const fs::path& file, std::uintmax_t maxBytes) {
    std::string content;
    if (const auto problem = portable::ReadRegularFile(file, maxBytes, content))
        throw FileError(Shown(file, *problem));
    return content;
}

void WriteAtomically(const fs::path& out, std::string_view content) {
    if (const auto problem = portable::ReplaceFile(out, content)) throw FileError(Shown(out, *problem));
}

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) != 0; }

fs::path ProgramFolder() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path(".") : self.parent_path();
}

bool CanCreateFilesIn(const fs::path& folder) { return ::access(folder.c_str(), W_OK) == 0; }

}  // namespace bm::workbench::system
