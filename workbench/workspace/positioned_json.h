#pragma once

// JSON text read into a small tree whose values know where they stand in
// the text, so that every message can name a line and column. The JSON
// library does the reading; this adds the places and says its syntax
// errors in our words.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace bm::workbench {

// The text being read and the name its messages start with. Lines end at
// LF, CR or CRLF; columns count characters.
class Source {
public:
    Source(std::string_view text, std::string_view file) : text_(text), file_(file) {}

    std::string_view text() const { return text_; }
    // "line:column" of a byte offset.
    std::string where(std::size_t offset) const;
    // Throws a WorkspaceError "file:line:column: what".
    [[noreturn]] void fail(std::size_t offset, const std::string& what) const;
    // "file:line:column: what", for a warning.
    std::string at(std::size_t offset, const std::string& what) const;

private:
    std::string_view text_;
    std::string file_;
};

struct JsonMember;

// One value and its bytes [begin, end) in the text.
struct JsonNode {
    enum class Kind { kNull, kBoolean, kNumber, kString, kArray, kObject };

    Kind kind = Kind::kNull;
    std::size_t begin = 0;
    std::size_t end = 0;
    bool boolean = false;
    double number = 0.0;
    std::string string;
    std::vector<JsonNode> items;      // an array's
    std::vector<JsonMember> members;  // an object's, in the order of the text

    bool is(Kind k) const { return kind == k; }
    // The member of an object named `name`, or null.
    const JsonNode* member(std::string_view name) const;
};

struct JsonMember {
    std::string name;
    std::size_t nameBegin = 0;  // the name's opening quote
    JsonNode value;
};

inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Reads strict JSON: no comments, each field once per object, text in
// UTF-8, nesting fewer than kMaxJsonDepth deep, nothing after the value.
// A UTF-8 byte order mark must have been taken off the text already.
// Throws a WorkspaceError naming the place of the first fault.
inline constexpr std::size_t kMaxJsonDepth = 990;
JsonNode ParseJson(const Source& src);

// `text` as a JSON string, quotes and escapes included, for messages.
std::string Quoted(std::string_view text);

}  // namespace bm::workbench
