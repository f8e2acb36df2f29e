#pragma once

// What the session prints for a person to read: a document's custom
// properties, the add-in's settings, the stored registry values and the
// host's commands, as aligned tables.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/variant.h"
#include "platform/portable/registry_store_format.h"
#include "settings/settings.h"
#include "workbench/model/memory_host.h"

namespace bm::workbench {

// The settings key, as the registry store lists it.
inline constexpr const char* kSettingsKey =
    "HKEY_CURRENT_USER\\Software\\Quillfern\\Copy Custom Prop\\Defaults";

// A value's type in the workspace file's words ("text", "integer", ...).
std::string TypeWord(const Variant& value);
// A value as a person reads it: dates in ISO 8601, numbers exactly,
// text with its line breaks and tabs shown as \n and \t and any other
// control character as \xNN.
std::string ValueText(const Variant& value);

// Rows of cells, left-aligned columns two blanks apart, each line
// starting with `indent`. The first row is the heading, underlined.
void PrintTable(std::ostream& out, const std::vector<std::vector<std::string>>& rows,
                const std::string& indent);

void PrintProperties(std::ostream& out, const MemoryDocument& document);
void PrintSettings(std::ostream& out, const Settings& settings);
// The values of the settings key in the registry called `where`, or
// nullopt when the key is not there.
void PrintRegistry(std::ostream& out, const std::string& where,
                   const std::optional<std::vector<portable::regfile::Value>>& values);
void PrintCommands(std::ostream& out, const MemoryHost& host, bool addInLoaded);
// The host calls counted so far, by operation, and the lookups by name
// when the add-in reaches the host through dispatch.
void PrintCalls(std::ostream& out, const HostProbe& probe, std::optional<std::int64_t> nameLookups);

// Every document's custom properties at one moment, in the host's order of
// documents, to tell afterwards what a step changed.
using PropertySnapshot = std::vector<std::vector<std::pair<std::string, Variant>>>;
PropertySnapshot TakeSnapshot(const MemoryHost& host);
// What differs between two lists of one document's properties, by name:
// one row per property added (+), changed (~, old -> new; both types where
// the type changed) and erased (-).
struct PropertyChanges {
    std::size_t added = 0, changed = 0, erased = 0;
    std::vector<std::vector<std::string>> rows;
    // "3 added, 1 changed, 0 erased"
    std::string Counts() const;
};
PropertyChanges CompareProperties(const std::vector<std::pair<std::string, Variant>>& before,
                                  const std::vector<std::pair<std::string, Variant>>& after);
// Prints the changes of each document whose properties differ from
// `before`, under a line that counts them. False when none differs.
bool PrintChanges(std::ostream& out, const MemoryHost& host, const PropertySnapshot& before);

// What a setting means, as the options dialog puts it.
std::string SettingLabel(Settings::Field field);
// Document kind in the workspace file's words ("part", "drawing", ...).
std::string KindWord(std::int32_t kind);

}  // namespace bm::workbench
