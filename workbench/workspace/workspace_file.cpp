// Workspace files on disk: reading one whole, and replacing one in a
// single rename (workbench/system.h).

#include "workbench/system.h"
#include "workbench/workspace/workspace.h"

namespace bm::workbench {

namespace fs = std::filesystem;

Workspace LoadWorkspace(const fs::path& file) {
    std::string content;
    try {
        content = system::ReadInputFile(file, kMaxWorkspaceBytes);
    } catch (const system::FileError& e) {
        throw WorkspaceError(e.what());
    }
    return ParseWorkspace(content, file.string());
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
