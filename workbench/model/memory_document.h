#pragma once

// In-memory documents and what hangs off them: the user-defined property
// set, the list of referenced files, the units service and the mass
// properties. Every override of a host/host.h operation is a host call: it
// enters the HostProbe and may fail there. The non-virtual members below
// the "Building and inspecting" lines are the simulating host's own and
// are neither counted nor failed.
//
// The mass properties are in the units service's internal units
// (workbench/model/memory_units.h): MassValue in grams (the add-in divides
// by 1000.0, giving kg), AreaValue in cm^2, VolumeValue in cm^3.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <unordered_map>
#include <vector>

#include "core/variant.h"
#include "host/host.h"
#include "workbench/model/host_probe.h"
#include "workbench/model/memory_units.h"

namespace bm::workbench {

class MemoryPropertySet;

class MemoryProperty final : public host::Property {
public:
    MemoryProperty(ProbeRef probe, std::weak_ptr<MemoryPropertySet> owner, std::string name,
                   Variant value);

    std::string PropName() override;
    Variant PropValue() override;
    void PropValue(const Variant& value) override;
    void PropDelete() override;

    // Building and inspecting.
    const std::string& name() const { return name_; }
    const Variant& value() const { return value_; }
    void set_value(Variant value) { value_ = std::move(value); }
    bool deleted() const { return deleted_; }

private:
    friend class MemoryPropertySet;
    void live() const;  // a deleted property refuses every call

    ProbeRef probe_;
    std::weak_ptr<MemoryPropertySet> owner_;
    std::string name_;
    Variant value_;
    bool deleted_ = false;
};

// Fails the Item call for a position outside 1 to `size`.
void CheckPosition(HostProbe& probe, std::int32_t position, std::size_t size);

// A host list held in memory, in order; Count, Item and Enumerate are
// counted host calls.
template <class Interface, class Element>
class MemoryList : public Interface {
public:
    using Exposed = typename Interface::ItemType;

    std::int32_t Count() override {
        probe_->Enter("Count");
        return static_cast<std::int32_t>(items_.size());
    }
    host::Ref<Exposed> Item(std::int32_t position) override {
        probe_->Enter("Item");
        CheckPosition(*probe_, position, items_.size());
        return items_[static_cast<std::size_t>(position) - 1];
    }
    std::vector<host::Ref<Exposed>> Enumerate() override {
        probe_->Enter("Enumerate");
        return {items_.begin(), items_.end()};
    }

protected:
    explicit MemoryList(ProbeRef probe) : probe_(std::move(probe)) {}

    ProbeRef probe_;
    std::vector<std::shared_ptr<Element>> items_;
};

// A property set in insertion order. PropAdd appends and refuses a name that
// is already there (exactly, letter case included); values keep their type.
// A value holding bytes or an object is refused.
class MemoryPropertySet final : public MemoryList<host::PropertySet, MemoryProperty>,
                                public std::enable_shared_from_this<MemoryPropertySet> {
public:
    explicit MemoryPropertySet(ProbeRef probe) : MemoryList(std::move(probe)) {}

    host::Ref<host::Property> PropAdd(const Variant& value, const std::string& name) override;

    // Building and inspecting.
    // Appends without the host's checks (duplicates and any value allowed).
    void add(std::string name, Variant value);
    const std::vector<std::shared_ptr<MemoryProperty>>& properties() const { return items_; }
    std::shared_ptr<MemoryProperty> find(std::string_view name) const;  // exact name
    std::vector<std::pair<std::string, Variant>> snapshot() const;
    // Puts back what a snapshot held; the properties handed out before
    // refuse every call from then on.
    void restore(const std::vector<std::pair<std::string, Variant>>& snapshot);

private:
    friend class MemoryProperty;
    void remove(const MemoryProperty* property);

    // How many properties carry each name, so that PropAdd's duplicate check
    // does not scan: large sets are what the copy benchmark measures.
    std::unordered_map<std::string, int> names_;
};

class MemoryPropertySets final : public host::PropertySets {
public:
    MemoryPropertySets(ProbeRef probe, std::shared_ptr<MemoryPropertySet> userDefined);
    // Only host::UserDefinedFmtid exists (hex digits in either case).
    host::Ref<host::PropertySet> Item(const std::string& formatId) override;

private:
    ProbeRef probe_;
    std::shared_ptr<MemoryPropertySet> userDefined_;
};


class MemoryMassProperties final : public host::MassProperties {
public:
    explicit MemoryMassProperties(ProbeRef probe);

    void MassAccuracy(std::int32_t accuracy) override;
    double MassValue() override;
    double AreaValue() override;
    double VolumeValue() override;

