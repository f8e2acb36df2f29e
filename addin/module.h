#pragma once

// The add-in library's module-level state: what its pieces share outside the
// add-in object. One module lives as long as the loaded library; tests make
// one each.

#include "settings/registry.h"
#include "ui/forms.h"

namespace bm::ui {
class Raster;
}

namespace bm::addin {

class CBrindlemark5;

struct AddInModule {
    AddInModule(RegistryApi& registryApi, ui::FormsRuntime& formsRuntime, ui::Raster& rasterApi)
        : registry(registryApi), forms(formsRuntime), raster(rasterApi) {}

    ModRegistry registry;  // RegRootKey and RegBasePath live here
    ui::FormsRuntime& forms;
    ui::Raster& raster;
    // The live add-in object; the options dialog reaches the settings here.
    CBrindlemark5* AddInInstance = nullptr;
};

}  // namespace bm::addin
