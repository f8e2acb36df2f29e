// Scripted sessions as a person testing the add-in runs them: dialogs
// answered from the script, the copy's results read back from --out, and
// each way a step can fail.

#include <signal.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "host_program.h"

namespace bm::workbench::testing {
namespace {

using ::testing::ContainsRegex;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// --- the selection dialog ---------------------------------------------------

struct Selection {
    const char* name;
    const char* actions;  // what the person does in the selection dialog
    std::vector<std::string> copied;
};

class SelectionDialogTest : public HostProgramTest, public ::testing::WithParamInterface<Selection> {};

TEST_P(SelectionDialogTest, CopiesWhatStaysChecked) {
    const Selection& s = GetParam();
    const Outcome run = RunScript(std::string("addin load\n") + kPickWithoutPhysical +
                                      "open Plate.idw\n"
                                      "expect files " + s.actions + "\n"
                                      "command copy\n",
                                  {"--out", Path("out.json").string()});
    ASSERT_EQ(run.exit, 0) << run.err;
    std::vector<std::string> expected{"Drawn By"};
    expected.insert(expected.end(), s.copied.begin(), s.copied.end());
    EXPECT_THAT(PropertyNames(Path("out.json"), "/w/Plate.idw"), ElementsAreArray(expected)) << run.out;
}

const std::vector<std::string> kAll{"Part No", "Rev", "Gauge", "Project", "Checked", "Due"};

INSTANTIATE_TEST_SUITE_P(
    Gestures, SelectionDialogTest,
    ::testing::Values(Selection{"OkCopiesEveryRow", "ok", kAll},
                      Selection{"EnterActsAsOk", "enter", kAll},
                      Selection{"CancelCopiesNothing", "cancel", {}},
                      Selection{"EscapeCopiesNothing", "escape", {}},
                      Selection{"CloseBoxCopiesNothing", "close", {}},
                      Selection{"ModelRowUnchecksItsProperties", "toggle 1 ok", {"Project", "Checked", "Due"}},
                      Selection{"OnePropertyAfterUnfolding", "expand 1 toggle 3 ok",
                                {"Part No", "Gauge", "Project", "Checked", "Due"}},
                      Selection{"RemoveAllThenAddOne",
                                "menu miEClearAll menu miEExpand select 7 menu miEAdd ok", {"Checked"}},
                      Selection{"RemoveSelectedRows", "menu miEExpand select 2,6 menu miEClear ok",
                                {"Rev", "Gauge", "Checked", "Due"}},
                      Selection{"FullPathsLeaveTheRowsAlone", "menu miEName menu miEName menu miEName ok", kAll},
                      // expand and collapse alone are Expand All and Collapse All.
                      Selection{"ExpandAloneAndRowsWithBlanks", "expand select 3, 7 menu miEClear ok",
                                {"Part No", "Gauge", "Project", "Due"}},
                      Selection{"ToolNamesInAnyCase", "menu MIECLEARALL collapse expand select 7 menu mieadd ok",
                                {"Checked"}}),
    CaseName());

TEST_F(HostProgramTest, CopiedPropertiesKeepTheirTypesInTheSavedWorkspace) {
    const Outcome run = RunScript(std::string("addin load\n") + kPickWithoutPhysical +
                                      "open Plate.idw\nexpect files ok\ncommand copy\n",
                                  {"--out", Path("out.json").string()});
    ASSERT_EQ(run.exit, 0) << run.err;
    std::ifstream in(Path("out.json"));
    const auto json = nlohmann::json::parse(in);
    nlohmann::json drawing;
    for (const auto& d : json.at("documents"))
        if (d.at("file") == "/w/Plate.idw") drawing = d;
    const auto props = drawing.at("properties");
    ASSERT_EQ(props.size(), 7u);
    EXPECT_EQ(props[2], nlohmann::json::parse(R"({"name":"Rev","type":"integer","value":7})"));
    EXPECT_EQ(props[3], nlohmann::json::parse(R"({"name":"Gauge","type":"double","value":1.5})"));
    EXPECT_EQ(props[5], nlohmann::json::parse(R"({"name":"Checked","type":"boolean","value":true})"));
    EXPECT_EQ(props[6], nlohmann::json::parse(R"({"name":"Due","type":"date","value":"2024-06-30"})"));
}

TEST_F(HostProgramTest, ShowPrintsNameTypeAndValueAfterThePlainCopy) {
    const Outcome run = RunScript("addin load\nopen Plate.idw\ncommand copy\nshow Plate.idw\n");
    ASSERT_EQ(run.exit, 0) << run.err;
    // Copied again, nothing changes, and the step says so.
    EXPECT_THAT(run.out, HasSubstr("> command copy\n  the copy changed nothing: no property was added, changed or "
                                   "erased\n\n> show"));
    // Opening the drawing copies everything (the first-run settings), the
    // six physical properties included.
    EXPECT_THAT(run.out, HasSubstr("Plate.idw (drawing, /w/Plate.idw): 13 custom properties"));
    EXPECT_THAT(run.out, ::testing::ContainsRegex("\n  Rev +integer +7\n"));
    EXPECT_THAT(run.out, ::testing::ContainsRegex("\n  Due +date +2024-06-30\n"));
    EXPECT_THAT(run.out, ::testing::ContainsRegex("\n  Model_Mass_Value +text +2\\.0\n"));
    EXPECT_THAT(run.out, ::testing::ContainsRegex("\n  Model_Volume_Units +text +mm\\^3\n"));
}

// --- settings through the options dialog and the registry ---------------------

TEST_F(HostProgramTest, OptionsReachTheRegistryWhenTheAddInIsUnloaded) {
    const Outcome first = RunScript(
        "addin load\n"
        "expect options set MassPrec 3 set EraseFirst 1 ok\n"
        "command options\n"
        "registry\n"
        "addin unload\n"
        "registry\n");
    ASSERT_EQ(first.exit, 0) << first.err;
    const auto unloaded = first.out.find("> addin unload");
    ASSERT_NE(unloaded, std::string::npos);
    EXPECT_THAT(first.out.substr(0, unloaded), HasSubstr("no such key yet"));
    EXPECT_THAT(first.out.substr(unloaded), HasSubstr("\"MassPrecision\"=dword:00000003"));
    EXPECT_THAT(first.out.substr(unloaded), HasSubstr("\"EraseFirst\"=dword:00000001"));

    // A later session with the same store starts from them; Cancel keeps them.
    const Outcome second = RunScript("addin load\nexpect options set MassPrec 5 cancel\ncommand options\nsettings\n");
    ASSERT_EQ(second.exit, 0) << second.err;
    EXPECT_THAT(second.out, ::testing::ContainsRegex("\n  MassPrec \\(MassPrecision\\) +3 "));
    EXPECT_THAT(second.out, ::testing::ContainsRegex("\n  EraseFirst +1 "));
}

// A stored value no control of the options dialog can show: the add-in
// refuses the dialog as it must, and the session says which setting it is
// and how to change it.
TEST_F(HostProgramTest, StoredSettingTheDialogCannotShowIsNamed) {
    StoreSettings("\"MassPrecision\"=dword:00000063\n\"EraseFirst\"=dword:00000007\n");
    const Outcome run = RunScript("addin load\nexpect options ok\ncommand options\n");
    EXPECT_EQ(run.exit, 1);
    EXPECT_THAT(run.err, HasSubstr(":3: command options: invalid property value: "));
    EXPECT_THAT(run.out, HasSubstr("> command options\n  EraseFirst is 7, which the options dialog cannot show (it "
                                   "takes 0 or 1). To change it: addin unload, set \"EraseFirst\" to a dword of 0 or "
                                   "1 in the registry store " + Registry().string() + ", then addin load\n  MassPrec "
                                   "(MassPrecision) is 99, which the options dialog cannot show (it takes 0 to 8)."));
}

TEST_F(HostProgramTest, AboutBoxOpensFromTheOptionsDialog) {
    const Outcome run = RunScript(
        "addin load\n"
        "expect options about ok\n"
        "expect about mail ok\n"
        "command options\n");
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("opened the link mailto:"));
}

// --- the host version ----------------------------------------------------------

struct Version {
    const char* name;
    int workspaceVersion;
    const char* option;  // --host-version, or "" for none
    bool refused;
};

class HostVersionTest : public HostProgramTest, public ::testing::WithParamInterface<Version> {};

TEST_P(HostVersionTest, OnlyVersionFiveKeepsTheAddIn) {
    const Version& v = GetParam();
    std::string workspace = kWorkspace;
    workspace.replace(workspace.find("\"hostVersion\": 5"), 16,
                      "\"hostVersion\": " + std::to_string(v.workspaceVersion));
    Write("workspace.json", workspace);
    std::vector<std::string> extra;
    if (*v.option) extra = {"--host-version", v.option};
    const Outcome run = RunScript(std::string(v.refused ? "expect message ok\n" : "") +
                                      "addin load\ncommands\naddin unload\nregistry\n",
                                  extra);
    ASSERT_EQ(run.exit, 0) << run.err;
    if (v.refused) {
        EXPECT_THAT(run.out, HasSubstr("message box \"Brindlemark\" (exclamation):\n  | This Add-In requires that\n"));
        EXPECT_THAT(run.out, HasSubstr("the add-in switched itself off: the host deactivated and released it"));
        EXPECT_THAT(run.out, HasSubstr("The host has no commands from the add-in."));
        EXPECT_THAT(run.out, HasSubstr("the add-in is not loaded: nothing to do"));
        // Settings that were never loaded are not saved either.
        EXPECT_THAT(run.out, HasSubstr("no such key yet"));
    } else {
        EXPECT_THAT(run.out, Not(HasSubstr("message box")));
        EXPECT_THAT(run.out, ::testing::ContainsRegex("2 +Copy Custom Properties +greyed out"));
    }
}

INSTANTIATE_TEST_SUITE_P(Versions, HostVersionTest,
                         ::testing::Values(Version{"OptionSix", 5, "6", true}, Version{"OptionFour", 5, "4", true},
                                           Version{"WorkspaceSix", 6, "", true},
                                           Version{"OptionFiveOverWorkspaceSix", 6, "5", false}),
                         CaseName());

// --- the unresolved reference ---------------------------------------------------

// The add-in's activation handler hides the failure, as it must; the host
// saw it and says so, and writes nothing half done unless forced.
TEST_F(HostProgramTest, UnresolvedReferenceFailsTheCommandButNotTheActivation) {
    const Outcome quiet = RunScript("addin load\nopen Lost.idw\nshow Lost.idw\n", {"--out", Path("out.json").string()});
    EXPECT_EQ(quiet.exit, 3) << quiet.err;
    EXPECT_THAT(quiet.out, HasSubstr("Lost.idw is the active document\n  warning: the drawing references /w/Gone.ipt, "
                                     "which is not in the workspace (FileRefDocument)"));
    EXPECT_THAT(quiet.out, HasSubstr("> show Lost.idw"));
    EXPECT_FALSE(std::filesystem::exists(Path("out.json")));
    EXPECT_THAT(quiet.err, HasSubstr("--force writes it"));
    const Outcome forced =
        RunScript("addin load\nopen Lost.idw\n", {"--out", Path("out.json").string(), "--force"});
    EXPECT_EQ(forced.exit, 3);
    EXPECT_TRUE(std::filesystem::exists(Path("out.json")));
    std::filesystem::remove(Path("out.json"));

    const Outcome failed = RunScript("addin load\nopen Lost.idw\ncommand copy\nshow Lost.idw\n",
                                     {"--out", Path("out.json").string()});
    EXPECT_EQ(failed.exit, 1);
    EXPECT_THAT(failed.err, StartsWith(Path("script.txt").string() + ":3: command copy: host failure: "));
    EXPECT_THAT(failed.err, HasSubstr("/w/Gone.ipt"));
    // The script stops at the failing step, and its output is not written.
    EXPECT_THAT(failed.out, Not(HasSubstr("> show Lost.idw")));
    EXPECT_FALSE(std::filesystem::exists(Path("out.json")));
    EXPECT_THAT(failed.err, HasSubstr("not written: a step failed"));
}

// SIGINT (Ctrl-C), SIGTERM or SIGHUP (the terminal closed) stops a script
// after the step it was running, and the session ends in order: the add-in is unloaded, which
// saves its settings, and nothing half done is written.
TEST_F(HostProgramTest, InterruptedScriptEndsInOrder) {
    Write("workspace.json", kWorkspace);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        int feed = -1;
        const Running host = StartFed({"--registry", Registry().string(), "--script", "-", "--out",
                                       Path("out.json").string(), Path("workspace.json").string()},
                                      "fed", feed);
        // The script is still being read when the signal comes.
        ASSERT_TRUE(Catches(host.pid, signal));
        const std::string script = "addin load\nexpect options set MassPrec 6 ok\ncommand options\n";
        ASSERT_EQ(write(feed, script.data(), script.size()), static_cast<ssize_t>(script.size()));
        kill(host.pid, signal);
        close(feed);
        const Outcome run = Finish(host);
        EXPECT_EQ(run.exit, 4) << run.err;
        const std::string name = signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "SIGHUP";
        EXPECT_THAT(run.err, HasSubstr(name +
                                       ": the script stops after line 1; the session ends in order\n"));
        EXPECT_THAT(run.out, HasSubstr("the add-in is active"));
        EXPECT_THAT(run.out, Not(HasSubstr("options dialog")));
        EXPECT_THAT(run.out, HasSubstr("end of session: the host unloads the add-in"));
        EXPECT_THAT(Read(Registry()), HasSubstr("\"MassPrecision\"=dword:00000001"));
        EXPECT_THAT(run.err, HasSubstr(Path("out.json").string() + " not written: the script was stopped half-way"));
        EXPECT_FALSE(std::filesystem::exists(Path("out.json")));
    }
}

