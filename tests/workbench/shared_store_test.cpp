// Hosts sharing one registry store, as a person running several sessions
// at once does: what each host changes survives the others, and a host
// killed while it saves leaves every value whole.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <map>
#include <random>
#include <thread>

#include "host_program.h"
#include "platform/portable/registry_store.h"
#include "settings/persistence.h"
#include "workbench/report.h"

namespace bm::workbench::testing {
namespace {

// The stored settings by value name; a value that is not a whole DWORD
// shows as -1.
std::map<std::string, long> StoredSettings(const std::filesystem::path& store) {
    portable::RegistryStore reader(store);
    std::map<std::string, long> values;
    for (const auto& v : reader.ListValues(kSettingsKey).value_or(std::vector<portable::regfile::Value>{})) {
        long number = -1;
        if (v.type == reg::kRegDword && v.data.size() == 4)
            number = static_cast<long>(reg::DwordFromBytes(v.data.data()));
        values[v.name] = number;
    }
    return values;
}

std::string ChangeScript(Settings::Field field, int value) {
    return "addin load\nexpect options set " + std::string(Settings::property_name(field)) + " " +
           std::to_string(value) + " ok\ncommand options\naddin unload\n";
}

bool IsPrecision(Settings::Field f) {
    return f == Settings::kMassPrec || f == Settings::kAreaPrec || f == Settings::kVolumePrec;
}

TEST_F(HostProgramTest, HostsAtOnceLoseNoChange) {
    Write("workspace.json", kWorkspace);
    ASSERT_EQ(RunScript("addin load\naddin unload\n").exit, 0);  // the defaults are stored
    constexpr std::array kFields{Settings::kUpdateExistOnly, Settings::kPrefaceModel, Settings::kSelectProps,
                                 Settings::kEraseFirst,      Settings::kMassZero,     Settings::kMassPrec,
                                 Settings::kAreaPrec,        Settings::kVolumePrec};
    constexpr int kRounds = 4;
    int changes = 0, lost = 0;
    for (int round = 1; round <= kRounds; ++round) {
        std::vector<Running> hosts;
        std::map<std::string, long> wanted;
        for (std::size_t i = 0; i < kFields.size(); ++i) {
            const Settings::Field f = kFields[i];
            const int value = IsPrecision(f) ? (round * 3 + static_cast<int>(i)) % 9 : round % 2;
            wanted[RegistryValueName(f)] = value;
            const std::string name = "host" + std::to_string(i);
            const auto script = Write(name + ".txt", ChangeScript(f, value));
            hosts.push_back(Start({"--registry", Registry().string(), "--script", script.string(),
                                   Path("workspace.json").string()},
                                  name));
        }
        for (const Running& host : hosts) {
            const Outcome done = Finish(host);
            EXPECT_EQ(done.exit, 0) << done.err;
        }
        const auto stored = StoredSettings(Registry());
        for (const auto& [name, value] : wanted) {
            ++changes;
            const auto found = stored.find(name);
            if (found == stored.end() || found->second != value) ++lost;
        }
    }
    std::printf("[ figures  ] %zu hosts at once x %d rounds: %d changes, %d lost\n", kFields.size(), kRounds, changes,
                lost);
    EXPECT_EQ(lost, 0);
}

// Each value of a save is written on its own, as the registry takes them:
// a kill between two values leaves the earlier ones new and the later ones
// old. What must never happen is a torn file or a value neither old nor new.
TEST_F(HostProgramTest, HostKilledWhileSavingLeavesEveryValueWhole) {
    Write("workspace.json", kWorkspace);
    ASSERT_EQ(RunScript("addin load\naddin unload\n").exit, 0);
    const auto before = StoredSettings(Registry());
    const std::string original = Read(Registry());
    const auto script = Write("change.txt",
                              "addin load\nexpect options set MassPrec 7 set AreaPrec 6 set VolumePrec 5 set "
                              "MassZero 0 set PrefaceModel 1 ok\ncommand options\naddin unload\n");
    const std::vector<std::string> args{"--registry", Registry().string(), "--script", script.string(),
                                        Path("workspace.json").string()};
    // How long a whole run takes, to spread the kills over it.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Finish(Start(args, "timing")).exit, 0);
    const auto runTime = std::chrono::steady_clock::now() - start;
    auto after = StoredSettings(Registry());
    std::erase_if(after, [&](const auto& value) { return before.at(value.first) == value.second; });
    ASSERT_EQ(after.size(), 5u);  // the values the save changes

#ifdef __SANITIZE_ADDRESS__
    // Each host takes six times as long under the sanitizers, which add
    // nothing to what a kill can tear; the plain build kills 200 times.
    constexpr int kTrials = 40;
#else
    constexpr int kTrials = 200;
#endif
    std::mt19937 random(20261208);
    int untouched = 0, mixed = 0, whole = 0, broken = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
        Write("registry.reg", original);
        const Running host = Start(args, "killed");
        std::this_thread::sleep_for(runTime * std::uniform_real_distribution<>(0.0, 1.0)(random));
        ::kill(host.pid, SIGKILL);
        int status = 0;
        ::waitpid(host.pid, &status, 0);
        const auto stored = StoredSettings(Registry());
        int fresh = 0, stale = 0;
        for (const auto& [name, value] : after) {
            const auto found = stored.find(name);
            if (found != stored.end() && found->second == value) {
                ++fresh;
            } else if (found != stored.end() && found->second == before.at(name)) {
                ++stale;
            } else {
                ++broken;
            }
        }
        if (stale == static_cast<int>(after.size())) {
            ++untouched;
        } else if (fresh == static_cast<int>(after.size())) {
            ++whole;
        } else {
            ++mixed;
        }
    }
    std::printf("[ figures  ] %d kills: %d before the save, %d within it, %d after it; %d values torn\n", kTrials,
                untouched, mixed, whole, broken);
    EXPECT_EQ(broken, 0);
    // The kills must have met saves, or the test proves nothing.
    EXPECT_GT(mixed + whole, 0);
}

}  // namespace
}  // namespace bm::workbench::testing
