// brindlemark-host: the CAD host simulated around the add-in. It loads a
// workspace of documents, loads the add-in as a plug-in by its class id,
// and plays a session script (or asks a person at the terminal).
//
// Exit codes: 0 every step ran; 1 a step failed; 2 bad usage or a bad
// file (workspace, script, registry store), found before anything ran;
// 3 every step ran, but the add-in hid a host failure in one; 4 SIGINT,
// SIGTERM or SIGHUP stopped a script, which then ended in order.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "brindlemark_version.h"
#include "workbench/host_face.h"
#include "workbench/interactive.h"
#include "workbench/interrupts.h"
#include "workbench/script.h"
#include "workbench/session.h"
#include "workbench/system.h"
#include "workbench/workbench_runtime.h"
#include "workbench/workspace/workspace.h"

namespace fs = std::filesystem;
using namespace bm::workbench;

namespace {

constexpr int kAllRan = 0;
constexpr int kStepFailed = 1;
constexpr int kBadInput = 2;
constexpr int kFailureHidden = 3;
constexpr int kInterrupted = 4;
constexpr const char* kProgram = "brindlemark-host";
// A session script is a page of steps; anything larger is not one.
constexpr std::uintmax_t kMaxScriptBytes = 1u << 20;

// The program and its version: the first line of --help and of --version.
const char* const kVersion = "brindlemark-host " BM_VERSION_TEXT " (" BM_PRODUCT " by " BM_COMPANY ")\n";

const char* const kUsage =
    "Usage: brindlemark-host [OPTIONS] WORKSPACE\n"
    "Plays the CAD host around the Brindlemark add-in: loads the documents of a\n"
    "workspace file, loads the add-in by its class id (registering it first, as an\n"
    "installer would), and runs a session script, or asks you step by step when\n"
    "standard input is a terminal and no script is given.\n"
    "\n"
    "Options:\n"
    "  --workspace FILE    the workspace file (JSON); may also be given alone\n"
    "  --script FILE       the session script; '-' or no script reads standard input\n"
    "  --interactive       ask at the terminal even when standard input is not one\n"
    "  --batch             load the add-in, open every drawing in turn and copy into\n"
    "                      it with the stored settings, then print one row per drawing\n"
    "  --registry FILE     the registry store (default: $BRINDLEMARK_REGISTRY, else\n"
    "                      $XDG_CONFIG_HOME/brindlemark/registry.reg, else\n"
    "                      ~/.config/brindlemark/registry.reg)\n"
    "  --host-version N    the host's major version for this session, over the\n"
    "                      workspace's (the add-in wants 5)\n"
    "  --host-types standard|other\n"
    "                      the Windows workbench's host identity: the type library\n"
    "                      its objects are described by (default standard; other\n"
    "                      has other interface ids, event DISPID and vtable order)\n"
    "  --out FILE          write the workspace as the add-in left it to FILE\n"
    "  --save              write it back over the workspace file\n"
    "  --force             write it even when the add-in hid a failure (exit 3)\n"
    "  --quiet             no report of the properties each step changed\n"
    "  --timings           after a batch, the host calls the add-in made and the time\n"
    "                      it took over them, in all and a host call\n"
    "  --help              show this text\n"
    "  --version           show the program's version\n"
    "\n"
    "Without --out or --save nothing on disk changes but the registry store. After\n"
    "a script, output is written only when every step ran, and not when the add-in\n"
    "hid a failed host call (a warning names it) unless --force is given; at the\n"
    "terminal the session asks at its end instead. A batch writes the drawings it\n"
    "copied; a drawing whose copy failed is left as it was.\n"
    "\n"
    "Exit codes: 0 every step ran; 1 a step failed (its line, the kind of failure\n"
    "and the message on standard error) or a batch left a drawing as it was (its\n"
    "row says why); 2 bad usage, or a bad workspace, script or registry store\n"
    "(nothing has run and nothing is written); 3 every step ran, but\n"
    "the add-in hid a failed host call in one, so what it left may be half done;\n"
    "4 SIGINT (Ctrl-C), SIGTERM or SIGHUP stopped a script after the step it was running:\n"
    "the add-in was unloaded (its settings saved), and --out or --save wrote nothing.\n"
    "\n"
    "At the terminal Ctrl-C drops the line being typed; on an empty line, Ctrl-C\n"
    "twice, Ctrl-D or quit ends the session in order: the add-in is unloaded (its\n"
    "settings saved) and --out is written. In a dialog Ctrl-C on an empty line\n"
    "presses Escape and Ctrl-D closes the window.\n"
    "\n";

struct Options {
    std::optional<fs::path> workspace;
    std::optional<std::string> script;
    std::optional<fs::path> registry;
    std::optional<std::int32_t> hostVersion;
    std::optional<fs::path> out;
    std::optional<fs::path> screenshots;
    std::optional<HostIdentity> hostIdentity;
    bool save = false;
    bool force = false;
    bool batch = false;
    bool quiet = false;
    bool timings = false;
    bool interactive = false;
    bool help = false;
    bool version = false;
};

// Bad usage or a bad file, found before anything ran (exit 2). The message
// is complete.
class BadInput : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Bad usage; the program's help says how.
class UsageError : public BadInput {
public:
    using BadInput::BadInput;
};

HostIdentity HostIdentityOf(const std::string& text) {
    if (text == "standard") return HostIdentity::kStandard;
    if (text == "other") return HostIdentity::kOther;
    throw UsageError("--host-types takes standard or other, not '" + text + "'");
}

std::int32_t HostVersion(const std::string& text) {
    std::size_t used = 0;
    long long value = -1;
    try {
        value = std::stoll(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used != text.size() || value < 0 || value > 2147483647)
        throw UsageError("--host-version takes a whole number from 0 to 2147483647, not '" + text + "'");
    return static_cast<std::int32_t>(value);
}

// The options that take no value, each setting its own field.
using Flag = std::pair<std::string_view, bool Options::*>;
constexpr Flag kFlags[] = {
    {"--help", &Options::help},       {"-h", &Options::help},         {"--version", &Options::version},
    {"--save", &Options::save},       {"--batch", &Options::batch},   {"--force", &Options::force},
    {"--quiet", &Options::quiet},     {"--timings", &Options::timings}, {"--interactive", &Options::interactive},
};

Options ParseOptions(int argc, char** argv) {
    Options o;
    std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inlineValue;
        if (arg.rfind("--", 0) == 0 && arg.find('=') != std::string::npos) {
            inlineValue = arg.substr(arg.find('=') + 1);
            arg = arg.substr(0, arg.find('='));
        }
        auto value = [&]() -> std::string {
            if (!inlineValue && i + 1 >= args.size()) throw UsageError(arg + " needs a value");
            std::string v = inlineValue ? *inlineValue : args[++i];
            if (v.empty()) throw UsageError(arg + " needs a value, not an empty text");
            return v;
        };
        auto once = [&](auto& target, auto v) {
            if (target) throw UsageError(arg + " is given twice");
            target = v;
        };
        const auto flag = std::ranges::find(kFlags, std::string_view(arg), &Flag::first);
        if (flag != std::end(kFlags)) {
            if (inlineValue) throw UsageError(arg + " takes no value");
            o.*(flag->second) = true;
        } else if (arg == "--workspace") {
            once(o.workspace, fs::path(value()));
        } else if (arg == "--script") {
            once(o.script, value());
        } else if (arg == "--registry") {
            once(o.registry, fs::path(value()));
        } else if (arg == "--host-version") {
            once(o.hostVersion, HostVersion(value()));
        } else if (arg == "--host-types") {
            once(o.hostIdentity, HostIdentityOf(value()));
        } else if (arg == "--out") {
            once(o.out, fs::path(value()));
        } else if (arg == "--screenshot") {
            once(o.screenshots, fs::path(value()));
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + arg);
        } else if (o.workspace) {
            throw UsageError("one workspace at a time: " + o.workspace->string() + " and " + arg);
        } else {
            o.workspace = fs::path(arg);
        }
    }
    if (o.help || o.version) return o;
    if (!o.workspace) throw UsageError("no workspace file given");
    if (o.out && o.save) throw UsageError("--out and --save both say where to write; give one");
    if (o.interactive && o.script) throw UsageError("--interactive and --script exclude each other");
    if (o.screenshots && !FaceShowsWindows())
        throw UsageError("--screenshot pictures the dialogs' windows, which only the Windows workbench shows");
    if (o.hostIdentity && !FaceShowsWindows())
        throw UsageError("--host-types chooses the Windows workbench's host type library; this one serves no COM objects");
    if (o.batch && (o.script || o.interactive))
        throw UsageError("--batch is a script of its own; it takes no --script or --interactive");
    return o;
}

