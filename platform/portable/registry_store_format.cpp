#include "platform/portable/registry_store_format.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "core/utf8.h"

namespace bm::portable::regfile {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::array<std::string_view, 5> kRoots = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                                    "HKEY_LOCAL_MACHINE", "HKEY_USERS",
                                                    "HKEY_CURRENT_CONFIG"};

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// ---- UTF-8 and UTF-16 ------------------------------------------------------

Bytes Utf8ToUtf16Le(std::string_view s) {
    Bytes out;
    out.reserve(s.size() * 2);
    for (const char16_t unit : to_utf16<char16_t>(s)) {
        out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        out.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    return out;
}

// `bytes` must have an even size; unpaired surrogates become U+FFFD.
std::string Utf16LeToUtf8(const std::uint8_t* bytes, std::size_t size) {
    std::u16string units(size / 2, u'\0');
    for (std::size_t k = 0; k < units.size(); ++k)
        units[k] = static_cast<char16_t>(bytes[2 * k] | bytes[2 * k + 1] << 8);
    return from_utf16<char16_t>(units);
}

bool IsStringType(reg::DWord type) {
    return type == reg::kRegSz || type == reg::kRegExpandSz || type == reg::kRegMultiSz;
}

// ---- Writing -------------------------------------------------------------

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

// A REG_SZ fits the "text" form when it is text with one terminating NUL
// and nothing a line cannot hold; anything else keeps its exact bytes in
// the hex(1) form.
bool FitsQuotedForm(const Bytes& data) {
    if (data.empty() || data.back() != 0) return false;
    return std::none_of(data.begin(), data.end() - 1,
                        [](std::uint8_t b) { return b == 0 || b == '\n' || b == '\r'; });
}

std::string HexList(std::string line, const Bytes& bytes) {
    std::string out;
    char hex[4];
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        std::snprintf(hex, sizeof hex, "%02x", bytes[i]);
        line += hex;
        if (i + 1 == bytes.size()) break;
        line += ',';
        // The registry editor keeps lines within 80 columns.
        if (line.size() > 76) {
            out += line + "\\\n";
            line = "  ";
        }
    }
    return out + line;
}

// ---- Reading -------------------------------------------------------------

struct Failure {
    std::size_t line;
    std::string message;
};

