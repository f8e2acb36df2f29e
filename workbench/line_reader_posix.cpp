#include <editline/readline.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

#include "workbench/line_reader.h"

namespace bm::workbench {

namespace {

// libedit's completion hooks take no context: the words of the prompt
// being read sit here while it reads.
const std::vector<std::string>* offered = nullptr;

char* NextMatch(const char* text, int state) {
    static std::size_t next = 0;
    if (state == 0) next = 0;
    if (!offered) return nullptr;
    const std::size_t length = std::strlen(text);
    while (next < offered->size()) {
        const std::string& word = (*offered)[next++];
        if (word.compare(0, length, text) == 0) return ::strdup(word.c_str());
    }
    return nullptr;
}

char** Complete(const char* text, int, int) {
    rl_attempted_completion_over = 1;  // no file names: only the offered words
    return rl_completion_matches(text, &NextMatch);
}

}  // namespace

struct LineReader::Editor {
    Editor() {
        rl_readline_name = "brindlemark-host";
        rl_attempted_completion_function = &Complete;
        using_history();
    }
};

LineReader::LineReader(std::istream& in, std::ostream& out) : in_(in), out_(out) {
    if (&in == &std::cin && ::isatty(STDIN_FILENO)) editor_ = std::make_unique<Editor>();
}

LineReader::~LineReader() = default;

bool LineReader::Read(const std::string& prompt, const std::vector<std::string>& completions, std::string& line) {
    if (!editor_) {
        out_ << prompt << std::flush;
        if (std::getline(in_, line)) return true;
        out_ << "\n";
        return false;
    }
    out_.flush();
    offered = &completions;
    char* typed = ::readline(prompt.c_str());
    offered = nullptr;
    if (!typed) {
        std::cout << "\n";
        return false;
    }
    line = typed;
    std::free(typed);
    if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
    return true;
}

}  // namespace bm::workbench
