// tcp_relay.cpp: the test relay: one thread polls the listener and every forwarded connection.
#include "tcp_relay.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace test_support
{
namespace
{

constexpr std::size_t chunk_bytes = 16384;

void set_non_blocking(int fd)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
}

/// Closes at once, with a reset rather than an orderly end, as a server that died does.
void close_hard(int& fd)
{
    if (fd < 0)
    {
        return;
    }
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
    fd = -1;
}

/// One forwarded connection: the client's and the server's socket and what each side still
/// has to receive.
struct relayed
{
    int client = -1;
    int server = -1;
    bool connecting = true;
    std::vector<char> to_server;
    std::vector<char> to_client;

    ~relayed()
    {
        close_hard(client);
        close_hard(server);
    }
};

} // namespace

tcp_relay::tcp_relay(const std::string& host, int port)
    : m_host(host)
    , m_server_port(port)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (m_listener < 0 ||
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    {
        throw std::runtime_error(std::string("the relay cannot listen: ") + std::strerror(errno));
    }
    m_port = ntohs(address.sin_port);
    int pipe_ends[2];
    if (::pipe(pipe_ends) != 0)
    {
        throw std::runtime_error("the relay cannot make its wake pipe");
    }
    m_wake_read = pipe_ends[0];
    m_wake_write = pipe_ends[1];
    set_non_blocking(m_listener);
    set_non_blocking(m_wake_read);
    m_thread = std::thread([this] { loop(); });
}

tcp_relay::~tcp_relay()
{
    m_stop = true;
    wake();
    m_thread.join();
    ::close(m_listener);
    ::close(m_wake_read);
    ::close(m_wake_write);
}

void tcp_relay::cut_after(direction way, std::uint64_t bytes)
{
    const std::lock_guard lock(m_mutex);
    const auto index = static_cast<std::size_t>(way);
    m_limit[index] = m_count[index] + bytes;
}

void tcp_relay::cut_at_answer_after(std::uint64_t sent)
{
    const std::lock_guard lock(m_mutex);
    m_answer_cut = m_count[static_cast<std::size_t>(direction::to_server)] + sent;
}

void tcp_relay::stall_after(std::uint64_t sent, stall how)
{
    const std::lock_guard lock(m_mutex);
    m_stall_how = static_cast<int>(how);
    m_stall_at = m_count[static_cast<std::size_t>(direction::to_server)] + sent;
}

void tcp_relay::cut_now()
{
    m_cut_requested = true;
    wake();
    // Returns once the connections are closed, so that the caller's next step meets a cut link.
    while (!m_cut.load())
    {
        std::this_thread::yield();
    }
}

std::uint64_t tcp_relay::forwarded(direction way) const
{
    const std::lock_guard lock(m_mutex);
    return m_count[static_cast<std::size_t>(way)];
}

void tcp_relay::wake() const
{
    const char byte = 0;
    [[maybe_unused]] const ssize_t written = ::write(m_wake_write, &byte, 1);
}

