// Writes to files of the simulated machine (write, pwrite, writev, sendfile,
// copy_file_range, fwrite, fputs, fprintf), which can run out of space on a
// mounted volume (ENOSPC, after what still fitted), and the flushes that
// reach a mounted volume: fsync, fdatasync, syncfs and sync.

#include <sys/sendfile.h>
#include <unistd.h>

#include <sys/uio.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "file_events.h"
#include "machine.h"
#include "real_libc.h"
#include "written_files.h"

namespace sim::core {
namespace {

// How many of `bytes` fit the file's file system; a shortfall is recorded.
size_t Fitting(const std::string& machinePath, size_t bytes, const char* op) {
    const size_t fits = ReserveSpace(machinePath, bytes);
    if (fits < bytes)
        RecordFileEvent(op, machinePath, false, kWrites, ENOSPC);
    return fits;
}

// `real(fits)` with what fits of a write of `bytes` to fd; -1 with ENOSPC
// when nothing does.
template <typename Real>
ssize_t WriteTo(int fd, size_t bytes, const char* op, Real real) {
    const std::optional<std::string> path = WrittenPathOf(fd);
    if (!path)
        return real(bytes);
    std::lock_guard<std::recursive_mutex> lock(MachineMutex());
    const size_t fits = Fitting(*path, bytes, op);
    if (fits == 0 && bytes > 0) {
        errno = ENOSPC;
        return -1;
    }
    return real(fits);
}

// A stream that ran out of space reports it through ferror, as after a
// failed write of its own.
void MarkFailed(FILE* stream) {
    stream->_flags |= _IO_ERR_SEEN;
    errno = ENOSPC;
}

// The first `bytes` bytes of an I/O vector.
std::vector<iovec> Leading(const iovec* vector, int count, size_t bytes) {
    std::vector<iovec> leading;
    for (int i = 0; i < count && bytes > 0; ++i) {
        iovec piece = vector[i];
        piece.iov_len = std::min(piece.iov_len, bytes);
        bytes -= piece.iov_len;
        leading.push_back(piece);
    }
    return leading;
}

// fwrite of a formatted text to a stream that may run out of space.
int FormattedWrite(FILE* stream, const char* format, va_list arguments) {
    if (!WrittenPathOf(stream))
        return Real().vfprintf(stream, format, arguments);
    char* text = nullptr;
    const int length = vasprintf(&text, format, arguments);
    if (length < 0)
        return -1;
    const size_t written = fwrite(text, 1, static_cast<size_t>(length), stream);
    std::free(text);
    return written == static_cast<size_t>(length) ? length : -1;
}

int Flush(int fd, int (*real)(int)) {
    if (const std::optional<std::string> path = WrittenPathOf(fd))
        FlushFileSystems(*path);
    return real(fd);
}

}  // namespace
}  // namespace sim::core

extern "C" {

ssize_t write(int fd, const void* data, size_t size) {
    return sim::core::WriteTo(fd, size, "write",
                              [&](size_t fits) { return sim::core::RealWrite(fd, data, fits); });
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    return sim::core::WriteTo(fd, size, "write", [&](size_t fits) {
        return sim::core::Real().pwrite(fd, data, fits, offset);
    });
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t offset) {
    return sim::core::WriteTo(fd, size, "write", [&](size_t fits) {
        return sim::core::Real().pwrite64(fd, data, fits, offset);
    });
}

ssize_t writev(int fd, const struct iovec* vector, int count) {
    size_t bytes = 0;
    for (int i = 0; vector != nullptr && i < count; ++i)
        bytes += vector[i].iov_len;
    return sim::core::WriteTo(fd, bytes, "writev", [&](size_t fits) {
        if (fits == bytes)
            return sim::core::Real().writev(fd, vector, count);
        const std::vector<iovec> leading = sim::core::Leading(vector, count, fits);
        return sim::core::Real().writev(fd, leading.data(), static_cast<int>(leading.size()));
    });
}

ssize_t sendfile(int out, int in, off_t* offset, size_t count) {
    return sim::core::WriteTo(out, count, "sendfile", [&](size_t fits) {
        return sim::core::Real().sendfile(out, in, offset, fits);
    });
}

ssize_t sendfile64(int out, int in, off64_t* offset, size_t count) {
    return sim::core::WriteTo(out, count, "sendfile", [&](size_t fits) {
        return sim::core::Real().sendfile64(out, in, offset, fits);
    });
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t length,
                        unsigned int flags) {
    return sim::core::WriteTo(out, length, "copy_file_range", [&](size_t fits) {
        return sim::core::Real().copy_file_range(in, inOffset, out, outOffset, fits, flags);
    });
}

size_t fwrite(const void* data, size_t size, size_t count, FILE* stream) {
    const std::optional<std::string> path = sim::core::WrittenPathOf(stream);
    if (!path || size == 0)
        return sim::core::Real().fwrite(data, size, count, stream);
    std::lock_guard<std::recursive_mutex> lock(sim::core::MachineMutex());
    const size_t items = sim::core::Fitting(*path, size * count, "fwrite") / size;
    const size_t written = sim::core::Real().fwrite(data, size, items, stream);
    if (items < count)
        sim::core::MarkFailed(stream);
    return written;
}

int fputs(const char* text, FILE* stream) {
    const std::optional<std::string> path = sim::core::WrittenPathOf(stream);
    if (!path)
        return sim::core::Real().fputs(text, stream);
    std::lock_guard<std::recursive_mutex> lock(sim::core::MachineMutex());
    const size_t length = std::strlen(text);
    const size_t fits = sim::core::Fitting(*path, length, "fputs");
    if (fits == length)
        return sim::core::Real().fputs(text, stream);
    sim::core::Real().fwrite(text, 1, fits, stream);
    sim::core::MarkFailed(stream);
    return EOF;
}

int vfprintf(FILE* stream, const char* format, va_list arguments) {
    return sim::core::FormattedWrite(stream, format, arguments);
}

int fprintf(FILE* stream, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int result = sim::core::FormattedWrite(stream, format, arguments);
    va_end(arguments);
    return result;
}

// The checked form that programs built with _FORTIFY_SOURCE call.
int __fprintf_chk(FILE* stream, int, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int result = sim::core::FormattedWrite(stream, format, arguments);
    va_end(arguments);
    return result;
}

int fclose(FILE* stream) {
    if (stream != nullptr && sim::core::AnyWrittenFiles()) {
        sim::core::ForgetWrittenFile(fileno(stream));
        sim::core::ForgetWrittenStream(stream);
    }
    return sim::core::Real().fclose(stream);
}

int fsync(int fd) {
    return sim::core::Flush(fd, sim::core::Real().fsync);
}

int fdatasync(int fd) {
    return sim::core::Flush(fd, sim::core::Real().fdatasync);
}

int syncfs(int fd) {
    sim::core::FlushFileSystems();
    return sim::core::Real().syncfs(fd);
}

void sync() noexcept {
    sim::core::FlushFileSystems();
    sim::core::Real().sync();
}

}  // extern "C"
