#include "workbench/model/memory_application.h"

#include <algorithm>
#include <utility>

#include "core/error.h"

namespace bm::workbench {

MemoryCommand::MemoryCommand(ProbeRef probe, std::string caption, std::int32_t id, bool third)
    : probe_(std::move(probe)), caption_(std::move(caption)), id_(id), third_(third) {}

void MemoryCommand::CommandEnabled(bool enabled) {
    probe_->EnterPut("CommandEnabled");
    enabled_ = enabled;
    ++writes_;
}

MemoryAddInEntry::MemoryAddInEntry(ProbeRef probe) : probe_(std::move(probe)) {}

void MemoryAddInEntry::AddInActive(bool active) {
    probe_->EnterPut("AddInActive");
    active_ = active;
}

MemoryAddInList::MemoryAddInList(ProbeRef probe) : probe_(std::move(probe)) {}

host::Ref<host::AddInEntry> MemoryAddInList::Item(const std::string& classId) {
    probe_->Enter("Item");
    auto& entry = entries_[classId];
    if (!entry) entry = std::make_shared<MemoryAddInEntry>(probe_);
    return entry;
}

std::shared_ptr<MemoryAddInEntry> MemoryAddInList::find(const std::string& classId) const {
    auto it = entries_.find(classId);
    return it == entries_.end() ? nullptr : it->second;
}

MemoryVersion::MemoryVersion(ProbeRef probe) : probe_(std::move(probe)) {}

std::int32_t MemoryVersion::VersionMajor() {
    probe_->Enter("VersionMajor");
    return major_;
}

// ---- events -----------------------------------------------------------------

// Shared between the source and its connections, so that a connection
// released after the source is gone still finds something to unbind from.
struct MemoryEvents::Table {
    struct Binding {
        std::uint64_t id;
        host::ApplicationEventSink* sink;
    };
    std::vector<Binding> bindings;
    std::uint64_t next = 1;

    bool bound(std::uint64_t id) const {
        return std::any_of(bindings.begin(), bindings.end(),
                           [&](const Binding& b) { return b.id == id; });
    }
};

namespace {
// Unbinds when the last copy of the handle is released.
class Connection {
public:
    explicit Connection(std::function<void()> unbind) : unbind_(std::move(unbind)) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    ~Connection() { unbind_(); }

private:
    std::function<void()> unbind_;
};
}  // namespace

MemoryEvents::MemoryEvents(ProbeRef probe)
    : probe_(std::move(probe)), table_(std::make_shared<Table>()) {}

std::shared_ptr<void> MemoryEvents::Bind(host::ApplicationEventSink& sink) {
    probe_->Enter("Bind");
    const std::uint64_t id = table_->next++;
    table_->bindings.push_back({id, &sink});
    std::weak_ptr<Table> weak = table_;
    return std::make_shared<Connection>([weak, id] {
        if (auto table = weak.lock())
            std::erase_if(table->bindings, [&](const Table::Binding& b) { return b.id == id; });
    });
}

std::int32_t MemoryEvents::fire_activate(const host::Ref<host::Document>& document,
                                         std::int32_t beforeOrAfter) {
    std::int32_t handling = kNotHandled;
    // A sink may unbind itself or another while handling; walk a copy and
    // skip the ones gone by then.
    const auto bindings = table_->bindings;
    for (const auto& b : bindings) {
        if (!table_->bound(b.id)) continue;
        b.sink->OnActivateDocument(document, beforeOrAfter, Variant{}, handling);
    }
    return handling;
}

std::size_t MemoryEvents::bound_count() const { return table_->bindings.size(); }

// ---- application and site -----------------------------------------------------

MemoryApplication::MemoryApplication(ProbeRef probe)
    : probe_(std::move(probe)),
      events_(std::make_shared<MemoryEvents>(probe_)),
      version_(std::make_shared<MemoryVersion>(probe_)),
      addins_(std::make_shared<MemoryAddInList>(probe_)) {}

host::Ref<host::ApplicationEvents> MemoryApplication::AppEventSource() {
    probe_->Enter("AppEventSource");
    return events_;
}

host::Ref<host::SoftwareVersion> MemoryApplication::HostVersion() {
    probe_->Enter("HostVersion");
    return version_;
}

host::Ref<host::AddInList> MemoryApplication::AddInList() {
    probe_->Enter("AddInList");
    return addins_;
}

host::Ref<host::Document> MemoryApplication::CurrentDocument() {
    probe_->Enter("CurrentDocument");
    if (!current_) probe_->Refuse("no document is active (CurrentDocument)");
    return current_;
}

MemoryAddInSite::MemoryAddInSite(ProbeRef probe, std::shared_ptr<MemoryApplication> application)
    : probe_(std::move(probe)), application_(std::move(application)) {}

host::Ref<host::Application> MemoryAddInSite::SiteApplication() {
    probe_->Enter("SiteApplication");
    return application_;
}

host::Ref<host::CommandDefinition> MemoryAddInSite::AddCommand(const std::string& caption,
                                                               std::int32_t commandId,
                                                               bool third) {
    probe_->Enter("AddCommand");
    commands_.push_back(std::make_shared<MemoryCommand>(probe_, caption, commandId, third));
    return commands_.back();
}

void MemoryAddInSite::DropCommandsAfter(std::size_t count) {
    if (commands_.size() > count) commands_.resize(count);
}

}  // namespace bm::workbench
