#pragma once

// The in-memory host: documents, the application and the add-in site, all
// sharing one HostProbe that counts every host call and can make any of
// them fail. Building a session and looking at it afterwards are not host
// calls; only what goes through the host/host.h interfaces is.
//
//   MemoryHost host;
//   auto part = host.AddPart("C:/Work/Bracket.ipt");     // display name "Bracket"
//   part->AddProp("Material", "Steel").AddProp("Rev", std::int32_t{3})
//       .SetUnits("kg", "mm").SetMassFigures(2500.0, 120.0, 320.0);
//   auto drawing = host.AddDrawing("C:/Work/Bracket.idw");
//   drawing->AddRef(part).AddUnresolvedRef("C:/Lost/Pin.ipt");
//   host.SetCurrentDocument(drawing);
//
//   host::Ref<host::PropertySet> target = drawing->UserProps();  // no host call
//   ... run the add-in against host.Site() or the objects above ...
//   EXPECT_EQ(drawing->Prop("Material"), Variant("Steel"));
//   EXPECT_EQ(host.Probe().Calls("PropAdd"), 1);
//
// Units, timing codes and the other choices are described in
// memory_document.h, memory_application.h and host_probe.h.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"
#include "workbench/model/host_probe.h"
#include "workbench/model/memory_application.h"
#include "workbench/model/memory_document.h"

namespace bm::workbench {

class MemoryHost {
public:
    MemoryHost();

    HostProbe& Probe() { return *probe_; }
    const HostProbe& Probe() const { return *probe_; }

    // Documents. The display name is the file name without folder and
    // extension until SetDisplayName changes it.
    std::shared_ptr<MemoryDocument> AddDocument(std::int32_t kind, std::string fullName);
    std::shared_ptr<MemoryDocument> AddPart(std::string fullName);
    std::shared_ptr<MemoryDocument> AddAssembly(std::string fullName);
    std::shared_ptr<MemoryDocument> AddDrawing(std::string fullName);
    std::shared_ptr<MemoryDocument> AddPresentation(std::string fullName);
    // The held document of exactly this full name, or null.
    std::shared_ptr<MemoryDocument> FindDocument(std::string_view fullName) const;
    const std::vector<std::shared_ptr<MemoryDocument>>& Documents() const { return documents_; }

    // Application state.
    // Both are the host objects themselves: hand them to the add-in as
    // host::AddInSite / host::Application, or reach their inner state.
    const std::shared_ptr<MemoryAddInSite>& Site() const { return site_; }
    const std::shared_ptr<MemoryApplication>& App() const { return app_; }
    void SetVersionMajor(std::int32_t major);  // 5 until changed
    // Null means no active document (CurrentDocument then fails).
    void SetCurrentDocument(std::shared_ptr<MemoryDocument> document);
    std::shared_ptr<MemoryDocument> ActiveDocument() const { return app_->current(); }

    // Events. FireActivateDocument delivers one notification and returns
    // the handling code the sinks leave. Activate is the whole switch:
    // a kEventBefore notification, the document becomes current, then a
    // kEventAfter notification.
    std::int32_t FireActivateDocument(const host::Ref<host::Document>& document,
                                      std::int32_t beforeOrAfter);
    void Activate(const std::shared_ptr<MemoryDocument>& document);
    std::size_t BoundSinkCount() const;

    // Commands the add-in created, in creation order.
    const std::vector<std::shared_ptr<MemoryCommand>>& Commands() const;
    // The last command created with this id, or null.
    std::shared_ptr<MemoryCommand> Command(std::int32_t commandId) const;
    // Who runs a picked command (the add-in's command entry, usually).
    void OnCommand(std::function<void(std::int32_t)> handler) { onCommand_ = std::move(handler); }
    // The user picks a command: runs the handler when the command exists
    // and is enabled and a handler is set; false (and nothing run) otherwise.
    bool Pick(std::int32_t commandId);

    // The add-in list: the active state of a class id's entry, or empty
    // when the add-in never asked for it.
    std::optional<bool> AddInActive(const std::string& classId) const;

private:
    ProbeRef probe_;
    std::shared_ptr<MemoryApplication> app_;
    std::shared_ptr<MemoryAddInSite> site_;
    std::vector<std::shared_ptr<MemoryDocument>> documents_;
    std::function<void(std::int32_t)> onCommand_;
};

}  // namespace bm::workbench
