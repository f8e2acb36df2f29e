#pragma once

// The host operations the add-in relies on, one method per operation and
// named after it. Every call may fail with an Error of kind HostFailure (or
// whatever the host reports); the caller decides whether it handles that.
// An operation that hands out an object never hands out an empty reference:
// a backend turns a host's null into a HostFailure, so callers need no
// checks of their own.
// Lists count from 1. Values cross as Variants and keep their type.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/variant.h"

namespace bm::host {

template <class T>
using Ref = std::shared_ptr<T>;

// Document kind codes as the host reports them.
enum DocKindCode : std::int32_t {
    kPartDocument = 12290,
    kAssemblyDocument = 12291,
    kDrawingDocument = 12292,
    kPresentationDocument = 12293,
};

// Unit codes the units service answers for: a document's mass unit and its
// length unit.
inline constexpr std::int32_t kMassUnitCode = 11281;
inline constexpr std::int32_t kLengthUnitCode = 11266;

// A host list: Count, Item by 1-based position, and enumeration in the
// host's order. Enumeration is one call that hands out every item, as a
// batched IEnumVARIANT::Next does.
template <class T>
class List : public Object {
public:
    using ItemType = T;
    virtual std::int32_t Count() = 0;
    virtual Ref<T> Item(std::int32_t position) = 0;
    virtual std::vector<Ref<T>> Enumerate() = 0;
};

class Property : public Object {
public:
    virtual std::string PropName() = 0;
    virtual Variant PropValue() = 0;
    virtual void PropValue(const Variant& value) = 0;
    virtual void PropDelete() = 0;
};

class PropertySet : public List<Property> {
public:
    // Appends a property and hands it back.
    virtual Ref<Property> PropAdd(const Variant& value, const std::string& name) = 0;
};

class PropertySets : public Object {
public:
    virtual Ref<PropertySet> Item(const std::string& formatId) = 0;
};

class MassProperties : public Object {
public:
    virtual void MassAccuracy(std::int32_t accuracy) = 0;
    virtual double MassValue() = 0;
    virtual double AreaValue() = 0;
    virtual double VolumeValue() = 0;
};

class ComponentDefinition : public Object {
public:
    virtual Ref<MassProperties> DefinitionMassProps() = 0;
};

class UnitsService : public Object {
public:
    virtual std::string UnitText(std::int32_t unitCode) = 0;
    // Converts `value` from the host's internal units into `units` (a unit
    // code or a unit expression) and returns the text, number first.
    virtual std::string UnitConvert(double& value, const Variant& units) = 0;
};

class Document;

class FileRef : public Object {
public:
    virtual std::int32_t FileRefKind() = 0;
    virtual std::string FileRefName() = 0;
    virtual std::string FileRefFullName() = 0;
    virtual Ref<Document> FileRefDocument() = 0;
};

using FileRefList = List<FileRef>;

class Document : public Object {
public:
    virtual std::int32_t DocKind() = 0;
    virtual Ref<FileRefList> FileRefs() = 0;
    virtual Ref<PropertySets> DocPropertySets() = 0;
    virtual void DocUpdate() = 0;
    virtual Ref<UnitsService> DocUnits() = 0;
    // Only parts answer PartDefinition and only assemblies AssemblyDefinition.
    virtual Ref<ComponentDefinition> PartDefinition() = 0;
    virtual Ref<ComponentDefinition> AssemblyDefinition() = 0;
};

class CommandDefinition : public Object {
public:
    virtual void CommandEnabled(bool enabled) = 0;
};

class AddInEntry : public Object {
public:
    virtual void AddInActive(bool active) = 0;
};

class AddInList : public Object {
public:
    virtual Ref<AddInEntry> Item(const std::string& classId) = 0;
};

class SoftwareVersion : public Object {
public:
    virtual std::int32_t VersionMajor() = 0;
};

// Receiver of the application's events; the add-in implements it.
class ApplicationEventSink {
public:
    virtual ~ApplicationEventSink() = default;
    virtual void OnActivateDocument(const Ref<Document>& document, std::int32_t beforeOrAfter,
                                    const Variant& context, std::int32_t& handlingCode) = 0;
};

// The application's event source. Binding returns a connection that
// delivers events to the sink until it is released.
class ApplicationEvents : public Object {
public:
    virtual std::shared_ptr<void> Bind(ApplicationEventSink& sink) = 0;
};

class Application : public Object {
public:
    virtual Ref<ApplicationEvents> AppEventSource() = 0;
    virtual Ref<SoftwareVersion> HostVersion() = 0;
    virtual Ref<host::AddInList> AddInList() = 0;  // qualified: the member hides the class
    virtual Ref<Document> CurrentDocument() = 0;
};

class AddInSite : public Object {
public:
    virtual Ref<Application> SiteApplication() = 0;
    // `flag` is a Boolean whose meaning is the host's own; the add-in always
    // passes True.
    virtual Ref<CommandDefinition> AddCommand(const std::string& caption, std::int32_t commandId,
                                              bool flag) = 0;
};

// Format identifier of the user-defined property set of every document.
inline constexpr const char* UserDefinedFmtid = "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}";

}  // namespace bm::host
