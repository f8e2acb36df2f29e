#include "workbench/workspace/workspace.h"

#include <fcntl.h>
#include <json/json.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <sstream>
#include <utility>
#include <vector>

#include "core/date.h"

namespace bm::workbench {

namespace fs = std::filesystem;

namespace {

std::string json_string(std::string_view s);  // JSON text of a string

// ---- positions --------------------------------------------------------------

bool continuation_byte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// The text being read and the name its messages start with. Lines end at
// LF, CR or CRLF, as the JSON reader counts them; columns count characters.
class Source {
public:
    Source(std::string_view text, std::string_view file) : text_(text), file_(file) {}

    std::string_view text() const { return text_; }

    std::string where(std::size_t offset) const {
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
            if (!continuation_byte(text_[i])) ++column;
        return std::to_string(line) + ":" + std::to_string(column);
    }

    // Byte offset of a 1-based line and byte column as the JSON reader
    // reports them.
    std::size_t offset_of(std::size_t line, std::size_t byteColumn) const {
        std::size_t i = 0;
        for (std::size_t l = 1; l < line && i < text_.size(); ++i) {
            if (text_[i] == '\r') {
                if (i + 1 < text_.size() && text_[i + 1] == '\n') ++i;
                ++l;
            } else if (text_[i] == '\n') {
                ++l;
            }
        }
        return std::min(text_.size(), i + (byteColumn > 0 ? byteColumn - 1 : 0));
    }

