#include "workbench/workspace/positioned_json.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <utility>

#include "workbench/text.h"
#include "workbench/workspace/workspace.h"

namespace bm::workbench {

namespace {

using Kind = JsonNode::Kind;
using Json = nlohmann::json;
constexpr std::size_t npos = std::string_view::npos;

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool IsNumberChar(char c) {
    return IsDigit(c) || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E';
}

std::string ByteText(char c) {
    constexpr std::string_view hex = "0123456789ABCDEF";
    const auto b = static_cast<unsigned char>(c);
    return std::string("the byte 0x") + hex[b >> 4] + hex[b & 0xF];
}

constexpr int kNumberOverflow = 406;  // the library's out_of_range id for a number beyond a double

// What the library wanted where it stopped.
enum class Want { kValue, kField, kColon, kCommaOrObjectEnd, kCommaOrArrayEnd, kEnd };

std::string_view Wanted(Want want) {
    switch (want) {
        case Want::kValue:
            return "expected a value: an object, array, string, number, true, false or null";
        case Want::kField:
            return "expected a field name in double quotes or '}'";
        case Want::kColon:
            return "expected ':' after the field name";
        case Want::kCommaOrObjectEnd:
            return "expected ',' or '}'";
        case Want::kCommaOrArrayEnd:
            return "expected ',' or ']'";
        case Want::kEnd:
            break;
    }
    return "expected the end of the file after the workspace object";
}

constexpr std::string_view kNumberForm = "expected a number in JSON's form (like -12, 3.5 or 1e-3)";
constexpr std::string_view kClosingQuote = "expected a closing '\"' for this string";

// Hands the text to the library and counts the bytes it has taken.
class CountingIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    CountingIterator(const char* at, std::size_t* taken) : at_(at), taken_(taken) {}
    reference operator*() const { return *at_; }
    CountingIterator& operator++() {
        ++at_;
        ++*taken_;
        return *this;
    }
    bool operator==(const CountingIterator& other) const { return at_ == other.at_; }

private:
    const char* at_;
    std::size_t* taken_;
};

// Builds the tree from the library's events. The library tells what it
// read but not where: each token starts at the first byte past blanks and
// the ',' or ':' it took silently since the last token, and ends where the
// library has read to, less the one character it reads past a number.
class TreeBuilder {
public:
    TreeBuilder(const Source& src, std::string_view text, const std::size_t& taken)
        : src_(src), text_(text), taken_(taken) {}

    JsonNode take_root() { return std::move(root_); }

    bool null() { return add(JsonNode{}); }
    bool boolean(bool b) {
        JsonNode node;
        node.kind = Kind::kBoolean;
        node.boolean = b;
        return add(std::move(node));
    }
    bool number_integer(Json::number_integer_t n) { return add_number(static_cast<double>(n)); }
    bool number_unsigned(Json::number_unsigned_t n) { return add_number(static_cast<double>(n)); }
    bool number_float(Json::number_float_t d, const Json::string_t& /*text*/) {
        return add_number(d);
    }
    bool string(Json::string_t& s) {
        JsonNode node;
        node.kind = Kind::kString;
        node.string = std::move(s);
        return add(std::move(node));
    }
    bool binary(Json::binary_t& /*bytes*/) { return true; }  // only binary formats have these
    bool start_object(std::size_t /*size*/) { return open(Kind::kObject); }
    bool end_object() { return close(); }
    bool start_array(std::size_t /*size*/) { return open(Kind::kArray); }
    bool end_array() { return close(); }

    bool key(Json::string_t& name) {
        const std::size_t begin = took(taken_, Last::kKey);
        if (!open_.back().names.insert(name).second)
            src_.fail(begin, "expected each field once in an object; " + Quoted(name) +
                                 " is there already");
        key_ = std::move(name);
        keyBegin_ = begin;
        return true;
    }

    // The token that failed is read from the text between where it starts
    // and `position`, where the library stopped: the library's own copy of
    // it writes control characters in a notation of its own.
    [[noreturn]] bool parse_error(std::size_t position, const std::string& /*token*/,
                                  const Json::exception& error) {
        const auto [at, want] = expectation();
        if (error.id == kNumberOverflow)
            src_.fail(at, "expected a number within the range of a double, found " + number_at(at));
        // "05", "1.5.2": the library ends a number where JSON's form does.
        if (lastNumber_ && at == cursor_ && at < text_.size() && IsNumberChar(text_[at]))
            src_.fail(*lastNumber_,
                      std::string(kNumberForm) + ", found " + number_at(*lastNumber_));
        const std::string_view token = text_.substr(at, position > at ? position - at : 0);
        if (token.starts_with('/')) src_.fail(at, "expected JSON without comments");
        // A token the library cannot read even on its own is malformed
        // rather than out of place.
        const bool malformed = !token.empty() &&
                               std::string_view("{}[],:").find(token.front()) == npos &&
                               !Json::accept(token);
        if (malformed && token.front() == '"' && (want == Want::kValue || want == Want::kField))
            string_error(at, position - 1);
        if (malformed && (token.front() == '-' || IsDigit(token.front())) && want == Want::kValue)
            src_.fail(at, std::string(kNumberForm) + ", found " + number_at(at));
        src_.fail(at, std::string(Wanted(want)) + likely_cause(at, want));
    }

private:
    enum class Last { kNothing, kOpen, kKey, kValue };

