// What the program does with what it is given: workspace files that come
// back as they went in, and bad files, bad script lines and bad options
// that stop it with exit code 2 before it has touched anything.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <nlohmann/json.hpp>

#include "brindlemark_version.h"
#include "host_program.h"

namespace bm::workbench::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
namespace fs = std::filesystem;

// The program reads workspaces with the same JSON library, but through its
// own positioned reader and schema; this reads the written text back with
// the library's plain parser, so a fault there does not hide itself here.
nlohmann::json Json(const fs::path& file) {
    std::ifstream in(file);
    return nlohmann::json::parse(in);
}

// --- round trips ------------------------------------------------------------------

// Every field written out, in the order and form the program writes them,
// with each document kind, property type and an unresolved reference.
constexpr const char* kFullWorkspace = R"({
  "hostVersion": 7,
  "documents": [
    { "file": "/w/B.ipt", "kind": "part", "name": "B",
      "units": { "mass": "lbmass", "length": "in" },
      "mass": { "mass": 1250.25, "area": 0.1, "volume": 3e-05 },
      "properties": [ { "name": "Zeta", "type": "text", "value": "Z\u00e9 \"quoted\"\nline" },
                      { "name": "Alpha", "type": "integer", "value": -2147483648 },
                      { "name": "Mid", "type": "double", "value": 0.30000000000000004 },
                      { "name": "When", "type": "date", "value": "1999-12-31T23:59:59.250" },
                      { "name": "Flag", "type": "boolean", "value": false },
                      { "name": "Empty", "type": "text", "value": "" } ],
      "references": [] },
    { "file": "/w/A.iam", "kind": "assembly", "name": "A",
      "units": { "mass": "g", "length": "cm" }, "mass": { "mass": 0.0, "area": 0.0, "volume": 0.0 },
      "properties": [], "references": [ "/w/B.ipt" ] },
    { "file": "/w/C.ipn", "kind": "presentation", "name": "C",
      "units": { "mass": "kg", "length": "mm" }, "mass": { "mass": 0.0, "area": 0.0, "volume": 0.0 },
      "properties": [], "references": [ "/w/A.iam" ] },
    { "file": "/w/D.idw", "kind": "drawing", "name": "Sheet D",
      "units": { "mass": "kg", "length": "mm" }, "mass": { "mass": 0.0, "area": 0.0, "volume": 0.0 },
      "properties": [ { "name": "Old", "type": "date", "value": "0001-01-01" } ],
      "references": [ "/w/B.ipt", "/elsewhere/Gone.ipt" ] }
  ]
})";

TEST_F(HostProgramTest, WorkspaceComesBackThroughOutUnchanged) {
    Write("workspace.json", kFullWorkspace);
    const Outcome run = RunScript("# nothing but a look\nshow Sheet D\n", {"--out", Path("out.json").string()});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(Json(Path("out.json")), Json(Path("workspace.json")));
    // Read back, the copy is the same workspace again.
    const Outcome again = Run({"--registry", Registry().string(), "--script", Path("script.txt").string(), "--out",
                               Path("again.json").string(), Path("out.json").string()});
    ASSERT_EQ(again.exit, 0) << again.err;
    EXPECT_EQ(Read(Path("again.json")), Read(Path("out.json")));
}

TEST_F(HostProgramTest, SaveWritesTheSessionBackOverTheWorkspace) {
    const Outcome run = RunScript("addin load\nopen Plate.idw\n", {"--save"});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(PropertyNames(Path("workspace.json"), "/w/Plate.idw").size(), 13u);
    // The file is replaced in one step: no temporary file is left beside it.
    EXPECT_EQ(FilesBesideTheStore(), (std::set<std::string>{"script.txt", "workspace.json"}));
}

TEST_F(HostProgramTest, WithoutOutOrSaveOnlyTheRegistryStoreChanges) {
    Write("workspace.json", kWorkspace);
    const Outcome run = RunScript("addin load\nopen Plate.idw\naddin unload\n");
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(Read(Path("workspace.json")), kWorkspace);
    EXPECT_EQ(FilesBesideTheStore(), (std::set<std::string>{"script.txt", "workspace.json"}));
    EXPECT_TRUE(fs::exists(Registry()));
}

TEST_F(HostProgramTest, StoreComesFromTheEnvironmentWhenNotGiven) {
    Write("workspace.json", kWorkspace);
    Write("script.txt", "addin load\naddin unload\n");
    // The test runner points BRINDLEMARK_REGISTRY at registry.reg.
    const Outcome run = Run({"--script", Path("script.txt").string(), Path("workspace.json").string()});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_THAT(Read(Registry()), HasSubstr("MassPrecision"));
    EXPECT_THAT(Read(Registry()), HasSubstr("InprocServer32"));
}