    [[noreturn]] void fail(std::size_t offset, const std::string& what) const {
        throw WorkspaceError(file_ + ":" + where(offset) + ": " + what);
    }

private:
    std::string_view text_;
    std::string file_;
};

std::size_t start_of(const Json::Value& v) { return static_cast<std::size_t>(v.getOffsetStart()); }

// ---- syntax errors -------------------------------------------------------------

struct ReaderMessage {
    std::string_view reader;
    std::string_view ours;
};

// The JSON reader's wording, said as what was expected.
constexpr std::array kReaderMessages{
    ReaderMessage{"Syntax error: value, object or array expected.",
                  "expected a value: an object, array, string, number, true, false or null"},
    ReaderMessage{"Missing '}' or object member name",
                  "expected a field name in double quotes or '}'"},
    ReaderMessage{"Missing ':' after object member name", "expected ':' after the field name"},
    ReaderMessage{"Missing ',' or '}' in object declaration", "expected ',' or '}'"},
    ReaderMessage{"Missing ',' or ']' in array declaration", "expected ',' or ']'"},
    ReaderMessage{"Extra non-whitespace after JSON value.",
                  "expected the end of the file after the workspace object"},
    ReaderMessage{"Bad escape sequence in string",
                  "expected an escape: \\\" \\\\ \\/ \\b \\f \\n \\r \\t or \\uXXXX"},
    ReaderMessage{"Empty escape sequence in string",
                  "expected an escape: \\\" \\\\ \\/ \\b \\f \\n \\r \\t or \\uXXXX"},
};

std::size_t read_number(std::string_view s, std::size_t& pos) {
    std::size_t n = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9')
        n = n * 10 + static_cast<std::size_t>(s[pos++] - '0');
    return n;
}

// Turns the reader's "* Line L, Column C\n  message\n[See Line L, Column C
// for detail.\n]" into our message; the detail place, when given, is the
// more precise one.
[[noreturn]] void syntax_error(const Source& src, std::string_view errs) {
    std::size_t line = 1;
    std::size_t column = 1;
    std::string_view message = errs;
    if (const auto at = errs.find("Line "); at != std::string_view::npos) {
        std::size_t pos = at + 5;
        line = read_number(errs, pos);
        if (errs.substr(pos, 9) == ", Column ") {
            pos += 9;
            column = read_number(errs, pos);
        }
        if (const auto body = errs.find("\n  ", pos); body != std::string_view::npos) {
            message = errs.substr(body + 3);
            message = message.substr(0, message.find('\n'));
        }
    }
    const std::size_t mainLine = line;
    const std::size_t mainColumn = column;
    if (const auto see = errs.find("See Line "); see != std::string_view::npos) {
        std::size_t pos = see + 9;
        const std::size_t l = read_number(errs, pos);
        if (errs.substr(pos, 9) == ", Column ") {
            pos += 9;
            line = l;
            column = read_number(errs, pos);
        }
    }
    std::size_t offset = src.offset_of(line, column);
    if (message.find("escape") != std::string_view::npos) {
        // The reader points past the escape; the backslash is clearer.
        const std::size_t stringStart = src.offset_of(mainLine, mainColumn);
        for (std::size_t i = offset; i > stringStart; --i) {
            if (src.text()[i - 1] == '\\') {
                offset = i - 1;
                break;
            }
        }
    }
    const bool atQuote = offset < src.text().size() && src.text()[offset] == '"';
    std::string what;
    if (atQuote && (message == kReaderMessages[0].reader || message == kReaderMessages[1].reader)) {
        // The reader only stops at a quote when the string never ends.
        what = "expected a closing '\"' for this string";
    } else if (message.ends_with(" is not a number.") && message.starts_with('\'')) {
        what = "expected a number within the range of a double, found " +
               std::string(message.substr(1, message.size() - 19));
    } else if (message.starts_with("Duplicate key: '") && message.ends_with('\'')) {
        what = "expected each field once in an object; " +
               json_string(message.substr(16, message.size() - 17)) + " is there already";
    } else {
        for (const auto& m : kReaderMessages)
            if (message == m.reader) what = m.ours;
        if (what.empty()) {
            what = "invalid JSON: " + std::string(message);
            if (what.ends_with('.')) what.pop_back();
        }
    }
    src.fail(offset, what);
}

// The reader refuses to nest deeper than this; point at the bracket that
// goes past it.
constexpr int kStackLimit = 1000;
constexpr std::size_t kReportedDepth = 990;

[[noreturn]] void too_deep(const Source& src) {
    const std::string_view t = src.text();
    std::size_t depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const char c = t[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth == kReportedDepth)
                src.fail(i, "expected arrays and objects nested fewer than " +
                                std::to_string(kReportedDepth) + " deep");
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    src.fail(0, "expected arrays and objects nested less deeply");
}

Json::Value parse_json(const Source& src) {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["allowComments"] = false;
    builder["allowTrailingCommas"] = false;
    builder["strictRoot"] = false;  // our own message for a root that is not an object
    builder["allowDroppedNullPlaceholders"] = false;
    builder["allowNumericKeys"] = false;
    builder["allowSingleQuotes"] = false;
    builder["stackLimit"] = kStackLimit;
    builder["failIfExtra"] = true;
    builder["rejectDupKeys"] = true;
    builder["allowSpecialFloats"] = false;
    builder["skipBom"] = false;  // removed before, so that offsets start at the text
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errs;
    bool ok = false;
    try {
        ok = reader->parse(src.text().data(), src.text().data() + src.text().size(), &root, &errs);
    } catch (const std::exception&) {
        too_deep(src);
    }
    if (!ok) syntax_error(src, errs);
    return root;
}

// ---- reading the workspace ------------------------------------------------------

// JSON's own number form; the reader lets "01", "1." and "-" through.
bool json_number(std::string_view s) {
    std::size_t i = 0;
    auto digit = [&](std::size_t k) { return k < s.size() && s[k] >= '0' && s[k] <= '9'; };
    if (i < s.size() && s[i] == '-') ++i;
    if (!digit(i)) return false;
    if (s[i] == '0')
        ++i;
    else
        while (digit(i)) ++i;
    if (i < s.size() && s[i] == '.') {
        if (!digit(++i)) return false;
        while (digit(i)) ++i;
    }
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (!digit(i)) return false;
        while (digit(i)) ++i;
    }
    return i == s.size();
}

struct PropEntry {
    std::string name;
    Variant value;
};

struct DocEntry {
    std::string file;
    std::int32_t kind = host::kPartDocument;
    std::optional<std::string> name;
    std::string massUnit = "kg";
    std::string lengthUnit = "mm";
    double grams = 0.0;
    double squareCm = 0.0;
    double cubicCm = 0.0;
    std::vector<PropEntry> props;
    std::vector<std::string> refs;
};

struct KindName {
    std::string_view name;
    std::int32_t kind;
};

constexpr std::array kKinds{
    KindName{"part", host::kPartDocument},
    KindName{"assembly", host::kAssemblyDocument},
    KindName{"drawing", host::kDrawingDocument},
    KindName{"presentation", host::kPresentationDocument},
};

constexpr std::string_view kKindList = "\"part\", \"assembly\", \"drawing\" or \"presentation\"";
constexpr std::string_view kTypeList = "\"text\", \"integer\", \"double\", \"date\" or \"boolean\"";
constexpr std::string_view kMassUnitList = "mg, g, kg, lbmass, ozmass, slug";
constexpr std::string_view kLengthUnitList = "um, mm, cm, m, km, mil, in, ft, yd";
constexpr std::string_view kDateForms = "a date like 2024-03-01 or 2024-03-01T12:30:00";

class Reader {
public:
    explicit Reader(const Source& src) : src_(src) {}