// A store shared with another build names that build's library: this
// workbench registers its own again before loading, and says so.
TEST_F(HostProgramTest, StoreNamingAnotherLibraryIsRegisteredAgain) {
    ASSERT_EQ(RunScript("addin load\n").exit, 0);
    const std::filesystem::path ours = std::filesystem::path(BM_HOST_PROGRAM).parent_path() / "libbrindlemark5.so";
    const std::filesystem::path other = Path("other.so");
    std::filesystem::copy_file(ours, other);
    std::string store = Read(Registry());
    const auto at = store.find(ours.string());
    ASSERT_NE(at, std::string::npos) << store;
    Write("registry.reg", store.replace(at, ours.string().size(), other.string()));
    const Outcome run = RunScript("addin load\n");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("registered the add-in library " + ours.string() + " (the registry named " +
                                   other.string() + ")\n  the add-in is active (" + ours.string() + ")"));
}

// A batch copies into every drawing; one whose copy fails is left as it
// was, and only the others reach the output.
TEST_F(HostProgramTest, BatchCopiesEveryDrawingAndLeavesFailuresAsTheyWere) {
    Write("workspace.json", kWorkspace);
    const Outcome run = Run({"--batch", "--registry", Registry().string(), "--out", Path("out.json").string(),
                             Path("workspace.json").string()});
    EXPECT_EQ(run.exit, 1) << run.err;
    EXPECT_THAT(run.out, HasSubstr("  Plate.idw  12 added, 0 changed, 0 erased\n"
                                   "  Lost.idw   left as it was: host failure: the drawing references /w/Gone.ipt"));
    EXPECT_THAT(run.out, HasSubstr("  2 drawings: 1 copied, 1 failed\n"));
    const auto out = nlohmann::json::parse(Read(Path("out.json")));
    EXPECT_EQ(out["documents"][2]["properties"].size(), 13u);
    EXPECT_EQ(out["documents"][3].value("properties", nlohmann::json::array()).size(), 0u);
    EXPECT_THAT(run.out, Not(HasSubstr("timings:")));

    // --timings counts the calls of the batch alone, as the calls step does
    // around it.
    const Outcome timed = RunScript("addin load\ncalls\nbatch\ncalls\n", {"--timings", "--quiet"});
    const std::regex totals("Host calls: ([0-9]+)\n");
    std::vector<long long> calls;
    for (auto m = std::sregex_iterator(timed.out.begin(), timed.out.end(), totals); m != std::sregex_iterator(); ++m)
        calls.push_back(std::stoll((*m)[1]));
    ASSERT_EQ(calls.size(), 2u) << timed.out;
    EXPECT_THAT(timed.out, ContainsRegex("\n  timings: " + std::to_string(calls[1] - calls[0]) +
                                         " host calls, [0-9]+\\.[0-9]{3} s in the add-in, [0-9]+\\.[0-9]{2} us a host call\n"));

    const Outcome selecting = RunScript("addin load\n" + std::string(kPickWithoutPhysical) + "batch\n");
    EXPECT_EQ(selecting.exit, 1);
    EXPECT_THAT(selecting.err, HasSubstr("a batch copies every property, but SelectProps is on"));
}

