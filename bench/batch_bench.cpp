// A batch over many drawings, as the workbench's `batch` runs it: each
// drawing opened and the copy command picked, through the add-in object
// over the in-memory host with the stored settings (no dialogs, no
// physical properties). Counters: add-in time per drawing, host calls per
// drawing, and those calls against L = one read of each source name and
// value + one read of each drawing name + one write per property written.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "addin/cbrindlemark5.h"
#include "addin/module.h"
#include "platform/portable/headless_runtime.h"
#include "platform/portable/memory_raster.h"
#include "platform/portable/registry_store.h"
#include "workbench/model/memory_host.h"

namespace {

using namespace bm;

constexpr int kDrawings = 1000;
constexpr int kModelsPerDrawing = 20;
constexpr int kPropsPerModel = 50;
constexpr int kModelPool = 100;
constexpr int kDrawingProps = 10;

void BM_Batch(benchmark::State& state) {
    const std::filesystem::path store =
        std::filesystem::temp_directory_path() / ("bm-batch-bench-" + std::to_string(::getpid()) + ".reg");
    double seconds = 0;
    std::int64_t calls = 0, lowerBound = 0, runs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        workbench::MemoryHost host;
        std::vector<std::shared_ptr<workbench::MemoryDocument>> models, drawings;
        for (int m = 0; m < kModelPool; ++m) {
            auto model = host.AddPart("C:/Work/Model" + std::to_string(m) + ".ipt");
            for (int p = 0; p < kPropsPerModel; ++p)
                model->AddProp("Model " + std::to_string(m % 7) + " field " + std::to_string(p),
                               "value " + std::to_string(p));
            models.push_back(model);
        }
        for (int d = 0; d < kDrawings; ++d) {
            auto drawing = host.AddDrawing("C:/Work/Sheet" + std::to_string(d) + ".idw");
            for (int p = 0; p < kDrawingProps; ++p) drawing->AddProp("Title " + std::to_string(p), "t");
            for (int r = 0; r < kModelsPerDrawing; ++r)
                drawing->AddRef(models[static_cast<std::size_t>((d + r * 3) % kModelPool)]);
            drawings.push_back(drawing);
        }
        std::filesystem::remove(store);
        portable::RegistryStore registry(store);
        portable::HeadlessRuntime forms;
        portable::MemoryRaster raster;
        addin::AddInModule module(registry, forms, raster);
        addin::CBrindlemark5 addin(module);
        host.OnCommand([&](std::int32_t id) { addin.ApplicationAddInServer_ExecuteCommand(id); });
        addin.ApplicationAddInServer_Activate(host.Site(), true);
        addin.UpdateOnActivate(0);
        addin.Mass(0);
        addin.Area(0);
        addin.Volume(0);
        host.Probe().ResetCounts();
        state.ResumeTiming();

        const auto start = std::chrono::steady_clock::now();
        for (const auto& drawing : drawings) {
            host.Activate(drawing);
            host.Pick(addin::kCopyCommandId);
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;

        state.PauseTiming();
        const auto& probe = host.Probe();
        const std::int64_t sourceProps = std::int64_t{kDrawings} * kModelsPerDrawing * kPropsPerModel;
        const std::int64_t writes = probe.Calls("PropValue.put") + probe.Calls("PropAdd");
        const std::int64_t drawingNames = std::int64_t{kDrawings} * kDrawingProps;
        calls = probe.TotalCalls();
        lowerBound = 2 * sourceProps + drawingNames + writes;
        seconds += took.count();
        ++runs;
        addin.ApplicationAddInServer_Deactivate();
        state.ResumeTiming();
    }
    std::filesystem::remove(store);
    state.counters["drawings"] = kDrawings;
    state.counters["ms_per_drawing"] = seconds * 1e3 / static_cast<double>(runs) / kDrawings;
    state.counters["calls_per_drawing"] = static_cast<double>(calls) / kDrawings;
    state.counters["calls_per_L"] = static_cast<double>(calls) / static_cast<double>(lowerBound);
}

BENCHMARK(BM_Batch)
    ->Name("Batch/1000 drawings x 20 models x 50 properties")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

}  // namespace