    std::int32_t host_version(const Json::Value& root) {
        const Json::Value* v = member(root, "hostVersion");
        if (!v) return kDefaultHostVersion;
        return whole(*v, 0, "for \"hostVersion\"");
    }

    std::vector<DocEntry> documents(const Json::Value& root) {
        std::vector<DocEntry> docs;
        const Json::Value* list = member(root, "documents");
        if (!list) return docs;
        if (!list->isArray()) fail(*list, "expected an array of documents for \"documents\"");
        std::map<std::string, std::size_t, std::less<>> files;
        for (const Json::Value& d : *list) {
            docs.push_back(document(d));
            const Json::Value& file = d["file"];
            const auto [it, fresh] = files.emplace(docs.back().file, start_of(file));
            if (!fresh)
                src_.fail(start_of(file), "expected each document file once; " +
                                              json_string(docs.back().file) + " is also at " +
                                              src_.where(it->second));
        }
        return docs;
    }

    void check_root(const Json::Value& root) {
        if (!root.isObject())
            fail(root,
                 "expected the workspace object { \"hostVersion\": ..., \"documents\": [...] }");
        only(root, {"hostVersion", "documents"}, "the workspace");
    }

private:
    DocEntry document(const Json::Value& d) {
        if (!d.isObject()) fail(d, "expected a document object { \"file\": ..., ... }");
        only(d, {"file", "kind", "name", "units", "mass", "properties", "references"},
             "a document");
        DocEntry doc;
        const Json::Value* file = member(d, "file");
        if (!file) src_.fail(start_of(d), "expected a \"file\" in every document");
        doc.file = text(*file, "\"file\"");

        if (const Json::Value* kind = member(d, "kind")) {
            const std::string k = text(*kind, "\"kind\"");
            const auto it = std::find_if(kKinds.begin(), kKinds.end(),
                                         [&](const KindName& n) { return n.name == k; });
            if (it == kKinds.end())
                fail(*kind, "expected " + std::string(kKindList) + " for \"kind\"");
            doc.kind = it->kind;
        } else if (const std::int32_t fromExtension = kind_from_extension(doc.file)) {
            doc.kind = fromExtension;
        }

        if (const Json::Value* name = member(d, "name")) doc.name = text(*name, "\"name\"");

        if (const Json::Value* units = member(d, "units")) {
            if (!units->isObject())
                fail(*units, "expected { \"mass\": ..., \"length\": ... } for \"units\"");
            only(*units, {"mass", "length"}, "\"units\"");
            if (const Json::Value* m = member(*units, "mass")) {
                doc.massUnit = text(*m, "the mass unit");
                if (!unit_name(doc.massUnit) || !mass_from_kilograms(1.0, doc.massUnit))
                    fail(*m, "expected a mass unit (" + std::string(kMassUnitList) + ")");
            }
            if (const Json::Value* l = member(*units, "length")) {
                doc.lengthUnit = text(*l, "the length unit");
                if (!unit_name(doc.lengthUnit) ||
                    !length_power_from_centimetres(1.0, doc.lengthUnit))
                    fail(*l, "expected a length unit (" + std::string(kLengthUnitList) + ")");
            }
        }

        if (const Json::Value* mass = member(d, "mass")) {
            if (!mass->isObject())
                fail(*mass,
                     "expected { \"mass\": ..., \"area\": ..., \"volume\": ... } for \"mass\"");
            only(*mass, {"mass", "area", "volume"}, "\"mass\"");
            doc.grams = figure(*mass, "mass");
            doc.squareCm = figure(*mass, "area");
            doc.cubicCm = figure(*mass, "volume");
        }

        if (const Json::Value* props = member(d, "properties")) {
            if (!props->isArray())
                fail(*props, "expected an array of properties for \"properties\"");
            std::map<std::string, std::size_t, std::less<>> names;
            for (const Json::Value& p : *props) {
                doc.props.push_back(property(p));
                const std::size_t at = start_of(p["name"]);
                const auto [it, fresh] = names.emplace(doc.props.back().name, at);
                if (!fresh)
                    src_.fail(at, "expected each property name once in a document; " +
                                      json_string(doc.props.back().name) + " is also at " +
                                      src_.where(it->second));
            }
        }

        if (const Json::Value* refs = member(d, "references")) {
            if (!refs->isArray()) fail(*refs, "expected an array of files for \"references\"");
            for (const Json::Value& r : *refs) {
                std::string ref = text(r, "a reference");
                if (ref == doc.file) fail(r, "expected the file of another document, not its own");
                if (std::find(doc.refs.begin(), doc.refs.end(), ref) != doc.refs.end())
                    fail(r, "expected each reference once in a document");
                doc.refs.push_back(std::move(ref));
            }
        }
        return doc;
    }

