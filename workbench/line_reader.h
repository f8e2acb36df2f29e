#pragma once

// The lines a person types at the workbench's prompts. At a terminal on a
// system with libedit: line editing, one history for every prompt (Up
// recalls an earlier line), Tab completion from the words the caller
// offers for the place in the line, and Ctrl-C that drops the line being
// typed, as a shell does. Elsewhere plain lines from the stream (a Windows
// console edits and recalls lines by itself). One file per face, chosen in
// CMake: line_reader_posix.cpp, com/line_reader_windows.cpp.

#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace bm::workbench {

// The words that may be typed next, after the words `before` it. A word
// with blanks in it is offered in double quotes.
using Completer = std::function<std::vector<std::string>(const std::vector<std::string>& before)>;

class LineReader {
public:
    enum class Reading {
        kLine,       // `line` holds the line typed
        kEnd,        // the end of input: on a terminal Ctrl-D, after which reading goes on
        kCancel,     // Ctrl-C (SIGINT): `line` holds what had been typed, now dropped
        kTerminate,  // SIGTERM: the session is asked to end
    };

    // Edits lines itself only when `in` is the standard input and that is
    // a terminal.
    LineReader(std::istream& in, std::ostream& out);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Shows `prompt` and reads one line into `line`.
    Reading Read(const std::string& prompt, const Completer& completer, std::string& line);

private:
    struct Editor;
    std::istream& in_;
    std::ostream& out_;
    std::unique_ptr<Editor> editor_;  // null: plain lines
};

}  // namespace bm::workbench
