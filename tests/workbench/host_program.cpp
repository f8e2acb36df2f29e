#include "host_program.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace bm::workbench::testing {

namespace fs = std::filesystem;

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args, std::vector<std::string>& storage) {
    storage.assign(1, BM_HOST_PROGRAM);
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : storage) argv.push_back(a.data());
    argv.push_back(nullptr);
    return argv;
}

int ExitCode(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

// Under the sanitizers a fault in the program exits with a code of its own
// choosing, which may look like an ordinary failed step.
void ExpectNoSanitizerReport(const std::string& output) {
    EXPECT_EQ(output.find("Sanitizer"), std::string::npos) << output;
    EXPECT_EQ(output.find("runtime error:"), std::string::npos) << output;
}

}  // namespace

void HostProgramTest::SetUp() {
    std::string pattern = (fs::temp_directory_path() / "bm-host-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = fs::path(pattern) / "work";
    io_ = fs::path(pattern) / "io";
    fs::create_directories(dir_);
    fs::create_directories(io_);
}

void HostProgramTest::TearDown() { fs::remove_all(dir_.parent_path()); }

fs::path HostProgramTest::Write(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
    return dir_ / name;
}

void HostProgramTest::StoreSettings(const std::string& values) {
    Write(Registry().filename().string(),
          "Windows Registry Editor Version 5.00\n\n"
          "[HKEY_CURRENT_USER\\Software\\Quillfern\\Copy Custom Prop\\Defaults]\n" +
              values);
}

std::string HostProgramTest::Read(const fs::path& file) const {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

Outcome HostProgramTest::Run(const std::vector<std::string>& args, const std::string& input) const {
    return Finish(Start(args, "run", input));
}

HostProgramTest::Running HostProgramTest::Start(const std::vector<std::string>& args, const std::string& name,
                                                const std::string& input, int inputFd) const {
    Running run{-1, io_ / (name + ".stdout"), io_ / (name + ".stderr")};
    const fs::path in = io_ / (name + ".stdin");
    std::ofstream(in, std::ios::binary) << input;
    std::vector<std::string> storage;
    auto argv = Argv(args, storage);
    run.pid = fork();
    if (run.pid == 0) {
        // A run that names no store must still stay out of the user's own.
        setenv("BRINDLEMARK_REGISTRY", Registry().c_str(), 1);
        const int fdIn = inputFd >= 0 ? inputFd : open(in.c_str(), O_RDONLY);
        const int fdOut = open(run.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int fdErr = open(run.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fdIn, 0);
        dup2(fdOut, 1);
        dup2(fdErr, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return run;
}

HostProgramTest::Running HostProgramTest::StartFed(const std::vector<std::string>& args, const std::string& name,
                                                   int& feed) const {
    int ends[2];
    // Neither end may stay open in the program, or the pipe would never end.
    if (pipe2(ends, O_CLOEXEC) != 0) return {-1, {}, {}};
    Running run = Start(args, name, "", ends[0]);
    close(ends[0]);
    feed = ends[1];
    return run;
}

bool HostProgramTest::Catches(int pid, int signal) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        std::ifstream status("/proc/" + std::to_string(pid) + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.rfind("SigCgt:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1) & 1))
                return true;
        usleep(10000);
    }
    return false;
}

Outcome HostProgramTest::Finish(const Running& run) const {
    int status = 0;
    waitpid(run.pid, &status, 0);
    Outcome outcome{ExitCode(status), Read(run.out), Read(run.err)};
    ExpectNoSanitizerReport(outcome.err);
    return outcome;
}

Outcome HostProgramTest::RunScript(const std::string& script, std::vector<std::string> extra) {
    const fs::path workspace = dir_ / "workspace.json";
    if (!fs::exists(workspace)) Write("workspace.json", kWorkspace);
    Write("script.txt", script);
    std::vector<std::string> args{"--registry", Registry().string(), "--script", (dir_ / "script.txt").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(workspace.string());
    return Run(args);
}

Outcome HostProgramTest::RunOnTerminal(const std::vector<std::string>& args, const std::string& input) const {
    std::vector<std::string> storage;
    auto argv = Argv(args, storage);
    int master = -1;
    const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
    if (child == 0) {
        setenv("BRINDLEMARK_REGISTRY", Registry().c_str(), 1);
        execv(argv[0], argv.data());
        _exit(127);
    }
    Outcome outcome;
    if (child < 0) {
        outcome.exit = kNoTerminal;
        return outcome;
    }
    // A person types a line once the prompt is there: typed ahead, it would
    // meet the terminal in whatever mode it is in between two reads.
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < input.size();) {
        const std::size_t end = input.find_first_of("\n\x03\x04", start);
        const std::size_t next = end == std::string::npos ? input.size() : end + 1;
        lines.push_back(input.substr(start, next - start));
        start = next;
    }
    std::size_t typed = 0, promptsSeen = 0;
    std::string held;  // typed once what went before it is shown
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd fd{master, POLLIN, 0};
        if (poll(&fd, 1, 200) > 0) {
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n <= 0) break;  // the program has gone: the terminal reports an error
            outcome.out.append(buffer, static_cast<std::size_t>(n));
        }
        const std::size_t prompts = static_cast<std::size_t>(std::count(outcome.out.begin(), outcome.out.end(), '>'));
        // The line editor prints its prompt before it takes the terminal
        // out of line mode; a line typed between the two can be lost.
        termios mode{};
        const bool editing = tcgetattr(master, &mode) == 0 && !(mode.c_lflag & ICANON);
        if (!held.empty() && outcome.out.ends_with(lines[typed - 1].substr(0, lines[typed - 1].size() - 1))) {
            (void)!write(master, held.data(), held.size());
            held.clear();
        }
        if (typed < lines.size() && prompts > promptsSeen && outcome.out.ends_with("> ") && editing) {
            promptsSeen = prompts;
            std::string line = lines[typed++];
            // Ctrl-C after a part of a line comes once the part is on the
            // line: together, the terminal would drop the part unread.
            if (line.size() > 1 && line.back() == '\x03') {
                held = "\x03";
                line.pop_back();
            }
            (void)!write(master, line.data(), line.size());
        }
    }
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    close(master);
    outcome.exit = ExitCode(status);
    ExpectNoSanitizerReport(outcome.out);
    return outcome;
}

std::set<std::string> HostProgramTest::Files() const {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.insert(entry.path().filename().string());
    return names;
}

std::set<std::string> HostProgramTest::FilesBesideTheStore() const {
    std::set<std::string> names = Files();
    const std::string store = Registry().filename().string();
    std::erase_if(names, [&](const std::string& name) { return name.rfind(store, 0) == 0; });
    return names;
}

std::vector<std::string> PropertyNames(const fs::path& workspace, const std::string& file) {
    std::ifstream in(workspace);
    const auto json = nlohmann::json::parse(in);
    std::vector<std::string> names;
    for (const auto& document : json.at("documents"))
        if (document.at("file") == file)
            for (const auto& property : document.at("properties")) names.push_back(property.at("name"));
    return names;
}

}  // namespace bm::workbench::testing