    PropEntry property(const Json::Value& p) {
        if (!p.isObject())
            fail(p, "expected a property object { \"name\": ..., \"type\": ..., \"value\": ... }");
        only(p, {"name", "type", "value"}, "a property");
        PropEntry prop;
        const Json::Value* name = member(p, "name");
        if (!name) src_.fail(start_of(p), "expected a \"name\" in every property");
        prop.name = text(*name, "a property's \"name\"");

        const Json::Value* value = member(p, "value");
        std::string type;
        if (const Json::Value* t = member(p, "type")) {
            type = text(*t, "\"type\"");
            if (type != "text" && type != "integer" && type != "double" && type != "date" &&
                type != "boolean")
                fail(*t, "expected " + std::string(kTypeList) + " for \"type\"");
        } else if (!value || value->isString()) {
            type = "text";
        } else if (value->isBool()) {
            type = "boolean";
        } else if (value->isNumeric()) {
            type = literal(*value).find_first_of(".eE") == std::string_view::npos ? "integer"
                                                                                  : "double";
        } else {
            fail(*value, "expected a string, number, true or false for \"value\"");
        }

        if (type == "text") {
            prop.value = value ? Variant(text(*value, "a \"text\" property", false)) : Variant("");
        } else if (type == "integer") {
            prop.value = value ? whole(*value, std::numeric_limits<std::int32_t>::min(),
                                       "for an \"integer\" property")
                               : std::int32_t{0};
        } else if (type == "double") {
            prop.value = value ? number(*value, "for a \"double\" property") : 0.0;
        } else if (type == "boolean") {
            if (value && !value->isBool())
                fail(*value, "expected true or false for a \"boolean\" property");
            prop.value = value ? value->asBool() : false;
        } else {
            Date date;
            if (value) {
                const auto parsed =
                    value->isString() ? DateFromIso(value->asString()) : std::nullopt;
                if (!parsed)
                    fail(*value,
                         "expected " + std::string(kDateForms) + " for a \"date\" property");
                date = *parsed;
            }
            prop.value = date;
        }
        return prop;
    }

    double figure(const Json::Value& mass, const char* field) {
        const Json::Value* v = member(mass, field);
        if (!v) return 0.0;
        const double d = number(*v, "for \"" + std::string(field) + "\"");
        if (d < 0.0) fail(*v, "expected a number not below 0 for \"" + std::string(field) + "\"");
        return d;
    }

    double number(const Json::Value& v, const std::string& forWhat) {
        if (!v.isNumeric()) fail(v, "expected a number " + forWhat);
        if (!json_number(literal(v)))
            fail(v, "expected a number in JSON's form (like -12, 3.5 or 1e-3)");
        return v.asDouble();
    }

