#include "workbench/com/link_handler.h"

#include <windows.h>

#include <ddeml.h>

#include <atomic>
#include <future>
#include <vector>

#include "platform/win32/com/text.h"
#include "platform/win32/com/unique_any.h"

namespace bm::workbench::com {

namespace {

constexpr wchar_t kTopic[] = L"Link";

// DDE calls back without a context: the one handler of the process.
std::atomic<const std::function<void(const std::string&)>*> current{nullptr};
DWORD instance = 0;
HSZ topic = nullptr;

HDDEDATA CALLBACK Callback(UINT type, UINT, HCONV, HSZ first, HSZ, HDDEDATA data, ULONG_PTR, ULONG_PTR) {
    if (type == XTYP_CONNECT) return reinterpret_cast<HDDEDATA>(DdeCmpStringHandles(first, topic) == 0);
    if (type != XTYP_EXECUTE) return nullptr;
    // The command the key's "ddeexec" value makes of the link: the link.
    std::vector<wchar_t> text(DdeGetData(data, nullptr, 0, 0) / sizeof(wchar_t) + 1, L'\0');
    DdeGetData(data, reinterpret_cast<LPBYTE>(text.data()), static_cast<DWORD>(text.size() * sizeof(wchar_t)), 0);
    if (const auto* opened = current.load()) (*opened)(win32::Utf8(text.data()));
    return reinterpret_cast<HDDEDATA>(DDE_FACK);
}

bool SetText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    win32::UniqueHkey handle;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, handle.put(),
                        nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// The DDE server: its conversations run on this thread's messages until
// WM_QUIT. `started` gets the thread's id once the service is named.
void Serve(std::wstring service, std::promise<DWORD>& started) {
    const DWORD filters = APPCLASS_STANDARD | CBF_FAIL_ADVISES | CBF_FAIL_POKES | CBF_FAIL_REQUESTS |
                          CBF_SKIP_ALLNOTIFICATIONS;
    if (DdeInitializeW(&instance, &Callback, filters, 0) != DMLERR_NO_ERROR) {
        started.set_value(GetCurrentThreadId());
        return;
    }
    HSZ name = DdeCreateStringHandleW(instance, service.c_str(), CP_WINUNICODE);
    topic = DdeCreateStringHandleW(instance, kTopic, CP_WINUNICODE);
    DdeNameService(instance, name, nullptr, DNS_REGISTER);
    // The queue exists once DDE has made its windows: WM_QUIT can reach it.
    started.set_value(GetCurrentThreadId());
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    DdeNameService(instance, name, nullptr, DNS_UNREGISTER);
    DdeFreeStringHandle(instance, name);
    DdeFreeStringHandle(instance, topic);
    DdeUninitialize(instance);
}

}  // namespace

LinkHandler::LinkHandler(std::wstring scheme, std::function<void(const std::string&)> opened)
    : opened_(std::move(opened)) {
    win32::UniqueHkey existing;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, scheme.c_str(), 0, KEY_READ, existing.put()) == ERROR_SUCCESS) return;
    // Named after the process: the desktop asks every program that serves
    // DDE, other workbenches included.
    const std::wstring service = L"BrindlemarkWorkbench" + std::to_wstring(GetCurrentProcessId());
    const std::wstring open = scheme + L"\\shell\\open";
    // The command runs only when no one answers by DDE: then the desktop
    // finds no such program and says so, as it would for a lost handler.
    const bool registered = SetText(scheme, L"URL Protocol", L"") &&
                            SetText(open + L"\\command", nullptr, L"brindlemark-workbench-link \"%1\"") &&
                            SetText(open + L"\\ddeexec", nullptr, L"%1") &&
                            SetText(open + L"\\ddeexec\\Application", nullptr, service) &&
                            SetText(open + L"\\ddeexec\\Topic", nullptr, kTopic);
    scheme_ = std::move(scheme);
    if (!registered) return;

    current = &opened_;
    std::promise<DWORD> started;
    auto serving = started.get_future();
    server_ = std::thread(&Serve, service, std::ref(started));
    serverThread_ = serving.get();
}

LinkHandler::~LinkHandler() {
    if (server_.joinable()) {
        PostThreadMessageW(serverThread_, WM_QUIT, 0, 0);
        server_.join();
        current = nullptr;
    }
    if (!scheme_.empty()) RegDeleteTreeW(HKEY_CLASSES_ROOT, scheme_.c_str());
}


}  // namespace bm::workbench::com
