// Sleeps take no real time: the virtual clock moves and every sleep is recorded.

#include <gtest/gtest.h>
#include <sys/select.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "simmachine/SimMachine.h"

namespace {

TEST(VirtualTime, SleepsReturnAtOnceAndAreRecorded) {
    sim::Reset();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sleep(5), 0u);
    EXPECT_EQ(usleep(250000), 0);
    const timespec length = {1, 500000000};
    timespec left = {9, 9};
    EXPECT_EQ(nanosleep(&length, &left), 0);
    EXPECT_EQ(left.tv_sec, 0);
    EXPECT_EQ(left.tv_nsec, 0);
    const timespec twoSeconds = {2, 0};
    EXPECT_EQ(clock_nanosleep(CLOCK_MONOTONIC, 0, &twoSeconds, nullptr), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

    EXPECT_EQ(sim::SleepsMs(), (std::vector<uint64_t>{5000, 250, 1500, 2000, 30}));
    EXPECT_EQ(sim::VirtualTimeMs(), 8780u);
    const std::vector<sim::Event> sleeps = sim::TraceOf("sleep");
    ASSERT_EQ(sleeps.size(), 5u);
    EXPECT_EQ(sleeps[0].fields.at("via"), "sleep");
    EXPECT_EQ(sleeps[0].fields.at("t_ms"), "5000");
    EXPECT_EQ(sleeps[2].fields.at("via"), "nanosleep");
}

TEST(VirtualTime, InvalidLengthsAreRefused) {
    sim::Reset();
    const timespec bad = {0, 1000000000};
    EXPECT_EQ(nanosleep(&bad, nullptr), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(clock_nanosleep(CLOCK_MONOTONIC, 0, &bad, nullptr), EINVAL);
    EXPECT_TRUE(sim::SleepsMs().empty());
}

TEST(VirtualTime, SelectWithoutSimulatedDescriptorsIsReal) {
    sim::Reset();
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_EQ(write(ends[1], "x", 1), 1);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(ends[0], &readable);
    timeval timeout = {5, 0};
    EXPECT_EQ(select(ends[0] + 1, &readable, nullptr, nullptr, &timeout), 1);
    EXPECT_TRUE(FD_ISSET(ends[0], &readable));
    close(ends[0]);
    close(ends[1]);
    EXPECT_TRUE(sim::SleepsMs().empty());
}

}  // namespace