// Standard input as a script, held to a script's size: it may be a pipe
// that never ends.
std::string ReadScriptFromStdin() {
    std::string text;
    char buffer[65536];
    while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(std::cin.gcount()));
        if (text.size() > kMaxScriptBytes)
            throw bm::workbench::system::FileError("<stdin>: is larger than " +
                                                   std::to_string(kMaxScriptBytes >> 20) + " MiB");
    }
    return text;
}

// Where output will go must exist before anything runs.
void CheckWritable(const fs::path& file) {
    const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
    if (!fs::is_directory(folder))
        throw UsageError("cannot write " + file.string() + ": no folder " + folder.string());
    if (fs::is_directory(file)) throw UsageError("cannot write " + file.string() + ": it is a folder");
    std::error_code ec;
    const fs::perms perms = fs::status(file, ec).permissions();
    if (!ec && fs::exists(file, ec) && (perms & fs::perms::owner_write) == fs::perms::none)
        throw UsageError("cannot write " + file.string() + ": it is read-only");
    if (!bm::workbench::system::CanCreateFilesIn(folder))
        throw UsageError("cannot write " + file.string() + ": the folder is not writable");
}

// The pictures' folder, made when missing.
void MakePictureFolder(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder) || !bm::workbench::system::CanCreateFilesIn(folder))
        throw UsageError("cannot keep pictures in " + folder.string() + ": it is not a writable folder");
}