void tcp_relay::loop()
{
    std::list<relayed> connections;
    sockaddr_in server_address{};
    server_address.sin_family = AF_INET;
    server_address.sin_port = htons(static_cast<std::uint16_t>(m_server_port));
    ::inet_pton(AF_INET, m_host.c_str(), &server_address.sin_addr);

    // Forwards what `from` has into `pending`, up to the direction's limit; true when the limit
    // was reached (the caller cuts) or the side closed.
    const auto receive = [&](int from, std::vector<char>& pending, direction way, bool& closed)
    {
        char buffer[chunk_bytes];
        const ssize_t got = ::recv(from, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR))
        {
            closed = true;
            return false;
        }
        if (got < 0)
        {
            return false;
        }
        const auto index = static_cast<std::size_t>(way);
        const std::lock_guard lock(m_mutex);
        auto take = static_cast<std::uint64_t>(got);
        bool reached = false;
        if (way == direction::to_client &&
            m_count[static_cast<std::size_t>(direction::to_server)] >= m_answer_cut)
        {
            return true;
        }
        if (m_stalled.load())
        {
            return false; // dropped
        }
        if (way == direction::to_server && m_count[index] + take >= m_stall_at)
        {
            take = m_stall_at - m_count[index];
            m_stalled = true;
        }
        if (m_count[index] + take >= m_limit[index])
        {
            take = m_limit[index] - m_count[index];
            reached = true;
        }
        m_count[index] += take;
        pending.insert(pending.end(), buffer, buffer + take);
        return reached;
    };
    const auto send_pending = [](int to, std::vector<char>& pending, bool& closed)
    {
        if (pending.empty())
        {
            return;
        }
        const ssize_t sent = ::send(to, pending.data(), pending.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
        {
            closed = true;
            return;
        }
        if (sent > 0)
        {
            pending.erase(pending.begin(), pending.begin() + sent);
        }
    };

    while (!m_stop.load())
    {
        if (m_cut_requested.load() && !m_cut.load())
        {
            connections.clear();
            m_cut = true;
        }
        std::vector<pollfd> watched;
        watched.push_back({m_wake_read, POLLIN, 0});
        watched.push_back({m_listener, POLLIN, 0});
        for (relayed& link : connections)
        {
            if (link.connecting)
            {
                watched.push_back({link.server, POLLOUT, 0});
                watched.push_back({-1, 0, 0});
                continue;
            }
            short client_events = static_cast<short>((link.to_server.empty() ? POLLIN : 0) |
                                                     (link.to_client.empty() ? 0 : POLLOUT));
            short server_events = static_cast<short>((link.to_client.empty() ? POLLIN : 0) |
                                                     (link.to_server.empty() ? 0 : POLLOUT));
            if (m_stalled.load())
            {
                // Nothing goes on; the client's bytes are read and dropped, or left unread.
                const bool discard = m_stall_how.load() == static_cast<int>(stall::discard);
                client_events = static_cast<short>(discard ? POLLIN : 0);
                server_events = static_cast<short>(link.to_server.empty() ? 0 : POLLOUT);
            }
            watched.push_back({link.client, client_events, 0});
            watched.push_back({link.server, server_events, 0});
        }
        if (::poll(watched.data(), watched.size(), 200) < 0 && errno != EINTR)
        {
            return;
        }
        if ((watched[0].revents & POLLIN) != 0)
        {
            char drain[64];
            while (::read(m_wake_read, drain, sizeof drain) > 0)
            {
            }
        }
        if ((watched[1].revents & POLLIN) != 0)
        {
            const int client = ::accept(m_listener, nullptr, nullptr);
            if (client >= 0 && m_cut.load())
            {
                int refused = client;
                close_hard(refused);
            }
            else if (client >= 0)
            {
                relayed& link = connections.emplace_back();
                link.client = client;
                set_non_blocking(client);
                link.server = ::socket(AF_INET, SOCK_STREAM, 0);
                set_non_blocking(link.server);
                if (::connect(link.server, reinterpret_cast<sockaddr*>(&server_address),
                              sizeof server_address) != 0 &&
                    errno != EINPROGRESS)
                {
                    connections.pop_back();
                }
            }
        }
        bool cut = false;
        std::size_t slot = 2;
        for (auto link = connections.begin(); link != connections.end() && slot < watched.size();
             slot += 2)
        {
            const short client_events = watched[slot].revents;
            const short server_events = watched[slot + 1].revents;
            if (link->connecting && (watched[slot].revents & (POLLOUT | POLLERR | POLLHUP)) != 0)
            {
                int error = 0;
                socklen_t length = sizeof error;
                ::getsockopt(link->server, SOL_SOCKET, SO_ERROR, &error, &length);
                if (error != 0)
                {
                    link = connections.erase(link);
                    continue;
                }
                link->connecting = false;
                ++link;
                continue;
            }
            if (link->connecting)
            {
                ++link;
                continue;
            }
            bool closed = false;
            if ((client_events & (POLLIN | POLLHUP | POLLERR)) != 0 && link->to_server.empty())
            {
                cut = receive(link->client, link->to_server, direction::to_server, closed) || cut;
            }
            if ((server_events & (POLLIN | POLLHUP | POLLERR)) != 0 && link->to_client.empty())
            {
                cut = receive(link->server, link->to_client, direction::to_client, closed) || cut;
            }
            send_pending(link->server, link->to_server, closed);
            if (m_stalled.load())
            {
                link->to_client.clear();
            }
            send_pending(link->client, link->to_client, closed);
            if (closed)
            {
                link = connections.erase(link);
                continue;
            }
            ++link;
        }
        if (cut)
        {
            // The bytes up to the limit still reach their side before the connection dies.
            for (relayed& link : connections)
            {
                bool ignored = false;
                send_pending(link.server, link.to_server, ignored);
                send_pending(link.client, link.to_client, ignored);
            }
            connections.clear();
            m_cut = true;
        }
    }
}

} // namespace test_support
