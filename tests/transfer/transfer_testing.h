#pragma once

// What the transfer tests and the benchmark share: the plain merge kept as
// the reference, and the scenes it runs on.

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/convert.h"
#include "host/host.h"
#include "platform/portable/headless_runtime.h"
#include "select/frm_files.h"
#include "settings/settings.h"
#include "transfer/copy.h"
#include "transfer/merge.h"
#include "transfer/physical.h"
#include "transfer/selective.h"
#include "workbench/model/memory_host.h"

namespace bm::transfer::testing {

// A property set's contents, in order.
using Props = std::vector<std::pair<std::string, Variant>>;

// The plain merge, the reference that the indexed merge is checked and
// measured against: before every write it reads the set's count and scans
// the names from the first property on.
class ScanMerge final : public PropertyMerge {
public:
    explicit ScanMerge(host::PropertySet& target) : target_(target) {}

    void Merge(const std::string& name, const Variant& value, bool updateExistOnly) override {
        const std::int16_t n = count16(target_.Count(), "properties in the drawing's set");
        const std::string key = upper_case(name);
        for (std::int32_t i = 1; i <= n; ++i) {
            auto prop = target_.Item(i);
            if (upper_case(prop->PropName()) == key) {
                prop->PropValue(value);
                return;
            }
        }
        if (!updateExistOnly) target_.PropAdd(value, name);
    }

private:
    host::PropertySet& target_;
};

// The physical writes one UpdatePhysicalProps call each.
class PhysicalScanMerge final : public PropertyMerge {
public:
    explicit PhysicalScanMerge(host::PropertySet& target) : target_(target) {}

    void Merge(const std::string& name, const Variant& value, bool /*updateExistOnly*/) override {
        UpdatePhysicalProps(target_, name, value.as_string());
    }

private:
    host::PropertySet& target_;
};

// A drawing and the models it references, as data.
struct Model {
    std::string file;  // full name; the display name is its file name
    Props props{};
    std::int32_t kind = host::kPartDocument;
    std::string displayName{};  // replaces the file name's when not empty
    bool unresolved = false;  // the host cannot open it
};

struct Scene {
    Props drawing;
    std::vector<Model> models;
};

// An in-memory host holding the scene's drawing and models. Building uses
// the host's own unchecked adders, so a drawing may start with duplicates.
class World {
public:
    explicit World(const Scene& scene) : drawing(host.AddDrawing("C:/Work/Sheet.idw")) {
        for (const auto& [name, value] : scene.drawing) drawing->UserProps()->add(name, value);
        for (const Model& m : scene.models) {
            if (m.unresolved) {
                drawing->AddUnresolvedRef(m.file);
                continue;
            }
            auto doc = host.AddDocument(m.kind, m.file);
            if (!m.displayName.empty()) doc->SetDisplayName(m.displayName);
            for (const auto& [name, value] : m.props) doc->UserProps()->add(name, value);
            drawing->AddRef(doc);
        }
    }

    host::FileRefList& refs() { return *drawing->Refs(); }
    host::PropertySet& target() { return *drawing->UserProps(); }
    Props Result() const { return drawing->Props(); }
    workbench::HostProbe& probe() { return host.Probe(); }

    workbench::MemoryHost host;
    std::shared_ptr<workbench::MemoryDocument> drawing;
};

inline Settings CopySettings(bool prefaceModel, bool updateExistOnly) {
    Settings s;
    s.PrefaceModel(prefaceModel ? 1 : 0);
    s.UpdateExistOnly(updateExistOnly ? 1 : 0);
    return s;
}

// The two ways the copy reaches the drawing: every property directly, or
// through the selection dialog, answered with OK and every row as it was.
enum class CopyPath { kDirect, kSelectAll };

inline const char* PathName(CopyPath p) { return p == CopyPath::kDirect ? "Direct" : "SelectAll"; }

// Failure messages show scenes, settings and paths as data, not as bytes.
inline void PrintTo(CopyPath p, std::ostream* os) { *os << PathName(p); }

inline void PrintProps(const Props& props, std::ostream* os) {
    const char* separator = "{";
    for (const auto& [name, value] : props) {
        *os << separator << '"' << name << "\": " << value;
        separator = ", ";
    }
    *os << (props.empty() ? "{}" : "}");
}

inline void PrintTo(const Model& m, std::ostream* os) {
    *os << m.file << " kind " << m.kind;
    if (!m.displayName.empty()) *os << " shown as \"" << m.displayName << '"';
    if (m.unresolved) *os << " unresolved";
    *os << ' ';
    PrintProps(m.props, os);
}

inline void PrintTo(const Scene& s, std::ostream* os) {
    *os << "drawing ";
    PrintProps(s.drawing, os);
    for (const Model& m : s.models) {
        *os << "\n  model ";
        PrintTo(m, os);
    }
}

// The settings that differ from a fresh record, as "Name=value".
inline std::string SettingsText(const Settings& s) {
    std::string text;
    for (int f = 0; f < Settings::kFieldCount; ++f) {
        const auto field = static_cast<Settings::Field>(f);
        if (s.get(field) == 0) continue;
        text += (text.empty() ? "" : " ") + std::string(Settings::property_name(field)) + "=" +
                std::to_string(s.get(field));
    }
    return text.empty() ? "all 0" : text;
}

inline void ConfirmSelection(portable::HeadlessRuntime& runtime) {
    runtime.Expect<select::frmFiles>("files", [](select::frmFiles& f) { f.cmdOK_Click(); });
}

inline void RunCopy(World& world, CopyPath path, const Settings& s,
                    portable::HeadlessRuntime& runtime) {
    if (path == CopyPath::kDirect) {
        CopyAllProps(s, world.refs(), world.target());
    } else {
        ConfirmSelection(runtime);
        SelectAndCopyProps(s, runtime, world.refs(), world.target());
    }
}

}  // namespace bm::transfer::testing