// --- bad workspace files ------------------------------------------------------------

struct BadFile {
    const char* name;
    const char* text;
    const char* place;  // line:column
    const char* message;
};

class BadWorkspaceTest : public HostProgramTest, public ::testing::WithParamInterface<BadFile> {};

TEST_P(BadWorkspaceTest, StopsBeforeAnythingRuns) {
    const BadFile& f = GetParam();
    Write("workspace.json", f.text);
    const Outcome run = RunScript("addin load\n", {"--out", Path("out.json").string()});
    EXPECT_EQ(run.exit, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, StartsWith("brindlemark-host: " + Path("workspace.json").string() + ":" + f.place + ": "));
    EXPECT_THAT(run.err, HasSubstr(f.message));
    EXPECT_EQ(Files(), (std::set<std::string>{"script.txt", "workspace.json"}));
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadWorkspaceTest,
    ::testing::Values(
        BadFile{"NotJson", "{ \"documents\": [ }", "1:18", "expected a value"},
        BadFile{"UnknownKind", "{ \"documents\": [\n  { \"file\": \"a.ipt\", \"kind\": \"sketch\" } ] }", "2:30",
                "\"part\", \"assembly\", \"drawing\" or \"presentation\""},
        BadFile{"IntegerBeyond32Bits",
                "{ \"documents\": [ { \"file\": \"a.ipt\",\n  \"properties\": [ { \"name\": \"N\", \"type\": "
                "\"integer\", \"value\": 4294967296 } ] } ] }",
                "2:62", "4294967296"},
        BadFile{"NoSuchDate",
                "{ \"documents\": [ { \"file\": \"a.ipt\", \"properties\": [\n  { \"name\": \"N\", \"type\": \"date\", "
                "\"value\": \"2024-13-01\" } ] } ] }",
                "2:43", "2024-13-01"},
        BadFile{"SameFileTwice", "{ \"documents\": [ { \"file\": \"a.ipt\" },\n { \"file\": \"a.ipt\" } ] }", "2:12",
                "once"},
        BadFile{"MisspeltField", "{ \"documents\": [ { \"file\": \"a.ipt\", \"propertys\": [] } ] }", "1:37",
                "unknown field \"propertys\""},
        BadFile{"ReferenceToItself", "{ \"documents\": [ { \"file\": \"a.idw\", \"references\": [\"a.idw\"] } ] }",
                "1:52", "not its own"},
        BadFile{"UnknownUnit", "{ \"documents\": [ { \"file\": \"a.ipt\", \"units\": { \"mass\": \"stone\" } } ] }",
                "1:56", "stone"}),
    CaseName());

TEST_F(HostProgramTest, MissingWorkspaceIsABadFile) {
    const Outcome run = Run({"--registry", Registry().string(), Path("nowhere.json").string()});
    EXPECT_EQ(run.exit, 2);
    EXPECT_THAT(run.err, StartsWith("brindlemark-host: " + Path("nowhere.json").string() + ": "));
    EXPECT_TRUE(Files().empty());
}

// --- bad script lines ---------------------------------------------------------------

struct BadLine {
    const char* name;
    const char* script;
    int line;
    const char* message;
};

class BadScriptTest : public HostProgramTest, public ::testing::WithParamInterface<BadLine> {};

