// SPDX-License-Identifier: GPL-3.0-or-later
// The instructor's console beside junk and beside a hostile neighbour, over loopback, against a
// kelvo-exchange of its own serving its console on 0.0.0.0 (with its token):
//  - junk: 20,000 individual calls from distinct MMSIs, then the relay's latency at a paced 2000
//    records/s with no page open and with one page polling the stations as the page does (every
//    400 ms), in turn five times in the same run (medians, and the ratio of the p99s);
//  - neighbour: the instructor's authenticated request from 127.0.0.1, twenty times, with no
//    neighbour and while a neighbour at 127.0.0.2 holds 200 idle and half-sent connections.
// Run it in a network namespace of its own (fixed ports). Usage: bench_console [path/to/kelvo-exchange]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kIn = 28190, kOut = 28191, kHttp = 28180;

sockaddr_in address(const char* ip, int port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
}

std::string call(long from)
{
    char b[200];
    std::snprintf(b, sizeof b,
                  "TXMMSI=%09ld,RXMMSI=274111001,CALL=INDIVID ,CATEGORY=ROUTINE ,DANGER=00,LATD=00,LATM=00,"
                  "NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=72,COMPLY=N", from);
    return b;
}

// The relay's latency at a paced 2000 records/s for two seconds: the p99 in microseconds.
double pacedP99(int tx, int rx, long& next)
{
    const sockaddr_in to = address("127.0.0.1", kIn);
    char buf[512];
    std::vector<double> lat;
    const auto t0 = Clock::now();
    for (int i = 0; i < 4000; ++i) {
        while (Clock::now() < t0 + std::chrono::microseconds(500 * i)) {}
        const std::string r = call(next++);
        const auto sent = Clock::now();
        sendto(tx, r.data(), r.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        const ssize_t k = recv(rx, buf, sizeof buf, 0);
        lat.push_back(k == ssize_t(r.size()) ? std::chrono::duration<double, std::micro>(Clock::now() - sent).count()
                                             : 200000.0);   // lost or late: counted as the receive time-out
    }
    std::sort(lat.begin(), lat.end());
    return lat[size_t(lat.size() * 0.99)];
}

// One request from `from` with the token; seconds until the whole answer, or -1 when it is not a 200.
double request(const char* from, const std::string& path, const std::string& token)
{
    const auto t0 = Clock::now();
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in me = address(from, 0), to = address("127.0.0.1", kHttp);
    timeval tv{10, 0};
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);   // the connection's time-out too
    if (bind(s, reinterpret_cast<sockaddr*>(&me), sizeof me) != 0
        || connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        close(s);
        return -1;
    }
    const std::string head = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + token
        + "\r\nConnection: close\r\n\r\n";
    ssize_t ignored = write(s, head.data(), head.size());
    (void)ignored;
    // The headers, then as many bytes as they announce (the server may keep the connection).
    std::string answer;
    char buf[65536];
    size_t end = std::string::npos, length = 0;
    for (ssize_t k; (end == std::string::npos || answer.size() < end + 4 + length)
                    && (k = read(s, buf, sizeof buf)) > 0;) {
        answer.append(buf, size_t(k));
        if (end == std::string::npos && (end = answer.find("\r\n\r\n")) != std::string::npos) {
            const size_t at = answer.find("Content-Length: ");
            length = at < end ? std::strtoul(answer.c_str() + at + 16, nullptr, 10) : 0;
        }
    }
    close(s);
    return answer.rfind("HTTP/1.1 200", 0) == 0 ? std::chrono::duration<double>(Clock::now() - t0).count() : -1;
}

