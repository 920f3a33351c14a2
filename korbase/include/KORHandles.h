#pragma once
// Owners for the C library's handles: each closes what it holds when it goes,
// whichever way the scope is left, and never throws.

#include <dirent.h>

#include <cstdio>
#include <utility>

namespace KORHandles {

template <typename Handle, int (*Close)(Handle*)>
class Owner {
public:
    Owner() = default;
    explicit Owner(Handle* handle) : m_handle(handle) {}
    ~Owner() { reset(); }
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.m_handle, nullptr));
        }
        return *this;
    }

    Handle* get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }
    // Gives the handle up without closing it.
    Handle* release() { return std::exchange(m_handle, nullptr); }
    // Closes the current handle (if any) and returns what closing it reported
    // (0 when there was nothing to close).
    int reset(Handle* handle = nullptr) {
        int result = 0;
        if (m_handle != nullptr) {
            result = Close(m_handle);
        }
        m_handle = handle;
        return result;
    }

private:
    Handle* m_handle = nullptr;
};

// A stream from fopen or fdopen.
using File = Owner<FILE, std::fclose>;
// A directory stream from opendir.
using Directory = Owner<DIR, closedir>;
// A stream from popen; reset() returns pclose's wait status.
using Pipe = Owner<FILE, pclose>;

// An open file descriptor.
class Descriptor {
public:
    Descriptor() = default;
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor(Descriptor&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.m_fd, -1));
        }
        return *this;
    }

    int get() const { return m_fd; }
    explicit operator bool() const { return m_fd >= 0; }
    int release() { return std::exchange(m_fd, -1); }
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

}  // namespace KORHandles
