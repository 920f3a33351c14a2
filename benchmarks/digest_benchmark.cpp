// CSHA over memory on each engine the CPU has: the hashing alone, without the
// reading of a file (scripts/bench-digest.sh times the digest of a file as an
// update does it).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "CSHA.h"
#include "Sha256Compression.h"

namespace {

using Sha256Compression::Engine;

void AddDataOnEngine(benchmark::State& state, Engine engine) {
    const Engine initial = Sha256Compression::ActiveEngine();
    if (!Sha256Compression::SelectEngine(engine)) {
        state.SkipWithError("the CPU lacks this engine");
        return;
    }
    const std::vector<char> data(1 << 20, '\x5a');
    char digest[32];
    CSHA sha;
    for ([[maybe_unused]] auto _ : state) {
        sha.AddData(data.data(), static_cast<int>(data.size()));
        sha.FinalDigest(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(data.size()));
    Sha256Compression::SelectEngine(initial);
}
BENCHMARK_CAPTURE(AddDataOnEngine, portable, Engine::Portable);
BENCHMARK_CAPTURE(AddDataOnEngine, sha_instructions, Engine::ShaExtensions);

}  // namespace
