#pragma once

// The lines a person types at the workbench's prompts. At a terminal on a
// system with libedit: line editing, one history for every prompt (Up
// recalls an earlier line) and Tab completion from the words the caller
// offers for that prompt. Elsewhere plain lines from the stream (a Windows
// console edits and recalls lines by itself). One file per face, chosen in
// CMake: line_reader_posix.cpp, com/line_reader_windows.cpp.

#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace bm::workbench {

class LineReader {
public:
    // Edits lines itself only when `in` is the standard input and that is
    // a terminal.
    LineReader(std::istream& in, std::ostream& out);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Shows `prompt` and reads one line into `line`. False at the end of
    // input: on a terminal that is Ctrl-D, after which reading goes on.
    bool Read(const std::string& prompt, const std::vector<std::string>& completions, std::string& line);

private:
    struct Editor;
    std::istream& in_;
    std::ostream& out_;
    std::unique_ptr<Editor> editor_;  // null: plain lines
};

}  // namespace bm::workbench
