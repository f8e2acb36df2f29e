#include "platform/portable/registry_store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "registry_test_support.h"
#include "settings/registry.h"

namespace bm::portable {
namespace {

using namespace std::string_view_literals;
using regtest::BytesOf;
using regtest::ReadFile;
using regtest::WriteFile;
using Value = RegistryStore::ListedValue;

constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\Quillfern\\Copy Custom Prop\\Defaults";

// A hand-written file in the form the store writes back unchanged.
constexpr std::string_view kCanonical =
    "Windows Registry Editor Version 5.00\n\n"
    "[HKEY_CURRENT_USER\\Software\\Quillfern\\Copy Custom Prop\\Defaults]\n"
    "\"CopyMass\"=dword:0000000c\n"
    "@=\"default\"\n"
    "\"Quote \\\"and\\\\ slash\"=\"C:\\\\Temp \\\"x\\\"\"\n"
    "\"Logo\"=hex:00,01,fe,ff\n"
    "\"Path\"=hex(2):25,00,50,00,25,00,00,00\n"
    "\"Lines\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
    "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n"
    "\"None\"=hex(0):\n"
    "\"NoNul\"=hex(1):61,00,62,00\n"
    "\"Ümlaut\"=\"Größe €\"\n"
    "\"Long\"=hex:00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,00,\\\n"
    "  00,00\n\n"
    "[HKEY_CLASSES_ROOT\\CLSID\\{F5E15921-9A9A-11D5-B219-0000E83F3400}]\n\n";

class RegistryStoreFile : public ::testing::Test {
protected:
    regtest::TempDir dir;
    std::filesystem::path file = dir.path() / "registry.reg";
};

TEST_F(RegistryStoreFile, HandWrittenFileListsEveryTypeInOrderAndWritesBackUnchanged) {
    WriteFile(file, kCanonical);
    RegistryStore store(file);
    const std::vector<Value> want{
        {"CopyMass", reg::kRegDword, {12, 0, 0, 0}},
        {"", reg::kRegSz, BytesOf("default\0"sv)},
        {"Quote \"and\\ slash", reg::kRegSz, BytesOf("C:\\Temp \"x\"\0"sv)},
        {"Logo", reg::kRegBinary, {0, 1, 0xFE, 0xFF}},
        {"Path", reg::kRegExpandSz, BytesOf("%P%\0"sv)},
        {"Lines", reg::kRegMultiSz, BytesOf("a\0b\0\0"sv)},
        {"Big", reg::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}},
        {"None", reg::kRegNone, {}},
        {"NoNul", reg::kRegSz, BytesOf("ab")},
        {"Ümlaut", reg::kRegSz, BytesOf("Größe €\0"sv)},
        {"Long", reg::kRegBinary, Bytes(24, 0)}};
    EXPECT_EQ(store.ListValues(kKey), want);
    EXPECT_EQ(store.ListValues("hkey_classes_root\\clsid\\{F5E15921-9A9A-11D5-B219-0000E83F3400}"),
              std::vector<Value>{});
    EXPECT_EQ(store.ListValues("HKEY_CURRENT_USER\\Software"), std::vector<Value>{})
        << "keys above a section exist";

    // Rewriting a value in place keeps the file otherwise byte for byte.
    reg::Hkey key = 0;
    ASSERT_EQ(store.RegOpenKeyExA(reg::kHkeyCurrentUser,
                                  "software\\quillfern\\copy custom prop\\defaults", 0,
                                  reg::kKeyAccess, key),
              reg::kErrorSuccess);
    const std::uint8_t one[4] = {1, 0, 0, 0};
    ASSERT_EQ(store.RegSetValueExA(key, "copymass", reg::kRegDword, one, 4), reg::kErrorSuccess);
    const std::uint8_t twelve[4] = {12, 0, 0, 0};
    ASSERT_EQ(store.RegSetValueExA(key, "CopyMass", reg::kRegDword, twelve, 4), reg::kErrorSuccess);
    store.RegCloseKey(key);
    EXPECT_EQ(ReadFile(file), kCanonical);
}

TEST_F(RegistryStoreFile, AcceptsExportVariants) {
    // CR LF line ends, a byte order mark, comments and upper-case hex.
    WriteFile(file,
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n; a comment\r\n"
              "[HKEY_CURRENT_USER\\A]\r\n\"x\"=DWORD:FFFFFFFF\r\n\"y\"=hex:0A,\\\r\n  0B\r\n");
    RegistryStore store(file);
    EXPECT_EQ(store.ListValues("HKEY_CURRENT_USER\\A"),
              (std::vector<Value>{{"x", reg::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}},
                                  {"y", reg::kRegBinary, {10, 11}}}));
}

