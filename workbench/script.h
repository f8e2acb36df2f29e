#pragma once

// Session scripts: one step per line, blank lines and lines starting with
// '#' ignored. docs/workbench.md lists the vocabulary.
//
//   addin load | addin unload
//   open DOC | show DOC                     DOC: a document's file or name
//   command options | command copy | command N
//   commands | settings | registry | calls
//   batch
//   expect options|files|about|message ACTION...
//
// A script is read whole before anything runs, so a bad line stops the
// program before it has touched anything.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "workbench/dialog_actions.h"
#include "workbench/model/memory_host.h"

namespace bm::workbench {

// A script line that cannot be run as written: "file:line: what".
class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A line whose first word is no step.
class UnknownStep : public ScriptError {
public:
    using ScriptError::ScriptError;
};

inline constexpr std::int32_t kOptionsCommand = 1;
inline constexpr std::int32_t kCopyCommand = 2;

struct Step {
    enum class Type {
        kAddInLoad,
        kAddInUnload,
        kOpen,
        kShow,
        kCommand,
        kCommands,
        kSettings,
        kRegistry,
        kCalls,
        kExpect,
        kBatch,
    };
    Type type = Type::kCommands;
    int line = 0;
    std::string text;  // the line as written, without surrounding blanks
    std::shared_ptr<MemoryDocument> document;  // open, show
    std::int32_t commandId = 0;                // command
    DialogKind dialog = DialogKind::kOptions;  // expect
    std::vector<DialogAction> actions;         // expect

    // Steps that make the host or the add-in act, and so may open dialogs.
    bool Acts() const {
        return type == Type::kAddInLoad || type == Type::kAddInUnload || type == Type::kOpen ||
               type == Type::kCommand || type == Type::kBatch;
    }
};

// One line; nullopt for a blank line or a comment. Throws ScriptError with
// the bare reason (no file or line) when the line is bad. Documents are
// looked up in `host`.
std::optional<Step> ParseStep(std::string_view line, int number, const MemoryHost& host);

// A whole script; the first bad line throws ScriptError "name:line: what".
// An expectation that no later step could use is a bad line too.
std::vector<Step> ParseScript(std::string_view text, const std::string& name, const MemoryHost& host);

// The document a person means by `name`: its full file path, else its
// file name with extension, else its display name; then the same without
// regard to letter case. Throws ScriptError saying what is there when none
// fits, or listing the candidates when several do.
std::shared_ptr<MemoryDocument> FindDocumentNamed(const MemoryHost& host, std::string_view name);

// The steps' vocabulary, for --help and the interactive help.
std::string StepHelp();
// What each dialog's expectation may hold, for --help and "help expect".
std::string ExpectHelp();

}  // namespace bm::workbench
