#pragma once

// The in-memory application side: the add-in site with its commands, the
// application, its version, its add-in list and its event source. As with
// documents, every override of a host/host.h operation enters the
// HostProbe; the lower-case members are the simulating host's own.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/host.h"
#include "workbench/model/host_probe.h"
#include "workbench/model/memory_document.h"

namespace bm::workbench {

// Timing codes this host passes to OnActivateDocument, and the handling
// code it starts each notification with.
inline constexpr std::int32_t kEventBefore = 4098;
inline constexpr std::int32_t kEventAfter = 4099;
inline constexpr std::int32_t kNotHandled = 0;

class MemoryCommand final : public host::CommandDefinition {
public:
    MemoryCommand(ProbeRef probe, std::string caption, std::int32_t id, bool flag);

    void CommandEnabled(bool enabled) override;

    const std::string& caption() const { return caption_; }
    std::int32_t id() const { return id_; }
    bool flag() const { return flag_; }  // as AddCommand was given it
    bool enabled() const { return enabled_; }  // true when created
    int enabled_writes() const { return writes_; }

private:
    ProbeRef probe_;
    std::string caption_;
    std::int32_t id_;
    bool flag_;
    bool enabled_ = true;
    int writes_ = 0;
};

class MemoryAddInEntry final : public host::AddInEntry {
public:
    explicit MemoryAddInEntry(ProbeRef probe);
    void AddInActive(bool active) override;
    bool active() const { return active_; }  // true until switched off

private:
    ProbeRef probe_;
    bool active_ = true;
};

// Any class id answers; its entry is made on first use and kept.
class MemoryAddInList final : public host::AddInList {
public:
    explicit MemoryAddInList(ProbeRef probe);
    host::Ref<host::AddInEntry> Item(const std::string& classId) override;
    std::shared_ptr<MemoryAddInEntry> find(const std::string& classId) const;

private:
    ProbeRef probe_;
    std::map<std::string, std::shared_ptr<MemoryAddInEntry>> entries_;
};

class MemoryVersion final : public host::SoftwareVersion {
public:
    explicit MemoryVersion(ProbeRef probe);
    std::int32_t VersionMajor() override;
    void set_major(std::int32_t major) { major_ = major; }

private:
    ProbeRef probe_;
    std::int32_t major_ = 5;
};

// Binding returns a connection; dropping the last copy of it unbinds. A
// connection may outlive the event source.
class MemoryEvents final : public host::ApplicationEvents {
public:
    explicit MemoryEvents(ProbeRef probe);
    std::shared_ptr<void> Bind(host::ApplicationEventSink& sink) override;

    // Delivers OnActivateDocument to every sink bound now, in binding
    // order, with an Empty context; returns the handling code as the
    // sinks leave it. A sink unbound by an earlier sink is skipped. What a
    // sink throws reaches the caller.
    std::int32_t fire_activate(const host::Ref<host::Document>& document,
                               std::int32_t beforeOrAfter);
    std::size_t bound_count() const;

private:
    struct Table;
    ProbeRef probe_;
    std::shared_ptr<Table> table_;
};

class MemoryApplication final : public host::Application {
public:
    explicit MemoryApplication(ProbeRef probe);

    host::Ref<host::ApplicationEvents> AppEventSource() override;
    host::Ref<host::SoftwareVersion> HostVersion() override;
    host::Ref<host::AddInList> AddInList() override;
    // Fails when no document is active.
    host::Ref<host::Document> CurrentDocument() override;

    const std::shared_ptr<MemoryEvents>& events() const { return events_; }
    const std::shared_ptr<MemoryVersion>& version() const { return version_; }
    const std::shared_ptr<MemoryAddInList>& addins() const { return addins_; }
    void set_current(std::shared_ptr<MemoryDocument> document) { current_ = std::move(document); }
    const std::shared_ptr<MemoryDocument>& current() const { return current_; }

private:
    ProbeRef probe_;
    std::shared_ptr<MemoryEvents> events_;
    std::shared_ptr<MemoryVersion> version_;
    std::shared_ptr<MemoryAddInList> addins_;
    std::shared_ptr<MemoryDocument> current_;
};

class MemoryAddInSite final : public host::AddInSite {
public:
    MemoryAddInSite(ProbeRef probe, std::shared_ptr<MemoryApplication> application);

    host::Ref<host::Application> SiteApplication() override;
    // Appends a new, enabled command; an id may be added more than once.
    host::Ref<host::CommandDefinition> AddCommand(const std::string& caption,
                                                  std::int32_t commandId, bool flag) override;

    const std::vector<std::shared_ptr<MemoryCommand>>& commands() const { return commands_; }
    // Forgets every command after the first `count`, as a host forgets what
    // an add-in made during an activation that failed.
    void DropCommandsAfter(std::size_t count);

private:
    ProbeRef probe_;
    std::shared_ptr<MemoryApplication> application_;
    std::vector<std::shared_ptr<MemoryCommand>> commands_;
};

}  // namespace bm::workbench
