#pragma once

// SIGINT (Ctrl-C at a terminal or a console), SIGTERM and SIGHUP (the
// terminal closed) end a session in order rather than the program at once: the add-in is unloaded, so its
// settings are saved, and the program says what it did with its output.
// The handler only notes the signal; the session looks at it between steps
// and the line reader while it waits for a key.

namespace bm::workbench {

// From here on SIGINT, SIGTERM and SIGHUP (where the system has it) are
// noted instead of ending the program.
void NoteInterrupts();
// The signal noted and not yet taken, or 0.
int PendingInterrupt();
// The same, forgetting it.
int TakeInterrupt();
// A signal noted that ends the session rather than cancelling a line: any
// but SIGINT.
bool EndingPending();
// "SIGINT", "SIGTERM" or "SIGHUP".
const char* InterruptName(int number);

}  // namespace bm::workbench
