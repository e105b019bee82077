// SPDX-License-Identifier: GPL-3.0-or-later
// Relay latency and loss at a paced rate, and windowed throughput, over loopback:
// kelvo-exchange (log on) against a plain socat UDP relay, without and with socat's traffic log;
// and kelvo-exchange with its instructor's console, idle and with five pages streaming, each run
// five times in turn (medians).
// Usage: bench_exchange [path/to/kelvo-exchange]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "console_clients.h"
#include "proc_cpu.h"

using Clock = std::chrono::steady_clock;

namespace {

int udp(int port) {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    if (port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        timeval tv{0, 200000};
        setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    return s;
}

std::string record(int seq) {
    char b[200];
    std::snprintf(b, sizeof b,
                  "TXMMSI=%09d,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=ROUTINE ,DANGER=00,LATD=00,LATM=00,"
                  "NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N", seq);
    return b;
}

pid_t spawn(const std::vector<std::string>& argv) {
    std::fflush(stdout);
    pid_t p = fork();
    if (p == 0) {
        freopen("/dev/null", "w", stdout);
        std::vector<char*> a;
        for (auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
        a.push_back(nullptr);
        execvp(a[0], a.data());
        _exit(127);
    }
    usleep(400000);
    return p;
}

struct Figures {
    double p50 = 0, p99 = 0, throughput = 0, cpuPerRecord = 0, relayThreadPerRecord = 0;
    int delivered = 0;
};

Figures run(const char* name, pid_t relay, int in, int out) {
    int rx = udp(out), tx = udp(0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(in);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    char buf[512];
    // Paced 2000 records/s for 3 s: one send, then receive until caught up (receiver on the same thread).
    const int n = 6000;
    std::vector<double> lat;
    int received = 0;
    auto t0 = Clock::now();
    for (int i = 0; i < n; ++i) {
        auto due = t0 + std::chrono::microseconds(500 * i);
        while (Clock::now() < due) {}
        std::string r = record(i);
        auto sent = Clock::now();
        sendto(tx, r.data(), r.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        ssize_t k = recv(rx, buf, sizeof buf, 0);
        if (k == ssize_t(r.size()) && std::memcmp(buf, r.data(), k) == 0) {
            ++received;
            lat.push_back(std::chrono::duration<double, std::micro>(Clock::now() - sent).count());
        }
    }
    std::sort(lat.begin(), lat.end());
    // Throughput with up to 32 records in flight.
    const int m = 50000;
    int got = 0, sentc = 0;
    const ProcCpu cpu0 = proc_cpu(relay), main0 = main_thread_cpu(relay);
    const double own0 = proc_cpu_seconds(getpid());
    auto t1 = Clock::now();
    timeval tv{0, 100000};
    setsockopt(rx, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    while (got < m) {
        while (sentc < m && sentc - got < 32) {
            std::string r = record(sentc++);
            sendto(tx, r.data(), r.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
        if (recv(rx, buf, sizeof buf, 0) <= 0) { if (sentc == m) break; got = sentc - 32 + 1; continue; }
        ++got;
    }
    double secs = std::chrono::duration<double>(Clock::now() - t1).count();
    const ProcCpu cpu1 = proc_cpu(relay), main1 = main_thread_cpu(relay);
    const double relayThread = main1.total() - main0.total();
    const double user = cpu1.user - cpu0.user, cpu = cpu1.total() - cpu0.total();
    const double own = proc_cpu_seconds(getpid()) - own0;
    std::printf("%-28s paced 2000/s: %d/%d delivered, median %.0f us, p99 %.0f us; throughput %.0f records/s, "
                "relay CPU %.1f us per record, %.1f of it in the program itself (%.0f%% of a core; this sender and "
                "receiver %.0f%%)\n",
                name, received, n, lat.empty() ? 0 : lat[lat.size() / 2],
                lat.empty() ? 0 : lat[size_t(lat.size() * 0.99)], got / secs, got ? cpu * 1e6 / got : 0,
                got ? user * 1e6 / got : 0,
                100 * cpu / secs, 100 * own / secs);
    close(rx);
    close(tx);
    Figures f;
    f.delivered = received;
    f.p50 = lat.empty() ? 0 : lat[lat.size() / 2];
    f.p99 = lat.empty() ? 0 : lat[size_t(lat.size() * 0.99)];
    f.throughput = got / secs;
    f.cpuPerRecord = got ? cpu * 1e6 / got : 0;
    f.relayThreadPerRecord = got ? relayThread * 1e6 / got : 0;
    return f;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void stop(pid_t p) {
    kill(p, SIGTERM);
    waitpid(p, nullptr, 0);
}

} // namespace

int main(int argc, char** argv) {
    std::string exe = argc > 1 ? argv[1] : std::string("kelvo-exchange");
    // The exchange alone, with its console and no page open, with five pages streaming: in turn, so
    // that what else the machine does falls on all three alike.
    const char* names[] = {"kelvo-exchange (log on)", "  + console, no page", "  + console, 5 pages streaming"};
    constexpr int kReps = 5;
    std::vector<double> p99[3], rate[3], cpu[3], own[3];
    for (int rep = 0; rep < kReps; ++rep) {
        for (int mode = 0; mode < 3; ++mode) {
            std::vector<std::string> argv{exe, "--to", "127.0.0.1", "--listen-port", "28090", "--station-port", "28091",
                                          "--log", "/tmp/bench_exchange.jsonl"};
            if (mode > 0)
                argv.insert(argv.end(), {"--console", "127.0.0.1:28080"});
            pid_t p = spawn(argv);
            ConsoleClients pages;
            if (mode == 2 && !pages.open(28080, 5)) {
                std::printf("cannot connect five pages to the console\n");
                stop(p);
                return 1;
            }
            const Figures f = run(names[mode], p, 28090, 28091);
            if (mode == 2)
                std::printf("%-28s the five pages read %.1f MB\n", "", pages.bytes() / 1e6);
            pages.close();
            stop(p);
            unlink("/tmp/bench_exchange.jsonl");
            unlink("/tmp/bench_exchange-report.html");
            p99[mode].push_back(f.p99);
            rate[mode].push_back(f.throughput);
            cpu[mode].push_back(f.cpuPerRecord);
            own[mode].push_back(f.relayThreadPerRecord);
        }
    }
    std::printf("medians of %d:\n", kReps);
    for (int mode = 0; mode < 3; ++mode)
        std::printf("%-32s p99 %.0f us, throughput %.0f records/s, CPU %.1f us per record, %.1f of it on the "
                    "relay's thread\n",
                    names[mode], median(p99[mode]), median(rate[mode]), median(cpu[mode]), median(own[mode]));
    // The relay's thread is what the console must not slow: its CPU per record does not depend on
    // what else the machine runs, where latency and throughput do.
    std::printf("five pages against none: p99 %+.1f%%, throughput %+.1f%%, relay thread CPU per record %+.1f%%\n",
                100 * (median(p99[2]) / median(p99[0]) - 1), 100 * (median(rate[2]) / median(rate[0]) - 1),
                100 * (median(own[2]) / median(own[0]) - 1));
    pid_t p;
    if (system("command -v socat >/dev/null 2>&1") != 0) {
        std::printf("socat not installed: no baseline\n");
        return 0;
    }
    p = spawn({"socat", "-u", "UDP4-RECV:28092", "UDP4-SENDTO:127.0.0.1:28093"});
    run("socat UDP relay", p, 28092, 28093);
    stop(p);
    // socat's own traffic log (-v: every datagram as text on standard error), kept in a file as
    // the exchange keeps its own.
    p = spawn({"sh", "-c", "exec socat -v -u UDP4-RECV:28094 UDP4-SENDTO:127.0.0.1:28095 2>/tmp/bench_socat.log"});
    run("socat UDP relay (-v log on)", p, 28094, 28095);
    stop(p);
    unlink("/tmp/bench_socat.log");
    return 0;
}
