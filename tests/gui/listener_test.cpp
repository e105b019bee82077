// SPDX-License-Identifier: GPL-3.0-or-later
// The DSC listener and sender over loopback.
#include "net/dsc_listener.h"
#include "net/udp_sender.h"
#include "gui_support.h"

#include <QElapsedTimer>
#include <QThread>
#include <QUdpSocket>
#include <gtest/gtest.h>

namespace {
void pumpUntil(const std::function<bool()>& done, int ms = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}
} // namespace

TEST(DscListener, DeliversInArrivalOrderAndNeverNestsWhenTheHandlerRunsEvents)
{
    guiApp();
    std::vector<QByteArray> got;
    int depth = 0, deepest = 0;
    DscListener listener([&](const QByteArray& d) {
        ++depth;
        deepest = std::max(deepest, depth);
        got.push_back(d);
        // As the station's handlers do: let pending events run while more datagrams wait.
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30)
            QCoreApplication::processEvents();
        --depth;
    });
    ASSERT_TRUE(listener.bind(0)) << listener.errorText().toStdString();
    QUdpSocket out;
    for (int i = 1; i <= 6; ++i)
        out.writeDatagram(QByteArray::number(i), QHostAddress::LocalHost, listener.port());
    pumpUntil([&] { return got.size() >= 6; });
    ASSERT_EQ(got.size(), 6u);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(got[i], QByteArray::number(i + 1));
    EXPECT_EQ(deepest, 1);
}

TEST(DscListener, EmptyDatagramReachesTheHandlerAsEmptyText)
{
    guiApp();
    std::vector<QByteArray> got;
    DscListener listener([&](const QByteArray& d) { got.push_back(d); });
    ASSERT_TRUE(listener.bind(0));
    QUdpSocket out;
    out.writeDatagram(QByteArray(), QHostAddress::LocalHost, listener.port());
    out.writeDatagram(QByteArray("X"), QHostAddress::LocalHost, listener.port());
    pumpUntil([&] { return got.size() >= 2; });
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].isEmpty());
    EXPECT_EQ(got[1], "X");
}

TEST(DscListener, SecondListenerOnTheSamePortFailsWithThePlatformText)
{
    guiApp();
    DscListener first([](const QByteArray&) {});
    ASSERT_TRUE(first.bind(0));
    DscListener second([](const QByteArray&) {});
    EXPECT_FALSE(second.bind(first.port()));
    EXPECT_EQ(second.errorText(), QStringLiteral("Could not bind socket. Address and port are already in use."));
    EXPECT_FALSE(second.bound());
}

TEST(UdpDatagramSender, SendsOneRecordPerDatagramToTheGivenPort)
{
    guiApp();
    std::vector<QByteArray> got;
    DscListener listener([&](const QByteArray& d) { got.push_back(d); });
    ASSERT_TRUE(listener.bind(0));
    UdpDatagramSender sender;
    QString error;
    EXPECT_TRUE(sender.send("TXMMSI=274111001", QHostAddress::LocalHost, listener.port(), false, &error))
        << error.toStdString();
    EXPECT_TRUE(sender.send("TXMMSI=274111002", QHostAddress::LocalHost, listener.port(), false, &error));
    pumpUntil([&] { return got.size() >= 2; });
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "TXMMSI=274111001");
    EXPECT_EQ(got[1], "TXMMSI=274111002");
}

// The exchange stopped on this PC (LOCAL mode): the port refuses, the system answers each record
// with "port unreachable", and the station must go on sending as if nothing had happened.
TEST(UdpDatagramSender, NobodyListeningOnTheExchangePortIsNoError)
{
    guiApp();
    quint16 closed = 0;
    {
        QUdpSocket probe;
        ASSERT_TRUE(probe.bind(QHostAddress::LocalHost, 0));
        closed = probe.localPort();
    }
    UdpDatagramSender sender;
    for (int n = 0; n < 3; ++n) {
        QString error;
        EXPECT_TRUE(sender.send("TXMMSI=274111001", QHostAddress::LocalHost, closed, false, &error))
            << n << ": " << error.toStdString();
        QCoreApplication::processEvents();
        QThread::msleep(20);
    }
    // And when the exchange is back, records reach it again.
    std::vector<QByteArray> got;
    DscListener listener([&](const QByteArray& d) { got.push_back(d); });
    ASSERT_TRUE(listener.bind(closed));
    EXPECT_TRUE(sender.send("TXMMSI=274111002", QHostAddress::LocalHost, closed, false, nullptr));
    pumpUntil([&] { return !got.empty(); });
    ASSERT_EQ(got.size(), 1u);
}
