#include <editline/readline.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "workbench/interrupts.h"
#include "workbench/line_reader.h"
#include "workbench/text.h"

namespace bm::workbench {

namespace {

constexpr int kCtrlC = 3;

// libedit's hooks take no context: the completer of the prompt being read
// sits here while it reads, with what Ctrl-C found on the line.
const Completer* offered = nullptr;
std::vector<std::string> matches;
bool cancelled = false;
std::string dropped;

bool StartsWithBlind(const std::string& word, const std::string& typed) {
    return word.size() >= typed.size() && Lower(word.substr(0, typed.size())) == Lower(typed);
}

char* NextMatch(const char*, int state) {
    static std::size_t next = 0;
    if (state == 0) next = 0;
    return next < matches.size() ? ::strdup(matches[next++].c_str()) : nullptr;
}

// The words before the one being completed decide what may come; a word
// with blanks is offered quoted, and found whether or not the person
// started it with its quote.
char** Complete(const char* text, int start, int) {
    rl_attempted_completion_over = 1;  // no file names: only the offered words
    matches.clear();
    if (!offered) return nullptr;
    const std::string typed = text;
    const std::vector<std::string> before = Words(std::string_view(rl_line_buffer, static_cast<std::size_t>(start)));
    for (const std::string& word : (*offered)(before)) {
        const bool quoted = word.size() > 1 && word.front() == '"';
        if (StartsWithBlind(word, typed) || (quoted && StartsWithBlind(word.substr(1), typed))) matches.push_back(word);
    }
    return rl_completion_matches(text, &NextMatch);
}

// Ctrl-C drops the line, as a shell does.
int Cancel(int, int) {
    cancelled = true;
    dropped.assign(rl_line_buffer, static_cast<std::size_t>(rl_end));
    rl_done = 1;
    return 0;
}

// Keys one at a time, waiting with the interrupts let in only while it
// waits, so that one cannot slip in between the look and the wait: SIGINT
// reaches the line as Ctrl-C, SIGTERM or SIGHUP ends it.
int ReadKey(FILE*) {
    sigset_t interrupts, others;
    sigemptyset(&interrupts);
    sigaddset(&interrupts, SIGINT);
    sigaddset(&interrupts, SIGTERM);
    sigaddset(&interrupts, SIGHUP);
    sigprocmask(SIG_BLOCK, &interrupts, &others);
    int key = EOF;
    while (true) {
        if (PendingInterrupt() == SIGINT) {
            TakeInterrupt();
            key = kCtrlC;
            break;
        }
        if (PendingInterrupt() != 0) break;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = ::ppoll(&input, 1, nullptr, &others);
        if (ready < 0 && errno == EINTR) continue;
        unsigned char c = 0;
        if (ready > 0 && ::read(STDIN_FILENO, &c, 1) == 1) key = c;
        break;
    }
    sigprocmask(SIG_SETMASK, &others, nullptr);
    return key;
}

}  // namespace

struct LineReader::Editor {
    Editor() {
        rl_readline_name = "brindlemark-host";
        rl_attempted_completion_function = &Complete;
        // Document names may hold any other character.
        rl_basic_word_break_characters = " \t";
        rl_completer_word_break_characters = const_cast<char*>(" \t");
        // The program keeps the signals; libedit's own handlers would re-raise them.
        rl_catch_signals = 0;
        rl_getc_function = &ReadKey;
        rl_initialize();
        rl_add_defun("brindlemark-cancel", &Cancel, kCtrlC);
        using_history();
    }
};

LineReader::LineReader(std::istream& in, std::ostream& out) : in_(in), out_(out) {
    if (&in == &std::cin && ::isatty(STDIN_FILENO)) editor_ = std::make_unique<Editor>();
}

LineReader::~LineReader() = default;

LineReader::Reading LineReader::Read(const std::string& prompt, const Completer& completer, std::string& line) {
    if (!editor_) {
        out_ << prompt << std::flush;
        const bool got = static_cast<bool>(std::getline(in_, line));
        if (!got) out_ << "\n";
        if (EndingPending()) return Reading::kTerminate;
        if (TakeInterrupt() == SIGINT) return Reading::kCancel;
        return got ? Reading::kLine : Reading::kEnd;
    }
    out_.flush();
    offered = &completer;
    cancelled = false;
    char* typed = ::readline(prompt.c_str());
    offered = nullptr;
    if (!typed) {
        std::cout << (cancelled ? "^C\n" : "\n") << std::flush;
        if (cancelled) {
            line = dropped;
            return Reading::kCancel;
        }
        return EndingPending() ? Reading::kTerminate : Reading::kEnd;
    }
    line = typed;
    std::free(typed);
    if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
    return Reading::kLine;
}

}  // namespace bm::workbench