    std::int32_t whole(const Json::Value& v, std::int32_t low, const std::string& forWhat) {
        const std::string range = "a whole number from " + std::to_string(low) + " to " +
                                  std::to_string(std::numeric_limits<std::int32_t>::max());
        if (!v.isNumeric()) fail(v, "expected " + range + " " + forWhat);
        const double d = number(v, forWhat);
        if (std::floor(d) != d) fail(v, "expected " + range + " " + forWhat);
        if (!v.isInt() || v.asInt() < low) fail(v, "expected " + range + " " + forWhat);
        return v.asInt();
    }

    std::string text(const Json::Value& v, const std::string& what, bool nonEmpty = true) {
        if (!v.isString()) fail(v, "expected text for " + what);
        std::string s = v.asString();
        if (nonEmpty && s.empty()) fail(v, "expected non-empty text for " + what);
        return s;
    }

    static bool unit_name(const std::string& name) { return name.find(' ') == std::string::npos; }

    // Unknown fields are refused at the first one in the file.
    void only(const Json::Value& object, std::initializer_list<std::string_view> allowed,
              const std::string& where) {
        const Json::Value* first = nullptr;
        std::string firstName;
        for (auto it = object.begin(); it != object.end(); ++it) {
            const std::string name = it.name();
            if (std::find(allowed.begin(), allowed.end(), name) != allowed.end()) continue;
            if (!first || start_of(*it) < start_of(*first)) {
                first = &*it;
                firstName = name;
            }
        }
        if (!first) return;
        std::string list;
        for (std::string_view a : allowed) list += (list.empty() ? "" : ", ") + json_string(a);
        src_.fail(key_start(start_of(*first)), "unknown field " + json_string(firstName) + " in " +
                                                   where + "; expected " + list);
    }

    // The member's name starts before its value: back over ':' and blanks
    // to the closing quote, then to the first quote not escaped.
    std::size_t key_start(std::size_t valueStart) const {
        const std::string_view t = src_.text();
        auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
        std::size_t i = valueStart;
        while (i > 0 && blank(t[i - 1])) --i;
        if (i == 0 || t[--i] != ':') return valueStart;
        while (i > 0 && blank(t[i - 1])) --i;
        if (i == 0 || t[--i] != '"') return valueStart;
        while (i > 0) {
            if (t[--i] != '"') continue;
            std::size_t backslashes = 0;
            while (backslashes < i && t[i - 1 - backslashes] == '\\') ++backslashes;
            if (backslashes % 2 == 0) return i;
        }
        return valueStart;
    }

    static const Json::Value* member(const Json::Value& object, std::string_view name) {
        return object.find(name.data(), name.data() + name.size());
    }

    std::string_view literal(const Json::Value& v) const {
        const auto begin = static_cast<std::size_t>(v.getOffsetStart());
        const auto end = static_cast<std::size_t>(v.getOffsetLimit());
        return src_.text().substr(begin, end - begin);
    }

    // What stood there, as the person wrote it (long text cut short).
    std::string found(const Json::Value& v) const {
        if (v.isObject()) return "an object";
        if (v.isArray()) return "an array";
        std::string_view lit = literal(v);
        if (lit.size() > 40) return std::string(lit.substr(0, 37)) + "...";
        return std::string(lit);
    }

    [[noreturn]] void fail(const Json::Value& v, const std::string& what) const {
        src_.fail(start_of(v), what + ", found " + found(v));
    }

