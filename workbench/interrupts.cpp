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
}

int PendingInterrupt() { return noted; }

int TakeInterrupt() {
    const int number = noted;
    noted = 0;
    return number;
}

const char* InterruptName(int number) { return number == SIGTERM ? "SIGTERM" : "SIGINT"; }

}  // namespace bm::workbench
