#pragma once
// A minimal client of the Linux IPMI driver interface for the simulator's
// tests: it goes through the interposed open, ioctl and select of the test
// process, as the update library does.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <unistd.h>

#include <linux/ipmi.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace simtest {

// "30 a1 01" as bytes.
inline std::vector<uint8_t> Bytes(const std::string& hex) {
    std::istringstream tokens(hex);
    std::vector<uint8_t> bytes;
    std::string token;
    while (tokens >> token)
        bytes.push_back(static_cast<uint8_t>(std::stoul(token, nullptr, 16)));
    return bytes;
}

inline std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    static const char digits[] = "0123456789abcdef";
    for (uint8_t byte : bytes) {
        if (!text.empty())
            text += ' ';
        text += digits[byte >> 4];
        text += digits[byte & 0xf];
    }
    return text;
}

struct Received {
    int result = 0;
    int error = 0;
    ipmi_recv header{};
    ipmi_system_interface_addr address{};
    std::vector<uint8_t> data;  // completion code, then the answer's data
};

class IpmiClient {
public:
    explicit IpmiClient(const char* path = "/dev/ipmi0") : fd_(::open(path, O_RDWR)) {}
    ~IpmiClient() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    IpmiClient(const IpmiClient&) = delete;
    IpmiClient& operator=(const IpmiClient&) = delete;

    int fd() const { return fd_; }

    // The ioctl's result; errno as it left it.
    int Send(const std::vector<uint8_t>& request, long msgid,
             ipmi_system_interface_addr address = SystemInterface(),
             unsigned addressLength = sizeof(ipmi_system_interface_addr)) {
        ipmi_req send{};
        send.addr = reinterpret_cast<unsigned char*>(&address);
        send.addr_len = addressLength;
        send.msgid = msgid;
        send.msg.netfn = request.at(0);
        send.msg.cmd = request.at(1);
        data_.assign(request.begin() + 2, request.end());
        send.msg.data = data_.data();
        send.msg.data_len = static_cast<unsigned short>(data_.size());
        return ::ioctl(fd_, IPMICTL_SEND_COMMAND, &send);
    }

    // select with the library's 20 seconds: true when an answer is queued.
    bool WaitReadable(long seconds = 20) {
        fd_set read;
        FD_ZERO(&read);
        FD_SET(fd_, &read);
        timeval timeout{seconds, 0};
        return ::select(fd_ + 1, &read, nullptr, nullptr, &timeout) == 1 && FD_ISSET(fd_, &read);
    }

    Received Receive(size_t capacity = 253, unsigned long request = IPMICTL_RECEIVE_MSG_TRUNC) {
        Received received;
        received.data.assign(capacity, 0xee);
        received.header.addr = reinterpret_cast<unsigned char*>(&received.address);
        received.header.addr_len = sizeof received.address;
        received.header.msg.data = received.data.data();
        received.header.msg.data_len = static_cast<unsigned short>(capacity);
        received.result = ::ioctl(fd_, request, &received.header);
        received.error = received.result < 0 ? errno : 0;
        if (received.result == 0 || received.error == EMSGSIZE) {
            received.data.resize(received.header.msg.data_len);
        }
        return received;
    }

    // One request and its answer as network function, command, completion
    // code and data; empty when no answer came.
    std::vector<uint8_t> Exchange(const std::vector<uint8_t>& request) {
        if (Send(request, ++msgid_) != 0 || !WaitReadable())
            return {};
        const Received received = Receive();
        if (received.result != 0)
            return {};
        std::vector<uint8_t> answer(2 + received.data.size());
        answer[0] = received.header.msg.netfn;
        answer[1] = received.header.msg.cmd;
        std::copy(received.data.begin(), received.data.end(), answer.begin() + 2);
        return answer;
    }
    std::string Exchange(const std::string& request) { return Hex(Exchange(Bytes(request))); }

    static ipmi_system_interface_addr SystemInterface() {
        ipmi_system_interface_addr address{};
        address.addr_type = IPMI_SYSTEM_INTERFACE_ADDR_TYPE;
        address.channel = IPMI_BMC_CHANNEL;
        address.lun = 0;
        return address;
    }

private:
    int fd_;
    long msgid_ = 0;
    std::vector<uint8_t> data_;
};

}  // namespace simtest
