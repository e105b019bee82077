// SPDX-License-Identifier: GPL-3.0-or-later
// The exchange program through the faults of a course: stopped and started again on the same
// JSON log, and the log's disk full while records keep coming.
#include "exchange/json_log.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray record(int n)
{
    // A routine all-ships call whose channel field numbers it, so every record is told apart.
    return "TXMMSI=274111001,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=ROUTINE ,DANGER=00,LATD=00,LATM=00,NS=N,"
           "LOND=000,LONM=00,EW=E,TIME=00:00,CH="
           + QByteArray::number(n).rightJustified(2, '0') + ",COMPLY=N";
}

quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// The exchange on loopback ports of its own, with a socket standing for a station.
struct Course {
    Course() : in(freePort())
    {
        station.bind(QHostAddress::LocalHost, 0);
        program = qEnvironmentVariable("KELVO_BIN") + QStringLiteral("/kelvo-exchange");
    }
    QStringList args(const QString& log) const
    {
        return {QStringLiteral("--local"), QStringLiteral("--listen-port"), QString::number(in),
                QStringLiteral("--station-port"), QString::number(station.localPort()), QStringLiteral("--log"), log};
    }
    bool start(QProcess& p, const QString& log, const QString& wrapper = {}, QStringList before = {})
    {
        p.setProcessChannelMode(QProcess::SeparateChannels);
        if (wrapper.isEmpty())
            p.start(program, args(log));
        else
            p.start(wrapper, before << program << args(log));
        return p.waitForStarted() && p.waitForReadyRead(30000);
    }
    void send(int n)
    {
        sender.writeDatagram(record(n), QHostAddress::LocalHost, in);
    }
    // The records that reached the station within `ms`, by number.
    QList<int> delivered(int expected, int ms = 30000)
    {
        QList<int> got;
        QElapsedTimer t;
        t.start();
        while (got.size() < expected && t.elapsed() < ms) {
            if (!station.hasPendingDatagrams() && !station.waitForReadyRead(100))
                continue;
            while (station.hasPendingDatagrams()) {
                const QByteArray d = station.receiveDatagram().data();
                got << d.mid(d.indexOf(",CH=") + 4).split(',').first().toInt();
            }
        }
        return got;
    }
    static void stop(QProcess& p)
    {
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        p.waitForFinished(30000);
    }

    quint16 in;
    QUdpSocket station, sender;
    QString program;
};

// Record numbers of the log's record lines; every line but `cut` must be whole JSON.
QList<int> loggedRecords(const QByteArray& log, int* restarts = nullptr, const QByteArray& cut = {})
{
    QList<int> numbers;
    int restarted = 0;
    const QList<QByteArray> lines = log.split('\n');
    EXPECT_TRUE(lines.last().isEmpty()) << "the log ends with a whole line";
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (!cut.isEmpty() && lines[i] == cut)
            continue;
        const QJsonObject o = QJsonDocument::fromJson(lines[i]).object();
        EXPECT_FALSE(o.isEmpty()) << "line " << i << " is not whole: " << lines[i].toStdString();
        if (o.value(QStringLiteral("event")).toString() == QStringLiteral("restarted"))
            ++restarted;
        else if (o.contains(QStringLiteral("fields")))
            numbers << o.value(QStringLiteral("fields")).toObject().value(QStringLiteral("CH")).toString().toInt();
    }
    if (restarts)
        *restarts = restarted;
    return numbers;
}

// The "n" of each line of a log written by the test itself; every line must be whole JSON.
QList<int> loggedLines(const QByteArray& log)
{
    QList<int> numbers;
    const QList<QByteArray> lines = log.split('\n');
    EXPECT_TRUE(lines.last().isEmpty()) << "the log ends with a whole line";
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        const QJsonObject o = QJsonDocument::fromJson(lines[i]).object();
        EXPECT_FALSE(o.isEmpty()) << "line " << i << " is not whole: " << lines[i].toStdString();
        if (o.contains(QStringLiteral("n")))
            numbers << o.value(QStringLiteral("n")).toInt();
    }
    return numbers;
}

QList<int> range(int from, int to)
{
    QList<int> r;
    for (int n = from; n <= to; ++n)
        r << n;
    return r;
}

} // namespace

TEST(ExchangeFaults, RestartedExchangeAppendsToTheSameLogAndSaysSo)
{
    Course course;
    if (!QFile::exists(course.program))
        GTEST_SKIP() << "kelvo-exchange not built";
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("traffic.jsonl"));

    QProcess first;
    ASSERT_TRUE(course.start(first, log));
    for (int n = 1; n <= 3; ++n)
        course.send(n);
    EXPECT_EQ(course.delivered(3), range(1, 3));
    Course::stop(first);
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();

    // While it is down: calls go nowhere. A line cut short (as by a crash) stays as it is.
    course.send(4);
    course.send(5);
    const QByteArray cut = "{\"fields\":{\"CALL\":\"ALLSH";
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(cut);
    f.close();

    QProcess second;
    ASSERT_TRUE(course.start(second, log));
    for (int n = 6; n <= 8; ++n)
        course.send(n);
    EXPECT_EQ(course.delivered(3), range(6, 8)) << "calls made while it was down are not delivered later";
    Course::stop(second);
    EXPECT_EQ(second.exitCode(), 0);

    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray after = f.readAll();
    EXPECT_TRUE(after.startsWith(before + cut + '\n')) << "earlier lines kept byte for byte";
    int restarts = 0;
    EXPECT_EQ(loggedRecords(after, &restarts, cut), QList<int>({1, 2, 3, 6, 7, 8}));
    EXPECT_EQ(restarts, 1);
}

