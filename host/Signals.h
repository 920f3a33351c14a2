#pragma once
// How updatehost meets signals. Killed mid-update it would leave the
// controller with a session, a partition it may still be staging from, and
// the machine with a mount and device links, so it dies of nothing that a
// person or a supervisor did not mean as a stop.

#include <atomic>
#include <csignal>
#include <string>
#include <thread>

// For the whole run: a hang-up is ignored (by the commands the library runs
// as well, as under nohup), and a write to a closed pipe or terminal fails
// with EPIPE instead of killing the process. The heartbeat and the report
// write to standard error and output, which a supervisor may have closed.
// SIGPIPE is caught rather than ignored so that the commands the library
// runs get the default back when they start.
void SurviveHangupAndBrokenPipe();

// While alive (around the library's Update()): the first SIGINT or SIGTERM
// does not stop the process; it is noted, and `notice` goes once to standard
// error. A second one stops the process as if this object did not exist.
class DeferredInterrupts {
public:
    explicit DeferredInterrupts(std::string notice);
    ~DeferredInterrupts();
    DeferredInterrupts(const DeferredInterrupts&) = delete;
    DeferredInterrupts& operator=(const DeferredInterrupts&) = delete;

    bool Requested() const;

private:
    const std::string m_notice;
    struct sigaction m_previous[2]{};  // of SIGINT and SIGTERM, given back at the end
    std::atomic<bool> m_ending{false};
    std::thread m_thread;  // writes the notice: a signal handler may not
};
