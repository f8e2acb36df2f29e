#include "platform/win32/form_view.h"

namespace bm::win32 {

std::unique_ptr<FormView> MakeFilesView(ui::Form&, Win32FormsRuntime&) { return nullptr; }

}  // namespace bm::win32
