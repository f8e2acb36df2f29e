#pragma once

// Runs the built brindlemark-host as a person or a script would: in a
// scratch folder of its own, with a registry store there, and with what
// it prints kept for the test to read.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace bm::workbench::testing {

// RunOnTerminal's exit code when the machine gives no pseudo-terminal.
inline constexpr int kNoTerminal = -2;

struct Outcome {
    int exit = -1;
    std::string out;
    std::string err;
};

// A test workspace with every property type. Rows of the selection dialog
// for Plate.idw: 1 Plate, 2 Part No, 3 Rev, 4 Gauge, 5 Frame, 6 Project,
// 7 Checked, 8 Due.
inline constexpr const char* kWorkspace = R"({
  "hostVersion": 5,
  "documents": [
    { "file": "/w/Plate.ipt", "kind": "part", "name": "Plate",
      "units": { "mass": "kg", "length": "mm" },
      "mass": { "mass": 2000.0, "area": 100.0, "volume": 50.0 },
      "properties": [ { "name": "Part No", "type": "text", "value": "PL-1" },
                      { "name": "Rev", "type": "integer", "value": 7 },
                      { "name": "Gauge", "type": "double", "value": 1.5 } ] },
    { "file": "/w/Frame.iam", "kind": "assembly", "name": "Frame",
      "properties": [ { "name": "Project", "type": "text", "value": "Gate" },
                      { "name": "Checked", "type": "boolean", "value": true },
                      { "name": "Due", "type": "date", "value": "2024-06-30" } ] },
    { "file": "/w/Plate.idw", "kind": "drawing", "name": "Plate.idw",
      "properties": [ { "name": "Drawn By", "type": "text", "value": "R. Reader" } ],
      "references": [ "/w/Plate.ipt", "/w/Frame.iam" ] },
    { "file": "/w/Lost.idw", "kind": "drawing", "name": "Lost.idw",
      "references": [ "/w/Gone.ipt" ] }
  ]
})";

// Options that leave only the chosen properties to copy: no copy on
// activation, the selection dialog on, no physical properties.
inline constexpr const char* kPickWithoutPhysical =
    "expect options set UpdateOnActivate 0 set SelectProps 1 set Mass 0 set Area 0 set Volume 0 ok\n"
    "command options\n";

class HostProgramTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes a file in the scratch folder and returns its path.
    std::filesystem::path Write(const std::string& name, const std::string& text);
    std::string Read(const std::filesystem::path& file) const;
    std::filesystem::path Path(const std::string& name) const { return dir_ / name; }
    // The registry store every run uses unless told otherwise.
    std::filesystem::path Registry() const { return dir_ / "registry.reg"; }
    // Writes that store with `values` (lines of the export format) as the
    // stored settings.
    void StoreSettings(const std::string& values);

    // Runs the program with `args` and `input` on its standard input.
    Outcome Run(const std::vector<std::string>& args, const std::string& input = "") const;
    // A run that goes on while the test does something else: started with
    // its output kept under `name`, then finished (waited for).
    struct Running {
        int pid;
        std::filesystem::path out, err;
    };
    // `inputFd`, when given, is standard input instead of `input`.
    Running Start(const std::vector<std::string>& args, const std::string& name, const std::string& input = "",
                  int inputFd = -1) const;
    // The same with standard input a pipe whose writing end is `feed`.
    Running StartFed(const std::vector<std::string>& args, const std::string& name, int& feed) const;
    // Waits until the process `pid` has a handler for `signal`.
    static bool Catches(int pid, int signal);
    Outcome Finish(const Running& run) const;
    // Runs a script file on the test workspace with the scratch registry.
    Outcome RunScript(const std::string& script, std::vector<std::string> extra = {});
    // Runs the program on a pseudo-terminal, typing `input`.
    Outcome RunOnTerminal(const std::vector<std::string>& args, const std::string& input) const;

    // The names of the files in the scratch folder.
    std::set<std::string> Files() const;
    // The same without the registry store and whatever it keeps beside it.
    std::set<std::string> FilesBesideTheStore() const;

    std::filesystem::path dir_;
    std::filesystem::path io_;  // the program's captured output, kept apart
};

// Names parameterised cases by their `name` field.
struct CaseName {
    template <class P>
    std::string operator()(const ::testing::TestParamInfo<P>& tested) const {
        return tested.param.name;
    }
};

// The property names of a document in a workspace file, in order.
std::vector<std::string> PropertyNames(const std::filesystem::path& workspace, const std::string& file);

}  // namespace bm::workbench::testing
