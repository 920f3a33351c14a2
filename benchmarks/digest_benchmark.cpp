// The payload's digest and copy on the real machine, outside the simulated
// one: CSHA over memory on each engine the CPU has, CalculateSHA256 over a
// file, and the payload phase of an update (copy onto the mount point plus
// the manifest). The file and the payload come from the environment when
// scripts/bench-digest.sh runs this, so that it can time the same files
// with other tools:
//   KOR_BENCH_DIGEST_FILE   a file to digest (default: 64 MiB made in /tmp)
//   KOR_BENCH_PACKAGE_DIR   a directory with package.xml and payload/
//   KOR_BENCH_MOUNT_DIR     where the payload phase copies to (emptied first)
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "CSHA.h"
#include "CSHAPyalodContents.h"
#include "Sha256Compression.h"

namespace {

namespace fs = std::filesystem;
using Sha256Compression::Engine;

// A file of random bytes below /tmp, removed at exit.
class ScratchFile {
public:
    explicit ScratchFile(std::size_t size) {
        char pattern[] = "/tmp/kor-digest-bench-XXXXXX";
        m_directory = mkdtemp(pattern);
        m_path = m_directory + "/data";
        std::ofstream out(m_path, std::ios::binary);
        std::mt19937_64 random(1);
        std::vector<std::uint64_t> block(1 << 16);
        for (std::size_t written = 0; written < size; written += block.size() * 8) {
            for (std::uint64_t& word : block)
                word = random();
            out.write(reinterpret_cast<const char*>(block.data()),
                      static_cast<std::streamsize>(std::min(size - written, block.size() * 8)));
        }
    }
    ~ScratchFile() { fs::remove_all(m_directory); }
    const std::string& Path() const { return m_path; }

private:
    std::string m_directory;
    std::string m_path;
};

std::string FileToDigest() {
    if (const char* path = std::getenv("KOR_BENCH_DIGEST_FILE"))
        return path;
    static const ScratchFile file(64 << 20);
    return file.Path();
}

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

void CalculateSHA256OfFile(benchmark::State& state) {
    const std::string path = FileToDigest();
    char hex[65];
    for ([[maybe_unused]] auto _ : state) {
        CSHA().CalculateSHA256(path, true, hex);
        benchmark::DoNotOptimize(hex);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(fs::file_size(path)));
}
BENCHMARK(CalculateSHA256OfFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The SHA-256 payload object of a package directory, as the host program
// beside it would have it.
class PackagePayload : public FirmwareFramework::CSHAPyalodContents {
public:
    explicit PackagePayload(const std::string& packageDirectory, std::string name = "payload")
        : CSHAPyalodContents(name, nullptr) {
        m_strBaseDirectory = packageDirectory + "/";
    }
};

void PayloadPhase(benchmark::State& state) {
    const char* package = std::getenv("KOR_BENCH_PACKAGE_DIR");
    const char* mount = std::getenv("KOR_BENCH_MOUNT_DIR");
    if (package == nullptr || mount == nullptr) {
        state.SkipWithError("KOR_BENCH_PACKAGE_DIR and KOR_BENCH_MOUNT_DIR are not set");
        return;
    }
    PackagePayload payload(package);
    payload.CollectUpdateContents();
    std::string digest;
    for ([[maybe_unused]] auto _ : state) {
        state.PauseTiming();
        fs::remove_all(fs::path(mount) / "payload");
        state.ResumeTiming();
        payload.CopyUpdateContents(mount);
        payload.GenerateUpdateXML(mount, digest);
    }
}
BENCHMARK(PayloadPhase)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