// The log on a tiny file system of its own (a private mount namespace, so root only), filled up
// while the course goes on, then given room again.
TEST(ExchangeFaults, FullLogDiskKeepsRelayingSaysSoOnceAndWritesAgainWhenItCan)
{
    Course course;
    if (!QFile::exists(course.program))
        GTEST_SKIP() << "kelvo-exchange not built";
    if (::geteuid() != 0 || QProcess::execute(QStringLiteral("unshare"), {"-m", "true"}) != 0)
        GTEST_SKIP() << "needs root and unshare -m for a private tmpfs";
    QTemporaryDir dir;
    const QString mnt = dir.filePath(QStringLiteral("disk"));
    ASSERT_TRUE(QDir().mkpath(mnt));

    QProcess exchange;
    ASSERT_TRUE(course.start(exchange, mnt + QStringLiteral("/traffic.jsonl"), QStringLiteral("unshare"),
                             {"-m", "--propagation", "private", "sh", "-c",
                              "mount -t tmpfs -o size=64k kelvotest \"$0\" && exec \"$@\"", mnt}))
        << exchange.readAllStandardError().toStdString();
    // The exchange's own view of its tmpfs.
    const QString disk = QStringLiteral("/proc/%1/root%2").arg(exchange.processId()).arg(mnt);
    const auto logBytes = [&] {
        QFile f(disk + QStringLiteral("/traffic.jsonl"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    for (int n = 1; n <= 5; ++n)
        course.send(n);
    EXPECT_EQ(course.delivered(5), range(1, 5));
    // The log follows the relay by a batch: waited for, up to 30 s.
    const auto logged = [&](int n) {
        QElapsedTimer waited;
        waited.start();
        while (loggedRecords(logBytes()).size() < n && waited.elapsed() < 30000)
            QThread::msleep(10);
        return loggedRecords(logBytes());
    };
    EXPECT_EQ(logged(5), range(1, 5));

    // Fill the disk to the last byte.
    {
        QFile filler(disk + QStringLiteral("/filler"));
        ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(512, 'x');
        while (filler.write(block) == block.size()) {
        }
        while (filler.write("x", 1) == 1) {
        }
    }
    for (int n = 6; n <= 30; ++n) {
        course.send(n);
        QThread::msleep(5);
    }
    EXPECT_EQ(course.delivered(25), range(6, 30)) << "relaying goes on with the disk full";
    QThread::msleep(200);
    const QList<int> whileFull = loggedRecords(logBytes());   // whole lines only, whatever fitted
    ASSERT_GE(whileFull.size(), 5);
    EXPECT_EQ(whileFull.mid(0, 5), range(1, 5)) << "nothing written before is damaged";
    EXPECT_LT(whileFull.size(), 30) << "the disk was not full";

    ASSERT_TRUE(QFile::remove(disk + QStringLiteral("/filler")));
    EXPECT_EQ(logged(30), range(1, 30)) << "the lines kept in memory reach the disk";
    course.send(31);
    EXPECT_EQ(course.delivered(1), QList<int>{31});
    EXPECT_EQ(logged(31), range(1, 31));

    Course::stop(exchange);
    const QString err = QString::fromLocal8Bit(exchange.readAllStandardError());
    EXPECT_EQ(err.count(QStringLiteral("cannot write the log")), 1) << err.toStdString();
    EXPECT_EQ(err.count(QStringLiteral("is written again, nothing lost")), 1) << err.toStdString();
}

// The writer itself against a file size limit (a disk that takes a few lines more, then no more):
// lines cut at the limit are taken back, the backlog is bounded and its overflow counted in the log.
TEST(ExchangeFaults, LogKeepsWholeLinesAndCountsWhatItCouldNotKeep)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.jsonl"));
    exchange::JsonLog log;
    std::vector<QString> notices;
    log.setNotice([&](const QString& t) { notices.push_back(t); });
    log.setBacklogLimit(300);
    ASSERT_TRUE(log.open(path));
    const auto line = [](int n) { return QByteArray("{\"n\":") + QByteArray::number(n) + ",\"pad\":\"" + QByteArray(80, 'x') + "\"}"; };
    log.write(line(1));
    log.flush();
    const qint64 first = QFileInfo(path).size();

    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = old;
    tight.rlim_cur = rlim_t(first + 150);   // room for one line and a half
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tight), 0);
    for (int n = 2; n <= 10; ++n) {
        log.write(line(n));
        log.flush();
    }
    EXPECT_TRUE(log.failing());
    EXPECT_EQ(notices.size(), 1u);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(loggedLines(f.readAll()), QList<int>({1, 2})) << "whole lines only";
    f.close();

    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, previous);
    log.flush();
    EXPECT_FALSE(log.failing());
    ASSERT_EQ(notices.size(), 2u);
    EXPECT_TRUE(notices[1].contains(QStringLiteral("lines could not be kept")));
    // Lines 3 to 5 waited in memory (300 bytes); 6 to 10 were dropped and counted.
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray all = f.readAll();
    EXPECT_EQ(loggedLines(all), QList<int>({1, 2, 3, 4, 5}));
    EXPECT_TRUE(all.contains("{\"event\":\"log-gap\",\"lost\":5,")) << all.constData();
    EXPECT_EQ(log.droppedLines(), 5);
}
