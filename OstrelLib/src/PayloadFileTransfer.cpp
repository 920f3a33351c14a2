#include "PayloadFileTransfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace FirmwareFramework {

namespace {

std::string Failure(const std::string& what, const std::string& path, int error) {
    return what + " " + path + ": " + std::strerror(error);
}

bool IsDirectory(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

bool FlushedFile::Open(const std::string& path, std::string& failure) {
    m_strPath = path;
    m_descriptor.reset(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!m_descriptor) {
        failure = Failure("cannot create", path, errno);
        return false;
    }
    return true;
}

bool FlushedFile::Write(const char* data, std::size_t size, std::string& failure) {
    while (size > 0) {
        const ssize_t written = ::write(m_descriptor.get(), data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            // A write that makes no progress is a full disk all the same.
            failure = Failure("cannot write", m_strPath, written < 0 ? errno : ENOSPC);
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

bool FlushedFile::Finish(std::string& failure) {
    if (::fsync(m_descriptor.get()) != 0) {
        failure = Failure("cannot flush", m_strPath, errno);
        return false;
    }
    // A deferred write error can surface only when the file is closed.
    if (::close(m_descriptor.release()) != 0 && errno != EINTR) {
        failure = Failure("cannot close", m_strPath, errno);
        return false;
    }
    return true;
}

bool MakeDirectoryPath(const std::string& path, std::string& failure) {
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string prefix = path.substr(0, end);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0755) != 0 &&
            !(errno == EEXIST && IsDirectory(prefix))) {
            failure = Failure("cannot create directory", prefix, errno);
            return false;
        }
        if (end == std::string::npos)
            return true;
    }
}

bool CopyFileFlushed(const std::string& source, const std::string& destination,
                     std::vector<char>& buffer, std::string& failure) {
    // Non-blocking only so that a FIFO among the payload files cannot hang
    // the open; it is refused as not being a regular file.
    KORHandles::Descriptor input(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!input) {
        failure = Failure("cannot open", source, errno);
        return false;
    }
    struct stat status {};
    if (::fstat(input.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        failure = "not a regular file: " + source;
        return false;
    }
    FlushedFile output;
    if (!output.Open(destination, failure))
        return false;
    for (;;) {
        const ssize_t count = ::read(input.get(), buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            failure = Failure("cannot read", source, errno);
            return false;
        }
        if (count == 0)
            break;
        if (!output.Write(buffer.data(), static_cast<std::size_t>(count), failure))
            return false;
    }
    return output.Finish(failure);
}

}  // namespace FirmwareFramework
