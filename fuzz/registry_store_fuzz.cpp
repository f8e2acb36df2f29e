// The registry store's file format on arbitrary text: a file it accepts
// must be written back as a file it accepts again, holding the same keys
// and values, and written the same the second time.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/portable/registry_store_format.h"

namespace {

using bm::portable::regfile::Document;

bool SameContent(const Document& a, const Document& b) {
    if (a.keys.size() != b.keys.size()) return false;
    for (std::size_t i = 0; i < a.keys.size(); ++i)
        if (a.keys[i].path != b.keys[i].path || a.keys[i].values != b.keys[i].values) return false;
    return true;
}

[[noreturn]] void Fail(const char* what, const std::string& written) {
    std::fprintf(stderr, "%s; written:\n%s\n", what, written.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace regfile = bm::portable::regfile;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const regfile::ParseResult first = regfile::Parse(text);
    if (first.error) return 0;
    const std::string written = regfile::Serialize(first.document);
    const regfile::ParseResult second = regfile::Parse(written);
    if (second.error) Fail(("the written file does not parse: line " + std::to_string(second.error->line) +
                            ": " + second.error->message).c_str(), written);
    if (!SameContent(first.document, second.document)) Fail("the written file holds other content", written);
    if (regfile::Serialize(second.document) != written) Fail("the second writing differs", written);
    return 0;
}
