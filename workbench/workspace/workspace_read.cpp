// Reading a workspace: the JSON tree checked against the format, then the
// documents built.

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "core/date.h"
#include "workbench/workspace/kinds.h"
#include "workbench/workspace/positioned_json.h"
#include "workbench/workspace/workspace.h"

namespace bm::workbench {

namespace {

using Kind = JsonNode::Kind;

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

constexpr std::string_view kKindList = "\"part\", \"assembly\", \"drawing\" or \"presentation\"";
constexpr std::string_view kTypeList = "\"text\", \"integer\", \"double\", \"date\" or \"boolean\"";
constexpr std::string_view kMassUnitList = "mg, g, kg, lbmass, ozmass, slug";
constexpr std::string_view kLengthUnitList = "um, mm, cm, m, km, mil, in, ft, yd";
constexpr std::string_view kDateForms = "a date like 2024-03-01 or 2024-03-01T12:30:00";

class Reader {
public:
    explicit Reader(const Source& src) : src_(src) {}

    std::int32_t host_version(const JsonNode& root) {
        const JsonNode* v = root.member("hostVersion");
        if (!v) return kDefaultHostVersion;
        return whole(*v, 0, "for \"hostVersion\"");
    }

    std::vector<DocEntry> documents(const JsonNode& root) {
        std::vector<DocEntry> docs;
        const JsonNode* list = root.member("documents");
        if (!list) return docs;
        if (!list->is(Kind::kArray))
            fail(*list, "expected an array of documents for \"documents\"");
        std::map<std::string, std::size_t, std::less<>> files;
        std::map<std::string, std::pair<std::size_t, std::string>, std::less<>> shown;
        for (const JsonNode& d : list->items) {
            docs.push_back(document(d));
            const DocEntry& doc = docs.back();
            const std::size_t at = d.member("file")->begin;
            const auto [it, fresh] = files.emplace(doc.file, at);
            if (!fresh)
                src_.fail(at, "expected each document file once; " + Quoted(doc.file) + " is also at " +
                                  src_.where(it->second));
            // Two documents shown alike are told apart only by their files.
            const std::string name = doc.name ? *doc.name : DisplayNameOf(doc.file);
            const auto [same, first] = shown.try_emplace(name, at, doc.file);
            if (!first)
                warnings_.push_back(src_.at(
                    at, "warning: " + Quoted(doc.file) + " shows as " + Quoted(name) + ", as " +
                            Quoted(same->second.second) + " at " + src_.where(same->second.first) +
                            " does; give one of them a \"name\" to tell them apart in the dialogs"));
        }
        return docs;
    }

    // What the documents hold that is allowed but likely not meant.
    std::vector<std::string> take_warnings() { return std::move(warnings_); }

    void check_root(const JsonNode& root) {
        if (!root.is(Kind::kObject))
            fail(root,
                 "expected the workspace object { \"hostVersion\": ..., \"documents\": [...] }");
        only(root, {"hostVersion", "documents"}, "the workspace");
    }

private:
    DocEntry document(const JsonNode& d) {
        if (!d.is(Kind::kObject)) fail(d, "expected a document object { \"file\": ..., ... }");
        only(d, {"file", "kind", "name", "units", "mass", "properties", "references"},
             "a document");
        DocEntry doc;
        const JsonNode* file = d.member("file");
        if (!file) src_.fail(d.begin, "expected a \"file\" in every document");
        doc.file = text(*file, "\"file\"");

        if (const JsonNode* kind = d.member("kind")) {
            doc.kind = kind_named(*kind);
        } else if (const std::int32_t fromExtension = KindFromExtension(doc.file)) {
            doc.kind = fromExtension;
        }

        if (const JsonNode* name = d.member("name")) {
            doc.name = text(*name, "\"name\"");
        } else if (DisplayNameOf(doc.file).empty()) {
            // The display name comes from the file name; without one the
            // document would show (and save) an empty name.
            fail(*file, "expected a file name after the last folder, or a \"name\" for the document");
        }

        if (const JsonNode* units = d.member("units")) read_units(*units, doc);
        if (const JsonNode* mass = d.member("mass")) read_mass(*mass, doc);
        if (const JsonNode* props = d.member("properties")) doc.props = properties(*props);
        if (const JsonNode* refs = d.member("references")) doc.refs = references(*refs, doc.file);
        return doc;
    }

