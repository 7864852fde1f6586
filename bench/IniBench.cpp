// Cost of one uncached INI lookup in a settings file of 2,000 keys
// (10 sections of 200 keys), for a key near the start, middle and end.
#include "platform/Ini.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

constexpr int kSections = 10;
constexpr int kKeysPerSection = 200;

const std::string& BenchFile()
{
    static QTemporaryDir dir;
    static const std::string path = [] {
        const std::string file = dir.path().toStdString() + "/bench.ini";
        std::ofstream out(file, std::ios::binary);
        for (int s = 0; s < kSections; ++s) {
            out << "[Section" << s << "]\r\n";
            for (int k = 0; k < kKeysPerSection; ++k)
                out << "Key" << k << "=" << (s * 1000 + k) << "\r\n";
        }
        return file;
    }();
    return path;
}

struct Position {
    const char* section;
    const char* key;
};

constexpr Position kPositions[] = {
    {"Section0", "Key1"},
    {"Section5", "Key100"},
    {"Section9", "Key199"},
};

void BM_GetString(benchmark::State& state)
{
    const nimbra::CIniFile ini(BenchFile());
    const Position& at = kPositions[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(ini.GetString(at.section, at.key, ""));
}

void BM_GetInt(benchmark::State& state)
{
    const nimbra::CIniFile ini(BenchFile());
    const Position& at = kPositions[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(ini.GetInt(at.section, at.key, -1));
}

} // namespace

// Argument: 0 = near the start, 1 = middle, 2 = end.
BENCHMARK(BM_GetString)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GetInt)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
