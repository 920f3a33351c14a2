#include "Signals.h"

#include <semaphore.h>

#include <cerrno>
#include <csignal>
#include <iostream>
#include <iterator>

namespace {

// In the order of DeferredInterrupts::m_previous.
constexpr int kDeferred[] = {SIGINT, SIGTERM};

std::atomic<int> g_interrupts{0};

// Posted by the handler (sem_post may be called from one) to wake the thread
// that writes the notice. Never destroyed: a handler may still run while the
// process ends.
sem_t& NoticeWake() {
    static sem_t* wake = [] {
        auto* semaphore = new sem_t;
        sem_init(semaphore, 0, 0);
        return semaphore;
    }();
    return *wake;
}

extern "C" void OnInterrupt(int signal) {
    if (g_interrupts.fetch_add(1) == 0) {
        sem_post(&NoticeWake());
        return;
    }
    // The second one stops the process as the signal's default would.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(signal, &fallback, nullptr);
    raise(signal);
}

extern "C" void OnBrokenPipe(int) {}

void Handle(int signal, void (*handler)(int), struct sigaction* previous = nullptr) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, previous);
}

}  // namespace

void SurviveHangupAndBrokenPipe() {
    Handle(SIGHUP, SIG_IGN);
    Handle(SIGPIPE, OnBrokenPipe);
}

DeferredInterrupts::DeferredInterrupts(std::string notice) : m_notice(std::move(notice)) {
    while (sem_trywait(&NoticeWake()) == 0) {
    }
    g_interrupts = 0;
    m_thread = std::thread([this] {
        for (bool told = false;;) {
            while (sem_wait(&NoticeWake()) != 0 && errno == EINTR) {
            }
            if (m_ending) {
                return;
            }
            if (!told && g_interrupts > 0) {
                std::cerr << m_notice << std::endl;
                told = true;
            }
        }
    });
    for (size_t i = 0; i < std::size(kDeferred); ++i) {
        Handle(kDeferred[i], OnInterrupt, &m_previous[i]);
    }
}

DeferredInterrupts::~DeferredInterrupts() {
    for (size_t i = 0; i < std::size(kDeferred); ++i) {
        sigaction(kDeferred[i], &m_previous[i], nullptr);
    }
    m_ending = true;
    sem_post(&NoticeWake());
    m_thread.join();
}

bool DeferredInterrupts::Requested() const {
    return g_interrupts > 0;
}
