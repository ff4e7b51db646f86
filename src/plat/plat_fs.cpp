// plat_fs.cpp: program path, path splitting and file tests over POSIX calls.
#include "plat/plat_fs.h"

#include "plat/plat_err.h"
#include "plat/plat_fd.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace plat
{

namespace
{

// A path with an embedded NUL would be cut short by every system call, silently naming another
// file; such a path names nothing.
std::optional<std::string> c_path(std::string_view path)
{
    if (path.find('\0') != std::string_view::npos)
    {
        set_last_error(EINVAL);
        return std::nullopt;
    }
    return std::string(path);
}

// Answers false with last_error() = errno of the failed call.
bool fail_with_errno()
{
    set_last_error(errno);
    return false;
}

constexpr mode_t any_write_bit = S_IWUSR | S_IWGRP | S_IWOTH;

} // namespace

std::string module_path()
{
    std::vector<char> buffer(256);
    for (;;)
    {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
        {
            set_last_error(errno);
            return {};
        }
        // readlink truncates silently; a result that fills the buffer may be cut.
        if (static_cast<std::size_t>(length) < buffer.size())
        {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

path_parts split_path(std::string_view path)
{
    path_parts parts;
    const std::size_t slash = path.rfind('/');
    std::string_view last = path;
    if (slash != std::string_view::npos)
    {
        parts.dir = std::string(path.substr(0, slash + 1));
        last = path.substr(slash + 1);
    }
    const std::size_t dot = last.rfind('.');
    if (dot == std::string_view::npos)
    {
        parts.name = std::string(last);
    }
    else
    {
        parts.name = std::string(last.substr(0, dot));
        parts.ext = std::string(last.substr(dot));
    }
    return parts;
}

std::string make_path(const path_parts& parts)
{
    std::string path = parts.drive + parts.dir;
    if (!parts.dir.empty() && parts.dir.back() != '/')
    {
        path += '/';
    }
    path += parts.name;
    if (!parts.ext.empty() && parts.ext.front() != '.')
    {
        path += '.';
    }
    path += parts.ext;
    return path;
}

std::optional<std::string> full_path(std::string_view path)
{
    std::optional<std::string> text = c_path(path);
    if (!text)
    {
        return std::nullopt;
    }
    if (text->empty())
    {
        return get_cwd();
    }
    std::filesystem::path absolute(*text);
    if (absolute.is_relative())
    {
        std::optional<std::string> cwd = get_cwd();
        if (!cwd)
        {
            return std::nullopt;
        }
        absolute = std::filesystem::path(*cwd) / absolute;
    }
    return absolute.lexically_normal().string();
}

bool can_open(std::string_view path, bool write)
{
    std::optional<std::string> text = c_path(path);
    if (!text)
    {
        return false;
    }
    // O_NONBLOCK keeps a FIFO put in the file's place from blocking the open.
    const unique_fd fd(
        ::open(text->c_str(), (write ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0)
    {
        return fail_with_errno();
    }
    struct stat status = {};
    if (::fstat(fd.get(), &status) != 0)
    {
        return fail_with_errno();
    }
    if (!S_ISREG(status.st_mode))
    {
        set_last_error(S_ISDIR(status.st_mode) ? EISDIR : EINVAL);
        return false;
    }
    if (write && (status.st_mode & any_write_bit) == 0)
    {
        set_last_error(EACCES);
        return false;
    }
    return true;
}

bool can_append(std::string_view path)
{
    std::optional<std::string> text = c_path(path);
    if (!text)
    {
        return false;
    }
    // O_EXCL: a file made here is the only one removed again; O_NONBLOCK keeps a FIFO from
    // blocking the open.
    bool created = true;
    unique_fd fd(
        ::open(text->c_str(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
    if (fd.get() < 0 && errno == EEXIST)
    {
        created = false;
        fd = unique_fd(
            ::open(text->c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    }
    if (fd.get() < 0)
    {
        return fail_with_errno();
    }
    if (created)
    {
        ::unlink(text->c_str());
    }
    return true;
}

bool is_dir(std::string_view path)
{
    std::optional<std::string> text = c_path(path);
    if (!text)
    {
        return false;
    }
    struct stat status = {};
    if (::stat(text->c_str(), &status) != 0)
    {
        return fail_with_errno();
    }
    if (!S_ISDIR(status.st_mode))
    {
        set_last_error(ENOTDIR);
        return false;
    }
    if (::access(text->c_str(), X_OK) != 0)
    {
        return fail_with_errno();
    }
    return true;
}

std::optional<std::string> get_cwd()
{
    std::vector<char> buffer(256);
    for (;;)
    {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr)
        {
            return std::string(buffer.data());
        }
        if (errno != ERANGE)
        {
            set_last_error(errno);
            return std::nullopt;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool change_dir(std::string_view path)
{
    std::optional<std::string> text = c_path(path);
    if (!text)
    {
        return false;
    }
    if (::chdir(text->c_str()) != 0)
    {
        return fail_with_errno();
    }
    return true;
}

namespace
{

bool write_all(int fd, std::string_view content)
{
    while (!content.empty())
    {
        const ssize_t count = ::write(fd, content.data(), content.size());
        if (count < 0 && errno != EINTR)
        {
            return false;
        }
        if (count > 0)
        {
            content.remove_prefix(static_cast<std::size_t>(count));
        }
    }
    return true;
}

} // namespace

bool write_file_atomically(const std::string& path, std::string_view content, unsigned mode)
{
    std::string temp_name = path + ".XXXXXX";
    unique_fd fd(::mkostemp(temp_name.data(), O_CLOEXEC));
    if (!fd.valid())
    {
        set_last_error(errno);
        return false;
    }
    bool ok = ::fchmod(fd.get(), static_cast<mode_t>(mode)) == 0 && write_all(fd.get(), content) &&
              ::fsync(fd.get()) == 0;
    ok = fd.close() == 0 && ok;
    ok = ok && ::rename(temp_name.c_str(), path.c_str()) == 0;
    if (!ok)
    {
        const int error = errno;
        ::unlink(temp_name.c_str());
        set_last_error(error);
    }
    return ok;
}

} // namespace plat
