#pragma once
// While alive, writes the elapsed time to a stream at a fixed interval from a
// thread of its own, so that a long wait inside the library (the controller's
// readiness checks, the stage poll) never looks like a hang.
//
// It waits on a condition variable rather than sleeping: a sleep of the host
// process is the library's business (the simulated machine counts them all).

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>

class Heartbeat {
public:
    Heartbeat(std::ostream& out, std::string activity, std::chrono::milliseconds interval);
    ~Heartbeat();
    Heartbeat(const Heartbeat&) = delete;
    Heartbeat& operator=(const Heartbeat&) = delete;

private:
    void Beat();

    std::ostream& m_out;
    const std::string m_activity;
    const std::chrono::milliseconds m_interval;
    std::mutex m_mutex;
    std::condition_variable m_stop;
    bool m_stopping = false;
    std::thread m_thread;
};
