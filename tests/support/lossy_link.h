// SPDX-License-Identifier: GPL-3.0-or-later
// A bad network between a voice sender and a receiver on loopback: a thread that takes the
// sender's datagrams on a port of its own and passes them on to the receiver's port, losing and
// reordering some on a fixed plan (a seeded generator), so every run meets the same faults.
// A reordered datagram is held back and sent after the one that follows it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

class LossyLink {
public:
    struct Plan {
        double loss = 0;       // share of datagrams lost
        double reorder = 0;    // share of datagrams that come after the next one
        unsigned seed = 1;
        int spare = 1;         // the first datagrams pass untouched (a talk's first announcement)
    };

    // Passes what comes to port() on to `toPort` on loopback.
    explicit LossyLink(int toPort) : m_to(toPort)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof a;
        if (m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
            && ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &size) == 0)
            m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~LossyLink()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }

    int port() const { return m_port; }
    void setPlan(const Plan& plan)
    {
        std::lock_guard lock(m_mutex);
        m_plan = plan;
        m_random = plan.seed;
        m_seen = 0;
    }
    long lost() const { return m_lost; }
    long reordered() const { return m_reordered; }

private:
    enum class Fate { Pass, Lose, Hold };

    Fate fate()
    {
        std::lock_guard lock(m_mutex);
        if (m_seen++ < m_plan.spare)
            return Fate::Pass;
        m_random = m_random * 1103515245u + 12345u;
        const double x = double((m_random >> 8) & 0xFFFFFF) / double(0x1000000);
        if (x < m_plan.loss)
            return Fate::Lose;
        if (x < m_plan.loss + m_plan.reorder)
            return Fate::Hold;
        return Fate::Pass;
    }

    void send(const std::vector<char>& d)
    {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(std::uint16_t(m_to));
        ::sendto(m_fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    }

    void run()
    {
        std::vector<char> buffer(65536), held;
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) {
                if (!held.empty())   // nothing followed: the held one goes alone
                    send(held), held.clear();
                continue;
            }
            const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
            if (n <= 0)
                continue;
            const std::vector<char> d(buffer.begin(), buffer.begin() + n);
            switch (fate()) {
            case Fate::Lose: ++m_lost; break;
            case Fate::Hold:
                if (held.empty()) {
                    held = d;
                    ++m_reordered;
                    break;
                }
                [[fallthrough]];
            case Fate::Pass:
                send(d);
                if (!held.empty())
                    send(held), held.clear();
                break;
            }
        }
    }

    int m_fd = -1, m_port = 0, m_to = 0;
    std::mutex m_mutex;
    Plan m_plan;
    unsigned m_random = 1;
    long m_seen = 0;
    std::atomic<long> m_lost{0}, m_reordered{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
