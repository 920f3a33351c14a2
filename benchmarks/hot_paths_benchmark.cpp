#include <benchmark/benchmark.h>
#include <kortest/TemporaryDirectory.h>

#include <filesystem>
#include <string>

#include "CINIParser.h"
#include "CIPMICommandManagement.h"
#include "KORLogger.h"
#include "KORString.h"
#include "simmachine/SimMachine.h"

namespace {

// The catalogue reads its files from the working directory: a copy of the
// package skeleton in a fresh directory.
class PackageDirectory : public kortest::TemporaryDirectory {
public:
    PackageDirectory() {
        std::filesystem::copy(KOR_PACKAGE_DIR, Path(), std::filesystem::copy_options::recursive);
        Enter();
    }
};

void Utf8RoundTrip(benchmark::State& state) {
    const std::string text(static_cast<size_t>(state.range(0)), 'a');
    for ([[maybe_unused]] auto _ : state) {
        KORString wide(text.c_str());
        benchmark::DoNotOptimize(wide.GetUTF8String());
    }
}
BENCHMARK(Utf8RoundTrip)->Arg(16)->Arg(1024);

void LogCallWhileLoggingIsOff(benchmark::State& state) {
    for ([[maybe_unused]] auto _ : state) {
        KOR_LOG(KOR_LOG_DEBUG, "Polling for last command %d times", 1);
    }
}
BENCHMARK(LogCallWhileLoggingIsOff);

void ParseShippedCatalogue(benchmark::State& state) {
    const std::string path = std::string(KOR_PACKAGE_DIR) + "/ipmi_cmd.ini";
    for ([[maybe_unused]] auto _ : state) {
        CINIParser parser{KORString(path.c_str())};
        benchmark::DoNotOptimize(parser.OpenAndParse());
    }
}
BENCHMARK(ParseShippedCatalogue);

void NamedCommandThroughTransport(benchmark::State& state) {
    sim::Reset("");
    PackageDirectory package;
    IPMIFramework::CIPMICommandManagement catalogue;
    for ([[maybe_unused]] auto _ : state) {
        benchmark::DoNotOptimize(catalogue.ProcessIPMICommand("OrinStatus"));
    }
}
BENCHMARK(NamedCommandThroughTransport);

}  // namespace