std::string_view TrimLeft(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

std::string_view TrimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && SameName(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// 1 to `maxDigits` hex digits, the whole of `s`.
bool ParseHexNumber(std::string_view s, std::size_t maxDigits, std::uint32_t& out) {
    if (s.empty() || s.size() > maxDigits) return false;
    out = 0;
    for (char c : s) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        out = out << 4 | static_cast<std::uint32_t>(d);
    }
    return true;
}

class Parser {
public:
    explicit Parser(std::string_view text) {
        for (std::size_t start = 0; start <= text.size();) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            lines_.push_back(text.substr(start, end - start));
            start = end + 1;
        }
    }

    ParseResult Run() {
        ParseResult result;
        try {
            ParseLines(result.document);
        } catch (const Failure& f) {
            result.document = {};
            result.error = ParseError{f.line, f.message};
        }
        return result;
    }

private:
    [[noreturn]] void Fail(std::string message) const {
        throw Failure{lineNo_, std::move(message)};
    }

    void ParseLines(Document& doc) {
        lineNo_ = 1;
        if (TrimRight(lines_[0]) != kHeader)
            Fail("expected the first line to read \"" + std::string(kHeader) + "\"");
        Key* current = nullptr;
        for (index_ = 1; index_ < lines_.size(); ++index_) {
            lineNo_ = index_ + 1;
            const std::string_view line = TrimRight(TrimLeft(lines_[index_]));
            if (line.empty() || line.front() == ';') continue;
            if (line.front() == '[') {
                current = &Section(doc, line);
            } else if (line.front() == '"' || line.front() == '@') {
                if (current == nullptr) Fail("expected a [key] line before the first value");
                current->Set(ParseValue(line));
            } else {
                Fail(
                    "expected a [key] line, a \"name\"= or @= value line, a ; comment or a "
                    "blank line");
            }
        }
    }

    Key& Section(Document& doc, std::string_view line) {
        if (line.back() != ']') Fail("expected ']' at the end of the key line");
        const std::string_view path = line.substr(1, line.size() - 2);
        if (!path.empty() && path.front() == '-')
            Fail("expected a key to keep: deleting keys with [-...] is not supported here");
        std::string canonical;
        std::size_t start = 0;
        while (true) {
            std::size_t end = path.find('\\', start);
            if (end == std::string_view::npos) end = path.size();
            const std::string_view part = path.substr(start, end - start);
            if (part.empty()) Fail("expected a key name between backslashes");
            if (start == 0) {
                if (!IsRootName(part))
                    Fail("expected the key path to begin with a root such as HKEY_CURRENT_USER");
                for (char c : part) canonical += FoldCase(c);
            } else {
                canonical += '\\';
                canonical += part;
            }
            if (end == path.size()) break;
            start = end + 1;
        }
        if (Key* existing = doc.Find(canonical)) return *existing;
        return doc.Append(std::move(canonical));
    }

    // Reads "..." at the start of `s`, leaving `s` after the closing quote.
    std::string QuotedText(std::string_view& s) {
        std::string out;
        std::size_t i = 1;
        for (; i < s.size() && s[i] != '"'; ++i) {
            if (s[i] == '\\') {
                if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"'))
                    Fail("expected \\\\ or \\\" after a backslash inside quotes");
                ++i;
            }
            out += s[i];
        }
        if (i >= s.size()) Fail("expected a closing '\"'");
        s.remove_prefix(i + 1);
        return out;
    }

    Value ParseValue(std::string_view line) {
        Value value;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else {
            value.name = QuotedText(line);
        }
        line = TrimLeft(line);
        if (line.empty() || line.front() != '=') Fail("expected '=' after the value name");
        line = TrimLeft(line.substr(1));

        if (!line.empty() && line.front() == '"') {
            std::string text = QuotedText(line);
            if (!TrimLeft(line).empty()) Fail("expected nothing after the closing '\"'");
            text = NormalizeUtf8(text);
            value.type = reg::kRegSz;
            value.data.assign(text.begin(), text.end());
            value.data.push_back(0);
        } else if (StartsWithNoCase(line, "dword:")) {
            std::uint32_t bits = 0;
            if (!ParseHexNumber(line.substr(6), 8, bits))
                Fail("expected 1 to 8 hexadecimal digits after dword:");
            value.type = reg::kRegDword;
            const auto le = reg::DwordBytes(bits);
            value.data.assign(le.begin(), le.end());
        } else if (StartsWithNoCase(line, "hex:")) {
            value.type = reg::kRegBinary;
            value.data = HexBytes(line.substr(4));
        } else if (StartsWithNoCase(line, "hex(")) {
            const std::size_t close = line.find(')');
            std::uint32_t type = 0;
            if (close == std::string_view::npos ||
                !ParseHexNumber(line.substr(4, close - 4), 8, type) || close + 1 >= line.size() ||
                line[close + 1] != ':')
                Fail("expected hex(N): with N a hexadecimal type number");
            value.type = type;
            value.data = HexBytes(line.substr(close + 2));
            if (IsStringType(type)) {
                if (value.data.size() % 2 != 0)
                    Fail("expected an even number of bytes (UTF-16 text) after hex(" +
                         std::string(line.substr(4, close - 4)) + "):");
                const std::string text = Utf16LeToUtf8(value.data.data(), value.data.size());
                value.data.assign(text.begin(), text.end());
            }
        } else if (line == "-") {
            Fail("expected a value to keep: deleting values with =- is not supported here");
        } else {
            Fail("expected a quoted text, dword:, hex: or hex(N): after '='");
        }
        return value;
    }

    // A comma-separated byte list, continued on the next lines while a line
    // ends with a backslash.
    Bytes HexBytes(std::string_view first) {
        std::string list(TrimRight(first));
        while (!list.empty() && list.back() == '\\') {
            list.pop_back();
            if (index_ + 1 >= lines_.size()) Fail("expected a continuation line after '\\'");
            ++index_;
            lineNo_ = index_ + 1;
            list += TrimRight(TrimLeft(lines_[index_]));
        }
        Bytes out;
        if (TrimLeft(list).empty()) return out;
        std::size_t start = 0;
        while (true) {
            std::size_t end = list.find(',', start);
            if (end == std::string::npos) end = list.size();
            const std::string_view item =
                TrimRight(TrimLeft(std::string_view(list).substr(start, end - start)));
            std::uint32_t byte = 0;
            if (!ParseHexNumber(item, 2, byte))
                Fail("expected a byte as two hexadecimal digits, got \"" + std::string(item) +
                     "\"");
            out.push_back(static_cast<std::uint8_t>(byte));
            if (end == list.size()) break;
            start = end + 1;
        }
        return out;
    }

    std::vector<std::string_view> lines_;
    std::size_t index_ = 0;
    std::size_t lineNo_ = 0;
};

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldCase(x) == FoldCase(y);
           });
}

bool IsRootName(std::string_view name) {
    return std::any_of(kRoots.begin(), kRoots.end(),
                       [&](std::string_view root) { return SameName(root, name); });
}

std::size_t NameHash::operator()(std::string_view name) const {
    // FNV-1a over the folded letters.
    std::uint64_t hash = 14695981039346656037u;
    for (char c : name) hash = (hash ^ static_cast<unsigned char>(FoldCase(c))) * 1099511628211u;
    return static_cast<std::size_t>(hash);
}

