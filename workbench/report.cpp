#include "workbench/report.h"

#include <algorithm>
#include <cstdio>

#include "core/convert.h"
#include "host/host.h"
#include "settings/persistence.h"
#include "workbench/dialog_actions.h"
#include "workbench/workspace/workspace.h"

namespace bm::workbench {

namespace {

// Width on a terminal: one column per character, not per byte.
std::size_t Columns(const std::string& text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Escaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                // Other control characters would move the terminal's cursor
                // or change its colours: shown as codes instead.
                if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') {
                    char code[8];
                    std::snprintf(code, sizeof code, "\\x%02x", static_cast<unsigned>(static_cast<unsigned char>(c)));
                    out += code;
                } else {
                    out += c;
                }
        }
    }
    return out;
}

std::string Plural(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string TypeWord(const Variant& value) {
    switch (value.type()) {
        case VarType::kEmpty: return "empty";
        case VarType::kBoolean: return "boolean";
        case VarType::kInteger:
        case VarType::kLong: return "integer";
        case VarType::kDouble: return "double";
        case VarType::kDate: return "date";
        case VarType::kString: return "text";
        case VarType::kBytes: return "bytes";
        case VarType::kObject: return "object";
    }
    return "?";
}

std::string ValueText(const Variant& value) {
    switch (value.type()) {
        case VarType::kEmpty: return "";
        case VarType::kBoolean: return value.as_bool() ? "true" : "false";
        case VarType::kInteger: return std::to_string(value.as_integer());
        case VarType::kLong: return std::to_string(value.as_long());
        case VarType::kDouble: return shortest_text(value.as_double());
        case VarType::kDate: {
            if (auto iso = IsoFromDate(value.as_date())) return *iso;
            return "date serial " + shortest_text(value.as_date().serial);
        }
        case VarType::kString: return value.as_string().empty() ? "\"\"" : Escaped(value.as_string());
        case VarType::kBytes: {
            std::string out;
            for (const auto b : value.as_bytes()) {
                char hex[4];
                std::snprintf(hex, sizeof hex, "%02x", b);
                out += (out.empty() ? "" : " ") + std::string(hex);
            }
            return out;
        }
        case VarType::kObject: return "(object)";
    }
    return "?";
}

void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows,
                const std::string& indent) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (widths.size() <= c) widths.push_back(0);
            widths[c] = std::max(widths[c], Columns(row[c]));
        }
    auto line = [&](const std::vector<std::string>& row) {
        std::string text = indent;
        for (std::size_t c = 0; c < row.size(); ++c) {
            text += row[c];
            if (c + 1 < row.size()) text += std::string(widths[c] - Columns(row[c]) + 2, ' ');
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out << text << "\n";
    };
    for (std::size_t r = 0; r < rows.size(); ++r) {
        line(rows[r]);
        if (r == 0) {
            std::vector<std::string> rule;
            for (std::size_t c = 0; c < rows[0].size(); ++c) rule.emplace_back(widths[c], '-');
            line(rule);
        }
    }
}

std::string KindWord(std::int32_t kind) {
    switch (kind) {
        case host::kPartDocument: return "part";
        case host::kAssemblyDocument: return "assembly";
        case host::kDrawingDocument: return "drawing";
        case host::kPresentationDocument: return "presentation";
        default: return "kind " + std::to_string(kind);
    }
}

void PrintProperties(std::ostream& out, const MemoryDocument& document) {
    const auto props = document.Props();
    out << Escaped(document.display_name()) << " (" << KindWord(document.kind()) << ", " << Escaped(document.full_name())
        << "): " << Plural(props.size(), "custom property", "custom properties") << "\n";
    if (props.empty()) return;
    std::vector<std::vector<std::string>> rows{{"Name", "Type", "Value"}};
    for (const auto& [name, value] : props) rows.push_back({Escaped(name), TypeWord(value), ValueText(value)});
    PrintTable(out, rows, "  ");
}

PropertySnapshot TakeSnapshot(const MemoryHost& host) {
    PropertySnapshot snapshot;
    for (const auto& document : host.Documents()) snapshot.push_back(document->Props());
    return snapshot;
}

std::string PropertyChanges::Counts() const {
    return std::to_string(added) + " added, " + std::to_string(changed) + " changed, " + std::to_string(erased) +
           " erased";
}

PropertyChanges CompareProperties(const std::vector<std::pair<std::string, Variant>>& before,
                                  const std::vector<std::pair<std::string, Variant>>& after) {
    const auto find = [](const auto& props, const std::string& name) {
        return std::find_if(props.begin(), props.end(), [&](const auto& p) { return p.first == name; });
    };
    PropertyChanges changes;
    for (const auto& [name, value] : after) {
        const auto old = find(before, name);
        if (old == before.end()) {
            ++changes.added;
            changes.rows.push_back({"+", Escaped(name), TypeWord(value), ValueText(value)});
        } else if (!(old->second == value) || old->second.type() != value.type()) {
            ++changes.changed;
            const std::string type = old->second.type() == value.type()
                                         ? TypeWord(value)
                                         : TypeWord(old->second) + " -> " + TypeWord(value);
            changes.rows.push_back({"~", Escaped(name), type, ValueText(old->second) + " -> " + ValueText(value)});
        }
    }
    for (const auto& [name, value] : before) {
        if (find(after, name) != after.end()) continue;
        ++changes.erased;
        changes.rows.push_back({"-", Escaped(name), TypeWord(value), ValueText(value)});
    }
    return changes;
}

