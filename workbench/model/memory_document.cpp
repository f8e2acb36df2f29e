#include "workbench/model/memory_document.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cctype>

#include "core/error.h"

namespace bm::workbench {

namespace {

// A property value the host can store: custom properties hold text,
// numbers, dates and Booleans, never raw bytes or objects.
void check_storable(HostProbe& probe, const Variant& value) {
    if (value.type() == VarType::kBytes || value.type() == VarType::kObject)
        probe.Refuse(std::string("a property cannot hold a value of type ") +
                     type_name(value.type()));
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A unit as an exact ratio: one internal unit is num/den of it. Both parts
// are integers well below 2^53, so products of up to three stay exact and a
// conversion rounds only twice.
struct Unit {
    std::string_view name;
    double num;
    double den;
};

// From kilograms. One slug is 0.45359237 kg * 9.80665 / 0.3048.
constexpr std::array kMassUnits{
    Unit{"mg", 1e6, 1.0},
    Unit{"g", 1000.0, 1.0},
    Unit{"kg", 1.0, 1.0},
    Unit{"lbmass", 1e8, 45359237.0},
    Unit{"ozmass", 16e8, 45359237.0},
    Unit{"slug", 3048e9, 45359237.0 * 980665.0},
};

// From centimetres; an inch is 127/50 cm exactly.
constexpr std::array kLengthUnits{
    Unit{"um", 1e4, 1.0},   Unit{"mm", 10.0, 1.0},   Unit{"cm", 1.0, 1.0},
    Unit{"m", 1.0, 100.0},  Unit{"km", 1.0, 1e5},    Unit{"mil", 50000.0, 127.0},
    Unit{"in", 50.0, 127.0}, Unit{"ft", 25.0, 762.0}, Unit{"yd", 25.0, 2286.0},
};

template <std::size_t N>
const Unit* find_unit(const std::array<Unit, N>& table, std::string_view name) {
    for (const Unit& u : table)
        if (u.name == name) return &u;
    return nullptr;
}

std::vector<std::string_view> split_blanks(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t j = text.find(' ', i);
        if (j == std::string_view::npos) j = text.size();
        words.push_back(text.substr(i, j - i));
        i = j;
    }
    return words;
}

// "in" for one name, "in^2" for a repeated one, "cm*mm" for a mix.
std::string expression_text(const std::vector<std::string_view>& words) {
    const bool same = std::all_of(words.begin(), words.end(),
                                  [&](std::string_view w) { return w == words.front(); });
    std::string text(words.front());
    if (same) {
        if (words.size() > 1) text += "^" + std::to_string(words.size());
        return text;
    }
    for (std::size_t i = 1; i < words.size(); ++i) text += "*" + std::string(words[i]);
    return text;
}

// Shortest text that reads back as the same double.
std::string round_trip_text(double value) {
    std::array<char, 64> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value);
    if (ec != std::errc()) raise(ErrorKind::HostFailure, "UnitConvert: value cannot be written");
    return std::string(buf.data(), end);
}

std::string_view file_part(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// Extension of the file part, without the dot; a leading dot is no
// extension (".ipt" is a name).
std::string_view extension_of(std::string_view path) {
    const std::string_view file = file_part(path);
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
    check_storable(*probe_, value);
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
    check_storable(*probe_, value);
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
    if (lower(formatId) != lower(host::UserDefinedFmtid))
        probe_->Refuse("the document has no property set '" + formatId + "' (Item)");
    return userDefined_;
}

// ---- units ------------------------------------------------------------------

std::optional<double> mass_from_kilograms(double kilograms, std::string_view unit) {
    const Unit* u = find_unit(kMassUnits, unit);
    if (!u) return std::nullopt;
    return kilograms * u->num / u->den;
}

std::optional<double> length_power_from_centimetres(double value, std::string_view expression) {
    const auto words = split_blanks(expression);
    if (words.empty() || words.size() > 3) return std::nullopt;
    double num = 1.0;
    double den = 1.0;
    for (std::string_view w : words) {
        const Unit* u = find_unit(kLengthUnits, w);
        if (!u) return std::nullopt;
        num *= u->num;
        den *= u->den;
    }
    return value * num / den;
}

MemoryUnits::MemoryUnits(ProbeRef probe) : probe_(std::move(probe)) {}

std::string MemoryUnits::UnitText(std::int32_t unitCode) {
    probe_->Enter("UnitText");
    if (unitCode == kMassUnitCode) return mass_;
    if (unitCode == kLengthUnitCode) return length_;
    probe_->Refuse("the host knows no unit of code " + std::to_string(unitCode) + " (UnitText)");
}

std::string MemoryUnits::UnitConvert(double& value, const Variant& units) {
    probe_->Enter("UnitConvert");
    std::optional<double> converted;
    std::string unitText;
    if (units.type() == VarType::kString) {
        const auto words = split_blanks(units.as_string());
        converted = length_power_from_centimetres(value, units.as_string());
        if (converted) unitText = expression_text(words);
    } else if (units.type() == VarType::kLong || units.type() == VarType::kInteger) {
        const std::int32_t code =
            units.type() == VarType::kLong ? units.as_long() : units.as_integer();
        if (code == kMassUnitCode) {
            converted = mass_from_kilograms(value, mass_);
            unitText = mass_;
        } else if (code == kLengthUnitCode) {
            converted = length_power_from_centimetres(value, length_);
            unitText = length_;
        }
    }
    if (!converted) probe_->Refuse("the host cannot convert into these units (UnitConvert)");
    value = *converted;
    return round_trip_text(value) + " " + unitText;
}

void MemoryUnits::set_units(std::string massUnit, std::string lengthUnit) {
    mass_ = std::move(massUnit);
    length_ = std::move(lengthUnit);
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

std::int32_t kind_from_extension(std::string_view path) {
    const std::string ext = lower(extension_of(path));
    if (ext == "ipt") return host::kPartDocument;
    if (ext == "iam") return host::kAssemblyDocument;
    if (ext == "idw") return host::kDrawingDocument;
    if (ext == "ipn") return host::kPresentationDocument;
    return 0;
}

std::string display_name_of(std::string_view path) {
    std::string_view file = file_part(path);
    const std::string_view ext = extension_of(path);
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
    return kind_from_extension(path_);
}

std::string MemoryFileRef::FileRefName() {
    probe_->Enter("FileRefName");
    if (auto doc = document_.lock()) return doc->display_name();
    return display_name_of(path_);
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
      displayName_(display_name_of(fullName_)),
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