    // Building and inspecting (internal units, see the top of this file).
    void set_figures(double grams, double squareCm, double cubicCm);
    double grams() const { return grams_; }
    double square_cm() const { return squareCm_; }
    double cubic_cm() const { return cubicCm_; }
    std::optional<std::int32_t> last_accuracy() const { return accuracy_; }

private:
    ProbeRef probe_;
    double grams_ = 0.0;
    double squareCm_ = 0.0;
    double cubicCm_ = 0.0;
    std::optional<std::int32_t> accuracy_;
};

class MemoryComponentDefinition final : public host::ComponentDefinition {
public:
    MemoryComponentDefinition(ProbeRef probe, std::shared_ptr<MemoryMassProperties> mass);
    host::Ref<host::MassProperties> DefinitionMassProps() override;

private:
    ProbeRef probe_;
    std::shared_ptr<MemoryMassProperties> mass_;
};

class MemoryDocument;

// A reference to a held document, or an unresolved one to a path whose
// document the host does not hold. Unresolved: FileRefName is the file name
// without folder and extension, FileRefKind follows the extension (.ipt
// part, .iam assembly, .idw drawing, .ipn presentation, letter case
// ignored; anything else 0), FileRefDocument fails.
class MemoryFileRef final : public host::FileRef {
public:
    MemoryFileRef(ProbeRef probe, std::weak_ptr<MemoryDocument> document);
    MemoryFileRef(ProbeRef probe, std::string unresolvedPath);

    std::int32_t FileRefKind() override;
    std::string FileRefName() override;
    std::string FileRefFullName() override;
    host::Ref<host::Document> FileRefDocument() override;

    // Building and inspecting: the held document, or null when unresolved.
    std::shared_ptr<MemoryDocument> document() const { return document_.lock(); }
    // The path of an unresolved reference (empty when resolved).
    const std::string& unresolved_path() const { return path_; }

private:
    ProbeRef probe_;
    std::weak_ptr<MemoryDocument> document_;
    std::string path_;  // unresolved only
};

class MemoryFileRefList final : public MemoryList<host::FileRefList, MemoryFileRef> {
public:
    explicit MemoryFileRefList(ProbeRef probe) : MemoryList(std::move(probe)) {}

    // Building and inspecting.
    void add(std::shared_ptr<MemoryFileRef> ref) { items_.push_back(std::move(ref)); }
    const std::vector<std::shared_ptr<MemoryFileRef>>& refs() const { return items_; }
};

// Document kind implied by a file name's extension (0 when none fits).
std::int32_t KindFromExtension(std::string_view path);
// The file name of a path without folder ('/' or '\\') and extension.
std::string DisplayNameOf(std::string_view path);

// A document of one of the four kinds. A referenced document is held
// weakly by its references; the MemoryHost keeps every document alive.
class MemoryDocument final : public host::Document,
                             public std::enable_shared_from_this<MemoryDocument> {
public:
    // Display name defaults to DisplayNameOf(fullName).
    MemoryDocument(ProbeRef probe, std::int32_t kind, std::string fullName);

    std::int32_t DocKind() override;
    host::Ref<host::FileRefList> FileRefs() override;
    host::Ref<host::PropertySets> DocPropertySets() override;
    void DocUpdate() override;
    host::Ref<host::UnitsService> DocUnits() override;
    host::Ref<host::ComponentDefinition> PartDefinition() override;
    host::Ref<host::ComponentDefinition> AssemblyDefinition() override;

    // Building and inspecting; the builders return *this for chaining.
    std::int32_t kind() const { return kind_; }
    const std::string& full_name() const { return fullName_; }
    const std::string& display_name() const { return displayName_; }
    MemoryDocument& SetDisplayName(std::string name);
    // Appends a user-defined property, value kept as given.
    MemoryDocument& AddProp(std::string name, Variant value);
    MemoryDocument& AddRef(const std::shared_ptr<MemoryDocument>& document);
    MemoryDocument& AddUnresolvedRef(std::string fullPath);
    MemoryDocument& SetUnits(std::string massUnit, std::string lengthUnit);
    // Mass in grams, area in cm^2, volume in cm^3.
    MemoryDocument& SetMassFigures(double grams, double squareCm, double cubicCm);

    // The user-defined properties, in order.
    std::vector<std::pair<std::string, Variant>> Props() const { return userProps_->snapshot(); }
    // Value of the user-defined property of exactly this name, if any.
    std::optional<Variant> Prop(std::string_view name) const;
    // The user-defined set itself, reached without a host call.
    const std::shared_ptr<MemoryPropertySet>& UserProps() const { return userProps_; }
    const std::shared_ptr<MemoryFileRefList>& Refs() const { return refs_; }
    const std::shared_ptr<MemoryUnits>& Units() const { return units_; }
    // Answers whatever the kind; PartDefinition and AssemblyDefinition
    // are the host calls that check it.
    const std::shared_ptr<MemoryComponentDefinition>& Definition() const { return definition_; }
    const std::shared_ptr<MemoryMassProperties>& MassProps() const { return mass_; }
    int UpdateCount() const { return updates_; }
    std::optional<std::int32_t> LastMassAccuracy() const { return mass_->last_accuracy(); }

private:
    ProbeRef probe_;
    std::int32_t kind_;
    std::string fullName_;
    std::string displayName_;
    std::shared_ptr<MemoryPropertySet> userProps_;
    std::shared_ptr<MemoryPropertySets> propSets_;
    std::shared_ptr<MemoryFileRefList> refs_;
    std::shared_ptr<MemoryUnits> units_;
    std::shared_ptr<MemoryMassProperties> mass_;
    std::shared_ptr<MemoryComponentDefinition> definition_;
    int updates_ = 0;
};

}  // namespace bm::workbench