const Value* Key::Find(std::string_view name) const {
    const auto it = byName_.find(name);
    return it != byName_.end() ? &values[it->second] : nullptr;
}

bool Key::Set(Value value) {
    if (const auto it = byName_.find(value.name); it != byName_.end()) {
        Value& v = values[it->second];
        if (v.type == value.type && v.data == value.data) return false;
        v.type = value.type;
        v.data = std::move(value.data);
        return true;
    }
    byName_.emplace(value.name, values.size());
    values.push_back(std::move(value));
    return true;
}

const Key* Document::Find(std::string_view path) const {
    const auto it = byPath_.find(path);
    if (it == byPath_.end() || it->second.section == kNone) return nullptr;
    return &keys[it->second.section];
}

Key* Document::Find(std::string_view path) {
    return const_cast<Key*>(std::as_const(*this).Find(path));
}

void Document::Index(std::size_t section) {
    const std::string_view path = keys[section].path;
    for (std::size_t end = path.find('\\');; end = path.find('\\', end + 1)) {
        const std::string_view prefix = path.substr(0, end);
        auto it = byPath_.find(prefix);
        // A key's spelling comes from the first section at or below it.
        if (it == byPath_.end()) it = byPath_.emplace(prefix, Place{section}).first;
        if (end == std::string_view::npos) {
            it->second.section = section;
            return;
        }
    }
}

Key& Document::Append(std::string path) {
    keys.emplace_back(std::move(path));
    Index(keys.size() - 1);
    return keys.back();
}

bool Document::EraseTree(std::string_view path) {
    const auto below = [path](const Key& key) {
        return SameName(key.path, path) ||
               (key.path.size() > path.size() && key.path[path.size()] == '\\' &&
                SameName(std::string_view(key.path).substr(0, path.size()), path));
    };
    if (std::erase_if(keys, below) == 0) return false;
    byPath_.clear();
    for (std::size_t k = 0; k < keys.size(); ++k) Index(k);
    return true;
}

bool Document::Exists(std::string_view path) const {
    return IsRootName(path) || byPath_.contains(path);
}

std::optional<std::string> Document::Spelling(std::string_view path) const {
    const auto it = byPath_.find(path);
    if (it == byPath_.end()) return std::nullopt;
    return keys[it->second.spelledBy].path.substr(0, path.size());
}

Key& Document::Ensure(std::string_view path) {
    // Keys above the new one are listed first, as the registry editor does;
    // a key already known keeps its spelling.
    std::string spelled;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view prefix = path.substr(0, end);
        if (!spelled.empty()) spelled += '\\';
        spelled += path.substr(start, end == std::string_view::npos ? end : end - start);
        if (auto known = Spelling(prefix)) {
            spelled = std::move(*known);
        } else if (!IsRootName(prefix)) {
            Append(spelled);
        }
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    if (Key* key = Find(path)) return *key;
    // A root, or a key that existed only above another section.
    return Append(std::move(spelled));
}

ParseResult Parse(std::string_view text) {
    std::string converted;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
        static_cast<unsigned char>(text[1]) == 0xFE) {
        if (text.size() % 2 != 0)
            return {{}, ParseError{1, "expected UTF-16 text of an even number of bytes"}};
        converted =
            Utf16LeToUtf8(reinterpret_cast<const std::uint8_t*>(text.data()) + 2, text.size() - 2);
        text = converted;
    } else if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    if (text.empty()) return {};
    return Parser(text).Run();
}

std::string FormatValue(const Value& value) {
    std::string line = value.name.empty() ? "@" : Quote(value.name);
    line += '=';
    if (value.type == reg::kRegSz && FitsQuotedForm(value.data)) {
        return line + Quote(std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                             value.data.size() - 1));
    }
    if (value.type == reg::kRegDword && value.data.size() == 4) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "dword:%08x",
                      static_cast<unsigned>(reg::DwordFromBytes(value.data.data())));
        return line + digits;
    }
    if (value.type == reg::kRegBinary) return HexList(line + "hex:", value.data);
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", static_cast<unsigned>(value.type));
    if (IsStringType(value.type)) {
        const std::string_view text(reinterpret_cast<const char*>(value.data.data()),
                                    value.data.size());
        return HexList(line + prefix, Utf8ToUtf16Le(text));
    }
    return HexList(line + prefix, value.data);
}

std::string Serialize(const Document& document) {
    std::string out(kHeader);
    out += "\n\n";
    for (const Key& key : document.keys) {
        out += '[';
        out += key.path;
        out += "]\n";
        for (const Value& v : key.values) {
            out += FormatValue(v);
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

std::string NormalizeUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) append_utf8(out, next_code_point(text, i));
    return out;
}

}  // namespace bm::portable::regfile