TEST_P(BadScriptTest, StopsBeforeAnythingRuns) {
    const BadLine& b = GetParam();
    const Outcome run = RunScript(b.script, {"--out", Path("out.json").string()});
    EXPECT_EQ(run.exit, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err,
                StartsWith("brindlemark-host: " + Path("script.txt").string() + ":" + std::to_string(b.line) + ": "));
    EXPECT_THAT(run.err, HasSubstr(b.message));
    // Not even the add-in's registration, which the first step would write.
    EXPECT_EQ(Files(), (std::set<std::string>{"script.txt", "workspace.json"}));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadScriptTest,
    ::testing::Values(
        BadLine{"UnknownStep", "addin load\n\n# fine so far\nfrobnicate\n", 4, "unknown step 'frobnicate'"},
        BadLine{"AddInWithoutLoad", "addin start\n", 1, "addin takes load or unload, not 'start'"},
        BadLine{"NoSuchDocument", "open Nowhere.ipt\n", 1, "no document 'Nowhere.ipt' in the workspace"},
        BadLine{"UnresolvedReferenceOpened", "show /w/Gone.ipt\n", 1,
                "/w/Gone.ipt is an unresolved reference of Lost.idw"},
        BadLine{"CommandWord", "command frob\n", 1, "command takes options, copy or a command number"},
        BadLine{"NoDialogKind", "expect window ok\naddin load\n", 1, "no dialog kind 'window'"},
        BadLine{"RowNotANumber", "expect files toggle x ok\ncommand copy\n", 1, "'x' is not a row number"},
        BadLine{"RowZero", "expect files select 1,0 ok\ncommand copy\n", 1, "'0' is not a row number"},
        BadLine{"DialogLeftOpen", "expect files toggle 2\ncommand copy\n", 1, "must be closed at the end"},
        BadLine{"ActionAfterClosing", "expect files ok toggle 2\ncommand copy\n", 1,
                "'ok' closes the selection dialog, but actions follow it"},
        BadLine{"FlagOutOfRange", "expect options set Mass 2 ok\ncommand options\n", 1,
                "Mass takes 0 (clear) or 1 (ticked), not '2'"},
        BadLine{"PrecisionOutOfRange", "expect options set MassPrec 9 ok\ncommand options\n", 1,
                "MassPrec takes a precision from 0 to 8"},
        BadLine{"NoSuchSetting", "expect options set Colour 1 ok\ncommand options\n", 1, "no setting 'Colour'"},
        BadLine{"UnknownMenuTool", "expect files menu miEPaste ok\ncommand copy\n", 1,
                "no menu entry 'miEPaste'; the entries are miEClear, "},
        BadLine{"ActionOfAnotherDialog", "expect about toggle 1 ok\ncommand options\n", 1,
                "the About box has no action 'toggle'"},
        BadLine{"ExpectationNothingCanUse", "addin load\nexpect options ok\nshow Plate.idw\n", 2,
                "no step after it can open the dialog"},
        BadLine{"WordsLeftOver", "settings now\n", 1, "'settings' takes nothing more, but 'now' follows"}),
    CaseName());

// --- version --------------------------------------------------------------------------

// The version comes from the build; it needs no workspace and runs nothing.
TEST_F(HostProgramTest, VersionAndHelpNameTheBuildsVersion) {
    const std::string line = "brindlemark-host " BM_VERSION_TEXT " (Brindlemark by Quillfern)\n";
    const Outcome version = Run({"--version"});
    EXPECT_EQ(version.exit, 0) << version.err;
    EXPECT_EQ(version.out, line + BM_COPYRIGHT "\n");
    const Outcome help = Run({"--help"});
    EXPECT_EQ(help.exit, 0) << help.err;
    EXPECT_THAT(help.out, StartsWith(line + "Usage: brindlemark-host"));
    EXPECT_EQ(Run({"--version=now"}).exit, 2);
    EXPECT_TRUE(Files().empty());
}

// --- bad usage ------------------------------------------------------------------------

struct BadUsage {
    const char* name;
    std::vector<std::string> args;
    const char* message;
};

class UsageTest : public HostProgramTest, public ::testing::WithParamInterface<BadUsage> {};

TEST_P(UsageTest, ExitsWithTwoAndSaysWhy) {
    Write("workspace.json", kWorkspace);
    std::vector<std::string> args;
    for (const auto& a : GetParam().args) args.push_back(a == "WS" ? Path("workspace.json").string() : a);
    const Outcome run = Run(args, "addin load\n");
    EXPECT_EQ(run.exit, 2);
    EXPECT_THAT(run.err, HasSubstr(GetParam().message));
    EXPECT_EQ(Files(), (std::set<std::string>{"workspace.json"}));
}

INSTANTIATE_TEST_SUITE_P(
    Options, UsageTest,
    ::testing::Values(BadUsage{"NoWorkspace", {}, "no workspace file given"},
                      BadUsage{"UnknownOption", {"--frob", "WS"}, "unknown option --frob"},
                      BadUsage{"TwoWorkspaces", {"WS", "other.json"}, "one workspace at a time"},
                      BadUsage{"OutAndSave", {"--out", "x.json", "--save", "WS"}, "give one"},
                      BadUsage{"VersionNotANumber", {"--host-version", "five", "WS"}, "whole number"},
                      BadUsage{"NegativeVersion", {"--host-version=-1", "WS"}, "whole number"},
                      BadUsage{"MissingValue", {"WS", "--script"}, "--script needs a value"},
                      BadUsage{"NoOutputFolder", {"--out", "/nonexistent/folder/x.json", "WS"}, "no folder"},
                      BadUsage{"ScriptNotThere", {"--script", "/nonexistent/script.txt", "WS"},
                               "cannot read the script"},
                      // Files that are not files: read, they would never end or run nothing.
                      BadUsage{"ScriptIsADevice", {"--script", "/dev/zero", "WS"}, "/dev/zero: is not a regular file"},
                      BadUsage{"ScriptIsAFolder", {"--script", "/", "WS"}, "/: is a folder, not a file"},
                      BadUsage{"WorkspaceIsADevice", {"/dev/zero"}, "/dev/zero: is not a regular file"},
                      BadUsage{"EmptyRegistryName", {"--registry", "", "WS"}, "not an empty text"},
                      // Dialogs are windows only on Windows; here nothing could be pictured.
                      BadUsage{"ScreenshotWithoutWindows", {"--screenshot", "pictures", "WS"},
                               "only the Windows workbench shows"}),
    CaseName());

