// Workspace files on disk: reading one whole, and replacing one in a
// single rename (workbench/system.h).

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "workbench/system.h"
#include "workbench/workspace/workspace.h"

namespace bm::workbench {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void io_failure(const fs::path& file, const std::string& what, int error) {
    throw WorkspaceError(file.string() + ": " + what + ": " + std::strerror(error));
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
    const std::string text = WorkspaceText(host, hostVersion);
    try {
        system::WriteAtomically(out, text);
    } catch (const system::FileError& e) {
        throw WorkspaceError(e.what());
    }
}

void SaveWorkspace(const Workspace& workspace, const fs::path& out) {
    SaveWorkspace(workspace.host, workspace.hostVersion, out);
}

}  // namespace bm::workbench
