#include "Heartbeat.h"

Heartbeat::Heartbeat(std::ostream& out, std::string activity, std::chrono::milliseconds interval)
    : m_out(out),
      m_activity(std::move(activity)),
      m_interval(interval),
      m_thread([this] { Beat(); }) {}

Heartbeat::~Heartbeat() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_stop.notify_one();
    m_thread.join();
}

void Heartbeat::Beat() {
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stop.wait_for(lock, m_interval, [this] { return m_stopping; })) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::steady_clock::now() - start);
        m_out << "updatehost: " << m_activity << ", " << elapsed.count() << " s elapsed"
              << std::endl;
    }
}
