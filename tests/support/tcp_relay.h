// tcp_relay.h: a TCP relay for tests that forwards to a server and cuts the connections after a
// given number of bytes or on command, as a server that goes away mid-conversation does.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace test_support
{

/// Listens on 127.0.0.1 (a free port) and forwards every connection to host:port. Once cut, every
/// open connection is closed on both sides at once and later connections are closed as soon as
/// they are accepted: the server is gone for good.
class tcp_relay
{
public:
    enum class direction
    {
        to_server, ///< bytes the client sends
        to_client  ///< bytes the server answers
    };

    /// `host` is a numeric IPv4 address. Throws std::runtime_error when it cannot listen.
    tcp_relay(const std::string& host, int port);
    ~tcp_relay();
    tcp_relay(const tcp_relay&) = delete;
    tcp_relay& operator=(const tcp_relay&) = delete;

    int port() const { return m_port; }

    /// Cuts once `bytes` more bytes have gone in `way` (over all connections, counted from
    /// this call); the last forwarded chunk stops at that byte.
    void cut_after(direction way, std::uint64_t bytes);
    /// Cuts at the first byte the server answers once `sent` more bytes went to it (counted
    /// from this call): a client that sent its rows and waits on their commit loses the server
    /// before the commit's answer arrives.
    void cut_at_answer_after(std::uint64_t sent);
    /// Cuts now.
    void cut_now();

    enum class stall
    {
        stop_reading, ///< reads nothing more from the client: its sends back up
        discard       ///< reads what the client sends and drops it
    };
    /// Once `sent` more bytes went to the server (counted from this call), forwards nothing
    /// more either way and keeps every connection open, as a server that stops answering
    /// while its kernel keeps the connections (later connections stall too).
    void stall_after(std::uint64_t sent, stall how);
    /// True once a stall began.
    bool is_stalled() const { return m_stalled.load(); }

    /// Bytes forwarded in `way` since the relay started.
    std::uint64_t forwarded(direction way) const;
    /// True once a cut happened.
    bool is_cut() const { return m_cut.load(); }

private:
    void loop();
    void wake() const;

    std::string m_host;
    int m_server_port;
    int m_listener = -1;
    int m_port = 0;
    int m_wake_read = -1;
    int m_wake_write = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_cut{false};
    std::atomic<bool> m_cut_requested{false};
    std::atomic<bool> m_stalled{false};
    std::atomic<int> m_stall_how{0};
    mutable std::mutex m_mutex;
    // Guarded by m_mutex: the count at which each direction cuts (none: the largest value) and
    // the counts so far.
    std::uint64_t m_limit[2] = {UINT64_MAX, UINT64_MAX};
    std::uint64_t m_count[2] = {0, 0};
    std::uint64_t m_answer_cut = UINT64_MAX;
    std::uint64_t m_stall_at = UINT64_MAX;
    std::thread m_thread;
};

} // namespace test_support