// What loading found. At the terminal there are no steps: the person
// gives them.
struct Loaded {
    Workspace workspace;
    bool interactive = false;
    std::string scriptName = "<stdin>";
    std::vector<Step> steps;
    std::optional<fs::path> outFile;
};

// The registry first: a bad one stops everything before it is touched.
std::unique_ptr<HostFace> OpenFace(const Options& o, WorkbenchRuntime& runtime) {
    try {
        return OpenHostFace(o.registry, bm::workbench::system::ProgramFolder(), runtime, o.screenshots,
                            o.hostIdentity.value_or(HostIdentity::kStandard));
    } catch (const BadRegistry& e) {
        throw BadInput(e.what());
    }
}

// The workspace file, with the host version the options give it.
Workspace LoadWorkspaceOf(const Options& o) {
    Workspace workspace;
    try {
        workspace = LoadWorkspace(*o.workspace);
    } catch (const WorkspaceError& e) {
        throw BadInput(e.what());
    }
    for (const std::string& warning : workspace.warnings) std::cerr << kProgram << ": " << warning << "\n";
    if (o.hostVersion) workspace.host.SetVersionMajor(*o.hostVersion);
    return workspace;
}

// The steps of the batch, of standard input or of the script file; names
// the script as its failures will.
std::vector<Step> LoadScript(const Options& o, const MemoryHost& host, std::string& scriptName) {
    std::string text;
    try {
        if (o.batch) {
            scriptName = "--batch";
            text = "addin load\nbatch\n";
        } else if (!o.script || *o.script == "-") {
            text = ReadScriptFromStdin();
        } else {
            scriptName = *o.script;
            text = bm::workbench::system::ReadInputFile(*o.script, kMaxScriptBytes);
        }
    } catch (const bm::workbench::system::FileError& e) {
        throw BadInput(std::string("cannot read the script ") + e.what());
    }
    try {
        return ParseScript(text, scriptName, host);
    } catch (const ScriptError& e) {
        throw BadInput(e.what());
    }
}

// Loading: the workspace, the script and where output goes, all checked
// before anything runs. Fails with BadInput.
Loaded LoadInput(const Options& o) {
    Loaded loaded;
    loaded.workspace = LoadWorkspaceOf(o);
    loaded.interactive = !o.batch && (o.interactive || (!o.script && bm::workbench::system::StdinIsTerminal()));
    if (!loaded.interactive) loaded.steps = LoadScript(o, loaded.workspace.host, loaded.scriptName);
    loaded.outFile = o.save ? o.workspace : o.out;
    if (loaded.outFile) CheckWritable(*loaded.outFile);
    if (o.screenshots) MakePictureFolder(*o.screenshots);
    return loaded;
}

struct Played {
    bool allRan = true;
    int interrupted = 0;  // the signal that stopped the script, or 0
};

// The steps in order, up to the first that fails or an interrupt.
Played PlayScript(Session& session, const Loaded& loaded) {
    Played played;
    bool first = true;
    for (const Step& step : loaded.steps) {
        if (step.type != Step::Type::kExpect) {
            std::cout << (first ? "" : "\n") << "> " << step.text << "\n";
            first = false;
        }
        try {
            session.Run(step);
        } catch (const std::exception& e) {
            std::cout.flush();
            std::cerr << loaded.scriptName << ":" << step.line << ": " << step.text << ": " << FailureKind(e) << ": "
                      << e.what() << "\n";
            played.allRan = false;
        }
        if (!played.allRan) break;
        if ((played.interrupted = TakeInterrupt()) != 0) {
            std::cout.flush();
            std::cerr << kProgram << ": " << InterruptName(played.interrupted) << ": the script stops after line "
                      << step.line << "; the session ends in order\n";
            break;
        }
    }
    return played;
}

