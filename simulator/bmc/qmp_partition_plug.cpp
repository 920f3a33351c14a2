#include "qmp_partition_plug.h"

namespace simbmc {
namespace {

constexpr int kUnplugTimeoutMs = 10000;

std::string NodeOf(int number) {
    return "secupd" + std::to_string(number);
}

}  // namespace

QmpPartitionPlug::QmpPartitionPlug(const std::string& qmpSocket,
                                   std::function<void(const std::string&)> log)
    : qmp_(qmpSocket), log_(std::move(log)), worker_([this] { Run(); }) {}

QmpPartitionPlug::~QmpPartitionPlug() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void QmpPartitionPlug::Plug(int number, const std::string& volume) {
    const std::string node = NodeOf(number);
    std::lock_guard<std::mutex> lock(mutex_);
    work_.emplace_back([this, node, volume] {
        // The image path comes from the controller model (its own sandbox),
        // and holds no character JSON would need escaped.
        Step("blockdev-add " + volume,
             R"({"execute":"blockdev-add","arguments":{"driver":"raw","node-name":")" + node +
                 R"(","file":{"driver":"file","filename":")" + volume + R"("}}})");
        Step("device_add usb-storage " + node,
             R"({"execute":"device_add","arguments":{"driver":"usb-storage","bus":"xhci.0",)"
             R"("removable":true,"drive":")" +
                 node + R"(","id":")" + node + R"("}})");
    });
    changed_.notify_all();
}

void QmpPartitionPlug::Unplug(int number) {
    const std::string node = NodeOf(number);
    std::lock_guard<std::mutex> lock(mutex_);
    work_.emplace_back([this, node] {
        Step("device_del " + node,
             R"({"execute":"device_del","arguments":{"id":")" + node + R"("}})");
        // The block node stays in use until the guest has let the device go.
        if (!qmp_.WaitForEvent(R"("device": ")" + node + "\"", kUnplugTimeoutMs))
            log_("no DEVICE_DELETED for " + node);
        Step("blockdev-del " + node,
             R"({"execute":"blockdev-del","arguments":{"node-name":")" + node + R"("}})");
    });
    changed_.notify_all();
}

void QmpPartitionPlug::Settle() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return work_.empty() && !busy_; });
}

void QmpPartitionPlug::Step(const std::string& what, const std::string& command) {
    std::string error;
    log_(qmp_.Execute(command, &error) ? what : what + " failed: " + error);
}

void QmpPartitionPlug::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !work_.empty(); });
        if (work_.empty())
            return;
        std::function<void()> job = std::move(work_.front());
        work_.pop_front();
        busy_ = true;
        lock.unlock();
        job();
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}

}  // namespace simbmc
