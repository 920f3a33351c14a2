// Many host threads running the pass-through export at once, each call
// building and destroying its own catalogue: every call is answered right,
// and no thread's clean-up reaches another thread's session or the logger.
// Descriptors and resident memory stay flat across the calls.

#include <gtest/gtest.h>
#include <simmachine/SimMachine.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "ShippedLibrary.h"

namespace {

using Bytes = std::vector<unsigned char>;

constexpr int kThreads = 16;
constexpr int kCallsPerThread = 625;  // 10,000 calls in all
const char* const kCommands[] = {"OrinStatus", "OstrelType", "SystemGeneration",
                                 "OstrelCapability"};
constexpr int kCommandCount = sizeof kCommands / sizeof kCommands[0];

// The shipped catalogue's sections of these commands only: each call loads
// the catalogue afresh, and parsing is most of a call's cost.
std::string CatalogueOf(const std::set<std::string>& names) {
    std::ifstream shipped(std::string(KOR_PACKAGE_DIR) + "/ipmi_cmd.ini");
    std::string catalogue;
    bool keep = false;
    for (std::string line; std::getline(shipped, line);) {
        if (!line.empty() && line[0] == '[')
            keep = names.count(line.substr(1, line.find(']') - 1)) != 0;
        if (keep)
            catalogue += line + "\n";
    }
    return catalogue;
}

size_t OpenDescriptors() {
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<size_t>(std::distance(begin(entries), end(entries)));
}

// Resident pages, the second figure of /proc/self/statm.
long ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0;
    long resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Allocator arenas and thread stacks settle after the first round of
// threads; what a leak of even a small object per call would add over
// 10,000 calls is well beyond this.
constexpr long kResidentToleranceKiB = 1024;

TEST(ConcurrentPassThrough, EveryCallOfEveryThreadIsAnsweredRight) {
    shippedlibrary::PackageDirectory package;
    package.Write("ipmi_cmd.ini", CatalogueOf({std::begin(kCommands), std::end(kCommands)}));
    const ProcessIPMICommandRequestFn passThrough = shippedlibrary::LoadPassThrough();
    // Distinct answers, so that an answer read from another thread's handle shows.
    sim::Reset(
        "controller.orin_status = 3\ncontroller.ostrel_type = 1\n"
        "controller.generation = 23\ncontroller.capability = 0x03\n");

    // What one thread alone gets.
    std::map<std::string, Bytes> expected;
    for (const char* name : kCommands) {
        ASSERT_EQ(passThrough(name, expected[name]), 0u) << name;
        ASSERT_GE(expected[name].size(), 3u) << name;
    }

    std::vector<int> wrongAnswers(kThreads, 0);
    auto runThreads = [&](int callsPerThread) {
        std::vector<std::thread> threads;
        threads.reserve(kThreads);
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                Bytes response;
                for (int call = 0; call < callsPerThread; ++call) {
                    const char* name = kCommands[(t + call) % kCommandCount];
                    response.clear();
                    if (passThrough(name, response) != 0 || response != expected.at(name))
                        ++wrongAnswers[t];
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
    };
    // One call per thread first, so that the measurement starts with the
    // threads' arenas in place.
    runThreads(1);
    const size_t descriptorsBefore = OpenDescriptors();
    const long residentBefore = ResidentKiB();
    runThreads(kCallsPerThread);
    const size_t descriptorsAfter = OpenDescriptors();
    const long residentAfter = ResidentKiB();
    std::cout << kThreads << " threads, " << kThreads * kCallsPerThread << " calls: descriptors "
              << descriptorsBefore << " -> " << descriptorsAfter << ", resident KiB "
              << residentBefore << " -> " << residentAfter << "\n";
    EXPECT_EQ(descriptorsAfter, descriptorsBefore);
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
    // A sanitizer's shadow memory and history grow with the calls themselves.
    EXPECT_LE(residentAfter - residentBefore, kResidentToleranceKiB);
#endif

    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(wrongAnswers[t], 0) << "thread " << t;
    const size_t calls = kCommandCount + kThreads * (1 + kCallsPerThread);
    EXPECT_EQ(sim::IpmiRequests().size(), calls);
    // Each call opened a handle of its own and closed exactly that one.
    EXPECT_EQ(sim::TraceOf("ipmi_open").size(), calls);
    EXPECT_EQ(sim::TraceOf("ipmi_close").size(), calls);
}

}  // namespace