// 200 connections from 127.0.0.2 without the token, half idle, half sending a request's headers a
// byte every half second; each one the console closes is opened again (at most 200 a second).
class Neighbour {
public:
    void start()
    {
        m_thread = std::thread([this] { run(); });
    }
    void stop()
    {
        m_stop = true;
        m_thread.join();
    }
    long opened() const { return m_opened; }

private:
    struct Conn {
        int fd = -1;
        bool slow = false;
        size_t sent = 0;
    };
    int open()
    {
        int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in me = address("127.0.0.2", 0), to = address("127.0.0.1", kHttp);
        bind(s, reinterpret_cast<sockaddr*>(&me), sizeof me);
        fcntl(s, F_SETFL, O_NONBLOCK);
        connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to);
        ++m_opened;
        return s;
    }
    void run()
    {
        const std::string head = "GET /api/records?since=0 HTTP/1.1\r\nHost: 127.0.0.1\r\nUser-Agent: neighbour\r\n";
        std::vector<Conn> conns(200);
        for (size_t i = 0; i < conns.size(); ++i)
            conns[i] = Conn{open(), i % 2 == 1, 0};
        auto nextByte = Clock::now();
        while (!m_stop) {
            std::vector<pollfd> p;
            for (const Conn& c : conns)
                p.push_back({c.fd, POLLIN, 0});
            poll(p.data(), p.size(), 100);
            int reopened = 0;
            char buf[4096];
            for (size_t i = 0; i < conns.size(); ++i)
                if ((p[i].revents & (POLLIN | POLLHUP | POLLERR)) && read(conns[i].fd, buf, sizeof buf) <= 0
                    && reopened < 20) {
                    close(conns[i].fd);
                    conns[i] = Conn{open(), conns[i].slow, 0};
                    ++reopened;
                }
            if (Clock::now() >= nextByte) {
                nextByte += std::chrono::milliseconds(500);
                for (Conn& c : conns)
                    if (c.slow && c.sent < head.size() && write(c.fd, head.data() + c.sent, 1) == 1)
                        ++c.sent;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        for (const Conn& c : conns)
            close(c.fd);
    }
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_opened{0};
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double load()
{
    double l[1] = {0};
    getloadavg(l, 1);
    return l[0];
}

} // namespace

int main(int argc, char** argv)
{
    const std::string exe = argc > 1 ? argv[1] : std::string("kelvo-exchange");
    setvbuf(stdout, nullptr, _IOLBF, 0);
    signal(SIGPIPE, SIG_IGN);   // a connection the console closed is a failed request, not the end
    // The token, from the address the exchange prints (in a data folder of this run's own).
    const std::string data = "/tmp/bench_console_data";
    if (std::system(("rm -rf " + data + " && mkdir -p " + data).c_str()) != 0)
        return 1;
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    std::fflush(stdout);
    const pid_t exchange = fork();
    if (exchange == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);   // the exchange ends with this program, however it ends
        if (!freopen((data + "/out.txt").c_str(), "w", stdout))
            _exit(126);
        execlp(exe.c_str(), exe.c_str(), "--to", "127.0.0.1", "--listen-port", std::to_string(kIn).c_str(),
               "--station-port", std::to_string(kOut).c_str(), "--console",
               ("0.0.0.0:" + std::to_string(kHttp)).c_str(), nullptr);
        _exit(127);
    }
    std::string token;
    for (int i = 0; i < 300 && token.size() != 32; ++i) {
        usleep(100000);
        std::ifstream out(data + "/out.txt");
        const std::string text((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
        if (const size_t at = text.find("?token="); at != std::string::npos && text.size() >= at + 7 + 32)
            token = text.substr(at + 7, 32);
    }
    if (token.size() != 32) {
        std::printf("the exchange printed no address with a token\n");
        kill(exchange, SIGTERM);
        return 1;
    }
    usleep(300000);

    int tx = socket(AF_INET, SOCK_DGRAM, 0), rx = socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in out = address("127.0.0.1", kOut), in = address("127.0.0.1", kIn);
    bind(rx, reinterpret_cast<const sockaddr*>(&out), sizeof out);
    timeval tv{0, 200000};
    setsockopt(rx, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    int big = 1 << 22;
    setsockopt(rx, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);

    // Junk: 20,000 calls from distinct MMSIs, a little paced so that none is lost.
    long next = 300000000;
    for (int i = 0; i < 20000; ++i) {
        const std::string r = call(next++);
        sendto(tx, r.data(), r.size(), 0, reinterpret_cast<const sockaddr*>(&in), sizeof in);
        if (i % 200 == 199)
            usleep(20000);
    }
    char buf[512];
    while (recv(rx, buf, sizeof buf, 0) > 0) {}
    std::printf("sent and delivered (load %.1f)\n", load());
    std::printf("after 20,000 calls from distinct MMSIs: /api/stations answers in %.1f ms\n",
                1000 * request("127.0.0.1", "/api/stations", token));

    std::vector<double> none, polled;
    int polls = 0;
    for (int rep = 0; rep < 5; ++rep) {
        none.push_back(pacedP99(tx, rx, next));
        std::atomic<bool> stop{false};
        std::thread page([&] {
            while (!stop) {
                if (request("127.0.0.1", "/api/stations", token) > 0)
                    ++polls;
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
            }
        });
        polled.push_back(pacedP99(tx, rx, next));
        stop = true;
        page.join();
    }
    std::printf("relay p99 at 2000 records/s, medians of 5 (load %.1f): no page %.0f us, one page polling %.0f us "
                "(%d polls): %+.1f%%\n",
                load(), median(none), median(polled), polls, 100 * (median(polled) / median(none) - 1));

    // The neighbour.
    std::printf("the instructor alone...\n");
    std::vector<double> alone, beside;
    for (int i = 0; i < 20; ++i) {
        alone.push_back(request("127.0.0.1", "/api/stations", token));
        usleep(100000);
    }
    Neighbour neighbour;
    neighbour.start();
    sleep(2);
    std::printf("the instructor beside the neighbour...\n");
    int refused = 0;
    for (int i = 0; i < 20; ++i) {
        const double t = request("127.0.0.1", "/api/stations", token);
        refused += t < 0;
        beside.push_back(t < 0 ? 1e9 : t);
        usleep(300000);
    }
    neighbour.stop();
    std::printf("the instructor's request, medians of 20 (load %.1f): alone %.1f ms; beside 200 hostile connections "
                "%.1f ms, %.1f ms at worst, %d refused (the neighbour opened %ld)\n",
                load(), 1000 * median(alone), 1000 * median(beside),
                1000 * *std::max_element(beside.begin(), beside.end()), refused, neighbour.opened());
    kill(exchange, SIGTERM);
    waitpid(exchange, nullptr, 0);
    return std::system(("rm -rf " + data).c_str()) == 0 ? 0 : 1;
}