// --- steps that fail --------------------------------------------------------------

struct Failure {
    const char* name;
    std::string script;
    int line;
    const char* kind;
    const char* message;
};

class StepFailureTest : public HostProgramTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(StepFailureTest, StopsWithTheLineTheKindAndTheReason) {
    const Failure& f = GetParam();
    const Outcome run = RunScript(f.script);
    EXPECT_EQ(run.exit, 1) << run.out;
    std::string step;
    std::istringstream lines(f.script);
    for (int i = 0; i < f.line; ++i) std::getline(lines, step);
    EXPECT_THAT(run.err, StartsWith(Path("script.txt").string() + ":" + std::to_string(f.line) + ": " + step + ": " +
                                    f.kind + ": "));
    EXPECT_THAT(run.err, HasSubstr(f.message));
}

// Lines 1 to 4: the copy command will open the selection dialog.
const std::string kPickSession =
    "addin load\n"
    "expect options set UpdateOnActivate 0 set SelectProps 1 ok\n"
    "command options\n"
    "open Plate.idw\n";

INSTANTIATE_TEST_SUITE_P(
    Steps, StepFailureTest,
    ::testing::Values(
        Failure{"DialogWithoutExpectation", "addin load\ncommand options\n", 2, "script",
                "the options dialog \"Brindlemark Options\" opened, but no 'expect options' line was waiting for it"},
        Failure{"DialogOfAnotherKind", "addin load\nexpect about ok\ncommand options\n", 3, "script",
                "the next expectation (line 2) is for the About box"},
        Failure{"NestedDialogWithoutExpectation", "addin load\nexpect options about ok\ncommand options\n", 3,
                "script", "the About box \"About Brindlemark\" opened, but no 'expect about' line"},
        Failure{"DialogDuringActivation",
                "addin load\nexpect options set SelectProps 1 ok\ncommand options\nopen Plate.idw\n", 4, "script",
                "the selection dialog \"Referenced Files\" opened, but no 'expect files' line"},
        Failure{"ExpectationNotUsedByTheNextStep", "addin load\nexpect files ok\nopen Plate.ipt\n", 3, "script",
                "the selection dialog expected at line 2 did not open"},
        Failure{"FoldedRow", kPickSession + "expect files toggle 2 ok\ncommand copy\n", 6, "script",
                "row 2 is folded away; unfold it first (expand 1, or menu miEExpand)"},
        Failure{"RowPastTheEnd", kPickSession + "expect files toggle 9 ok\ncommand copy\n", 6, "script",
                "row 9 does not exist: the list has 8 rows"},
        Failure{"GreyedOutMenuEntry", kPickSession + "expect files menu miEAdd ok\ncommand copy\n", 6, "script",
                "the menu entry \"Add\" (miEAdd) is greyed out"},
        Failure{"GreyedOutCommand", "addin load\ncommand copy\n", 2, "refused",
                "the command \"Copy Custom Properties\" is greyed out: the add-in enables it while a drawing is "
                "active; open one first"},
        Failure{"CommandGreyedAgainOnAPart", "addin load\nopen Plate.idw\nopen Plate.ipt\ncommand copy\n", 4,
                "refused", "is greyed out"},
        Failure{"UnknownCommand", "addin load\ncommand 7\n", 2, "refused",
                "the host has no command 7: there are 1 (Options), 2 (Copy Custom Properties)"},
        Failure{"CommandBeforeTheAddIn", "command options\n", 1, "refused",
                "the host has no command 1: the add-in is not loaded ('addin load' loads it and makes its commands)"},
        Failure{"CommandAfterUnload", "addin load\naddin unload\ncommand options\n", 3, "refused",
                "belongs to the add-in, which is not loaded ('addin load' loads it again)"},
        Failure{"SettingsWithoutTheAddIn", "settings\n", 1, "refused", "the add-in is not loaded"},
        Failure{"LoadedTwice", "addin load\naddin load\n", 2, "refused", "the add-in is already loaded"},
        Failure{"PhysicalPropertiesWithoutAModel", "addin load\nopen Lost.idw\ncommand copy\n", 3, "host failure",
                "Gone.ipt"}),
    CaseName());