bool PrintChanges(std::ostream& out, const MemoryHost& host, const PropertySnapshot& before) {
    bool listed = false;
    const auto& documents = host.Documents();
    for (std::size_t d = 0; d < documents.size() && d < before.size(); ++d) {
        const auto after = documents[d]->Props();
        if (after == before[d]) continue;
        PropertyChanges changes = CompareProperties(before[d], after);
        if (changes.rows.empty()) continue;  // the same properties in another order
        out << "  " << Escaped(documents[d]->display_name()) << ": " << changes.Counts() << "\n";
        changes.rows.insert(changes.rows.begin(), {"", "Name", "Type", "Value"});
        PrintTable(out, changes.rows, "    ");
        listed = true;
    }
    return listed;
}

std::string SettingLabel(Settings::Field field) {
    switch (field) {
        case Settings::kUpdateOnActivate: return "Update custom properties on drawing file activation";
        case Settings::kUpdateExistOnly: return "Update existing custom drawing properties only";
        case Settings::kPrefaceModel: return "Preface custom drawing property with model name";
        case Settings::kSelectProps: return "Allow user selection of custom properties on copy";
        case Settings::kEraseFirst: return "Delete existing custom drawing properties before copy";
        case Settings::kMass: return "Copy Mass";
        case Settings::kMassZero: return "Mass: Delete Leading Zero";
        case Settings::kMassPrec: return "Mass: Precision";
        case Settings::kArea: return "Copy Area";
        case Settings::kAreaZero: return "Area: Delete Leading Zero";
        case Settings::kAreaPrec: return "Area: Precision";
        case Settings::kVolume: return "Copy Volume";
        case Settings::kVolumeZero: return "Volume: Delete Leading Zero";
        case Settings::kVolumePrec: return "Volume: Precision";
        case Settings::kFieldCount: break;
    }
    return {};
}

void PrintSettings(std::ostream& out, const Settings& settings) {
    std::vector<std::vector<std::string>> rows{{"Setting", "Value", "Meaning"}};
    for (int i = 0; i < Settings::kFieldCount; ++i) {
        const auto f = static_cast<Settings::Field>(i);
        rows.push_back({SettingNames(f), std::to_string(settings.get(f)), SettingLabel(f)});
    }
    out << "The add-in's settings:\n";
    PrintTable(out, rows, "  ");
}

void PrintCalls(std::ostream& out, const HostProbe& probe, std::optional<std::int64_t> nameLookups) {
    std::vector<std::vector<std::string>> rows{{"Operation", "Calls"}};
    for (const auto& [operation, calls] : probe.CallCounts()) rows.push_back({operation, std::to_string(calls)});
    out << "Host calls: " << probe.TotalCalls() << "\n";
    PrintTable(out, rows, "  ");
    if (nameLookups) out << "Lookups by name: " << *nameLookups << "\n";
}

void PrintRegistry(std::ostream& out, const std::string& where,
                   const std::optional<std::vector<portable::regfile::Value>>& values) {
    out << kSettingsKey << " in " << where << ":\n";
    if (!values) {
        out << "  (no such key yet: the add-in saves its settings there when it is unloaded)\n";
        return;
    }
    if (values->empty()) out << "  (no values)\n";
    for (const auto& value : *values) {
        out << "  " << portable::regfile::FormatValue(value);
        // The settings step and the options dialog name some settings otherwise.
        for (int i = 0; i < Settings::kFieldCount; ++i) {
            const auto f = static_cast<Settings::Field>(i);
            if (value.name == RegistryValueName(f) && value.name != Settings::property_name(f))
                out << "  (the setting " << Settings::property_name(f) << ")";
        }
        out << "\n";
    }
}

void PrintCommands(std::ostream& out, const MemoryHost& host, bool addInLoaded) {
    // A command made again by a later activation replaces the earlier one.
    std::vector<std::shared_ptr<MemoryCommand>> latest;
    for (const auto& command : host.Commands()) {
        auto same = std::find_if(latest.begin(), latest.end(),
                                 [&](const auto& c) { return c->id() == command->id(); });
        if (same == latest.end())
            latest.push_back(command);
        else
            *same = command;
    }
    if (latest.empty()) {
        out << "The host has no commands from the add-in.\n";
        return;
    }
    out << "The add-in's commands" << (addInLoaded ? "" : " (the add-in is not loaded: picking one does nothing)")
        << ":\n";
    std::vector<std::vector<std::string>> rows{{"Id", "Command", "State"}};
    for (const auto& c : latest)
        rows.push_back({std::to_string(c->id()), c->caption(), c->enabled() ? "enabled" : "greyed out"});
    PrintTable(out, rows, "  ");
}

}  // namespace bm::workbench
