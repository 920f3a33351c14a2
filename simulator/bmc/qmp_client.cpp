#include "qmp_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

namespace simbmc {
namespace {

constexpr int kAnswerTimeoutMs = 10000;
constexpr size_t kLongestLine = 1 << 20;

bool Has(const std::string& line, const char* member) {
    return line.find(std::string("\"") + member + "\"") != std::string::npos;
}

}  // namespace

QmpClient::QmpClient(std::string socketPath) : socketPath_(std::move(socketPath)) {}

bool QmpClient::Connect(std::string* error) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath_.size() >= sizeof address.sun_path) {
        *error = "QMP socket path too long";
        return false;
    }
    std::memcpy(address.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
    KORHandles::Descriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0 ||
        connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        *error = "cannot connect to " + socketPath_ + ": " + std::strerror(errno);
        return false;
    }
    socket_ = std::move(socket);
    buffered_.clear();
    if (ReadLine(kAnswerTimeoutMs).find("\"QMP\"") == std::string::npos) {
        *error = "no QMP greeting";
        socket_.reset();
        return false;
    }
    return true;
}

std::string QmpClient::ReadLine(int timeoutMs) {
    for (;;) {
        const auto end = buffered_.find('\n');
        if (end != std::string::npos) {
            std::string line = buffered_.substr(0, end);
            buffered_.erase(0, end + 1);
            return line;
        }
        pollfd ready{socket_.get(), POLLIN, 0};
        if (poll(&ready, 1, timeoutMs) <= 0)
            return "";
        char chunk[4096];
        const ssize_t count = read(socket_.get(), chunk, sizeof chunk);
        if (count <= 0 || buffered_.size() > kLongestLine)
            return "";
        buffered_.append(chunk, static_cast<size_t>(count));
    }
}

bool QmpClient::Execute(const std::string& command, std::string* error) {
    if (socket_.get() < 0) {
        if (!Connect(error) || !Execute(R"({"execute":"qmp_capabilities"})", error))
            return false;
    }
    events_.clear();
    const std::string line = command + "\n";
    if (write(socket_.get(), line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
        *error = std::string("QMP write failed: ") + std::strerror(errno);
        return false;
    }
    for (;;) {
        const std::string answer = ReadLine(kAnswerTimeoutMs);
        if (answer.empty()) {
            *error = "no QMP answer to " + command;
            return false;
        }
        if (Has(answer, "return"))
            return true;
        if (Has(answer, "error")) {
            *error = answer;
            return false;
        }
        events_ += answer + "\n";
    }
}

bool QmpClient::WaitForEvent(const std::string& text, int timeoutMs) {
    while (events_.find(text) == std::string::npos) {
        const std::string line = ReadLine(timeoutMs);
        if (line.empty())
            return false;
        events_ += line + "\n";
    }
    events_.clear();
    return true;
}

}  // namespace simbmc
