// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/signal_stop.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace exchange {

namespace {
int pipeFds[2] = {-1, -1};
void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] auto n = ::write(pipeFds[1], &c, 1);
}
} // namespace

SignalStop::SignalStop(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, pipeFds) != 0)
        return;
    notifier_ = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char c;
        [[maybe_unused]] auto n = ::read(pipeFds[0], &c, 1);
        emit stopRequested();
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

} // namespace exchange
