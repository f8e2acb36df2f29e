#include "workbench/model/memory_host.h"

#include <algorithm>
#include <utility>

namespace bm::workbench {

MemoryHost::MemoryHost()
    : probe_(std::make_shared<HostProbe>()),
      app_(std::make_shared<MemoryApplication>(probe_)),
      site_(std::make_shared<MemoryAddInSite>(probe_, app_)) {}

std::shared_ptr<MemoryDocument> MemoryHost::AddDocument(std::int32_t kind, std::string fullName) {
    documents_.push_back(std::make_shared<MemoryDocument>(probe_, kind, std::move(fullName)));
    return documents_.back();
}

std::shared_ptr<MemoryDocument> MemoryHost::AddPart(std::string fullName) {
    return AddDocument(host::kPartDocument, std::move(fullName));
}

std::shared_ptr<MemoryDocument> MemoryHost::AddAssembly(std::string fullName) {
    return AddDocument(host::kAssemblyDocument, std::move(fullName));
}

std::shared_ptr<MemoryDocument> MemoryHost::AddDrawing(std::string fullName) {
    return AddDocument(host::kDrawingDocument, std::move(fullName));
}

std::shared_ptr<MemoryDocument> MemoryHost::AddPresentation(std::string fullName) {
    return AddDocument(host::kPresentationDocument, std::move(fullName));
}

std::shared_ptr<MemoryDocument> MemoryHost::FindDocument(std::string_view fullName) const {
    auto it = std::find_if(documents_.begin(), documents_.end(),
                           [&](const auto& d) { return d->full_name() == fullName; });
    return it == documents_.end() ? nullptr : *it;
}

void MemoryHost::SetVersionMajor(std::int32_t major) { app_->version()->set_major(major); }

void MemoryHost::SetCurrentDocument(std::shared_ptr<MemoryDocument> document) {
    app_->set_current(std::move(document));
}

std::int32_t MemoryHost::FireActivateDocument(const host::Ref<host::Document>& document,
                                              std::int32_t beforeOrAfter) {
    return app_->events()->fire_activate(document, beforeOrAfter);
}

void MemoryHost::Activate(const std::shared_ptr<MemoryDocument>& document) {
    FireActivateDocument(document, kEventBefore);
    SetCurrentDocument(document);
    FireActivateDocument(document, kEventAfter);
}

std::size_t MemoryHost::BoundSinkCount() const { return app_->events()->bound_count(); }

const std::vector<std::shared_ptr<MemoryCommand>>& MemoryHost::Commands() const {
    return site_->commands();
}

std::shared_ptr<MemoryCommand> MemoryHost::Command(std::int32_t commandId) const {
    const auto& all = site_->commands();
    auto it = std::find_if(all.rbegin(), all.rend(),
                           [&](const auto& c) { return c->id() == commandId; });
    return it == all.rend() ? nullptr : *it;
}

bool MemoryHost::Pick(std::int32_t commandId) {
    auto command = Command(commandId);
    if (!command || !command->enabled() || !onCommand_) return false;
    onCommand_(commandId);
    return true;
}

std::optional<bool> MemoryHost::AddInActive(const std::string& classId) const {
    if (auto entry = app_->addins()->find(classId)) return entry->active();
    return std::nullopt;
}

}  // namespace bm::workbench