    const Source& src_;
};

void build(MemoryHost& host, const std::vector<DocEntry>& docs) {
    std::map<std::string, std::shared_ptr<MemoryDocument>, std::less<>> byFile;
    for (const DocEntry& entry : docs) {
        auto doc = host.AddDocument(entry.kind, entry.file);
        if (entry.name) doc->SetDisplayName(*entry.name);
        doc->SetUnits(entry.massUnit, entry.lengthUnit);
        doc->SetMassFigures(entry.grams, entry.squareCm, entry.cubicCm);
        for (const PropEntry& p : entry.props) doc->AddProp(p.name, p.value);
        byFile.emplace(entry.file, doc);
    }
    for (std::size_t i = 0; i < docs.size(); ++i) {
        MemoryDocument& doc = *host.Documents()[i];
        for (const std::string& ref : docs[i].refs) {
            const auto it = byFile.find(ref);
            if (it != byFile.end())
                doc.AddRef(it->second);
            else
                doc.AddUnresolvedRef(ref);
        }
    }
}

// ---- writing --------------------------------------------------------------------

std::string json_string(std::string_view s) {
    std::string out = "\"";
    for (const char c : s) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    constexpr std::string_view hex = "0123456789abcdef";
                    out += "\\u00";
                    out += hex[static_cast<unsigned char>(c) >> 4];
                    out += hex[static_cast<unsigned char>(c) & 0xF];
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

[[noreturn]] void unsavable(const MemoryDocument& doc, const std::string& what) {
    throw WorkspaceError("cannot save " + doc.full_name() + ": " + what);
}

// Shortest text that reads back as the same double, always with a point
// or an exponent so that a reader sees it is not a whole number type.
std::string number_text(double d, const MemoryDocument& doc, std::string_view what) {
    if (!std::isfinite(d)) unsavable(doc, std::string(what) + " is not a finite number");
    std::array<char, 64> buf{};
    const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), d);
    std::string s(buf.data(), end);
    if (s.find_first_of(".e") == std::string::npos) s += ".0";
    return s;
}

std::string_view kind_name(const MemoryDocument& doc) {
    for (const KindName& k : kKinds)
        if (k.kind == doc.kind()) return k.name;
    unsavable(doc, "its kind " + std::to_string(doc.kind()) + " has no name in a workspace");
}

std::string property_text(const MemoryDocument& doc, const std::string& name, const Variant& v) {
    std::string type;
    std::string value;
    switch (v.type()) {
        case VarType::kString:
            type = "text";
            value = json_string(v.as_string());
            break;
        case VarType::kInteger:
            type = "integer";
            value = std::to_string(v.as_integer());
            break;
        case VarType::kLong:
            type = "integer";
            value = std::to_string(v.as_long());
            break;
        case VarType::kDouble:
            type = "double";
            value = number_text(v.as_double(), doc, "property " + name);
            break;
        case VarType::kBoolean:
            type = "boolean";
            value = v.as_bool() ? "true" : "false";
            break;
        case VarType::kDate: {
            const auto iso = IsoFromDate(v.as_date());
            if (!iso) unsavable(doc, "property " + name + " holds a date outside years 1 to 9999");
            type = "date";
            value = json_string(*iso);
            break;
        }
        default:
            unsavable(doc, "property " + name + " holds a value of type " + type_name(v.type()) +
                               ", which a workspace cannot keep");
    }
    return "{ \"name\": " + json_string(name) + ", \"type\": \"" + type +
           "\", \"value\": " + value + " }";
}

// "[]" when empty, else one item a line.
std::string list_text(const std::vector<std::string>& items) {
    if (items.empty()) return "[]";
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i ? ",\n        " : "\n        ") + items[i];
    return out + "\n      ]";
}

std::string document_text(const MemoryDocument& doc) {
    const auto& mass = *doc.MassProps();
    std::vector<std::string> props;
    for (const auto& [name, value] : doc.Props()) props.push_back(property_text(doc, name, value));
    std::vector<std::string> refs;
    for (const auto& ref : doc.Refs()->refs()) {
        const auto target = ref->document();
        const std::string& file = target ? target->full_name() : ref->unresolved_path();
        if (file.empty()) unsavable(doc, "one of its references names no file");
        refs.push_back(json_string(file));
    }
    std::string out = "    {\n";
    out += "      \"file\": " + json_string(doc.full_name()) + ",\n";
    out += "      \"kind\": \"" + std::string(kind_name(doc)) + "\",\n";
    out += "      \"name\": " + json_string(doc.display_name()) + ",\n";
    out += "      \"units\": { \"mass\": " + json_string(doc.Units()->mass_unit()) +
           ", \"length\": " + json_string(doc.Units()->length_unit()) + " },\n";
    out += "      \"mass\": { \"mass\": " + number_text(mass.grams(), doc, "its mass") +
           ", \"area\": " + number_text(mass.square_cm(), doc, "its area") +
           ", \"volume\": " + number_text(mass.cubic_cm(), doc, "its volume") + " },\n";
    out += "      \"properties\": " + list_text(props) + ",\n";
    out += "      \"references\": " + list_text(refs) + "\n";
    return out + "    }";
}

// ---- files ----------------------------------------------------------------------