    struct Open {
        JsonNode* node;
        std::set<std::string, std::less<>> names;
    };

    // Notes a token that ends at `end`; returns where it starts.
    std::size_t took(std::size_t end, Last last, bool number = false) {
        std::size_t begin = cursor_;
        while (begin < text_.size() &&
               (IsBlank(text_[begin]) || text_[begin] == ',' || text_[begin] == ':'))
            ++begin;
        cursor_ = end;
        last_ = last;
        lastNumber_ = number ? std::optional(begin) : std::nullopt;
        return begin;
    }

    JsonNode& place(JsonNode node) {
        if (open_.empty()) return root_ = std::move(node);
        JsonNode& parent = *open_.back().node;
        if (parent.is(Kind::kArray)) return parent.items.emplace_back(std::move(node));
        parent.members.push_back({std::move(key_), keyBegin_, std::move(node)});
        return parent.members.back().value;
    }

    bool add(JsonNode node, bool number = false) {
        node.end = taken_ - (number ? 1 : 0);
        node.begin = took(node.end, Last::kValue, number);
        place(std::move(node));
        return true;
    }

    bool add_number(double d) {
        JsonNode node;
        node.kind = Kind::kNumber;
        node.number = d;
        return add(std::move(node), true);
    }

    bool open(Kind kind) {
        JsonNode node;
        node.kind = kind;
        node.begin = took(taken_, Last::kOpen);
        if (open_.size() + 1 >= kMaxJsonDepth)
            src_.fail(node.begin, "expected arrays and objects nested fewer than " +
                                      std::to_string(kMaxJsonDepth) + " deep");
        open_.push_back({&place(std::move(node)), {}});
        return true;
    }

    bool close() {
        took(taken_, Last::kValue);
        open_.back().node->end = taken_;
        open_.pop_back();
        return true;
    }

    std::size_t skip_blanks(std::size_t i) const {
        while (i < text_.size() && IsBlank(text_[i])) ++i;
        return i;
    }

    // Where the token that failed starts, and what the library wanted
    // there: past a ',' or ':' it took, the next field or value.
    std::pair<std::size_t, Want> expectation() const {
        const std::size_t at = skip_blanks(cursor_);
        const char next = at < text_.size() ? text_[at] : '\0';
        const bool inObject = !open_.empty() && open_.back().node->is(Kind::kObject);
        switch (last_) {
            case Last::kNothing:
                return {at, Want::kValue};
            case Last::kOpen:
                return {at, inObject ? Want::kField : Want::kValue};
            case Last::kKey:
                if (next == ':') return {skip_blanks(at + 1), Want::kValue};
                return {at, Want::kColon};
            case Last::kValue:
                break;
        }
        if (open_.empty()) return {at, Want::kEnd};
        if (next == ',') return {skip_blanks(at + 1), inObject ? Want::kField : Want::kValue};
        return {at, inObject ? Want::kCommaOrObjectEnd : Want::kCommaOrArrayEnd};
    }

    // The slips a person writing JSON by hand makes most, where the text
    // at the failure shows one.
    std::string likely_cause(std::size_t at, Want want) const {
        const char next = at < text_.size() ? text_[at] : '\0';
        std::size_t before = at;
        while (before > 0 && IsBlank(text_[before - 1])) --before;
        if ((want == Want::kField || want == Want::kValue) && (next == '}' || next == ']') && before > 0 &&
            text_[before - 1] == ',')
            return std::string("; JSON allows no ',' after the last ") + (next == '}' ? "field" : "item") +
                   ": remove the one before this '" + next + "'";
        if (next == '\'') return "; JSON puts strings and field names in double quotes, not single ones";
        if ((want == Want::kCommaOrObjectEnd || want == Want::kCommaOrArrayEnd) &&
            std::string_view("\"{[-0123456789tfn").find(next) != npos)
            return "; a ',' is likely missing before this";
        return {};
    }

