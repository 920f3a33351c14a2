#pragma once
// A client of a virtual machine's QMP monitor on a Unix socket: one JSON
// object per line, commands answered by "return" or "error", events
// ("event") in between.

#include <string>

#include "KORHandles.h"

namespace simbmc {

class QmpClient {
public:
    explicit QmpClient(std::string socketPath);

    // Runs one command (a JSON object); true when it returned. Connects on
    // first use. On failure `error` says why.
    bool Execute(const std::string& command, std::string* error);
    // Waits (at most timeoutMs) for an event line containing `text`, or one
    // already seen since the last command.
    bool WaitForEvent(const std::string& text, int timeoutMs);

private:
    bool Connect(std::string* error);
    // One line, empty on timeout or end of stream.
    std::string ReadLine(int timeoutMs);

    std::string socketPath_;
    KORHandles::Descriptor socket_;
    std::string buffered_;
    std::string events_;
};

}  // namespace simbmc
