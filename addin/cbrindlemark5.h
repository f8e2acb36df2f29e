#pragma once

// CBrindlemark5: the add-in object the host creates, activates, calls for its
// two commands and document-activation events, and deactivates.
//
// Lifecycle, in the host's calling order:
//   construction (Class_Initialize)  -> AddInInstance points here
//   ApplicationAddInServer_Activate  -> commands created, settings loaded
//   ApplicationAddInServer_ExecuteCommand / AppEvents_OnActivateDocument
//   ApplicationAddInServer_Deactivate -> settings saved, host objects released
//   destruction (Class_Terminate)    -> AddInInstance cleared

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "addin/module.h"
#include "host/host.h"
#include "settings/persistence.h"
#include "settings/settings.h"

namespace bm::addin {

inline constexpr const char* kClassId = "{F5E15921-9A9A-11D5-B219-0000E83F3400}";
inline constexpr const char* kProgId = "Brindlemark5.CBrindlemark5";
inline constexpr const char* kDisplayName = "Brindlemark";
inline constexpr std::int32_t kRequiredHostVersion = 5;
inline constexpr std::int32_t kOptionsCommandId = 1;
inline constexpr std::int32_t kCopyCommandId = 2;
inline constexpr std::int32_t kIgnoredTiming = 4098;
inline constexpr const char* kSettingsBasePath = "Software\\Quillfern\\";

class CBrindlemark5 : public Settings, public host::ApplicationEventSink {
public:
    explicit CBrindlemark5(AddInModule& module);  // Class_Initialize
    ~CBrindlemark5() override;                     // Class_Terminate
    CBrindlemark5(const CBrindlemark5&) = delete;
    CBrindlemark5& operator=(const CBrindlemark5&) = delete;

    void ApplicationAddInServer_Activate(const host::Ref<host::AddInSite>& AddInSiteObject,
                                         bool FirstTime);
    // The event source the add-in listens to, or null. Setting it binds the
    // add-in to the new source (null unbinds) and drops the old binding.
    const host::Ref<host::ApplicationEvents>& AppEvents() const { return appEventSource_; }
    void AppEvents(const host::Ref<host::ApplicationEvents>& source);

    // The add-in offers the host no automation object.
    ObjectRef ApplicationAddInServer_Automation() const { return nullptr; }
    void ApplicationAddInServer_Deactivate();
    void ApplicationAddInServer_ExecuteCommand(std::int32_t CommandID);

    void AppEvents_OnActivateDocument(const host::Ref<host::Document>& DocumentObject,
                                      std::int32_t BeforeOrAfter, const Variant& Context,
                                      std::int32_t& HandlingCode);

    void GetPhysicalProps(host::Document& oDoc, host::PropertySet& oCustProps);
    void UpdatePhysicalProps(host::PropertySet& oCustProps, const std::string& strName,
                             const std::string& strValue);

    // host::ApplicationEventSink
    void OnActivateDocument(const host::Ref<host::Document>& document, std::int32_t beforeOrAfter,
                            const Variant& context, std::int32_t& handlingCode) override {
        AppEvents_OnActivateDocument(document, beforeOrAfter, context, handlingCode);
    }

private:
    enum class CopyEntry { Command, Activation };

    void RefuseHostVersion();
    void CheckClassRegistration();
    void RunCopy(host::Document& drawing, host::FileRefList& references,
                 host::PropertySet& target, CopyEntry entry);
    void CopyModels(host::FileRefList& references, host::PropertySet& target);
    void ShowInterlude();
    host::CommandDefinition& CopyCommand();
    // The live add-in object whose settings the options dialog shows.
    Settings& AddInInstance() const;

    AddInModule& module_;
    // AppEvents: the source and the binding that delivers its events here.
    host::Ref<host::ApplicationEvents> appEventSource_;
    std::shared_ptr<void> appEventBinding_;
    host::Ref<host::Application> oApp;
    host::Ref<host::AddInSite> oAddInSite;
    host::Ref<host::CommandDefinition> oOptionsCmd;
    host::Ref<host::CommandDefinition> oCopyCmd;
    // What the latest activation's load found stored, so that deactivation
    // writes back only what changed. Empty until that load completed:
    // saving settings that were never loaded would overwrite the user's
    // stored values with zeros (or stale ones).
    std::optional<StoredSettings> loadedSettings_;
};

}  // namespace bm::addin
