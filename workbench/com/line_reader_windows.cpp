#include "workbench/line_reader.h"

namespace bm::workbench {

// The console edits lines, keeps their history and completes nothing:
// plain lines are all there is to read.
struct LineReader::Editor {};

LineReader::LineReader(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

LineReader::~LineReader() = default;

LineReader::Reading LineReader::Read(const std::string& prompt, const Completer&, std::string& line) {
    out_ << prompt << std::flush;
    if (std::getline(in_, line)) return Reading::kLine;
    out_ << "\n";
    // A console's Ctrl-Z ends this read only; the next one waits again.
    in_.clear();
    return Reading::kEnd;
}

}  // namespace bm::workbench
