#include "workbench/interrupts.h"

#include <csignal>

namespace bm::workbench {

namespace {

volatile std::sig_atomic_t noted = 0;

void Note(int signal) {
    noted = signal;
    // Some C runtimes put the default back before calling a handler.
    std::signal(signal, &Note);
}

}  // namespace

void NoteInterrupts() {
    std::signal(SIGINT, &Note);
    std::signal(SIGTERM, &Note);
}

int PendingInterrupt() { return noted; }

int TakeInterrupt() {
    const int signal = noted;
    noted = 0;
    return signal;
}

const char* InterruptName(int signal) { return signal == SIGTERM ? "SIGTERM" : "SIGINT"; }

}  // namespace bm::workbench
