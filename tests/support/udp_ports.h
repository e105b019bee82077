// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Free UDP ports for tests. The station's voice receiver binds with address reuse, so its open
// succeeds on a port another test program already listens on, and the two would hear each other:
// a port is only free when a plain bind, without reuse, succeeds on it.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace udp_ports {

// Binds a plain socket to `port` (0: any) on every address; the port it got, 0 when none.
inline int probe(int port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(uint16_t(port));
    socklen_t size = sizeof a;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
                       && ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0;
    ::close(fd);
    return bound ? ntohs(a.sin_port) : 0;
}

inline bool is_free(int port) { return port > 0 && port < 65536 && probe(port) == port; }

// A port the system has just found free.
inline int any_free() { return probe(0); }

} // namespace udp_ports