    std::string number_at(std::size_t at) const {
        std::size_t end = at;
        while (end < text_.size() && IsNumberChar(text_[end])) ++end;
        return std::string(text_.substr(at, end - at));
    }

    std::size_t escape_length(std::size_t backslash) const {
        return text_[backslash + 1] == 'u' ? 6 : 2;
    }

    // A string starting at `begin` that the library stopped reading at
    // `stop`: no closing quote, a bad escape, a control character or bytes
    // that are not UTF-8.
    [[noreturn]] void string_error(std::size_t begin, std::size_t stop) const {
        if (stop >= src_.text().size()) src_.fail(begin, std::string(kClosingQuote));
        std::size_t escape = npos;  // the escape holding the stop or just before it
        for (std::size_t i = begin + 1; i < stop; ++i) {
            if (escape != npos && i < escape + escape_length(escape)) continue;
            escape = text_[i] == '\\' ? i : npos;
        }
        if (escape != npos) {
            const std::size_t into = stop - escape;
            // Stopped past a \uXXXX, or at its last digit: not half of a pair.
            if (text_[escape + 1] == 'u' && (into == 6 || (into == 5 && IsHexDigit(text_[stop]))))
                src_.fail(escape,
                          "expected \\uD800 to \\uDBFF followed by \\uDC00 to \\uDFFF for a "
                          "character beyond U+FFFF");
            if (into < escape_length(escape))
                src_.fail(escape,
                          "expected an escape: \\\" \\\\ \\/ \\b \\f \\n \\r \\t or \\uXXXX");
        }
        const std::size_t start = utf8_start(stop);
        if (start == stop && static_cast<unsigned char>(text_[stop]) < 0x20) {
            // A string cannot go on to the next line: its quote is missing.
            if (text_[stop] == '\n' || text_[stop] == '\r')
                src_.fail(begin, std::string(kClosingQuote));
            src_.fail(stop, "expected an escape (\\t, \\u0001, ...) in place of a control "
                            "character, found " + ByteText(text_[stop]));
        }
        src_.fail(start, "expected text in UTF-8, found " + ByteText(text_[start]));
    }

    // The first byte of the UTF-8 sequence that the byte at `stop` broke
    // off, or `stop` itself when it begins none.
    std::size_t utf8_start(std::size_t stop) const {
        std::size_t lead = stop;
        while (stop - lead < 3 && IsContinuationByte(text_[lead - 1])) --lead;
        const auto b = static_cast<unsigned char>(text_[--lead]);
        const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        return lead + length > stop ? lead : stop;
    }

    const Source& src_;
    std::string_view text_;
    const std::size_t& taken_;
    JsonNode root_;
    std::vector<Open> open_;
    std::string key_;
    std::size_t keyBegin_ = 0;
    std::size_t cursor_ = 0;  // just past the last token
    Last last_ = Last::kNothing;
    std::optional<std::size_t> lastNumber_;  // where the last token started, if a number
};

}  // namespace

std::string Source::where(std::size_t offset) const {
    offset = std::min(offset, text_.size());
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        if (text_[i] == '\r' || (text_[i] == '\n' && (i == 0 || text_[i - 1] != '\r'))) {
            ++line;
            lineStart = i + 1;
        } else if (text_[i] == '\n') {
            lineStart = i + 1;
        }
    }
    std::size_t column = 1;
    for (std::size_t i = lineStart; i < offset; ++i)
        if (!IsContinuationByte(text_[i])) ++column;
    return std::to_string(line) + ":" + std::to_string(column);
}

std::string Source::at(std::size_t offset, const std::string& what) const {
    return file_ + ":" + where(offset) + ": " + what;
}

void Source::fail(std::size_t offset, const std::string& what) const { throw WorkspaceError(at(offset, what)); }

const JsonNode* JsonNode::member(std::string_view name) const {
    const auto it = std::find_if(members.begin(), members.end(),
                                 [&](const JsonMember& m) { return m.name == name; });
    return it == members.end() ? nullptr : &it->value;
}

JsonNode ParseJson(const Source& src) {
    // The library would skip a second byte order mark as if it were the first.
    if (src.text().starts_with(kByteOrderMark)) src.fail(0, std::string(Wanted(Want::kValue)));
    // One blank after the text, so that the library reads one character
    // past every number, the last one included.
    const std::string text = std::string(src.text()) + ' ';
    std::size_t taken = 0;
    TreeBuilder tree(src, text, taken);
    // Every fault throws from the builder, so the parse returns true.
    Json::sax_parse(CountingIterator(text.data(), &taken),
                    CountingIterator(text.data() + text.size(), &taken), &tree);
    return tree.take_root();
}

std::string Quoted(std::string_view text) {
    return Json(std::string(text)).dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace bm::workbench
