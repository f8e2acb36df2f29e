#include "addin/cbrindlemark5.h"

#include <string>
#include <utility>

#include "core/error.h"
#include "settings/frm_options.h"
#include "settings/persistence.h"
#include "transfer/copy.h"
#include "transfer/physical.h"
#include "transfer/selective.h"
#include "ui/frm_act.h"

namespace bm::addin {

namespace {
constexpr const char* kVersionMessage = "This Add-In requires that\r\nAutodesk Inventor 5 be installed";

// Points the registry layer at another key for as long as it lives, then
// gives it back the settings' root and base path, whichever way the scope
// is left.
class RegistryRebase {
public:
    RegistryRebase(ModRegistry& registry, reg::Hkey root, std::string basePath)
        : registry_(registry),
          keptRoot_(std::exchange(registry.RegRootKey, root)),
          keptBase_(std::exchange(registry.RegBasePath, std::move(basePath))) {}
    RegistryRebase(const RegistryRebase&) = delete;
    RegistryRebase& operator=(const RegistryRebase&) = delete;
    ~RegistryRebase() {
        registry_.RegRootKey = keptRoot_;
        registry_.RegBasePath = std::move(keptBase_);
    }

private:
    ModRegistry& registry_;
    reg::Hkey keptRoot_;
    std::string keptBase_;
};

}  // namespace

CBrindlemark5::CBrindlemark5(AddInModule& module) : module_(module) {
    module_.AddInInstance = this;
}

CBrindlemark5::~CBrindlemark5() {
    if (module_.AddInInstance == this) module_.AddInInstance = nullptr;
}

void CBrindlemark5::ApplicationAddInServer_Activate(
    const host::Ref<host::AddInSite>& AddInSiteObject, bool /*FirstTime*/) {
    module_.registry.RegBasePath = kSettingsBasePath;
    module_.registry.RegRootKey = reg::kHkeyCurrentUser;
    // Settings held from an earlier activation must not be saved after this
    // one is refused or fails.
    loadedSettings_.reset();

    oAddInSite = AddInSiteObject;
    if (!oAddInSite) raise(ErrorKind::InvalidArgument, "activation without an add-in site");
    oApp = oAddInSite->SiteApplication();
    AppEvents(oApp->AppEventSource());

    if (oApp->HostVersion()->VersionMajor() != kRequiredHostVersion) {
        RefuseHostVersion();
        return;
    }

    oOptionsCmd = oAddInSite->AddCommand("Options", kOptionsCommandId, true);
    oCopyCmd = oAddInSite->AddCommand("Copy Custom Properties", kCopyCommandId, true);
    CopyCommand().CommandEnabled(false);

    loadedSettings_ = LoadSettings(module_.registry, *this);

    CheckClassRegistration();
}

void CBrindlemark5::RefuseHostVersion() {
    module_.forms.MsgBox(kVersionMessage, ui::kMsgBoxExclamation, kDisplayName);
    oApp->AddInList()->Item(kClassId)->AddInActive(false);
}

// By convention the default value of a class's registration key is its
// readable name; keep it reading "Brindlemark".
void CBrindlemark5::CheckClassRegistration() {
    ModRegistry& registry = module_.registry;
    const RegistryRebase classKey(registry, reg::kHkeyClassesRoot,
                                  std::string("CLSID\\") + kClassId);

    // A key that lists no value at all counts as differing: the default
    // value is written, which repairs the damaged registration.
    const auto values = registry.EnumRegValues("", "");
    const bool named = values && !values->empty() && (*values)[0][1] == Variant(kDisplayName);
    if (!named) {
        std::int32_t valueType = 0;
        registry.SetRegValue("", "", "", kDisplayName, valueType);
    }
}

void CBrindlemark5::ApplicationAddInServer_Deactivate() {
    if (loadedSettings_) SaveSettings(module_.registry, *this, *loadedSettings_);
    if (module_.AddInInstance == this) module_.AddInInstance = nullptr;
    oCopyCmd.reset();
    oOptionsCmd.reset();
    oAddInSite.reset();
    oApp.reset();
    AppEvents(nullptr);
}

void CBrindlemark5::AppEvents(const host::Ref<host::ApplicationEvents>& source) {
    // The new binding first: when it fails the old one stays in place.
    std::shared_ptr<void> binding = source ? source->Bind(*this) : nullptr;
    appEventBinding_ = std::move(binding);
    appEventSource_ = source;
}

host::CommandDefinition& CBrindlemark5::CopyCommand() {
    if (!oCopyCmd) raise(ErrorKind::InvalidArgument, "the copy command was never created");
    return *oCopyCmd;
}

Settings& CBrindlemark5::AddInInstance() const {
    if (!module_.AddInInstance) raise(ErrorKind::InvalidArgument, "no live add-in object");
    return *module_.AddInInstance;
}

void CBrindlemark5::ApplicationAddInServer_ExecuteCommand(std::int32_t CommandID) {
    if (CommandID == kOptionsCommandId) {
        frmOptions dialog(module_.forms, module_.raster, [this]() -> Settings& { return AddInInstance(); });
        module_.forms.ShowModal(dialog);
    } else if (CommandID == kCopyCommandId) {
        if (!oApp) raise(ErrorKind::InvalidArgument, "the add-in is not active");
        host::Ref<host::Document> drawing = oApp->CurrentDocument();
        if (drawing->DocKind() != host::kDrawingDocument)
            raise(ErrorKind::TypeMismatch, "the active document is not a drawing");
        host::Ref<host::FileRefList> references = drawing->FileRefs();
        host::Ref<host::PropertySet> target =
            drawing->DocPropertySets()->Item(host::UserDefinedFmtid);
        RunCopy(*drawing, *references, *target, CopyEntry::Command);
    }
}

void CBrindlemark5::AppEvents_OnActivateDocument(const host::Ref<host::Document>& DocumentObject,
                                                 std::int32_t BeforeOrAfter,
                                                 const Variant& /*Context*/,
                                                 std::int32_t& /*HandlingCode*/) {
    if (BeforeOrAfter == kIgnoredTiming) return;
    // Activation must never disturb the host: whatever fails here ends the
    // update quietly, keeping what was written before the failure.
    try {
        if (DocumentObject->DocKind() != host::kDrawingDocument) {
            CopyCommand().CommandEnabled(false);
            return;
        }
        CopyCommand().CommandEnabled(true);
        host::Ref<host::FileRefList> references = DocumentObject->FileRefs();
        host::Ref<host::PropertySet> target =
            DocumentObject->DocPropertySets()->Item(host::UserDefinedFmtid);
        RunCopy(*DocumentObject, *references, *target, CopyEntry::Activation);
    } catch (...) {
    }
}

void CBrindlemark5::RunCopy(host::Document& drawing, host::FileRefList& references,
                            host::PropertySet& target, CopyEntry entry) {
    if (entry == CopyEntry::Command) {
        if (EraseFirst()) transfer::EraseCustomProps(target);
        CopyModels(references, target);
    } else {
        if (UpdateOnActivate() && EraseFirst() && target.Count() != 0)
            transfer::EraseCustomProps(target);
        if (references.Count() == 0 || !UpdateOnActivate()) return;
        CopyModels(references, target);
    }
    if (PhysicalUpdate() != 0) GetPhysicalProps(drawing, target);
    ShowInterlude();
    if (entry == CopyEntry::Command) drawing.DocUpdate();
}

void CBrindlemark5::CopyModels(host::FileRefList& references, host::PropertySet& target) {
    if (SelectProps())
        transfer::SelectAndCopyProps(*this, module_.forms, references, target);
    else
        transfer::CopyAllProps(*this, references, target);
}

void CBrindlemark5::ShowInterlude() {
    ui::frmAct interlude(module_.forms);
    module_.forms.ShowModal(interlude);
}

void CBrindlemark5::GetPhysicalProps(host::Document& oDoc, host::PropertySet& oCustProps) {
    transfer::GetPhysicalProps(*this, oDoc, oCustProps);
}

void CBrindlemark5::UpdatePhysicalProps(host::PropertySet& oCustProps, const std::string& strName,
                                        const std::string& strValue) {
    transfer::UpdatePhysicalProps(oCustProps, strName, strValue);
}

}  // namespace bm::addin