[[noreturn]] void io_failure(const fs::path& file, const std::string& what, int error) {
    throw WorkspaceError(file.string() + ": " + what + ": " + std::strerror(error));
}

// A temporary file that is removed unless it was renamed into place.
class TempFile {
public:
    explicit TempFile(std::string path) : path_(std::move(path)) { fd_ = ::mkstemp(path_.data()); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!kept_) ::unlink(path_.c_str());
    }

    int fd() const { return fd_; }
    const std::string& path() const { return path_; }
    int close() {
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }
    void keep() { kept_ = true; }

private:
    std::string path_;
    int fd_ = -1;
    bool kept_ = false;
};

void write_atomically(const fs::path& out, std::string_view content) {
    if (!out.has_filename()) throw WorkspaceError(out.string() + ": expected a file name to write");
    const fs::path dir = out.has_parent_path() ? out.parent_path() : fs::path(".");
    TempFile temp((dir / ("." + out.filename().string() + ".tmp-XXXXXX")).string());
    if (temp.fd() < 0) io_failure(out, "cannot create a temporary file beside it", errno);

    for (std::size_t done = 0; done < content.size();) {
        const ssize_t n = ::write(temp.fd(), content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) io_failure(out, "cannot write", errno);
        done += static_cast<std::size_t>(n);
    }
    // The replacement keeps the permissions of the file it replaces.
    struct stat old {};
    const mode_t mode = ::stat(out.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    if (::fchmod(temp.fd(), mode) != 0) io_failure(out, "cannot set permissions", errno);
    if (::fsync(temp.fd()) != 0) io_failure(out, "cannot flush to disk", errno);
    if (temp.close() != 0) io_failure(out, "cannot write", errno);
    if (::rename(temp.path().c_str(), out.c_str()) != 0) io_failure(out, "cannot replace", errno);
    temp.keep();

    // Makes the rename itself durable; not every file system can.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

}  // namespace

// ---- public -----------------------------------------------------------------------

// A workspace keeps any date of years 1 to 9999 to the millisecond.
std::optional<Date> DateFromIso(std::string_view text) {
    const auto t = read_iso(text);
    if (!t || t->year < 1) return std::nullopt;
    return date_of(*t);
}

std::optional<std::string> IsoFromDate(Date date) {
    const auto t = date_time_of(date, TimeUnit::kMillisecond);
    if (!t || t->year < 1 || t->year > 9999) return std::nullopt;
    return iso_text(*t);
}

Workspace ParseWorkspace(std::string_view text, std::string_view fileName) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    const Source src(text, fileName);
    const Json::Value root = parse_json(src);
    Reader reader(src);
    reader.check_root(root);
    const std::int32_t version = reader.host_version(root);
    const std::vector<DocEntry> docs = reader.documents(root);

    Workspace ws;
    ws.hostVersion = version;
    ws.host.SetVersionMajor(version);
    build(ws.host, docs);
    return ws;
}

Workspace LoadWorkspace(const fs::path& file) {
    std::error_code ec;
    if (fs::is_directory(file, ec))
        throw WorkspaceError(file.string() + ": is a folder; expected a workspace file");
    std::ifstream in(file, std::ios::binary);
    if (!in) io_failure(file, "cannot open", errno);
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) io_failure(file, "cannot read", errno);
    return ParseWorkspace(content.str(), file.string());
}

std::string WorkspaceText(const MemoryHost& host, std::int32_t hostVersion) {
    std::string out = "{\n  \"hostVersion\": " + std::to_string(hostVersion) + ",\n";
    const auto& docs = host.Documents();
    if (docs.empty()) return out + "  \"documents\": []\n}\n";
    out += "  \"documents\": [\n";
    for (std::size_t i = 0; i < docs.size(); ++i)
        out += document_text(*docs[i]) + (i + 1 < docs.size() ? ",\n" : "\n");
    return out + "  ]\n}\n";
}

void SaveWorkspace(const MemoryHost& host, std::int32_t hostVersion, const fs::path& out) {
    write_atomically(out, WorkspaceText(host, hostVersion));
}

void SaveWorkspace(const Workspace& workspace, const fs::path& out) {
    SaveWorkspace(workspace.host, workspace.hostVersion, out);
}

}  // namespace bm::workbench
