// The session-script reader on arbitrary text: it reads the script or
// refuses it with a ScriptError naming the line, and never crashes; every
// step it accepts reads the same again from its own text.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "workbench/model/memory_host.h"
#include "workbench/script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace bm::workbench;
    static MemoryHost* host = [] {
        auto* h = new MemoryHost;
        auto plate = h->AddPart("C:/Work/Plate.ipt");
        h->AddDrawing("C:/Work/Plate.idw")->AddRef(plate);
        h->AddAssembly("C:/Work/Frame.iam");
        return h;
    }();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        for (const Step& step : ParseScript(text, "fuzz.txt", *host)) {
            const auto again = ParseStep(step.text, step.line, *host);
            if (!again || again->type != step.type) std::abort();
        }
    } catch (const ScriptError&) {
    }
    return 0;
}
