// Several threads sending requests at once through one front: each gets its
// own session and device handle and only its own answers.

#include <gtest/gtest.h>
#include <kortest/TemporaryDirectory.h>
#include <pthread.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "IpmiTestSupport.h"
#include "KORIPMIInterfaceImpl.h"
#include "simmachine/SimMachine.h"

namespace {

using ipmitest::MakeBlock;
using ipmitest::MakeConfiguration;

// Commands whose answer echoes the operation byte, with their answer lengths.
struct EchoingCommand {
    std::vector<uint8_t> request;
    unsigned int responseLength;
};
const EchoingCommand kCommands[] = {{{0x30, 0xA1, 0x01}, 5},
                                    {{0x30, 0xA1, 0x04}, 9},
                                    {{0x30, 0xA1, 0x05}, 7},
                                    {{0x30, 0xA1, 0x06}, 6}};
constexpr int kRequestsPerThread = 12;
constexpr unsigned int kFileRetryCount = 2;

class Barrier {
public:
    explicit Barrier(unsigned int count) { pthread_barrier_init(&m_barrier, nullptr, count); }
    ~Barrier() { pthread_barrier_destroy(&m_barrier); }
    void Wait() { pthread_barrier_wait(&m_barrier); }

private:
    pthread_barrier_t m_barrier;
};

// Failures counted per thread and reported by the main thread.
struct ThreadOutcome {
    int wrongAnswers = 0;
    int ownConfigurationKept = 0;
};

void SendRequests(KORIPMIInterfaceImpl& front, int threadIndex, Barrier& start, Barrier& done,
                  ThreadOutcome& outcome) {
    start.Wait();
    for (int i = 0; i < kRequestsPerThread; ++i) {
        const EchoingCommand& command = kCommands[(threadIndex + i) % 4];
        _KORIPMIConfiguration own = MakeConfiguration(1, 1);
        _KORIPMICommandData block = MakeBlock(command.request, &own);
        const unsigned int status = front.IPMIRequest(&block);
        if (status != 0 || block.ucResponseBuffer[0] != 0x31 || block.ucResponseBuffer[1] != 0xA1 ||
            block.ucResponseBuffer[2] != 0x00 || block.ucResponseBuffer[3] != command.request[2] ||
            block.uiResponseLength != command.responseLength) {
            ++outcome.wrongAnswers;
        }
        // The settings file, loaded by whichever session came first, decides.
        if (block.pConfiguration == &own || block.pConfiguration->uiRetryCount != kFileRetryCount) {
            ++outcome.ownConfigurationKept;
        }
    }
    // All sessions stay alive together, so no thread id can be reused.
    done.Wait();
    front.Release();
}

class SessionThreads : public testing::TestWithParam<int> {};

TEST_P(SessionThreads, EachThreadHasItsOwnSessionAndHandle) {
    const int threadCount = GetParam();
    kortest::TemporaryDirectory workingDirectory;
    workingDirectory.Enter();
    ipmitest::ResetSettingsFile();
    sim::Reset();

    KORIPMIInterfaceImpl front;
    _KORIPMIConfiguration initial = MakeConfiguration(5, 1);
    ASSERT_EQ(front.Initialize(&initial), 0u);
    // Written only now, so the threads' first sessions race to load it.
    workingDirectory.Write(
        "KORIPMIConfig.xml",
        R"(<C><G name="Default"><D name="Default"><RetryCount>2</RetryCount></D></G></C>)");

    Barrier start(threadCount);
    Barrier done(threadCount);
    std::vector<ThreadOutcome> outcomes(threadCount);
    std::vector<std::thread> threads;
    threads.reserve(threadCount);
    for (int i = 0; i < threadCount; ++i) {
        threads.emplace_back(SendRequests, std::ref(front), i, std::ref(start), std::ref(done),
                             std::ref(outcomes[i]));
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    for (int i = 0; i < threadCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(outcomes[i].wrongAnswers, 0);
        EXPECT_EQ(outcomes[i].ownConfigurationKept, 0);
    }
    // Answers queue per handle, so right answers everywhere also mean own handles.
    EXPECT_EQ(ipmitest::CountOpens(), static_cast<size_t>(threadCount) + 1);
    EXPECT_EQ(sim::TraceOf("ipmi_close").size(), static_cast<size_t>(threadCount));
    EXPECT_EQ(sim::IpmiRequests().size(), static_cast<size_t>(threadCount) * kRequestsPerThread);

    std::set<unsigned long> messageIds;
    for (const sim::Event& request : sim::TraceOf("ipmi_request")) {
        messageIds.insert(std::stoul(request.fields.at("msgid")));
    }
    EXPECT_EQ(messageIds.size(), static_cast<size_t>(threadCount) * kRequestsPerThread);

    front.Release();
    EXPECT_EQ(sim::TraceOf("ipmi_close").size(), static_cast<size_t>(threadCount) + 1);
    ipmitest::ResetSettingsFile();
}

INSTANTIATE_TEST_SUITE_P(TwoAndEight, SessionThreads, testing::Values(2, 8));

}  // namespace
