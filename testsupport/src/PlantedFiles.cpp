#include "kortest/PlantedFiles.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace kortest {

namespace {

void Require(bool done, const std::string& what, const std::string& path) {
    if (!done)
        throw std::runtime_error("cannot plant " + what + " at " + path + ": " +
                                 std::strerror(errno));
}

void PlantSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    Require(path.size() < sizeof address.sun_path, "a socket", path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    Require(fd >= 0, "a socket", path);
    // The bound name stays in the directory once the socket is closed.
    const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(fd);
    Require(bound == 0, "a socket", path);
}

}  // namespace

const std::vector<PlantedKind>& PlantedKinds() {
    static const std::vector<PlantedKind> kinds = {
        {Planted::Fifo, "a FIFO"},           {Planted::Socket, "a socket"},
        {Planted::Directory, "a directory"}, {Planted::LinkToDevice, "a character device"},
        {Planted::LinkToFifo, "a FIFO"},
    };
    return kinds;
}

void Plant(const std::string& path, Planted kind) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
    switch (kind) {
        case Planted::Fifo:
            Require(::mkfifo(path.c_str(), 0644) == 0, "a FIFO", path);
            break;
        case Planted::Socket:
            PlantSocket(path);
            break;
        case Planted::Directory:
            Require(::mkdir(path.c_str(), 0755) == 0, "a directory", path);
            break;
        case Planted::LinkToDevice:
            Require(::symlink("/dev/zero", path.c_str()) == 0, "a link", path);
            break;
        case Planted::LinkToFifo:
            std::filesystem::remove(path + ".fifo", ignored);
            Require(::mkfifo((path + ".fifo").c_str(), 0644) == 0, "a FIFO", path);
            Require(::symlink((path + ".fifo").c_str(), path.c_str()) == 0, "a link", path);
            break;
    }
}

HangGuard::HangGuard(unsigned int seconds) {
    ::alarm(seconds);
}

HangGuard::~HangGuard() {
    ::alarm(0);
}

}  // namespace kortest
