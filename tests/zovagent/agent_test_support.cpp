// agent_test_support.cpp: starting the built agent with pipes on its output streams, and
// running it in-process.
#include "agent_test_support.h"

#include "zovagent/zovagent.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace agent_test
{

namespace
{

/// A pipe whose ends close with it.
class pipe_pair
{
public:
    pipe_pair()
    {
        if (::pipe2(m_fds, O_CLOEXEC) != 0)
        {
            throw std::runtime_error("pipe2 failed");
        }
    }
    ~pipe_pair()
    {
        close_read();
        close_write();
    }
    pipe_pair(const pipe_pair&) = delete;
    pipe_pair& operator=(const pipe_pair&) = delete;

    int read_end() const { return m_fds[0]; }
    int write_end() const { return m_fds[1]; }
    void close_read() { close_end(0); }
    void close_write() { close_end(1); }

private:
    void close_end(int index)
    {
        if (m_fds[index] >= 0)
        {
            ::close(m_fds[index]);
            m_fds[index] = -1;
        }
    }

    int m_fds[2] = {-1, -1};
};

/// Reads both pipes until the child has closed them, whichever it fills first.
void drain(pipe_pair& out_pipe, pipe_pair& err_pipe, agent_result& result)
{
    pollfd fds[2] = {{out_pipe.read_end(), POLLIN, 0}, {err_pipe.read_end(), POLLIN, 0}};
    std::string* targets[2] = {&result.out, &result.err};
    int open_count = 2;
    char buffer[4096];
    while (open_count > 0)
    {
        if (::poll(fds, 2, -1) < 0)
        {
            if (errno == EINTR)
            {
                continue;
            }
            throw std::runtime_error("poll failed");
        }
        for (int index = 0; index < 2; ++index)
        {
            if (fds[index].fd < 0 || fds[index].revents == 0)
            {
                continue;
            }
            const ssize_t count = ::read(fds[index].fd, buffer, sizeof buffer);
            if (count > 0)
            {
                targets[index]->append(buffer, static_cast<std::size_t>(count));
            }
            else if (count == 0 || errno != EINTR)
            {
                fds[index].fd = -1;
                --open_count;
            }
        }
    }
}

} // namespace

agent_result run_process(const std::vector<std::string>& arguments)
{
    std::vector<std::string> texts{ZOVAGENT_PATH};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts)
    {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);

    pipe_pair out_pipe;
    pipe_pair err_pipe;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_pipe.write_end(), 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe.write_end(), 2);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, ZOVAGENT_PATH, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
    {
        throw std::runtime_error(std::string("cannot start ") + ZOVAGENT_PATH);
    }
    out_pipe.close_write();
    err_pipe.close_write();

    agent_result result;
    drain(out_pipe, err_pipe, result);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR)
    {
    }
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

agent_result run_in_process(const std::vector<std::string>& arguments,
                            const std::function<void(vandrel_convertor&)>& prepare)
{
    std::vector<std::string> texts{"zovagent"};
    texts.insert(texts.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& text : texts)
    {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    std::ostringstream out;
    std::ostringstream err;
    agent_result result;
    result.status =
        zovagent_main(static_cast<int>(texts.size()), argv.data(), out, err, agent_hooks{prepare}) &
        0xFF;
    result.out = out.str();
    result.err = err.str();
    return result;
}

std::vector<std::string> server_options(const pgs_test::server_settings& settings)
{
    return {"--posgsh=" + settings.host, "--pgport=" + std::to_string(settings.port),
            "--posgsu=" + settings.user, "--posgsp=" + settings.password};
}

int unused_port()
{
    const int socket_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    const bool bound =
        socket_fd >= 0 && ::bind(socket_fd, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
        ::getsockname(socket_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    // Bound but never listening, and closed: a connection to it is refused.
    if (socket_fd >= 0)
    {
        ::close(socket_fd);
    }
    if (!bound)
    {
        throw std::runtime_error("cannot find a free port");
    }
    return ntohs(address.sin_port);
}

} // namespace agent_test
