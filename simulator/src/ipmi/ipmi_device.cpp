#include "ipmi_device.h"

#include <cerrno>
#include <cstring>

#include "controller_model.h"
#include "hold_points.h"
#include "ipmi_faults.h"

namespace sim::devices {
namespace {

using sim::core::TraceNumber;
using sim::core::TraceText;

constexpr unsigned kChannels = 16;
// The late answer of an earlier request, with a code the caller must not take
// for the right answer's.
constexpr long kForeignIdOffset = 1000;
constexpr uint8_t kForeignCode = 0xc3;

// Requests a user may not send to the system interface: the driver keeps
// the message buffer to itself.
bool Forbidden(uint8_t netfn, uint8_t cmd) {
    return netfn == IPMI_NETFN_APP_REQUEST &&
           (cmd == IPMI_SEND_MSG_CMD || cmd == IPMI_GET_MSG_CMD ||
            cmd == IPMI_READ_EVENT_MSG_BUFFER_CMD);
}

void TraceMessage(const char* kind, const std::string& name, long msgid,
                  const std::vector<uint8_t>& bytes,
                  std::vector<sim::core::TraceField> extra = {}) {
    std::vector<sim::core::TraceField> fields = {
        TraceText("name", name), TraceNumber("msgid", msgid),
        TraceText("bytes", sim::core::HexBytes(bytes.data(), bytes.size()))};
    fields.insert(fields.end(), extra.begin(), extra.end());
    sim::core::Trace(kind, fields);
}

template <typename T>
int Put(void* arg, const T& value) {
    if (arg == nullptr) {
        errno = EFAULT;
        return -1;
    }
    std::memcpy(arg, &value, sizeof value);
    return 0;
}

template <typename T>
int Get(const void* arg, T* value) {
    if (arg == nullptr) {
        errno = EFAULT;
        return -1;
    }
    std::memcpy(value, arg, sizeof *value);
    return 0;
}

const char* const kIpmiModules[] = {"ipmi_msghandler", "ipmi_devintf", "ipmi_si"};

// Network function, command and data of a request whose data is there.
std::vector<uint8_t> MessageBytes(const ipmi_req& request) {
    std::vector<uint8_t> bytes(2 + size_t{request.msg.data_len});
    bytes[0] = request.msg.netfn;
    bytes[1] = request.msg.cmd;
    if (request.msg.data_len > 0) {
        std::memcpy(bytes.data() + 2, request.msg.data, request.msg.data_len);
    }
    return bytes;
}

}  // namespace

IpmiDevice::IpmiDevice(std::string path) : path_(std::move(path)) {
    for (const char* module : kIpmiModules)
        sim::core::HoldModule(module);
}

IpmiDevice::~IpmiDevice() {
    for (const char* module : kIpmiModules)
        sim::core::ReleaseModule(module);
}

void IpmiDevice::BeforeIoctl(unsigned long request, const void* arg) {
    if (arg == nullptr)
        return;
    ipmi_req send{};
    if (request == IPMICTL_SEND_COMMAND) {
        std::memcpy(&send, arg, sizeof send);
    } else if (request == IPMICTL_SEND_COMMAND_SETTIME) {
        ipmi_req_settime timed{};
        std::memcpy(&timed, arg, sizeof timed);
        send = timed.req;
    } else {
        return;
    }
    // Send refuses a request like these before anything else.
    if (send.msg.data_len + 2u > IPMI_MAX_MSG_LENGTH ||
        (send.msg.data_len > 0 && send.msg.data == nullptr))
        return;
    sim::core::ReachPoint(sim::core::PointKind::kIpmi, ControllerModel::NameOf(MessageBytes(send)));
}

int IpmiDevice::Ioctl(unsigned long request, void* arg) {
    switch (request) {
        case IPMICTL_SEND_COMMAND: {
            ipmi_req send;
            if (Get(arg, &send) != 0)
                return -1;
            return Send(send);
        }
        case IPMICTL_SEND_COMMAND_SETTIME: {
            ipmi_req_settime send;
            if (Get(arg, &send) != 0)
                return -1;
            return Send(send.req);
        }
        case IPMICTL_RECEIVE_MSG:
        case IPMICTL_RECEIVE_MSG_TRUNC: {
            if (arg == nullptr) {
                errno = EFAULT;
                return -1;
            }
            return Receive(*static_cast<ipmi_recv*>(arg), request == IPMICTL_RECEIVE_MSG_TRUNC);
        }
        default:
            break;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    switch (request) {
        case IPMICTL_SET_GETS_EVENTS_CMD:
            return Get(arg, &getsEvents_);
        case IPMICTL_SET_MY_ADDRESS_CMD:
            return Get(arg, &myAddress_);
        case IPMICTL_GET_MY_ADDRESS_CMD:
            return Put(arg, myAddress_);
        case IPMICTL_SET_MY_LUN_CMD: {
            unsigned lun = 0;
            if (Get(arg, &lun) != 0)
                return -1;
            myLun_ = lun & 0x3;
            return 0;
        }
        case IPMICTL_GET_MY_LUN_CMD:
            return Put(arg, myLun_);
        case IPMICTL_SET_MY_CHANNEL_ADDRESS_CMD:
        case IPMICTL_SET_MY_CHANNEL_LUN_CMD:
        case IPMICTL_GET_MY_CHANNEL_ADDRESS_CMD:
        case IPMICTL_GET_MY_CHANNEL_LUN_CMD:
            return ChannelSetting(request, arg);
        case IPMICTL_SET_TIMING_PARMS_CMD:
            return Get(arg, &timing_);
        case IPMICTL_GET_TIMING_PARMS_CMD:
            return Put(arg, timing_);
        case IPMICTL_GET_MAINTENANCE_MODE_CMD:
            return Put(arg, maintenanceMode_);
        case IPMICTL_SET_MAINTENANCE_MODE_CMD:
            return Get(arg, &maintenanceMode_);
        case IPMICTL_REGISTER_FOR_CMD:
        case IPMICTL_UNREGISTER_FOR_CMD:
        case IPMICTL_REGISTER_FOR_CMD_CHANS:
        case IPMICTL_UNREGISTER_FOR_CMD_CHANS:
            // Nobody sends this host commands; registering is accepted.
            return arg != nullptr ? 0 : (errno = EFAULT, -1);
        default:
            errno = ENOTTY;
            return -1;
    }
}

int IpmiDevice::ChannelSetting(unsigned long request, void* arg) {
    ipmi_channel_lun_address_set set;
    if (Get(arg, &set) != 0)
        return -1;
    if (set.channel >= kChannels) {
        errno = EINVAL;
        return -1;
    }
    // One IPMB address and LUN serve every channel of this interface.
    if (request == IPMICTL_SET_MY_CHANNEL_ADDRESS_CMD)
        myAddress_ = set.value;
    if (request == IPMICTL_SET_MY_CHANNEL_LUN_CMD)
        myLun_ = set.value & 0x3;
    if (request == IPMICTL_GET_MY_CHANNEL_ADDRESS_CMD) {
        set.value = static_cast<unsigned char>(myAddress_);
    }
    if (request == IPMICTL_GET_MY_CHANNEL_LUN_CMD) {
        set.value = static_cast<unsigned char>(myLun_);
    }
    return Put(arg, set);
}

int IpmiDevice::Send(const ipmi_req& request) {
    ipmi_system_interface_addr address{};
    if (request.addr == nullptr || request.addr_len < sizeof address ||
        request.addr_len > sizeof(ipmi_addr)) {
        errno = EINVAL;
        return -1;
    }
    std::memcpy(&address, request.addr, sizeof address);
    // The controller is reached only through the system interface; there is
    // no IPMB or LAN behind this simulated one.
    if (address.addr_type != IPMI_SYSTEM_INTERFACE_ADDR_TYPE ||
        address.channel != IPMI_BMC_CHANNEL || address.lun > 3 ||
        Forbidden(request.msg.netfn, request.msg.cmd)) {
        errno = EINVAL;
        return -1;
    }
    if (request.msg.data_len + 2u > IPMI_MAX_MSG_LENGTH) {
        errno = EMSGSIZE;
        return -1;
    }
    if (request.msg.data_len > 0 && request.msg.data == nullptr) {
        errno = EFAULT;
        return -1;
    }
    const std::vector<uint8_t> bytes = MessageBytes(request);
    const std::string name = ControllerModel::NameOf(bytes);
    size_t oversizeDataBytes = 0;
    const IpmiFault fault = IpmiFaults::Instance().Take(bytes, &oversizeDataBytes);
    if (fault == IpmiFault::kSendFails) {
        errno = EIO;
        return -1;
    }
    TraceMessage("ipmi_request", name, request.msgid, bytes);
    // A request without an answer is lost before the controller sees it.
    if (fault == IpmiFault::kNoAnswer)
        return 0;

    Answer answer;
    answer.msgid = request.msgid;
    answer.address = address;
    {
        const sim::core::MachineTransaction transaction;
        answer.message = ControllerModel::Instance().Handle(bytes);
    }
    if (fault == IpmiFault::kOversize)
        answer.message.resize(2 + oversizeDataBytes, 0);
    answer.failReceiveOnce = fault == IpmiFault::kReceiveFails;

    std::lock_guard<std::mutex> lock(mutex_);
    if (fault == IpmiFault::kForeignId) {
        Answer foreign = answer;
        foreign.msgid = request.msgid + kForeignIdOffset;
        foreign.message.resize(3);
        foreign.message[2] = kForeignCode;
        TraceMessage("ipmi_response", name, foreign.msgid, foreign.message,
                     {TraceText("fault", "foreign_id")});
        answers_.push_back(foreign);
    }
    TraceMessage("ipmi_response", name, answer.msgid, answer.message);
    answers_.push_back(answer);
    return 0;
}

// As the driver does it: the address and the header are copied out even when
// the data does not fit; the truncating receive then drops the message, the
// other one leaves it queued.
int IpmiDevice::Receive(ipmi_recv& receive, bool truncate) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (answers_.empty()) {
        errno = EAGAIN;
        return -1;
    }
    Answer& answer = answers_.front();
    if (answer.failReceiveOnce) {
        answer.failReceiveOnce = false;
        errno = EIO;
        return -1;
    }
    if (receive.addr == nullptr || receive.addr_len < sizeof answer.address) {
        errno = receive.addr == nullptr ? EFAULT : EINVAL;
        return -1;
    }
    const size_t dataLength = answer.message.size() - 2;
    if (dataLength > 0 && receive.msg.data == nullptr) {
        errno = EFAULT;
        return -1;
    }
    const bool fits = dataLength <= receive.msg.data_len;
    if (!fits && !truncate) {
        errno = EMSGSIZE;
        return -1;
    }
    std::memcpy(receive.addr, &answer.address, sizeof answer.address);
    receive.addr_len = sizeof answer.address;
    receive.recv_type = IPMI_RESPONSE_RECV_TYPE;
    receive.msgid = answer.msgid;
    receive.msg.netfn = answer.message[0];
    receive.msg.cmd = answer.message[1];
    const size_t copied = fits ? dataLength : receive.msg.data_len;
    if (copied > 0)
        std::memcpy(receive.msg.data, answer.message.data() + 2, copied);
    receive.msg.data_len = static_cast<unsigned short>(copied);
    answers_.pop_front();
    if (!fits) {
        errno = EMSGSIZE;
        return -1;
    }
    return 0;
}

bool IpmiDevice::ReadReady() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !answers_.empty();
}

void IpmiDevice::Closed() {
    sim::core::Trace("ipmi_close", {TraceText("path", path_)});
}

}  // namespace sim::devices