// Stored text is well-formed UTF-8; the hex(N) forms carry it as UTF-16.
TEST(RegistryFileText, EachIllFormedByteBecomesOneReplacementCharacter) {
    const struct {
        std::string_view text;
        std::string_view want;
    } cases[] = {
        {"Größe €", "Größe €"},
        {"\xF0\x90\x90\x80", "\xF0\x90\x90\x80"},
        {"a\xFFz", "a\xEF\xBF\xBDz"},
        {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // cut short
        {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong
        {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
    };
    for (const auto& c : cases)
        EXPECT_EQ(regfile::NormalizeUtf8(c.text), c.want) << ::testing::PrintToString(c.text);
}

TEST(RegistryFileText, CodePointsBeyondSixteenBitsTravelAsSurrogatePairs) {
    const regfile::Value value{"P", reg::kRegExpandSz, BytesOf("\xF0\x90\x90\x80\0"sv)};
    const std::string line = regfile::FormatValue(value);
    EXPECT_EQ(line, "\"P\"=hex(2):01,d8,00,dc,00,00");
    const auto parsed =
        regfile::Parse("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n" + line +
                       "\n\"Lone\"=hex(1):00,d8,41,00\n");
    ASSERT_FALSE(parsed.error.has_value()) << parsed.error->message;
    // A lone surrogate in the file reads as U+FFFD.
    const regfile::Value lone{"Lone", reg::kRegSz, BytesOf("\xEF\xBF\xBD" "A"sv)};
    EXPECT_EQ(parsed.document.keys.at(0).values, (std::vector<regfile::Value>{value, lone}));
}

// Keys and values are looked up by name; the lookups must stay right when
// sections repeat in other letter case and after a tree is erased.
TEST(RegistryFileDocument, LookupsIgnoreCaseAndFollowErasure) {
    auto parsed = regfile::Parse(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\Software\\Vendor\\A]\n\"Name\"=dword:1\n\"NAME\"=dword:2\n"
        "[HKEY_CURRENT_USER\\software\\vendor\\B]\n"
        "[hkey_current_user\\SOFTWARE\\Vendor\\a]\n\"X\"=\"x\"\n");
    ASSERT_FALSE(parsed.error.has_value()) << parsed.error->message;
    regfile::Document& doc = parsed.document;
    ASSERT_EQ(doc.keys.size(), 2u);
    EXPECT_EQ(doc.keys[0].values, (std::vector<regfile::Value>{
                                      {"Name", reg::kRegDword, {2, 0, 0, 0}},
                                      {"X", reg::kRegSz, BytesOf("x\0"sv)}}));
    EXPECT_EQ(doc.Spelling("HKEY_CURRENT_USER\\SOFTWARE\\VENDOR"),
              "HKEY_CURRENT_USER\\Software\\Vendor");

    EXPECT_TRUE(doc.EraseTree("HKEY_CURRENT_USER\\software\\VENDOR\\a"));
    EXPECT_EQ(doc.Find("HKEY_CURRENT_USER\\Software\\Vendor\\A"), nullptr);
    EXPECT_FALSE(doc.Exists("HKEY_CURRENT_USER\\Software\\Vendor\\A"));
    EXPECT_EQ(doc.Spelling("HKEY_CURRENT_USER\\SOFTWARE\\VENDOR"),
              "HKEY_CURRENT_USER\\software\\vendor");
    EXPECT_EQ(doc.Find("HKEY_CURRENT_USER\\Software\\Vendor\\b"), &doc.keys.at(0));
    EXPECT_EQ(doc.Ensure("HKEY_CURRENT_USER\\SOFTWARE\\VENDOR\\C").path,
              "HKEY_CURRENT_USER\\software\\vendor\\C");
    EXPECT_EQ(doc.keys.size(), 2u);
}

struct BadFile {
    const char* label;
    std::string text;
    std::size_t line;
};

// `lines` as the third line on, under a header and a key.
std::string InKey(std::string_view lines) {
    return "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\A]\n" + std::string(lines);
}

void PrintTo(const BadFile& c, std::ostream* os) { *os << c.label; }

class UnparsableFile : public RegistryStoreFile, public ::testing::WithParamInterface<BadFile> {};

TEST_P(UnparsableFile, IsLeftAsItIsAndReportedOnce) {
    WriteFile(file, GetParam().text);
    RegistryStore store(file);
    ModRegistry registry(store);
    registry.RegRootKey = reg::kHkeyCurrentUser;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(registry.GetRegValue("A", "", "x", "fallback"), Variant("fallback"));
    std::int32_t type = 0;
    registry.SetRegValue("A", "", "x", std::int32_t(5), type);
    registry.SetRegValue("New", "Key", "y", "text", type);
    reg::Hkey key = 0;
    EXPECT_EQ(store.RegCreateKeyExA(reg::kHkeyCurrentUser, "Z", 0, reg::kKeyAccess, key, nullptr),
              reg::kErrorRegistryCorrupt);
    EXPECT_EQ(store.RegSetValueExA(reg::kHkeyCurrentUser, "v", reg::kRegSz, nullptr, 0),
              reg::kErrorRegistryCorrupt);
    const std::string err = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(ReadFile(file), GetParam().text);
    const std::string expected = "brindlemark: registry file " + file.string() + " line " +
                                 std::to_string(GetParam().line) + ": expected ";
    EXPECT_EQ(err.find(expected), 0u) << err;
    EXPECT_EQ(err.find("brindlemark:", 1), std::string::npos) << "said more than once: " << err;
    EXPECT_NE(err.find("the file is left as it is and changes are not saved\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, UnparsableFile,
    ::testing::Values(
        BadFile{"NoHeader", "[HKEY_CURRENT_USER\\A]\n", 1},
        BadFile{"ValueBeforeKey", "Windows Registry Editor Version 5.00\n\n\"x\"=\"1\"\n", 3},
        BadFile{"UnknownRoot", "Windows Registry Editor Version 5.00\n\n[HKCU\\A]\n", 3},
        BadFile{"EmptyKeyName", InKey("[HKEY_CURRENT_USER\\\\B]\n"), 3},
        BadFile{"OpenQuote", InKey("\"x=1\n"), 3},
        BadFile{"BadEscape", InKey("\"x\"=\"a\\n\"\n"), 3},
        BadFile{"LongDword", InKey("\"x\"=dword:123456789\n"), 3},
        BadFile{"BadByte", InKey("\"x\"=hex:01,,02\n"), 3},
        BadFile{"OddUtf16", InKey("\"x\"=hex(2):41\n"), 3},
        BadFile{"ContinuationAtEnd", InKey("\"x\"=hex:01,\\"), 3},
        BadFile{"Deletion", InKey("\"x\"=-\n"), 3}),
    regtest::Label<BadFile>);

// A FIFO or a folder in the store's place is refused at once, as an
// unreadable file: opening a FIFO must not wait for a writer.
TEST_F(RegistryStoreFile, PathThatIsNoRegularFileIsRefusedWithoutWaiting) {
    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    const std::filesystem::path folder = file.parent_path() / "folder.reg";
    std::filesystem::create_directory(folder);
    const std::pair<std::filesystem::path, const char*> cases[] = {{file, "is not a regular file"},
                                                                   {folder, "is a folder, not a file"}};
    for (const auto& [path, problem] : cases) {
        RegistryStore store(path);
        EXPECT_EQ(store.Problem(), problem) << path;
        reg::Hkey key = 0;
        EXPECT_NE(store.RegCreateKeyExA(reg::kHkeyCurrentUser, "Z", 0, reg::kKeyAccess, key, nullptr),
                  reg::kErrorSuccess);
    }
}

TEST_F(RegistryStoreFile, FirstWriteCreatesDirectoryAndOthersSeeIt) {
    const auto nested = dir.path() / "a" / "b" / "registry.reg";
    RegistryStore writer(nested), reader(nested);
    ModRegistry w(writer), r(reader);
    w.RegRootKey = r.RegRootKey = reg::kHkeyCurrentUser;
    EXPECT_EQ(r.GetRegValue("App", "", "V", "none"), Variant("none"));
    std::int32_t type = 0;
    w.SetRegValue("App", "", "V", "one", type);
    EXPECT_EQ(r.GetRegValue("App", "", "V", "none"), Variant("one"));
    w.SetRegValue("App", "", "V", "two", type);  // same size, same second
    EXPECT_EQ(r.GetRegValue("App", "", "V", "none"), Variant("two"));
}

TEST_F(RegistryStoreFile, HandleNamesAPathCheckedAgainstTheFile) {
    RegistryStore store(file);
    reg::Hkey key = 0;
    ASSERT_EQ(
        store.RegCreateKeyExA(reg::kHkeyCurrentUser, "A\\B\\", 0, reg::kKeyAccess, key, nullptr),
        reg::kErrorSuccess);
    // Another program removes the key.
    WriteFile(file, "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Other]\n\n");
    const std::uint8_t d[4] = {};
    EXPECT_EQ(store.RegSetValueExA(key, "v", reg::kRegDword, d, 4), reg::kErrorKeyDeleted);
    reg::DWord size = 0;
    EXPECT_EQ(store.RegQueryValueExA(key, "v", nullptr, nullptr, &size), reg::kErrorKeyDeleted);
    EXPECT_EQ(store.ListValues("HKEY_CURRENT_USER\\A"), std::nullopt) << "not brought back";
    EXPECT_EQ(store.RegCloseKey(key), reg::kErrorSuccess);
    EXPECT_EQ(store.RegCloseKey(key), reg::kErrorInvalidHandle);
    EXPECT_EQ(store.RegOpenKeyExA(reg::kHkeyCurrentUser, "\\Other", 0, reg::kKeyAccess, key),
              reg::kErrorBadPathname);
}

TEST_F(RegistryStoreFile, SmallBuffersAskForMoreData) {
    RegistryStore store(file);
    reg::Hkey key = 0;
    ASSERT_EQ(store.RegCreateKeyExA(reg::kHkeyCurrentUser, "K", 0, reg::kKeyAccess, key, nullptr),
              reg::kErrorSuccess);
    ASSERT_EQ(store.RegSetValueExA(key, "Name", reg::kRegSz, BytesOf("abc\0"sv).data(), 4),
              reg::kErrorSuccess);
    std::uint8_t buf[8] = {};
    reg::DWord size = 3;
    EXPECT_EQ(store.RegQueryValueExA(key, "Name", nullptr, buf, &size), reg::kErrorMoreData);
    EXPECT_EQ(size, 4u);
    char name[8];
    reg::DWord capacity = 4;  // "Name" needs 5 with its NUL
    EXPECT_EQ(store.RegEnumValueA(key, 0, name, &capacity, nullptr, nullptr, nullptr),
              reg::kErrorMoreData);
    EXPECT_EQ(store.RegEnumValueA(key, 1, name, &capacity, nullptr, nullptr, nullptr),
              reg::kErrorNoMoreItems);
    store.RegCloseKey(key);
}

TEST(RegistryStorePath, EnvironmentChoosesTheFile) {
    struct Case {
        const char* registry;
        const char* xdg;
        const char* home;
        const char* want;
    };
    const Case cases[] = {
        {"/x/r.reg", "/cfg", "/home/u", "/x/r.reg"},
        {"", "/cfg", "/home/u", "/cfg/brindlemark/registry.reg"},
        {nullptr, "relative", "/home/u", "/home/u/.config/brindlemark/registry.reg"},
        {nullptr, nullptr, "/home/u", "/home/u/.config/brindlemark/registry.reg"},
    };
    const auto set = [](const char* name, const char* value) {
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    };
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    for (const Case& c : cases) {
        set("BRINDLEMARK_REGISTRY", c.registry);
        set("XDG_CONFIG_HOME", c.xdg);
        set("HOME", c.home);
        EXPECT_EQ(RegistryStore::DefaultPath(), c.want) << c.want;
    }
    set("HOME", home.c_str());
}

// ---------------------------------------------------------------------------
// Several processes.

// Runs `body` in a child process and returns its id; the child exits 0 when
// `body` returns true.
template <class Body>
pid_t Spawn(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body() ? 0 : 1);
    return pid;
}

TEST_F(RegistryStoreFile, ProcessesWritingAtOnceLoseNothing) {
    constexpr int kProcesses = 6, kValues = 15;
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        children.push_back(Spawn([&, p] {
            ::close(go[1]);
            char start;
            if (::read(go[0], &start, 1) != 0) return false;  // wait for the start
            RegistryStore store(file);
            ModRegistry registry(store);
            registry.RegRootKey = reg::kHkeyCurrentUser;
            for (int v = 0; v < kValues; ++v) {
                std::int32_t type = 0;
                registry.SetRegValue("App", "P" + std::to_string(p), "V" + std::to_string(v),
                                     std::int32_t(p * 100 + v), type);
            }
            return true;
        }));
    }
    ::close(go[0]);
    ::close(go[1]);  // every child starts now
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    RegistryStore store(file);
    for (int p = 0; p < kProcesses; ++p) {
        const auto values = store.ListValues("HKEY_CURRENT_USER\\App\\P" + std::to_string(p));
        ASSERT_TRUE(values.has_value()) << p;
        ASSERT_EQ(values->size(), std::size_t(kValues)) << p;
        for (int v = 0; v < kValues; ++v)
            EXPECT_EQ((*values)[v].data[0], std::uint8_t(p * 100 + v));
    }
}

TEST_F(RegistryStoreFile, ProcessKilledWhileSavingLeavesAFileThatParses) {
    // Readers watching a writer see only whole files, each holding at least
    // the values seen before; so does whoever comes after a killed writer.
    std::size_t seen = 0;
    const auto check = [&](int round) {
        const auto parsed = regfile::Parse(ReadFile(file));
        ASSERT_FALSE(parsed.error) << "round " << round << ": line " << parsed.error->line;
        const auto* key = parsed.document.Find("HKEY_CURRENT_USER\\App");
        const std::size_t count = key != nullptr ? key->values.size() : 0;
        EXPECT_GE(count, seen) << "values lost in round " << round;
        seen = std::max(seen, count);
    };
    for (int round = 0; round < 8; ++round) {
        const pid_t pid = Spawn([&] {
            RegistryStore store(file);
            ModRegistry registry(store);
            registry.RegRootKey = reg::kHkeyCurrentUser;
            for (int v = 0;; ++v) {
                std::int32_t type = 0;
                registry.SetRegValue("App", "", "V" + std::to_string(v % 200),
                                     std::string(v % 50, 'x') + "!", type);
            }
            return true;
        });
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(10 + 10 * round);
        while (std::chrono::steady_clock::now() < until) check(round);
        ::kill(pid, SIGKILL);
        int status = 0;
        ::waitpid(pid, &status, 0);
        check(round);
    }
    // The next write clears what the killed writers left behind.
    RegistryStore store(file);
    ModRegistry registry(store);
    registry.RegRootKey = reg::kHkeyCurrentUser;
    std::int32_t type = 0;
    registry.SetRegValue("App", "", "Last", "done", type);
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        EXPECT_TRUE(entry.path() == file || entry.path().extension() == ".lock") << entry.path();
}

}  // namespace
}  // namespace bm::portable
