#pragma once

// SIGINT and SIGTERM (Ctrl-C at a terminal or a console) end a session in
// order rather than the program at once: the add-in is unloaded, so its
// settings are saved, and the program says what it did with its output.
// The handler only notes the signal; the session looks at it between steps
// and the line reader while it waits for a key.

namespace bm::workbench {

// From here on SIGINT and SIGTERM are noted instead of ending the program.
void NoteInterrupts();
// The signal noted and not yet taken (SIGINT or SIGTERM), or 0.
int PendingInterrupt();
// The same, forgetting it.
int TakeInterrupt();
// "SIGINT" or "SIGTERM".
const char* InterruptName(int number);

}  // namespace bm::workbench
