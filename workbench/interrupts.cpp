#include "workbench/interrupts.h"

#include <csignal>

namespace bm::workbench {

namespace {

volatile std::sig_atomic_t noted = 0;

void Note(int number) {
    noted = number;
    // Some C runtimes put the default back before calling a handler.
    std::signal(number, &Note);
}

}  // namespace

void NoteInterrupts() {
    std::signal(SIGINT, &Note);
    std::signal(SIGTERM, &Note);
#ifdef SIGHUP
    // A closed terminal would otherwise take the session's work with it.
    std::signal(SIGHUP, &Note);
#endif
}

int PendingInterrupt() { return noted; }

int TakeInterrupt() {
    const int number = noted;
    noted = 0;
    return number;
}

bool EndingPending() { return noted != 0 && noted != SIGINT; }

const char* InterruptName(int number) {
#ifdef SIGHUP
    if (number == SIGHUP) return "SIGHUP";
#endif
    return number == SIGTERM ? "SIGTERM" : "SIGINT";
}

}  // namespace bm::workbench