TEST_F(HostProgramTest, CorruptRegistryStoreIsABadFile) {
    Write("registry.reg", "this is no registry file\n");
    const Outcome run = RunScript("addin load\n");
    EXPECT_EQ(run.exit, 2);
    // Said once, by the program, not again by the store.
    EXPECT_EQ(run.err, "brindlemark-host: the registry store " + Registry().string() +
                           " cannot be used: line 1: expected the first line to read \"Windows Registry Editor "
                           "Version 5.00\"\n");
    EXPECT_EQ(Read(Registry()), "this is no registry file\n");
}

// The registry, the workspace, the script, then where output goes: the
// first bad one is the only one said, and nothing runs.
TEST_F(HostProgramTest, OnlyTheFirstBadInputIsSaid) {
    Write("registry.reg", "this is no registry file\n");
    Write("workspace.json", "{ \"documents\": [ }");
    const fs::path out = Path("missing") / "out.json";
    struct Round {
        const char* script;
        std::string said;
    };
    const Round rounds[] = {
        {"frobnicate\n", "the registry store " + Registry().string() + " cannot be used: line 1: "},
        {"frobnicate\n", Path("workspace.json").string() + ":1:18: "},
        {"frobnicate\n", Path("script.txt").string() + ":1: "},
        {"addin load\n", "cannot write " + out.string() + ": no folder " + Path("missing").string() + "\n"},
    };
    for (const Round& round : rounds) {
        const Outcome run = RunScript(round.script, {"--out", out.string()});
        EXPECT_EQ(run.exit, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_THAT(run.err, StartsWith("brindlemark-host: " + round.said));
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        // Mended for the next round: a missing store is an empty one, and
        // the workspace goes once it is the bad one (a good one is written).
        fs::remove(Registry());
        if (&round == &rounds[1]) fs::remove(Path("workspace.json"));
    }
    EXPECT_EQ(Files(), (std::set<std::string>{"script.txt", "workspace.json"}));
}

// What the user made read-only stays as it is, even for a process the
// system would let replace it, and the session says so.
TEST_F(HostProgramTest, ReadOnlyFilesAreNotReplaced) {
    Write("workspace.json", kWorkspace);
    fs::permissions(Path("workspace.json"), fs::perms::owner_read);
    const Outcome save = Run({"--registry", Registry().string(), "--save", Path("workspace.json").string()}, "");
    EXPECT_EQ(save.exit, 2);
    EXPECT_EQ(save.err, "brindlemark-host: cannot write " + Path("workspace.json").string() + ": it is read-only\n");

    const Outcome first = RunScript("addin load\naddin unload\n");
    ASSERT_EQ(first.exit, 0) << first.err;
    const std::string stored = Read(Registry());
    fs::permissions(Registry(), fs::perms::owner_read);
    const Outcome change =
        RunScript("addin load\nexpect options set MassPrec 5 ok\ncommand options\naddin unload\n");
    EXPECT_EQ(Read(Registry()), stored);
    EXPECT_EQ(change.exit, 1);
    EXPECT_EQ(change.err, "brindlemark-host: the registry store " + Registry().string() +
                              " is read-only; settings changed in this session are not saved\n");

    // A store that cannot take the add-in's registration: the refusal says why.
    fs::permissions(Registry(), fs::perms::owner_read | fs::perms::owner_write);
    Write(Registry().filename().string(), "Windows Registry Editor Version 5.00\n\n");
    fs::permissions(Registry(), fs::perms::owner_read);
    const Outcome unregistered = RunScript("addin load\n");
    EXPECT_EQ(unregistered.exit, 1);
    EXPECT_THAT(unregistered.err,
                HasSubstr("refused to register: the registry store " + Registry().string() + " is read-only\n"));
}

}  // namespace
}  // namespace bm::workbench::testing
