// What the registry store costs as its file grows, at three sizes and in two
// shapes: one key holding many values, and many keys holding two values
// each. Parse reads the whole text; Save sets one value through the store,
// which checks the file under the writers' lock and writes it back whole
// (fsync included). The time per operation should grow in step with the
// size, that is bytes_per_second stays roughly level from row to row.
//
// Run only these rows with --benchmark_filter=RegistryStore.

#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/portable/registry_store.h"

namespace {

using namespace bm;
using bm::portable::RegistryStore;

enum class Shape { kOneKey, kManyKeys };

constexpr const char* kBase = "Software\\Quillfern\\Bench";

struct Store {
    std::string text;
    std::string saveKey;  // below HKEY_CURRENT_USER, halfway through the file
};

// The three value types a settings key holds, in turn.
std::string ValueLine(int i) {
    const std::string name = "\"Setting " + std::to_string(i) + "\"=";
    switch (i % 3) {
        case 0: return name + "\"text of value " + std::to_string(i) + "\"\n";
        case 1: return name + "dword:0000002a\n";
        default: return name + "hex:01,02,03,04,05,06\n";
    }
}

Store MakeStore(Shape shape, std::size_t bytes) {
    Store store{"Windows Registry Editor Version 5.00\n\n", kBase};
    if (shape == Shape::kOneKey) store.text += "[HKEY_CURRENT_USER\\" + store.saveKey + "]\n";
    for (int i = 0; store.text.size() < bytes; ++i) {
        if (shape == Shape::kOneKey) {
            store.text += ValueLine(i);
            continue;
        }
        const std::string key = std::string(kBase) + "\\Group " + std::to_string(i / 100) +
                                "\\Key " + std::to_string(i);
        if (store.text.size() < bytes / 2) store.saveKey = key;
        store.text += "[HKEY_CURRENT_USER\\" + key + "]\n" + ValueLine(2 * i) +
                      ValueLine(2 * i + 1) + "\n";
    }
    return store;
}

void SetCounters(benchmark::State& state, std::size_t bytes) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_Parse(benchmark::State& state, Shape shape, std::size_t bytes) {
    const Store store = MakeStore(shape, bytes);
    for (auto _ : state) {
        auto parsed = portable::regfile::Parse(store.text);
        if (parsed.error) state.SkipWithError(parsed.error->message.c_str());
        benchmark::DoNotOptimize(parsed);
    }
    SetCounters(state, store.text.size());
}

void BM_Save(benchmark::State& state, Shape shape, std::size_t bytes) {
    const Store store = MakeStore(shape, bytes);
    std::string dir = (std::filesystem::temp_directory_path() / "bm-store-bench-XXXXXX").string();
    if (::mkdtemp(dir.data()) == nullptr) {
        state.SkipWithError("cannot create a temporary directory");
        return;
    }
    const std::filesystem::path file = std::filesystem::path(dir) / "registry.reg";
    std::ofstream(file, std::ios::binary) << store.text;
    {
        RegistryStore registry(file);
        reg::Hkey key = 0;
        std::uint32_t counter = 0;
        const auto set = [&] {
            ++counter;
            return registry.RegSetValueExA(key, "Counter", reg::kRegDword,
                                           reinterpret_cast<const std::uint8_t*>(&counter),
                                           sizeof counter);
        };
        // The first call reads the file; the rows measure the writes after it.
        if (registry.RegOpenKeyExA(reg::kHkeyCurrentUser, store.saveKey.c_str(), 0,
                                   reg::kKeyQueryValue | reg::kKeySetValue, key) != 0 ||
            set() != 0) {
            state.SkipWithError("cannot open and set the key");
        } else {
            for (auto _ : state) {
                if (set() != 0) state.SkipWithError("cannot set the value");
            }
        }
        registry.RegCloseKey(key);
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    SetCounters(state, store.text.size());
}

using Row = void (*)(benchmark::State&, Shape, std::size_t);

[[maybe_unused]] const bool registered = [] {
    const struct {
        const char* label;
        Row row;
    } ops[] = {{"Parse", BM_Parse}, {"Save", BM_Save}};
    const struct {
        const char* label;
        Shape shape;
    } shapes[] = {{"OneKey", Shape::kOneKey}, {"ManyKeys", Shape::kManyKeys}};
    const struct {
        const char* label;
        std::size_t bytes;
    } sizes[] = {{"0.2MB", 200'000}, {"0.6MB", 600'000}, {"2MB", 2'000'000}};
    for (const auto& op : ops) {
        for (const auto& shape : shapes) {
            for (const auto& size : sizes) {
                const std::string name = std::string("RegistryStore/") + op.label + "/" +
                                         shape.label + "/" + size.label;
                auto* row =
                    benchmark::RegisterBenchmark(name.c_str(), op.row, shape.shape, size.bytes)
                        ->Unit(benchmark::kMillisecond);
                // A save waits for the disk, which only the wall clock sees.
                if (op.row == BM_Save) row->UseRealTime();
            }
        }
    }
    return true;
}();

}  // namespace
