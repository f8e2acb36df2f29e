#pragma once

// Workspace files: the documents of one simulated session, kept as JSON.
// docs/workspace.md describes the format for a person writing one.
//
//   { "hostVersion": 5,
//     "documents": [
//       { "file": "C:\\Work\\Bracket.ipt", "kind": "part", "name": "Bracket",
//         "units": { "mass": "kg", "length": "mm" },
//         "mass": { "mass": 1250.0, "area": 312.5, "volume": 160.2 },
//         "properties": [ { "name": "Part No", "type": "text", "value": "BR-100" },
//                         { "name": "Rev", "type": "integer", "value": 3 } ],
//         "references": [] },
//       { "file": "C:\\Work\\Bracket.idw", "kind": "drawing",
//         "references": [ "C:\\Work\\Bracket.ipt", "C:\\Work\\Missing.ipt" ] } ] }
//
// Fields and what a missing one means:
//   hostVersion  whole number 0..2147483647, the host's major version; 5
//   documents    array of documents, kept in file order; none
//   file         text, required, unique in the workspace (exact comparison)
//   kind         "part", "assembly", "drawing" or "presentation"; from the
//                file's extension (.ipt, .iam, .idw, .ipn), else "part"
//   name         non-empty text shown as the document's display name and
//                its references' FileRefName; the file name without folder
//                and extension
//   units        { "mass": ..., "length": ... }; "kg" and "mm". Mass: mg, g,
//                kg, lbmass, ozmass, slug. Length: um, mm, cm, m, km, mil,
//                in, ft, yd. Accepted exactly when the units service can
//                convert into them.
//   mass         { "mass": ..., "area": ..., "volume": ... }, numbers not
//                below 0 in the host's INTERNAL units: grams, square
//                centimetres and cubic centimetres whatever "units" says
//                (the units service converts them for display); 0 each
//   properties   array of { "name", "type", "value" }, kept in order; none.
//                name: required, non-empty, unique in the document (exact).
//                type: "text" (string), "integer" (whole number fitting 32
//                bits), "double" (any number), "date" (ISO 8601 text
//                YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS[.fff]], years 0001 to
//                9999, no zone), "boolean" (true/false). Missing type: from
//                the value (string text, whole-number literal integer, other
//                number double, true/false boolean). Missing value: "", 0,
//                0.0, false or 1899-12-30 (date serial 0).
//   references   array of file texts, no repeats, not the document's own;
//                a file the workspace holds is a reference to that
//                document, any other an unresolved reference; none
//
// Unknown fields are errors: a misspelt field would otherwise be dropped
// without a word. Every error names its place as file:line:column (lines
// and columns from 1, columns in characters) and what was expected, and is
// thrown as a WorkspaceError before anything is built.
//
// Saving writes every field, properties with their types as the documents
// hold them now; a 16-bit Integer saves as "integer", times keep their
// milliseconds. The new file replaces the old one in a single rename, so a
// reader sees the old file or the whole new one, never a part.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/variant.h"
#include "workbench/model/memory_host.h"

namespace bm::workbench {

// A workspace that cannot be read or written. The message is complete:
// "file:line:column: what was expected" for a bad file, "file: reason"
// when the file cannot be opened or written.
class WorkspaceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr std::int32_t kDefaultHostVersion = 5;

struct Workspace {
    MemoryHost host;  // its version already set to hostVersion; nothing active
    std::int32_t hostVersion = kDefaultHostVersion;
    // "file:line:column: warning: ..." for what is allowed but likely not
    // meant: two documents that show the same display name.
    std::vector<std::string> warnings;
};

// A workspace larger than this is refused before it is read.
inline constexpr std::uintmax_t kMaxWorkspaceBytes = 64u << 20;

// Reads a workspace file. Messages start with `file` as given.
Workspace LoadWorkspace(const std::filesystem::path& file);
// The same from text in memory; `fileName` starts every message.
Workspace ParseWorkspace(std::string_view text, std::string_view fileName);

// The workspace as JSON text, documents in the host's order. Throws a
// WorkspaceError when a document holds something the format cannot keep
// (a kind other than the four, a property value that is empty, bytes or an
// object, a number that is not finite, a date outside years 1 to 9999,
// text that is not UTF-8).
std::string WorkspaceText(const MemoryHost& host, std::int32_t hostVersion);
// Writes WorkspaceText to `out` through a temporary file in the same
// folder, flushed to disk, then renamed over `out`. On failure `out` is
// untouched and the temporary file is gone.
void SaveWorkspace(const MemoryHost& host, std::int32_t hostVersion,
                   const std::filesystem::path& out);
void SaveWorkspace(const Workspace& workspace, const std::filesystem::path& out);

// ISO 8601 dates and the automation world's date serials (days since
// 1899-12-30, before it the time of day counting away from the day).
// Empty when the text is not one of the forms above or the date is not
// in years 1 to 9999. A time of day of 00:00:00 is written as a date alone.
std::optional<Date> DateFromIso(std::string_view text);
std::optional<std::string> IsoFromDate(Date date);

}  // namespace bm::workbench
