// simbmc: the simulated management controller for a virtual machine. Serves
// the controller model of the simulated machine (its scenario from
// SIMMACHINE_SCENARIO) to one virtual machine's external-BMC IPMI interface
// over TCP on loopback, and hot-plugs attached partitions into it over QMP.
// The controller's clock (its session time-out) follows real time, as the
// virtual machine does. When the machine disconnects it prints the
// controller's final state.
//
//   simbmc PORT QMP-SOCKET

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "KORHandles.h"
#include "bmc_wire.h"
#include "controller_model.h"
#include "qmp_partition_plug.h"
#include "sim_core.h"

namespace {

using sim::devices::ControllerModel;

uint64_t MsSinceStart() {
    static const auto start = std::chrono::steady_clock::now();
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now() - start)
                                     .count());
}

void Log(const std::string& line) {
    std::fprintf(stderr, "simbmc %6.2fs %s\n", static_cast<double>(MsSinceStart()) / 1000.0,
                 line.c_str());
}

// The time the virtual machine spent since the last request passes for the
// controller too (traced as a sleep via "real").
void FollowRealTime() {
    const uint64_t now = MsSinceStart();
    const uint64_t clock = sim::core::NowMs();
    if (now > clock)
        sim::core::Sleep(now - clock, "real");
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char piece[4];
    for (const uint8_t byte : bytes) {
        std::snprintf(piece, sizeof piece, "%02x ", byte);
        text += piece;
    }
    return text.empty() ? text : text.substr(0, text.size() - 1);
}

KORHandles::Descriptor AcceptOne(int port) {
    KORHandles::Descriptor listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int yes = 1;
    setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener.get() < 0 ||
        bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener.get(), 1) != 0) {
        Log(std::string("cannot listen on 127.0.0.1:") + std::to_string(port) + ": " +
            std::strerror(errno));
        return KORHandles::Descriptor();
    }
    Log("listening on 127.0.0.1:" + std::to_string(port));
    return KORHandles::Descriptor(accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
}

bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = write(fd, bytes.data() + done, bytes.size() - done);
        if (count <= 0)
            return false;
        done += static_cast<size_t>(count);
    }
    return true;
}

void Serve(int connection) {
    ControllerModel& model = ControllerModel::Instance();
    simbmc::WireReader reader;
    uint8_t chunk[512];
    ssize_t count = 0;
    while ((count = read(connection, chunk, sizeof chunk)) > 0) {
        for (const simbmc::WireRequest& request : reader.Feed(chunk, static_cast<size_t>(count))) {
            FollowRealTime();
            const std::string name = model.NameOf(request.message);
            const std::vector<uint8_t> answer = model.Handle(request.message);
            if (name != "?")
                Log(name + ": " + Hex(request.message) + " -> " + Hex(answer));
            if (!WriteAll(connection, simbmc::FrameAnswer(request, answer)))
                return;
        }
    }
}

void PrintState() {
    ControllerModel& model = ControllerModel::Instance();
    std::string partitions;
    for (const int number : model.Partitions())
        partitions += (partitions.empty() ? "" : ",") + std::to_string(number);
    std::string staged;
    for (const std::string& file : model.StagedFiles())
        staged += (staged.empty() ? "" : ",") + file;
    std::printf(
        "controller session=%s partitions=%s staged=%s\n", model.SessionOpen() ? "open" : "closed",
        partitions.empty() ? "none" : partitions.c_str(), staged.empty() ? "none" : staged.c_str());
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: simbmc PORT QMP-SOCKET\n");
        return 2;
    }
    simbmc::QmpPartitionPlug plug(argv[2], Log);
    ControllerModel& model = ControllerModel::Instance();
    try {
        model.UsePlug(&plug);
        model.Reset(sim::core::CurrentScenario());
        model.AttachLeftovers();
    } catch (const std::exception& error) {
        Log(error.what());
        return 1;
    }
    KORHandles::Descriptor connection = AcceptOne(std::stoi(argv[1]));
    if (connection.get() < 0)
        return 1;
    Log("virtual machine connected");
    Serve(connection.get());
    Log("virtual machine disconnected");
    plug.Settle();
    model.UsePlug(nullptr);
    PrintState();
    return 0;
}
