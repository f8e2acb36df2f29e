// The workspace reader and writer on arbitrary text: a workspace that
// loads is saved as text that loads again and saves the same, so `--save`
// never writes a file the program then refuses.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "workbench/workspace/workspace.h"

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& saved) {
    std::fprintf(stderr, "%s\nsaved:\n%s\n", what.c_str(), saved.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bm::workbench;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string saved;
    try {
        const Workspace first = ParseWorkspace(text, "fuzz.json");
        saved = WorkspaceText(first.host, first.hostVersion);
    } catch (const WorkspaceError&) {
        return 0;  // refused with a message: fine
    }
    try {
        const Workspace second = ParseWorkspace(saved, "saved.json");
        if (WorkspaceText(second.host, second.hostVersion) != saved) Fail("saved differently the second time", saved);
    } catch (const WorkspaceError& e) {
        Fail(std::string("the saved workspace does not load: ") + e.what(), saved);
    }
    return 0;
}
