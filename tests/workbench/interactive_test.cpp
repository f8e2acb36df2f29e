// The program used by hand: steps typed at a prompt, and each dialog put
// to the person as text.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host_program.h"

namespace bm::workbench::testing {
namespace {

using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;

class InteractiveTest : public HostProgramTest {
protected:
    Outcome Type(const std::string& input) {
        Write("workspace.json", kWorkspace);
        return Run({"--interactive", "--registry", Registry().string(), Path("workspace.json").string()}, input);
    }
};

TEST_F(InteractiveTest, OptionsDialogIsATextForm) {
    const Outcome run = Type(
        "addin load\n"
        "command options\n"
        "set MassPrec 4\n"
        "set Bogus 1\n"
        "set SelectProps 1\n"
        "set copymass 0\n"  // the name the registry and the docs give it
        "ok\n"
        "settings\n"
        "command options\n"
        "cancel\n"
        "quit\n");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_THAT(run.out, ContainsRegex("  MassPrec \\(MassPrecision\\) +1 +Precision\n"));  // as the dialog opened
    EXPECT_THAT(run.out, HasSubstr("no setting 'Bogus'; the settings are UpdateOnActivate, "));
    EXPECT_THAT(run.out, HasSubstr("Mass (CopyMass)  [ ]  Copy Mass\n"));
    EXPECT_THAT(run.out, HasSubstr("  OK wrote the fourteen settings into the add-in: SelectProps 0 -> 1, Mass 1 -> 0, "
                                   "MassPrec 1 -> 4\n"));
    EXPECT_THAT(run.out, ContainsRegex("\n  MassPrec \\(MassPrecision\\) +4 +Mass: Precision\n"));
    EXPECT_THAT(run.out, ContainsRegex("\n  SelectProps +1 "));
    EXPECT_THAT(run.out, HasSubstr("  the options dialog is closed: nothing written, the add-in keeps its settings"));
}

// An activation that fails after the add-in made its commands (a stored
// setting that is no number ends the settings load) leaves none behind, so
// a retry does not show a second set.
TEST_F(InteractiveTest, FailedActivationLeavesNoCommands) {
    StoreSettings("\"CopyMass\"=\"plenty\"\n");
    const Outcome run = Type("addin load\ncommands\naddin load\ncommands\nquit\n");
    EXPECT_EQ(run.exit, 1);
    EXPECT_THAT(run.err, HasSubstr("type mismatch: \"plenty\" is not a number"));
    EXPECT_THAT(run.out, Not(HasSubstr("Copy Custom Properties")));
}

TEST_F(InteractiveTest, SelectionDialogIsANumberedOutlineWithItsMenu) {
    const Outcome run = Type(
        "addin load\n"
        "command options\nset UpdateOnActivate 0\nset SelectProps 1\nset Mass 0\nset Area 0\nset Volume 0\nok\n"
        "open Plate.idw\n"
        "command copy\n"
        "toggle 2\n"      // folded away: refused, the dialog stays
        "menu\n"
        "7\n"             // Expand All
        "select 2, 3\n"   // blanks after the commas, as a person types them
        "menu\n"
        "9\n"             // no such entry: asked again
        "Remove\n"        // not a number or tool name: asked again
        "1\n"             // Remove
        "ok\n"
        "show Plate.idw\n"
        "quit\n");
    EXPECT_EQ(run.exit, 0) << run.err;
    EXPECT_THAT(run.out, HasSubstr("     1 [x] + Plate  (part)\n     5 [x] + Frame  (assembly)\n"));
    EXPECT_THAT(run.out, HasSubstr("row 2 is folded away"));
    EXPECT_THAT(run.out, ContainsRegex("    3  Add  \\(miEAdd\\)  greyed out\n"));
    EXPECT_THAT(run.out, HasSubstr(" *   2 [ ]     Part No\n>*   3 [ ]     Rev\n"));
    EXPECT_THAT(run.out, HasSubstr("  no entry '9': type a number from 1 to 7 or a tool name\n"));
    EXPECT_THAT(run.out, HasSubstr("Plate.idw (drawing, /w/Plate.idw): 5 custom properties"));
    EXPECT_THAT(run.out, ContainsRegex("\n  Gauge +double +1.5\n"));
}

TEST_F(InteractiveTest, EndOfInputClosesTheDialogWithoutWriting) {
    const Outcome run = Type("addin load\ncommand options\nset MassPrec 6\n");
    EXPECT_EQ(run.exit, 0) << run.err;
    // The host unloads the add-in as it closes, which saves what it holds.
    EXPECT_THAT(Read(Registry()), HasSubstr("\"MassPrecision\"=dword:00000001"));
}

TEST_F(InteractiveTest, FailedStepsAreReportedAndTheSessionGoesOn) {
    const Outcome run = Type("command copy\nopen Nowhere\naddin load\ncommands\nfrob\nhelp\nhelp expect\n");
    EXPECT_EQ(run.exit, 1);
    EXPECT_THAT(run.err, HasSubstr("refused: the host has no command 2: the add-in is not loaded ('addin load' "));
    EXPECT_THAT(run.err, HasSubstr("unknown step 'frob'; expected addin, open, show, command, commands, settings, "
                                   "registry, calls, batch or expect; help lists them, quit ends the session\n"));
    // help lists the steps and how to leave; help expect what each dialog takes.
    EXPECT_THAT(run.out, HasSubstr("\n  quit                     end the session: the add-in is unloaded"));
    EXPECT_THAT(run.out, HasSubstr("\n  expect files (the selection dialog):\n    toggle ROW "));
    EXPECT_THAT(run.err, HasSubstr("no document 'Nowhere'"));
    EXPECT_THAT(run.out, ContainsRegex("1 +Options +enabled"));
}

TEST_F(InteractiveTest, TerminalOnStandardInputMeansInteractive) {
    Write("workspace.json", kWorkspace);
    const Outcome run = RunOnTerminal({"--registry", Registry().string(), Path("workspace.json").string()},
                                      "addin load\nquit\n");
    if (run.exit == kNoTerminal) GTEST_SKIP() << "no pseudo-terminal on this machine";
    EXPECT_EQ(run.exit, 0) << run.out;
    EXPECT_THAT(run.out, HasSubstr("host> "));
    EXPECT_THAT(run.out, HasSubstr("the add-in is active"));
}

// At a terminal lines are edited: Tab completes a document, a step, a
// command or a setting, Up recalls the line before, and Ctrl-D in a dialog
// closes that dialog only. Ctrl-C drops the line being typed, at the
// host's prompt and in a dialog; twice on an empty line it ends the session
// as quit does: the add-in is unloaded, so the setting changed in the
// dialog is saved, and --out is written.
TEST_F(InteractiveTest, TerminalEditsCompletesRecallsAndCancelsLines) {
    Write("workspace.json", kWorkspace);
    const Outcome run = RunOnTerminal({"--registry", Registry().string(), "--out", Path("out.json").string(),
                                       Path("workspace.json").string()},
                                      "show Fr\t\n"
                                      "addin lo\t\n"
                                      "settings\n"
                                      "command op\t\n"
                                      "set MassP\t 4\n"
                                      "\x04"
                                      "\x1b[A\x1b[A\x1b[A\n"
                                      "command options\n"
                                      "set MassPrec 6\n"
                                      "set Sel\x03"
                                      "ok\n"
                                      "show Pla\x03"
                                      "\x03"
                                      "\x03");
    if (run.exit == kNoTerminal) GTEST_SKIP() << "no pseudo-terminal on this machine";
    EXPECT_EQ(run.exit, 0) << run.out;
    // Each place in the line completes what may come there.
    EXPECT_THAT(run.out, HasSubstr("Frame (assembly, /w/Frame.iam): 3 custom properties"));
    EXPECT_THAT(run.out, HasSubstr("the add-in is active"));
    // Only the changed setting is shown again.
    EXPECT_THAT(run.out, HasSubstr("  MassPrec (MassPrecision)   4  Precision"));
    // The dialog closed without writing; the session went on, twice.
    const auto first = run.out.find("Mass: Precision");
    ASSERT_NE(first, std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Mass: Precision", first + 1), std::string::npos) << run.out;
    EXPECT_THAT(run.out, ContainsRegex("MassPrec \\(MassPrecision\\) +1 +Mass: Precision"));

    EXPECT_THAT(run.out, HasSubstr("options> set Sel^C\r\noptions> "));
    EXPECT_THAT(run.out, HasSubstr("MassPrec 1 -> 6"));
    EXPECT_THAT(run.out, HasSubstr("host> show Pla^C\r\nhost> ^C\r\n  (Ctrl-C again, Ctrl-D or quit ends the session"));
    EXPECT_THAT(run.out, Not(HasSubstr("Plate.idw (drawing")));
    EXPECT_THAT(run.out, HasSubstr("end of session: the host unloads the add-in"));
    EXPECT_THAT(run.out, HasSubstr("wrote " + Path("out.json").string()));
    EXPECT_THAT(Read(Registry()), HasSubstr("\"MassPrecision\"=dword:00000006"));
    EXPECT_TRUE(std::filesystem::exists(Path("out.json")));
}

// A hidden failure holds --out back. At the terminal the person hears so
// when it happens and decides at the end; a script is not asked.
TEST_F(InteractiveTest, HeldBackOutputIsTheChoiceOfThePerson) {
    Write("workspace.json", kWorkspace);
    for (const std::string answer : {"yes", "no"}) {
        const Outcome run = Run({"--interactive", "--registry", Registry().string(), "--out",
                                 Path("out.json").string(), Path("workspace.json").string()},
                                "addin load\nopen Lost.idw\nquit\n" + answer + "\n");
        EXPECT_EQ(run.exit, 3) << run.err;
        EXPECT_THAT(run.out, HasSubstr("(FileRefDocument); the add-in stopped there and hid the failure, so this step "
                                       "may be half done\n  " + Path("out.json").string() +
                                       " is held back from here on"));
        EXPECT_THAT(run.out, HasSubstr(Path("out.json").string() + " is held back: the add-in hid a failed host call "
                                       "(see the warning above).\nWrite it all the same? (yes/no) "));
        EXPECT_EQ(std::filesystem::exists(Path("out.json")), answer == "yes") << answer;
        if (answer == "no") {
            EXPECT_THAT(run.err, HasSubstr("not written: the add-in hid a failed host call"));
        }
        std::filesystem::remove(Path("out.json"));
    }
}

}  // namespace
}  // namespace bm::workbench::testing
