// Descriptors that carry a simulated device answer ioctl and select
// from the device, also from many threads at once.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "../src/core/sim_core.h"
#include "simmachine/SimMachine.h"

namespace {

constexpr unsigned long kPing = 0x5301;

class CountingDevice : public sim::core::FdDevice {
public:
    int Ioctl(unsigned long request, void* arg) override {
        if (request != kPing) {
            errno = ENOTTY;
            return -1;
        }
        ++*static_cast<int*>(arg);
        ready = !ready;
        return 0;
    }
    bool ReadReady() override { return ready; }
    void Closed() override { closed = true; }

    std::atomic<bool> ready{false};
    std::atomic<bool> closed{false};
};

int OpenDevice(const std::shared_ptr<CountingDevice>& device) {
    const int fd = open("/dev/null", O_RDONLY);
    sim::core::AttachDevice(fd, device);
    return fd;
}

int SelectOn(int fd, timeval* timeout) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    const int result = select(fd + 1, &readable, nullptr, nullptr, timeout);
    return result > 0 && FD_ISSET(fd, &readable) ? result : -result - 10;
}

TEST(DeviceDescriptors, IoctlSelectAndCloseReachTheDevice) {
    sim::Reset();
    auto device = std::make_shared<CountingDevice>();
    const int fd = OpenDevice(device);
    ASSERT_GE(fd, 0);

    timeval timeout = {20, 60};
    EXPECT_EQ(SelectOn(fd, &timeout), -10);  // nothing ready: times out at once
    EXPECT_EQ(timeout.tv_sec, 0);
    int pings = 0;
    EXPECT_EQ(ioctl(fd, kPing, &pings), 0);
    EXPECT_EQ(pings, 1);
    EXPECT_EQ(ioctl(fd, kPing + 1, &pings), -1);
    EXPECT_EQ(errno, ENOTTY);
    timeout = {20, 60};
    EXPECT_EQ(SelectOn(fd, &timeout), 1);
    device->ready = false;
    EXPECT_EQ(SelectOn(fd, nullptr), -10);  // no timeout: returns rather than hang

    EXPECT_EQ(sim::SleepsMs(), (std::vector<uint64_t>{20000, 0}));
    EXPECT_EQ(sim::TraceOf("sleep")[1].fields.at("timeout"), "none");
    EXPECT_EQ(close(fd), 0);
    EXPECT_TRUE(device->closed);
    EXPECT_EQ(sim::core::DeviceOf(fd), nullptr);
}

// fclose closes without passing through close(): the number comes back from
// the next open, and the device must not answer for the new file.
TEST(DeviceDescriptors, ReusedNumberForgetsTheStaleDevice) {
    sim::Reset();
    auto device = std::make_shared<CountingDevice>();
    const int fd = OpenDevice(device);
    ASSERT_EQ(syscall(SYS_close, fd), 0);
    const int reused = open("/dev/null", O_RDONLY);
    ASSERT_EQ(reused, fd);
    EXPECT_TRUE(device->closed);
    EXPECT_EQ(sim::core::DeviceOf(reused), nullptr);
    close(reused);
}

TEST(DeviceDescriptors, EightThreadsAtOnce) {
    sim::Reset();
    constexpr int kThreads = 8;
    constexpr int kRounds = 300;
    std::vector<std::thread> threads;
    threads.reserve(kThreads);
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&failures] {
            auto device = std::make_shared<CountingDevice>();
            const int fd = OpenDevice(device);
            int pings = 0;
            for (int round = 0; round < kRounds; ++round) {
                timeval timeout = {0, 1000};
                const int before = SelectOn(fd, &timeout);
                if (ioctl(fd, kPing, &pings) != 0)
                    ++failures;
                if ((before == 1) != (round % 2 == 1))
                    ++failures;
            }
            if (pings != kRounds)
                ++failures;
            close(fd);
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failures, 0);
    // Every thread timed out on the even rounds, 1 ms each.
    EXPECT_EQ(sim::VirtualTimeMs(), static_cast<uint64_t>(kThreads * kRounds / 2));
}

}  // namespace