// Playing: the script, or a person at the terminal; then the add-in is
// unloaded and the face closed, whatever happened before.
Played PlaySession(Session& session, HostFace& face, const Loaded& loaded, LineReader& reader, const Options& o) {
    Played played;
    if (loaded.interactive) {
        std::cout << "Workspace " << o.workspace->string() << ": " << loaded.workspace.host.Documents().size()
                  << " documents; registry store " << face.RegistryName() << ".\n";
        played.allRan = RunInteractive(session, loaded.workspace.host, reader,
                                       loaded.outFile ? loaded.outFile->string() : std::string(), o.force, std::cout,
                                       std::cerr);
    } else {
        played = PlayScript(session, loaded);
    }
    try {
        session.End();
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << kProgram << ": unloading the add-in at the end of the session: " << FailureKind(e) << ": "
                  << e.what() << "\n";
        played.allRan = false;
    }
    try {
        face.Close();
    } catch (const std::exception& e) {
        std::cerr << kProgram << ": " << e.what() << "\n";
        played.allRan = false;
    }
    return played;
}

// Saving: the workspace written where the options say, when the session
// earned it. False when writing it failed.
bool SaveOutput(const Session& session, const Loaded& loaded, const Played& played, LineReader& reader,
                const Options& o) {
    const std::optional<fs::path>& outFile = loaded.outFile;
    // In a script a failure stops everything, so what is left is half a
    // session; a person at the terminal carried on past the failure.
    const bool halfDone = session.HidFailures() && !o.force &&
                          !(loaded.interactive && outFile && AskToWrite(reader, outFile->string(), std::cout));
    // Every step ran, or the person ended the session.
    const bool ended = played.allRan || loaded.interactive;
    if (outFile && played.interrupted) {
        std::cerr << kProgram << ": " << outFile->string() << " not written: the script was stopped half-way\n";
    } else if (outFile && ended && halfDone) {
        std::cerr << kProgram << ": " << outFile->string()
                  << " not written: the add-in hid a failed host call (see the warning); --force writes it\n";
    } else if (outFile && ended) {
        try {
            SaveWorkspace(loaded.workspace, *outFile);
            std::cout << "wrote " << outFile->string() << "\n";
        } catch (const WorkspaceError& e) {
            std::cerr << kProgram << ": " << e.what() << "\n";
            return false;
        }
    } else if (outFile) {
        std::cerr << kProgram << ": " << outFile->string() << " not written: a step failed\n";
    }
    return true;
}

int Run(const Options& o) {
    // From here on an interrupt ends the session in order, not the program.
    NoteInterrupts();
    WorkbenchRuntime runtime(std::cout);
    std::unique_ptr<HostFace> face;
    Loaded loaded;
    try {
        face = OpenFace(o, runtime);
        loaded = LoadInput(o);
    } catch (const BadInput& e) {
        std::cerr << kProgram << ": " << e.what() << "\n";
        return kBadInput;
    }

    LineReader reader(std::cin, std::cout);
    TerminalPerson person(reader, std::cout, runtime);
    if (loaded.interactive) runtime.SetPerson(&person);
    Session session(loaded.workspace.host, *face, runtime, std::cout);
    session.ReportChanges(!o.quiet);
    session.ReportTimings(o.timings);

    const Played played = PlaySession(session, *face, loaded, reader, o);
    if (!SaveOutput(session, loaded, played, reader, o)) return kStepFailed;
    if (played.interrupted) return kInterrupted;
    if (!played.allRan || session.BatchFailed()) return kStepFailed;
    return session.HidFailures() ? kFailureHidden : kAllRan;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    try {
        options = ParseOptions(argc, argv);
    } catch (const UsageError& e) {
        std::cerr << kProgram << ": " << e.what() << "\nTry '" << kProgram << " --help'.\n";
        return kBadInput;
    }
    if (options.help) {
        std::cout << kVersion << kUsage << StepHelp() << "\n" << ExpectHelp();
        return kAllRan;
    }
    if (options.version) {
        std::cout << kVersion << BM_COPYRIGHT << "\n";
        return kAllRan;
    }
    try {
        return Run(options);
    } catch (const std::exception& e) {
        std::cerr << kProgram << ": " << e.what() << "\n";
        return kStepFailed;
    }
}
