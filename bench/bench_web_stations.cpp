// SPDX-License-Identifier: GPL-3.0-or-later
// The stations in a browser, against a kelvo-exchange of its own on loopback, its pages played by
// WebSocket clients that speak the page's protocol:
//  - a key pressed -> the LCD's change back at the page: 40 presses (ROUTINE, then ESC), median;
//  - 30 stations open and idle for 10 s: the exchange's CPU (share of one core) and its memory per
//    station (resident size with 30 stations less without any, divided by 30);
//  - one of them talking on 16 for 10 s (16 kHz PCM every 20 ms, as a page sends it) while the 29
//    others play channel 16: the exchange's CPU.
// Prints the machine's load with the figures. Run it in a network namespace of its own (fixed
// ports). Usage: bench_web_stations [path/to/kelvo-exchange]
#include "proc_cpu.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>
#include <QWebSocket>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kHttp = 28280, kStations = 30;

bool waitFor(const std::function<bool()>& done, int ceilingMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ceilingMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

long residentKb(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

// A page: its socket, the messages it got, when the LCD last changed.
struct Page {
    QWebSocket socket;
    bool hello = false;
    qint64 lcdAt = 0;
    int pttPicture = -1;
    long heard = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

QByteArray loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray("?");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString exe = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(KELVO_BIN_DIR "/kelvo-exchange");
    QProcess exchange;
    exchange.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    exchange.start(exe, {"--local", "--listen-port", "28290", "--station-port", "28291", "--console",
                         QStringLiteral("127.0.0.1:%1").arg(kHttp), "--voice-base-port", "29000",
                         "--silent-partners", "--coast-station", "002470001", "--web-max", "40"});
    QByteArray out;
    if (!waitFor([&] { out += exchange.readAllStandardOutput(); return out.contains("listening on UDP port"); }, 60000)) {
        std::fprintf(stderr, "the exchange did not start\n");
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    const qint64 pid = exchange.processId();
    QThread::msleep(1000);
    const long rss0 = residentKb(pid);

    std::vector<std::unique_ptr<Page>> pages;
    const auto open = [&] {
        auto p = std::make_unique<Page>();
        Page* page = p.get();
        QObject::connect(&page->socket, &QWebSocket::textMessageReceived, [page, &clock](const QString& text) {
            const QJsonObject m = QJsonDocument::fromJson(text.toUtf8()).object();
            if (m["type"] == QLatin1String("hello"))
                page->hello = true;
            if (m.contains("lines"))
                page->lcdAt = clock.nsecsElapsed();
            for (const QJsonValue& k : m["keys"].toArray())
                if (k.toArray().at(0).toInt() == 8)   // push-to-talk, the panel's ninth key
                    page->pttPicture = k.toArray().at(1).toInt();
        });
        page->socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/station").arg(kHttp)));
        pages.push_back(std::move(p));
        return page;
    };

    // A key pressed -> the LCD's change back at the page.
    Page* first = open();
    if (!waitFor([&] { return first->hello && first->lcdAt > 0; }, 30000)) {
        std::fprintf(stderr, "no station\n");
        return 1;
    }
    // Presses whose handler draws at once (a digit of the MMSI being typed, and CLR), and the call
    // keys, whose handlers pause before they draw (as in the window).
    const auto press = [&](const char* key) -> double {
        const qint64 before = first->lcdAt;
        const qint64 sent = clock.nsecsElapsed();
        first->socket.sendTextMessage(QStringLiteral("down %1").arg(QLatin1String(key)));
        first->socket.sendTextMessage(QStringLiteral("up %1").arg(QLatin1String(key)));
        if (!waitFor([&] { return first->lcdAt != before; }, 10000))
            return -1;
        const double ms = double(first->lcdAt - sent) / 1e6;
        waitFor([] { return false; }, 1500);   // the key's own pauses pass
        return ms;
    };
    std::vector<double> keyMs, callKeyMs;
    for (int i = 0; i < 10; ++i) {
        callKeyMs.push_back(press("routine"));
        for (int j = 0; j < 4; ++j)
            keyMs.push_back(press(j % 2 ? "clr" : "1"));
        callKeyMs.push_back(press("esc"));
    }
    if (std::count(keyMs.begin(), keyMs.end(), -1.0) || std::count(callKeyMs.begin(), callKeyMs.end(), -1.0)) {
        std::fprintf(stderr, "the LCD did not change after a key\n");
        return 1;
    }

    // 30 stations open and idle.
    // One after the other, as trainees open their pages (from one address, more at once would be
    // capped by the console's listener as a neighbour's flood).
    while (int(pages.size()) < kStations) {
        Page* p = open();
        if (!waitFor([p] { return p->hello; }, 30000)) {
            std::fprintf(stderr, "station %d did not open\n", int(pages.size()));
            return 1;
        }
    }
    waitFor([] { return false; }, 3000);
    const long rss30 = residentKb(pid);
    double cpu0 = proc_cpu_seconds(pid);
    qint64 t0 = clock.elapsed();
    waitFor([] { return false; }, 10000);
    const double idleShare = (proc_cpu_seconds(pid) - cpu0) / (double(clock.elapsed() - t0) / 1000);

    // One talks on 16, the 29 others listen there.
    std::vector<std::unique_ptr<QWebSocket>> ears;
    std::vector<long> heard(kStations, 0);
    for (int i = 1; i < kStations; ++i) {
        auto ear = std::make_unique<QWebSocket>();
        long* count = &heard[size_t(i)];
        QObject::connect(ear.get(), &QWebSocket::binaryMessageReceived, [count](const QByteArray& b) { *count += b.size() / 2; });
        QWebSocket* e = ear.get();
        bool up = false;
        QObject::connect(e, &QWebSocket::connected, [&up] { up = true; });
        e->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/station-listen?channel=16").arg(kHttp)));
        waitFor([&up] { return up; }, 30000);
        QObject::disconnect(e, &QWebSocket::connected, nullptr, nullptr);
        ears.push_back(std::move(ear));
    }
    waitFor([] { return false; }, 2000);
    Page* talker = pages.front().get();
    talker->socket.sendTextMessage(QStringLiteral("down ptt"));
    if (!waitFor([&] { return talker->pttPicture == 5; }, 10000)) {
        std::fprintf(stderr, "the station did not go on the air\n");
        return 1;
    }
    QByteArray frame(640, '\0');
    for (int i = 0; i < 320; ++i) {
        const qint16 v = qint16(8000 * ((i / 20) % 2 ? 1 : -1));
        std::memcpy(frame.data() + 2 * i, &v, 2);
    }
    cpu0 = proc_cpu_seconds(pid);
    t0 = clock.elapsed();
    for (qint64 next = t0; clock.elapsed() - t0 < 10000; next += 20) {
        talker->socket.sendBinaryMessage(frame);
        waitFor([&] { return clock.elapsed() >= next + 20; }, 1000);
    }
    const double talkShare = (proc_cpu_seconds(pid) - cpu0) / (double(clock.elapsed() - t0) / 1000);
    talker->socket.sendTextMessage(QStringLiteral("up ptt"));
    waitFor([] { return false; }, 1000);
    const long least = *std::min_element(heard.begin() + 1, heard.end());

    std::printf("load average: %s\n", loadAverage().constData());
    std::printf("key pressed -> LCD changed at the page: median %.1f ms (40 keypad presses; limit 30); "
                "call keys and ESC, whose handlers pause first: median %.1f ms (20 presses)\n",
                median(keyMs), median(callKeyMs));
    std::printf("30 stations idle: exchange CPU %.1f %% of a core (limit 5); memory %.2f MB per station (limit 5)\n",
                100 * idleShare, double(rss30 - rss0) / 1024 / kStations);
    std::printf("one talking on 16, 29 listening: exchange CPU %.1f %% of a core (limit 30); "
                "each listener got at least %.1f s of sound\n", 100 * talkShare, double(least) / 22050);
    exchange.terminate();
    exchange.waitForFinished(10000);
    return 0;
}
