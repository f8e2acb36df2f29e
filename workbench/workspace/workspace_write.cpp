// Writing a workspace as JSON text with the JSON library's writer.

#include <cmath>
#include <nlohmann/json.hpp>

#include "core/date.h"
#include "workbench/workspace/kinds.h"
#include "workbench/workspace/workspace.h"

namespace bm::workbench {

namespace {

// Fields keep the order they are written in, as the format shows them.
using Json = nlohmann::ordered_json;

[[noreturn]] void Unsavable(const MemoryDocument& doc, const std::string& what) {
    throw WorkspaceError("cannot save " + doc.full_name() + ": " + what);
}

// The writer gives a double the shortest text that reads back the same,
// always with a point or an exponent.
double Finite(double d, const MemoryDocument& doc, const std::string& what) {
    if (!std::isfinite(d)) Unsavable(doc, what + " is not a finite number");
    return d;
}

std::string KindWord(const MemoryDocument& doc) {
    for (const KindName& k : kKinds)
        if (k.kind == doc.kind()) return std::string(k.name);
    Unsavable(doc, "its kind " + std::to_string(doc.kind()) + " has no name in a workspace");
}

Json PropertyJson(const MemoryDocument& doc, const std::string& name, const Variant& v) {
    const auto typed = [&](const char* type, Json value) {
        return Json{{"name", name}, {"type", type}, {"value", std::move(value)}};
    };
    switch (v.type()) {
        case VarType::kString:
            return typed("text", v.as_string());
        case VarType::kInteger:
            return typed("integer", v.as_integer());
        case VarType::kLong:
            return typed("integer", v.as_long());
        case VarType::kDouble:
            return typed("double", Finite(v.as_double(), doc, "property " + name));
        case VarType::kBoolean:
            return typed("boolean", v.as_bool());
        case VarType::kDate: {
            const auto iso = IsoFromDate(v.as_date());
            if (!iso) Unsavable(doc, "property " + name + " holds a date outside years 1 to 9999");
            return typed("date", *iso);
        }
        default:
            Unsavable(doc, "property " + name + " holds a value of type " + type_name(v.type()) +
                               ", which a workspace cannot keep");
    }
}

Json DocumentJson(const MemoryDocument& doc) {
    Json props = Json::array();
    for (const auto& [name, value] : doc.Props()) props.push_back(PropertyJson(doc, name, value));
    Json refs = Json::array();
    for (const auto& ref : doc.Refs()->refs()) {
        const auto target = ref->document();
        const std::string& file = target ? target->full_name() : ref->unresolved_path();
        if (file.empty()) Unsavable(doc, "one of its references names no file");
        refs.push_back(file);
    }
    const auto& mass = *doc.MassProps();
    Json json{{"file", doc.full_name()},
              {"kind", KindWord(doc)},
              {"name", doc.display_name()},
              {"units",
               {{"mass", doc.Units()->mass_unit()}, {"length", doc.Units()->length_unit()}}},
              {"mass",
               {{"mass", Finite(mass.grams(), doc, "its mass")},
                {"area", Finite(mass.square_cm(), doc, "its area")},
                {"volume", Finite(mass.cubic_cm(), doc, "its volume")}}},
              {"properties", std::move(props)},
              {"references", std::move(refs)}};
    // The writer refuses text that is not UTF-8; say which document holds it.
    try {
        static_cast<void>(json.dump());
    } catch (const Json::type_error&) {
        Unsavable(doc, "it holds text that is not UTF-8");
    }
    return json;
}

}  // namespace

std::optional<std::string> IsoFromDate(Date date) {
    const auto t = date_time_of(date, TimeUnit::kMillisecond);
    if (!t || t->year < 1 || t->year > 9999) return std::nullopt;
    return iso_text(*t);
}

std::string WorkspaceText(const MemoryHost& host, std::int32_t hostVersion) {
    Json docs = Json::array();
    for (const auto& doc : host.Documents()) docs.push_back(DocumentJson(*doc));
    const Json workspace{{"hostVersion", hostVersion}, {"documents", std::move(docs)}};
    return workspace.dump(2) + "\n";
}

}  // namespace bm::workbench
