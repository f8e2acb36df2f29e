#include "workbench/model/memory_document.h"

#include <algorithm>

#include "core/error.h"
#include "workbench/text.h"

namespace bm::workbench {

namespace {

// A property value the host can store: custom properties hold text,
// numbers, dates and Booleans, never raw bytes or objects.
void CheckStorable(HostProbe& probe, const Variant& value) {
    if (value.type() == VarType::kBytes || value.type() == VarType::kObject)
        probe.Refuse(std::string("a property cannot hold a value of type ") +
                     type_name(value.type()));
}

std::string_view FilePart(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Extension of the file part, without the dot; a leading dot is no
// extension (".ipt" is a name).
std::string_view ExtensionOf(std::string_view path) {
    const std::string_view file = FilePart(path);
    const std::size_t dot = file.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? std::string_view{} : file.substr(dot + 1);
}

}  // namespace

void CheckPosition(HostProbe& probe, std::int32_t position, std::size_t size) {
    if (position < 1 || static_cast<std::size_t>(position) > size)
        probe.Refuse("the list has no entry at position " + std::to_string(position) + " of " +
                     std::to_string(size) + " (Item)");
}

// ---- property ---------------------------------------------------------------

MemoryProperty::MemoryProperty(ProbeRef probe, std::weak_ptr<MemoryPropertySet> owner,
                               std::string name, Variant value)
    : probe_(std::move(probe)),
      owner_(std::move(owner)),
      name_(std::move(name)),
      value_(std::move(value)) {}

void MemoryProperty::live() const {
    if (deleted_) probe_->Refuse("property '" + name_ + "' was deleted");
}

std::string MemoryProperty::PropName() {
    probe_->Enter("PropName");
    live();
    return name_;
}

Variant MemoryProperty::PropValue() {
    probe_->Enter("PropValue");
    live();
    return value_;
}

void MemoryProperty::PropValue(const Variant& value) {
    probe_->EnterPut("PropValue");
    live();
    CheckStorable(*probe_, value);
    value_ = value;
}

void MemoryProperty::PropDelete() {
    probe_->Enter("PropDelete");
    live();
    auto owner = owner_.lock();
    if (!owner) probe_->Refuse("property '" + name_ + "' has no property set");
    owner->remove(this);
}

// ---- property set -----------------------------------------------------------

host::Ref<host::Property> MemoryPropertySet::PropAdd(const Variant& value,
                                                     const std::string& name) {
    probe_->Enter("PropAdd");
    CheckStorable(*probe_, value);
    if (names_.contains(name)) probe_->Refuse("the document already has a property named '" + name + "' (PropAdd)");
    add(name, value);
    return items_.back();
}

void MemoryPropertySet::add(std::string name, Variant value) {
    ++names_[name];
    items_.push_back(std::make_shared<MemoryProperty>(probe_, weak_from_this(), std::move(name),
                                                      std::move(value)));
}

std::shared_ptr<MemoryProperty> MemoryPropertySet::find(std::string_view name) const {
    for (const auto& p : items_)
        if (p->name_ == name) return p;
    return nullptr;
}

std::vector<std::pair<std::string, Variant>> MemoryPropertySet::snapshot() const {
    std::vector<std::pair<std::string, Variant>> out;
    out.reserve(items_.size());
    for (const auto& p : items_) out.emplace_back(p->name_, p->value_);
    return out;
}

void MemoryPropertySet::restore(const std::vector<std::pair<std::string, Variant>>& snapshot) {
    for (const auto& p : items_) p->deleted_ = true;
    items_.clear();
    names_.clear();
    for (const auto& [name, value] : snapshot) add(name, value);
}

void MemoryPropertySet::remove(const MemoryProperty* property) {
    auto it = std::find_if(items_.begin(), items_.end(),
                           [&](const auto& p) { return p.get() == property; });
    if (it == items_.end()) return;
    (*it)->deleted_ = true;
    if (auto n = names_.find((*it)->name_); n != names_.end() && --n->second == 0) names_.erase(n);
    items_.erase(it);
}

MemoryPropertySets::MemoryPropertySets(ProbeRef probe,
                                       std::shared_ptr<MemoryPropertySet> userDefined)
    : probe_(std::move(probe)), userDefined_(std::move(userDefined)) {}

host::Ref<host::PropertySet> MemoryPropertySets::Item(const std::string& formatId) {
    probe_->Enter("Item");
    if (Lower(formatId) != Lower(host::UserDefinedFmtid))
        probe_->Refuse("the document has no property set '" + formatId + "' (Item)");
    return userDefined_;
}

// ---- mass properties and definitions ----------------------------------------

MemoryMassProperties::MemoryMassProperties(ProbeRef probe) : probe_(std::move(probe)) {}

void MemoryMassProperties::MassAccuracy(std::int32_t accuracy) {
    probe_->EnterPut("MassAccuracy");
    accuracy_ = accuracy;
}

double MemoryMassProperties::MassValue() {
    probe_->Enter("MassValue");
    return grams_;
}

double MemoryMassProperties::AreaValue() {
    probe_->Enter("AreaValue");
    return squareCm_;
}

double MemoryMassProperties::VolumeValue() {
    probe_->Enter("VolumeValue");
    return cubicCm_;
}

void MemoryMassProperties::set_figures(double grams, double squareCm, double cubicCm) {
    grams_ = grams;
    squareCm_ = squareCm;
    cubicCm_ = cubicCm;
}

MemoryComponentDefinition::MemoryComponentDefinition(ProbeRef probe,
                                                     std::shared_ptr<MemoryMassProperties> mass)
    : probe_(std::move(probe)), mass_(std::move(mass)) {}

host::Ref<host::MassProperties> MemoryComponentDefinition::DefinitionMassProps() {
    probe_->Enter("DefinitionMassProps");
    return mass_;
}

// ---- file references --------------------------------------------------------

std::int32_t KindFromExtension(std::string_view path) {
    const std::string ext = Lower(ExtensionOf(path));
    if (ext == "ipt") return host::kPartDocument;
    if (ext == "iam") return host::kAssemblyDocument;
    if (ext == "idw") return host::kDrawingDocument;
    if (ext == "ipn") return host::kPresentationDocument;
    return 0;
}

std::string DisplayNameOf(std::string_view path) {
    std::string_view file = FilePart(path);
    const std::string_view ext = ExtensionOf(path);
    if (!ext.empty()) file.remove_suffix(ext.size() + 1);
    return std::string(file);
}

MemoryFileRef::MemoryFileRef(ProbeRef probe, std::weak_ptr<MemoryDocument> document)
    : probe_(std::move(probe)), document_(std::move(document)) {}

MemoryFileRef::MemoryFileRef(ProbeRef probe, std::string unresolvedPath)
    : probe_(std::move(probe)), path_(std::move(unresolvedPath)) {}

std::int32_t MemoryFileRef::FileRefKind() {
    probe_->Enter("FileRefKind");
    if (auto doc = document_.lock()) return doc->kind();
    return KindFromExtension(path_);
}

std::string MemoryFileRef::FileRefName() {
    probe_->Enter("FileRefName");
    if (auto doc = document_.lock()) return doc->display_name();
    return DisplayNameOf(path_);
}

std::string MemoryFileRef::FileRefFullName() {
    probe_->Enter("FileRefFullName");
    if (auto doc = document_.lock()) return doc->full_name();
    return path_;
}

host::Ref<host::Document> MemoryFileRef::FileRefDocument() {
    probe_->Enter("FileRefDocument");
    if (auto doc = document_.lock()) return doc;
    probe_->Refuse("the drawing references " + path_ + ", which is not in the workspace (FileRefDocument)");
}

// ---- document -----------------------------------------------------------------

MemoryDocument::MemoryDocument(ProbeRef probe, std::int32_t kind, std::string fullName)
    : probe_(std::move(probe)),
      kind_(kind),
      fullName_(std::move(fullName)),
      displayName_(DisplayNameOf(fullName_)),
      userProps_(std::make_shared<MemoryPropertySet>(probe_)),
      propSets_(std::make_shared<MemoryPropertySets>(probe_, userProps_)),
      refs_(std::make_shared<MemoryFileRefList>(probe_)),
      units_(std::make_shared<MemoryUnits>(probe_)),
      mass_(std::make_shared<MemoryMassProperties>(probe_)),
      definition_(std::make_shared<MemoryComponentDefinition>(probe_, mass_)) {}

std::int32_t MemoryDocument::DocKind() {
    probe_->Enter("DocKind");
    return kind_;
}

host::Ref<host::FileRefList> MemoryDocument::FileRefs() {
    probe_->Enter("FileRefs");
    return refs_;
}

host::Ref<host::PropertySets> MemoryDocument::DocPropertySets() {
    probe_->Enter("DocPropertySets");
    return propSets_;
}

void MemoryDocument::DocUpdate() {
    probe_->Enter("DocUpdate");
    ++updates_;
}

host::Ref<host::UnitsService> MemoryDocument::DocUnits() {
    probe_->Enter("DocUnits");
    return units_;
}

host::Ref<host::ComponentDefinition> MemoryDocument::PartDefinition() {
    probe_->Enter("PartDefinition");
    if (kind_ != host::kPartDocument) probe_->Refuse("'" + fullName_ + "' is not a part (PartDefinition)");
    return definition_;
}

host::Ref<host::ComponentDefinition> MemoryDocument::AssemblyDefinition() {
    probe_->Enter("AssemblyDefinition");
    if (kind_ != host::kAssemblyDocument)
        probe_->Refuse("'" + fullName_ + "' is not an assembly (AssemblyDefinition)");
    return definition_;
}

MemoryDocument& MemoryDocument::SetDisplayName(std::string name) {
    displayName_ = std::move(name);
    return *this;
}

MemoryDocument& MemoryDocument::AddProp(std::string name, Variant value) {
    userProps_->add(std::move(name), std::move(value));
    return *this;
}

MemoryDocument& MemoryDocument::AddRef(const std::shared_ptr<MemoryDocument>& document) {
    if (!document) raise(ErrorKind::InvalidArgument, "AddRef needs a document");
    refs_->add(std::make_shared<MemoryFileRef>(probe_, document));
    return *this;
}

MemoryDocument& MemoryDocument::AddUnresolvedRef(std::string fullPath) {
    refs_->add(std::make_shared<MemoryFileRef>(probe_, std::move(fullPath)));
    return *this;
}

MemoryDocument& MemoryDocument::SetUnits(std::string massUnit, std::string lengthUnit) {
    units_->set_units(std::move(massUnit), std::move(lengthUnit));
    return *this;
}

MemoryDocument& MemoryDocument::SetMassFigures(double grams, double squareCm, double cubicCm) {
    mass_->set_figures(grams, squareCm, cubicCm);
    return *this;
}

std::optional<Variant> MemoryDocument::Prop(std::string_view name) const {
    if (auto p = userProps_->find(name)) return p->value();
    return std::nullopt;
}

}  // namespace bm::workbench
