// The workbench's system calls on Windows. Paths go to the W calls in
// their native UTF-16 form; messages come back as UTF-8.

#include <windows.h>

#include <io.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/com/text.h"
#include "platform/win32/com/unique_any.h"
#include "workbench/system.h"

namespace bm::workbench::system {

namespace fs = std::filesystem;

namespace {

std::string SystemMessage(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text ? text : L"", n);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    return message.empty() ? "system error " + std::to_string(error) : win32::Utf8(message);
}

std::string Shown(const fs::path& file) { return win32::Utf8(file.wstring()); }

[[noreturn]] void Fail(const fs::path& file, const std::string& what, DWORD error = GetLastError()) {
    throw FileError(Shown(file) + ": " + what + ": " + SystemMessage(error));
}

// A temporary file beside the target, removed unless it was moved into
// place.
class TempFile {
public:
    explicit TempFile(const fs::path& dir) {
        wchar_t name[MAX_PATH + 1] = {};
        if (GetTempFileNameW(dir.wstring().c_str(), L"bmw", 0, name) == 0) return;
        path_ = name;
        handle_.reset(CreateFileW(name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        close();
        if (!kept_ && !path_.empty()) DeleteFileW(path_.c_str());
    }

    bool opened() const { return static_cast<bool>(handle_); }
    HANDLE handle() const { return handle_.get(); }
    const std::wstring& path() const { return path_; }
    bool close() { return handle_.close(); }
    void keep() { kept_ = true; }

private:
    std::wstring path_;
    win32::UniqueHandle handle_;
    bool kept_ = false;
};

}  // namespace

void WriteAtomically(const fs::path& out, std::string_view content) {
    if (!out.has_filename()) throw FileError(Shown(out) + ": expected a file name to write");
    const fs::path dir = out.has_parent_path() ? out.parent_path() : fs::path(".");
    TempFile temp(dir);
    if (!temp.opened()) Fail(out, "cannot create a temporary file beside it");

    for (std::size_t done = 0; done < content.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(temp.handle(), content.data() + done, chunk, &written, nullptr)) Fail(out, "cannot write");
        done += written;
    }
    if (!FlushFileBuffers(temp.handle())) Fail(out, "cannot flush to disk");
    if (!temp.close()) Fail(out, "cannot write");
    if (!MoveFileExW(temp.path().c_str(), out.wstring().c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Fail(out, "cannot replace");
    temp.keep();
}

std::string ReadInputFile(const fs::path& file, std::uintmax_t maxBytes) {
    const DWORD attributes = GetFileAttributesW(file.wstring().c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw FileError(Shown(file) + ": is a folder, not a file");
    const win32::UniqueHandle owned(CreateFileW(file.wstring().c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
    const HANDLE handle = owned.get();
    if (!owned) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
            throw FileError(Shown(file) + ": does not exist");
        Fail(file, "cannot be read", error);
    }
    // Pipes and devices have no size to check before reading.
    if (GetFileType(handle) != FILE_TYPE_DISK) throw FileError(Shown(file) + ": is not a regular file");
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(handle, &size)) Fail(file, "cannot be read");
    const auto tooLarge = [&] {
        const std::string limit = maxBytes % (1u << 20) == 0 ? std::to_string(maxBytes >> 20) + " MiB"
                                                             : std::to_string(maxBytes >> 10) + " KiB";
        throw FileError(Shown(file) + ": is larger than " + limit);
    };
    if (static_cast<std::uintmax_t>(size.QuadPart) > maxBytes) tooLarge();
    std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < content.size()) {
        DWORD got = 0;
        if (!ReadFile(handle, content.data() + done, static_cast<DWORD>(content.size() - done), &got, nullptr))
            Fail(file, "cannot be read");
        if (got == 0) break;
        done += got;
    }
    content.resize(done);
    return content;
}

bool StdinIsTerminal() { return _isatty(_fileno(stdin)) != 0; }

fs::path ProgramFolder() {
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) return fs::path(".");
        if (n < name.size()) return fs::path(std::wstring(name.data(), n)).parent_path();
        name.resize(name.size() * 2);
    }
}

bool CanCreateFilesIn(const fs::path& folder) {
    // Whether the folder takes a file is best learnt by making one.
    wchar_t name[MAX_PATH + 1] = {};
    if (GetTempFileNameW(folder.wstring().c_str(), L"bmw", 0, name) == 0) return false;
    DeleteFileW(name);
    return true;
}

}  // namespace bm::workbench::system