    std::int32_t kind_named(const JsonNode& kind) {
        const std::string k = text(kind, "\"kind\"");
        const auto it = std::find_if(kKinds.begin(), kKinds.end(),
                                     [&](const KindName& n) { return n.name == k; });
        if (it == kKinds.end())
            fail(kind, "expected " + std::string(kKindList) + " for \"kind\"");
        return it->kind;
    }

    void read_units(const JsonNode& units, DocEntry& doc) {
        if (!units.is(Kind::kObject))
            fail(units, "expected { \"mass\": ..., \"length\": ... } for \"units\"");
        only(units, {"mass", "length"}, "\"units\"");
        if (const JsonNode* m = units.member("mass")) {
            doc.massUnit = text(*m, "the mass unit");
            if (!unit_name(doc.massUnit) || !MassFromKilograms(1.0, doc.massUnit))
                fail(*m, "expected a mass unit (" + std::string(kMassUnitList) + ")");
        }
        if (const JsonNode* l = units.member("length")) {
            doc.lengthUnit = text(*l, "the length unit");
            if (!unit_name(doc.lengthUnit) ||
                !LengthPowerFromCentimetres(1.0, doc.lengthUnit))
                fail(*l, "expected a length unit (" + std::string(kLengthUnitList) + ")");
        }
    }

    void read_mass(const JsonNode& mass, DocEntry& doc) {
        if (!mass.is(Kind::kObject))
            fail(mass,
                 "expected { \"mass\": ..., \"area\": ..., \"volume\": ... } for \"mass\"");
        only(mass, {"mass", "area", "volume"}, "\"mass\"");
        doc.grams = figure(mass, "mass");
        doc.squareCm = figure(mass, "area");
        doc.cubicCm = figure(mass, "volume");
    }

    std::vector<PropEntry> properties(const JsonNode& props) {
        if (!props.is(Kind::kArray))
            fail(props, "expected an array of properties for \"properties\"");
        std::vector<PropEntry> entries;
        std::map<std::string, std::size_t, std::less<>> names;
        for (const JsonNode& p : props.items) {
            entries.push_back(property(p));
            const std::size_t at = p.member("name")->begin;
            const auto [it, fresh] = names.emplace(entries.back().name, at);
            if (!fresh)
                src_.fail(at, "expected each property name once in a document; " +
                                  Quoted(entries.back().name) + " is also at " +
                                  src_.where(it->second));
        }
        return entries;
    }

    // The files a document refers to; `own` is its own file.
    std::vector<std::string> references(const JsonNode& refs, const std::string& own) {
        if (!refs.is(Kind::kArray))
            fail(refs, "expected an array of files for \"references\"");
        std::vector<std::string> files;
        for (const JsonNode& r : refs.items) {
            std::string ref = text(r, "a reference");
            if (ref == own) fail(r, "expected the file of another document, not its own");
            if (std::find(files.begin(), files.end(), ref) != files.end())
                fail(r, "expected each reference once in a document");
            files.push_back(std::move(ref));
        }
        return files;
    }

    PropEntry property(const JsonNode& p) {
        if (!p.is(Kind::kObject))
            fail(p, "expected a property object { \"name\": ..., \"type\": ..., \"value\": ... }");
        only(p, {"name", "type", "value"}, "a property");
        PropEntry prop;
        const JsonNode* name = p.member("name");
        if (!name) src_.fail(p.begin, "expected a \"name\" in every property");
        prop.name = text(*name, "a property's \"name\"");

        const JsonNode* value = p.member("value");
        std::string type;
        if (const JsonNode* t = p.member("type")) {
            type = text(*t, "\"type\"");
            if (type != "text" && type != "integer" && type != "double" && type != "date" &&
                type != "boolean")
                fail(*t, "expected " + std::string(kTypeList) + " for \"type\"");
        } else if (!value || value->is(Kind::kString)) {
            type = "text";
        } else if (value->is(Kind::kBoolean)) {
            type = "boolean";
        } else if (value->is(Kind::kNumber)) {
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
            if (value && !value->is(Kind::kBoolean))
                fail(*value, "expected true or false for a \"boolean\" property");
            prop.value = value ? value->boolean : false;
        } else {
            Date date;
            if (value) {
                const auto parsed =
                    value->is(Kind::kString) ? DateFromIso(value->string) : std::nullopt;
                if (!parsed)
                    fail(*value,
                         "expected " + std::string(kDateForms) + " for a \"date\" property");
                date = *parsed;
            }
            prop.value = date;
        }
        return prop;
    }

