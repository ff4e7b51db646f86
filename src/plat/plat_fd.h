// plat_fd.h: the one owner of a POSIX file descriptor.
#pragma once

#include <unistd.h>
#include <utility>

namespace plat
{

/// Owns a file descriptor and closes it on destruction; move-only.
class unique_fd
{
public:
    unique_fd() = default;
    explicit unique_fd(int fd)
        : m_fd(fd)
    {
    }
    ~unique_fd() { close(); }
    unique_fd(unique_fd&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {
    }
    unique_fd& operator=(unique_fd&& other) noexcept
    {
        if (this != &other)
        {
            close();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    unique_fd(const unique_fd&) = delete;
    unique_fd& operator=(const unique_fd&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

    /// Closes now; answers close()'s result, which tells whether buffered writes reached the file
    /// (0 when there was nothing to close).
    int close() { return m_fd >= 0 ? ::close(std::exchange(m_fd, -1)) : 0; }

private:
    int m_fd = -1;
};

} // namespace plat