TEST_F(HostProgramTest, MessageBoxWithoutExpectationFailsTheLoad) {
    const Outcome run = RunScript("addin load\n", {"--host-version", "6"});
    EXPECT_EQ(run.exit, 1);
    EXPECT_THAT(run.err, StartsWith(Path("script.txt").string() + ":1: addin load: script: the message box "
                                                                  "\"Brindlemark\" opened, but no 'expect message'"));
    // The text is shown all the same, as it appeared.
    EXPECT_THAT(run.out, HasSubstr("  | This Add-In requires that\n"));
}

// --- the bundled samples ----------------------------------------------------------

TEST_F(HostProgramTest, SampleSessionShowsTheDrawingBeforeAndAfterTheCopy) {
    const std::string samples = BM_SAMPLES_DIR;
    const Outcome run = Run({"--registry", Registry().string(), "--script", samples + "/session.txt",
                             samples + "/workspace.json"});
    ASSERT_EQ(run.exit, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const auto before = run.out.find("Bracket.idw (drawing, C:\\Work\\Bracket.idw): 2 custom properties");
    const auto after = run.out.find("Bracket.idw (drawing, C:\\Work\\Bracket.idw): 17 custom properties");
    ASSERT_NE(before, std::string::npos) << run.out;
    ASSERT_NE(after, std::string::npos) << run.out;
    EXPECT_LT(before, after);
    for (const char* name : {"Model_Mass_Value", "Model_Mass_Units", "Model_Area_Value", "Model_Area_Units",
                             "Model_Volume_Value", "Model_Volume_Units"})
        EXPECT_THAT(run.out.substr(after), HasSubstr(std::string("\n  ") + name + " ")) << name;
    EXPECT_THAT(run.out.substr(after), ::testing::ContainsRegex("\n  PART NUMBER +text +BR-100\n"));
}

TEST_F(HostProgramTest, SampleMissingReferenceEndsWithTheFailedCopy) {
    const std::string samples = BM_SAMPLES_DIR;
    const Outcome run = Run({"--registry", Registry().string(), "--script", samples + "/missing-reference.txt",
                             samples + "/workspace.json"});
    EXPECT_EQ(run.exit, 1);
    EXPECT_THAT(run.err, HasSubstr("command copy: host failure: "));
    EXPECT_THAT(run.out, HasSubstr("Pin.idw is the active document"));
}

}  // namespace
}  // namespace bm::workbench::testing