    double figure(const JsonNode& mass, const char* field) {
        const JsonNode* v = mass.member(field);
        if (!v) return 0.0;
        const double d = number(*v, "for \"" + std::string(field) + "\"");
        if (d < 0.0) fail(*v, "expected a number not below 0 for \"" + std::string(field) + "\"");
        return d;
    }

    double number(const JsonNode& v, const std::string& forWhat) {
        if (!v.is(Kind::kNumber)) fail(v, "expected a number " + forWhat);
        return v.number;
    }

    // Any number with a whole value: 3, 3.0 and 3e0 alike.
    std::int32_t whole(const JsonNode& v, std::int32_t low, const std::string& forWhat) {
        const double d = v.number;
        if (!v.is(Kind::kNumber) || std::floor(d) != d || d < low ||
            d > std::numeric_limits<std::int32_t>::max())
            fail(v, "expected a whole number from " + std::to_string(low) + " to " +
                        std::to_string(std::numeric_limits<std::int32_t>::max()) + " " + forWhat);
        return static_cast<std::int32_t>(d);
    }

    std::string text(const JsonNode& v, const std::string& what, bool nonEmpty = true) {
        if (!v.is(Kind::kString)) fail(v, "expected text for " + what);
        if (nonEmpty && v.string.empty()) fail(v, "expected non-empty text for " + what);
        return v.string;
    }

    static bool unit_name(const std::string& name) { return name.find(' ') == std::string::npos; }

    // Unknown fields are refused at the first one in the file.
    void only(const JsonNode& object, std::initializer_list<std::string_view> allowed,
              const std::string& where) {
        const auto unknown =
            std::find_if(object.members.begin(), object.members.end(), [&](const JsonMember& m) {
                return std::find(allowed.begin(), allowed.end(), m.name) == allowed.end();
            });
        if (unknown == object.members.end()) return;
        std::string list;
        for (std::string_view a : allowed) list += (list.empty() ? "" : ", ") + Quoted(a);
        src_.fail(unknown->nameBegin, "unknown field " + Quoted(unknown->name) + " in " + where +
                                          "; expected " + list);
    }

    std::string_view literal(const JsonNode& v) const {
        return src_.text().substr(v.begin, v.end - v.begin);
    }

    // What stood there, as the person wrote it (long text cut short, not
    // inside a character).
    std::string found(const JsonNode& v) const {
        if (v.is(Kind::kObject)) return "an object";
        if (v.is(Kind::kArray)) return "an array";
        const std::string_view lit = literal(v);
        if (lit.size() <= 40) return std::string(lit);
        std::size_t cut = 37;
        while (cut > 0 && (static_cast<unsigned char>(lit[cut]) & 0xC0) == 0x80) --cut;
        return std::string(lit.substr(0, cut)) + "...";
    }

    [[noreturn]] void fail(const JsonNode& v, const std::string& what) const {
        src_.fail(v.begin, what + ", found " + found(v));
    }

    const Source& src_;
    std::vector<std::string> warnings_;
};

void BuildHost(MemoryHost& host, const std::vector<DocEntry>& docs) {
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

}  // namespace

// A workspace keeps any date of years 1 to 9999 to the millisecond.
std::optional<Date> DateFromIso(std::string_view text) {
    const auto t = read_iso(text);
    if (!t || t->year < 1) return std::nullopt;
    return date_of(*t);
}

Workspace ParseWorkspace(std::string_view text, std::string_view fileName) {
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    const Source src(text, fileName);
    const JsonNode root = ParseJson(src);
    Reader reader(src);
    reader.check_root(root);
    const std::int32_t version = reader.host_version(root);
    const std::vector<DocEntry> docs = reader.documents(root);

    Workspace ws;
    ws.warnings = reader.take_warnings();
    ws.hostVersion = version;
    ws.host.SetVersionMajor(version);
    BuildHost(ws.host, docs);
    return ws;
}

}  // namespace bm::workbench
