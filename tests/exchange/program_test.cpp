// SPDX-License-Identifier: GPL-3.0-or-later
// The kelvo-exchange program itself: the JSON log file and the summary at a clean stop.
#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>

#include <csignal>
#include <gtest/gtest.h>

TEST(ExchangeProgram, AppendsAJsonLinePerRecordAndSumsUpAtTheStop)
{
    const QString program = qEnvironmentVariable("KELVO_BIN") + QStringLiteral("/kelvo-exchange");
    if (!QFile::exists(program))
        GTEST_SKIP() << "kelvo-exchange not built";
    QUdpSocket probe;
    ASSERT_TRUE(probe.bind(QHostAddress::LocalHost, 0));
    const quint16 in = probe.localPort();
    probe.close();
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("traffic.jsonl"));

    QProcess exchange;
    exchange.start(program, {QStringLiteral("--local"), QStringLiteral("--listen-port"), QString::number(in),
                             QStringLiteral("--station-port"), QString::number(in + 1 == 0 ? 1 : in + 1),
                             QStringLiteral("--log"), log});
    ASSERT_TRUE(exchange.waitForStarted());
    ASSERT_TRUE(exchange.waitForReadyRead(30000)) << "no start line";

    const QByteArray record = "TXMMSI=274111001,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=SAFETY  ,DANGER=00,LATD=00,"
                              "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=16,COMPLY=N";
    QUdpSocket sender;
    sender.writeDatagram(record, QHostAddress::LocalHost, in);
    sender.writeDatagram("junk", QHostAddress::LocalHost, in);
    // Stopped once both are in the log (a line each, written as the relay takes them).
    QElapsedTimer took;
    took.start();
    while (took.elapsed() < 30000) {
        QFile written(log);
        if (written.open(QIODevice::ReadOnly) && written.readAll().count('\n') >= 2)
            break;
        QThread::msleep(10);
    }
    RecordProperty("logged_ms", int(took.elapsed()));
    ::kill(static_cast<pid_t>(exchange.processId()), SIGINT);
    ASSERT_TRUE(exchange.waitForFinished(30000));
    EXPECT_EQ(exchange.exitCode(), 0);
    EXPECT_TRUE(exchange.readAllStandardOutput().contains("1 records relayed, 1 rejected"));

    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_GE(lines.size(), 2);
    const QJsonObject first = QJsonDocument::fromJson(lines[0]).object();
    ASSERT_FALSE(first.isEmpty()) << lines[0].toStdString();
    EXPECT_TRUE(lines[0].contains("CATEGORY=SAFETY  ")) << "the raw text is kept: " << lines[0].toStdString();
}

TEST(ExchangeProgram, EndsAtOnceWhenTheConsolePortIsTaken)
{
    const QString program = qEnvironmentVariable("KELVO_BIN") + QStringLiteral("/kelvo-exchange");
    if (!QFile::exists(program))
        GTEST_SKIP() << "kelvo-exchange not built";
    QTcpServer taken;
    ASSERT_TRUE(taken.listen(QHostAddress::LocalHost, 0));
    QUdpSocket probe;
    ASSERT_TRUE(probe.bind(QHostAddress::LocalHost, 0));
    const quint16 in = probe.localPort();
    probe.close();

    QProcess exchange;
    exchange.start(program, {QStringLiteral("--local"), QStringLiteral("--listen-port"), QString::number(in),
                             QStringLiteral("--station-port"), QString::number(in == 65535 ? 1 : in + 1),
                             QStringLiteral("--console"), QStringLiteral("127.0.0.1:%1").arg(taken.serverPort())});
    ASSERT_TRUE(exchange.waitForFinished(30000)) << "the exchange kept running without its console";
    EXPECT_EQ(exchange.exitCode(), 1);
    const QByteArray err = exchange.readAllStandardError();
    EXPECT_TRUE(err.contains("cannot serve the console on 127.0.0.1:" + QByteArray::number(taken.serverPort())))
        << err.toStdString();
}
