// What a copy costs, in host calls and in time, with the plain per-merge scan
// and with the indexed merge, on the in-memory host. Each scenario copies
// every property of its models into a drawing: a quarter of each model's
// names are drawing names in other letter case (updates), a quarter are
// shared by all models (the last one wins), the rest are the model's own
// (appends).
//
// After the benchmarks, a table compares the two per scenario: host calls,
// wall time per copy, reference / indexed time, and indexed calls / L,
// where L = one read of each source name and value + one read of each
// drawing name + one write per property written. The program ends non-zero
// when the indexed merge needs more than 1.1 L calls anywhere or is less
// than 100 times faster than the reference in the largest scenario.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "tests/transfer/transfer_testing.h"

namespace {

using namespace bm;
using namespace bm::transfer;
using namespace bm::transfer::testing;

struct Scenario {
    const char* label;
    int models;
    int propsPerModel;
    int drawingProps;
};

const Scenario kScenarios[] = {
    {"5x20 into 30", 5, 20, 30},
    {"10x300 into 200", 10, 300, 200},
    {"10x3000 into 2000", 10, 3000, 2000},
};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

Scene MakeScene(const Scenario& sc) {
    Scene scene;
    for (int i = 0; i < sc.drawingProps; ++i)
        scene.drawing.push_back({"Title field " + std::to_string(i), "value " + std::to_string(i)});
    for (int m = 0; m < sc.models; ++m) {
        Model model{"C:/Work/Model" + std::to_string(m) + ".ipt"};
        for (int j = 0; j < sc.propsPerModel; ++j) {
            std::string name;
            switch (j % 4) {
                case 0: name = Upper(scene.drawing[static_cast<std::size_t>((j / 4 + m * 7) % sc.drawingProps)].first); break;
                case 1: name = "Shared " + std::to_string(j); break;
                default: name = "Model " + std::to_string(m) + " property " + std::to_string(j);
            }
            model.props.push_back({name, j % 3 == 0 ? Variant(static_cast<double>(j)) : Variant("v" + std::to_string(j))});
        }
        scene.models.push_back(model);
    }
    return scene;
}

struct Measured {
    std::int64_t calls = 0;
    std::int64_t lowerBound = 0;
    double seconds = 0;  // per copy
    std::int64_t copies = 0;
    Props result;
};

std::map<std::pair<int, bool>, Measured> g_measured;  // (scenario, reference)

void BM_Copy(benchmark::State& state, int scenarioIndex, bool reference) {
    const Scenario& sc = kScenarios[scenarioIndex];
    const Scene scene = MakeScene(sc);
    const Settings settings = CopySettings(false, false);
    Measured& m = g_measured[{scenarioIndex, reference}];
    m = Measured{};
    for (auto _ : state) {
        state.PauseTiming();
        World world(scene);
        world.probe().ResetCounts();
        state.ResumeTiming();

        const auto start = std::chrono::steady_clock::now();
        if (reference) {
            ScanMerge scan(world.target());
            CopyAllProps(settings, world.refs(), scan);
        } else {
            CopyAllProps(settings, world.refs(), world.target());
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

        state.PauseTiming();
        auto& probe = world.probe();
        const std::int64_t sourceProps = std::int64_t{sc.models} * sc.propsPerModel;
        const std::int64_t writes = probe.Calls("PropValue.put") + probe.Calls("PropAdd");
        m.calls = probe.TotalCalls();
        m.lowerBound = 2 * sourceProps + sc.drawingProps + writes;
        m.seconds += took.count();
        ++m.copies;
        if (m.result.empty()) m.result = world.Result();
        state.ResumeTiming();
    }
    state.counters["host_calls"] = static_cast<double>(m.calls);
    state.counters["calls_per_L"] = static_cast<double>(m.calls) / static_cast<double>(m.lowerBound);
}

int Report() {
    std::printf("\n%-20s %-10s %14s %12s %14s %10s\n", "scenario", "merge", "host calls",
                "ms per copy", "ref/indexed", "calls/L");
    bool ok = true;
    for (int i = 0; i < static_cast<int>(std::size(kScenarios)); ++i) {
        const auto ref = g_measured.find({i, true});
        const auto idx = g_measured.find({i, false});
        if (ref == g_measured.end() || idx == g_measured.end() || ref->second.copies == 0 ||
            idx->second.copies == 0)
            continue;  // filtered out
        const Measured& r = ref->second;
        const Measured& x = idx->second;
        const double rs = r.seconds / static_cast<double>(r.copies);
        const double xs = x.seconds / static_cast<double>(x.copies);
        const double speedup = rs / xs;
        const double perL = static_cast<double>(x.calls) / static_cast<double>(x.lowerBound);
        std::printf("%-20s %-10s %14lld %12.3f %14s %10.3f\n", kScenarios[i].label, "reference",
                    static_cast<long long>(r.calls), rs * 1e3, "",
                    static_cast<double>(r.calls) / static_cast<double>(r.lowerBound));
        std::printf("%-20s %-10s %14lld %12.3f %13.1fx %10.3f\n", "", "indexed",
                    static_cast<long long>(x.calls), xs * 1e3, speedup, perL);
        if (r.result != x.result) {
            std::printf("  the two merges left different drawings\n");
            ok = false;
        }
        if (perL > 1.1) {
            std::printf("  indexed merge above 1.1 L host calls\n");
            ok = false;
        }
        if (i + 1 == static_cast<int>(std::size(kScenarios)) && speedup < 100.0) {
            std::printf("  indexed merge less than 100x faster in the largest scenario\n");
            ok = false;
        }
    }
    std::printf("L = one read of each source name and value + one read of each drawing name "
                "+ one write per property written\n");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 0; i < static_cast<int>(std::size(kScenarios)); ++i) {
        for (bool reference : {true, false}) {
            const std::string name = std::string(reference ? "Reference/" : "Indexed/") +
                                     kScenarios[i].label;
            benchmark::RegisterBenchmark(name.c_str(), BM_Copy, i, reference)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime();
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return Report();
}
