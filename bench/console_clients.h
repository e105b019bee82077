// SPDX-License-Identifier: GPL-3.0-or-later
// Console pages for the exchange benchmark: WebSocket clients that connect to the console's event
// stream and read everything it sends on a thread of their own, as a browser would.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

class ConsoleClients {
public:
    // Connects `n` clients to ws://127.0.0.1:port/api/events; false if a handshake fails.
    bool open(int port, int n)
    {
        for (int i = 0; i < n; ++i) {
            int s = socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(port);
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
                return false;
            const std::string hello = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                                      "Connection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
                                      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
            if (write(s, hello.data(), hello.size()) != ssize_t(hello.size()))
                return false;
            char buf[512];
            const ssize_t k = read(s, buf, sizeof buf);
            if (k < 12 || std::string(buf, 12) != "HTTP/1.1 101")
                return false;
            fds_.push_back(s);
        }
        stop_ = false;
        reader_ = std::thread([this] { readAll(); });
        return true;
    }

    long long bytes() const { return bytes_; }

    void close()
    {
        stop_ = true;
        if (reader_.joinable())
            reader_.join();
        for (int s : fds_)
            ::close(s);
        fds_.clear();
    }
    ~ConsoleClients() { close(); }

private:
    void readAll()
    {
        std::vector<pollfd> p;
        for (int s : fds_)
            p.push_back({s, POLLIN, 0});
        char buf[65536];
        while (!stop_) {
            if (poll(p.data(), p.size(), 50) <= 0)
                continue;
            for (auto& x : p)
                if (x.revents & POLLIN) {
                    const ssize_t k = read(x.fd, buf, sizeof buf);
                    if (k > 0)
                        bytes_ += k;
                }
        }
    }

    std::vector<int> fds_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::atomic<long long> bytes_{0};
};
