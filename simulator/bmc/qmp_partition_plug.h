#pragma once
// Plugs an attached partition's volume into the virtual machine as a USB
// disk on its xHCI bus (blockdev-add, device_add usb-storage) and pulls it
// out on detach (device_del, blockdev-del), on a thread of its own so that
// the controller's answer never waits for the hot-plug.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "partition_plug.h"
#include "qmp_client.h"

namespace simbmc {

class QmpPartitionPlug : public sim::devices::PartitionPlug {
public:
    // `log` receives one line per hot-plug step.
    QmpPartitionPlug(const std::string& qmpSocket, std::function<void(const std::string&)> log);
    ~QmpPartitionPlug() override;

    void Plug(int number, const std::string& volume) override;
    void Unplug(int number) override;
    void Settle() override;

private:
    void Run();
    void Step(const std::string& what, const std::string& command);

    QmpClient qmp_;
    std::function<void(const std::string&)> log_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::function<void()>> work_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread worker_;
};

}  // namespace simbmc
