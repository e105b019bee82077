// SPDX-License-Identifier: GPL-3.0-or-later
// The relay over loopback with test ports, the record checks and the log texts.
#include "exchange/log_format.h"
#include "exchange/options.h"
#include "exchange/record_check.h"
#include "exchange/relay.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <gtest/gtest.h>

using namespace exchange;

namespace {

const QByteArray kRecord =
    "TXMMSI=274111001,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=ROUTINE ,DANGER=00,LATD=00,LATM=00,"
    "NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N";

QCoreApplication& app() {
    if (QCoreApplication* existing = QCoreApplication::instance())   // made by another test of this program
        return *existing;
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

} // namespace

TEST(Relay, DeliversRecordsByteForByteAndRejectsBadOnes) {
    app();
    QUdpSocket station;
    ASSERT_TRUE(station.bind(QHostAddress::LocalHost, 0));
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    const quint16 in = probe.localPort();
    probe.close();
    Relay relay({QHostAddress(QHostAddress::LocalHost)}, in, station.localPort());
    ASSERT_TRUE(relay.start());
    QList<Traffic> log;
    QObject::connect(&relay, &Relay::traffic, [&](const Traffic& t) { log.append(t); });

    QUdpSocket sender;
    sender.writeDatagram(kRecord, QHostAddress::LocalHost, in);
    sender.writeDatagram(QByteArray(70000 > 65507 ? 65507 : 70000, 'x'), QHostAddress::LocalHost, in);
    sender.writeDatagram(QByteArray("TXMMSI=\0", 8), QHostAddress::LocalHost, in);
    sender.writeDatagram(QByteArray(), QHostAddress::LocalHost, in);

    QList<QByteArray> got;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        while (station.hasPendingDatagrams())
            got.append(station.receiveDatagram().data());
    }
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0], kRecord);
    EXPECT_EQ(relay.relayed(), 1);
    EXPECT_EQ(relay.rejected(), 3);
    ASSERT_EQ(log.size(), 4);
    EXPECT_TRUE(logLine(log[0]).endsWith("274111001 -> ALL SHIPS  ALLSHIPS ROUTINE  ch 77  [" + log[0].sender + "]"));
    EXPECT_NE(logLine(log[1]).indexOf("REJECTED 65507 bytes, longer than 255 bytes"), -1);
    EXPECT_NE(logLine(log[2]).indexOf("\"TXMMSI=\\x00\""), -1);

    relay.deliver(kRecord);
    t.restart();
    got.clear();
    while (t.elapsed() < 200) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        while (station.hasPendingDatagrams())
            got.append(station.receiveDatagram().data());
    }
    EXPECT_EQ(got, QList<QByteArray>{kRecord});

    Relay second({}, in, station.localPort());
    EXPECT_FALSE(second.start());
    EXPECT_NE(second.errorString().indexOf(QString::number(in)), -1);
}

TEST(RecordCheck, WellFormedRecordsOnly) {
    EXPECT_EQ(recordProblem(kRecord), "");
    EXPECT_EQ(recordProblem(QByteArray(kRecord).replace("COMPLY=", "COMPLY:")), "1 of the 14 keys missing");
    EXPECT_EQ(recordProblem(kRecord + QByteArray(120, ' ')), "longer than 255 bytes");
    EXPECT_EQ(recordProblem(QByteArray(kRecord).replace('N', char(0xD1))), "not printable ASCII");
    EXPECT_EQ(excerpt("a\\b\xff", 3), "a\\x5cb...");
    EXPECT_EQ(excerpt(QByteArray("\x00\x0f\xa0~", 4), 4), "\\x00\\x0f\\xa0~");
    EXPECT_EQ(excerpt("abc", 0), "...");
}

TEST(LogFormat, DistressAndJson) {
    Traffic t = inspect(QDateTime(QDate(2026, 1, 2), QTime(10, 42, 7)), "10.0.0.5:4000",
                        QByteArray(kRecord).replace("CALL=ALLSHIPS", "CALL=DISTRESS").replace("ROUTINE ", "DISTRESS")
                            .replace("DANGER=00", "DANGER=3").replace("LATD=00", "LATD=44")
                            .replace("TIME=00:00", "TIME=10:41"));
    t.relayed = true;
    EXPECT_EQ(logLine(t), QString::fromUtf8("10:42:07 274111001 -> ALL SHIPS  DISTRESS DISTRESS  nature Flooding"
                                            "  pos 44°00'N 000°00'E  at 10:41  ch 77  [10.0.0.5:4000]"));
    const QByteArray json = jsonLine(t);
    EXPECT_NE(json.indexOf("\"DANGER\":\"3,\""), -1);
    EXPECT_NE(json.indexOf("\"sender\":\"10.0.0.5:4000\""), -1);
    EXPECT_EQ(json.indexOf('\n'), -1);
}

TEST(LogFormat, AcknowledgementsPositionsAndBadRecords) {
    const QDateTime at(QDate(2026, 1, 2), QTime(9, 5, 0));
    QByteArray text = QByteArray(kRecord).replace("RXMMSI=999999999", "RXMMSI=274222002")
        .replace("CALL=ALLSHIPS", "CALL=INDIVIDU").replace("ROUTINE ", "ROUT_ACK").replace("COMPLY=N", "COMPLY=Y")
        .replace("TIME=00:00", "TIME=--:--");
    EXPECT_EQ(logLine(inspect(at, "10.0.0.7:4001", text)),
              "09:05:00 274111001 -> 274222002  INDIVIDU ROUT_ACK  no position  ch 77  ABLE  [10.0.0.7:4001]");
    text.replace("COMPLY=Y", "COMPLY=N").replace("TIME=--:--", "TIME=00:00").replace("LONM=00", "LONM=30");
    EXPECT_EQ(logLine(inspect(at, "10.0.0.7:4001", text)),
              QString::fromUtf8("09:05:00 274111001 -> 274222002  INDIVIDU ROUT_ACK"
                                "  pos 00°00'N 000°30'E  ch 77  UNABLE  [10.0.0.7:4001]"));
    const Traffic bad{at, "10.0.0.7:4001", "HELLO\x01", "1 of 2 things", false, {}};
    EXPECT_EQ(logLine(bad), "09:05:00 REJECTED 6 bytes, 1 of 2 things: \"HELLO\\x01\"  [10.0.0.7:4001]");
}

TEST(LogFormat, JsonLineReadsBackWhateverTheBytes) {
    // Quotes and backslashes in a relayed record, control and high bytes in a rejected one, an
    // odd sender name: a JSON reader gets every text back as it was.
    const QByteArray quoted = QByteArray(kRecord).replace("CH=77", "CH=\"\\");
    Traffic ok = inspect(QDateTime(QDate(2026, 1, 2), QTime(10, 42, 7, 5)), "a\"b\\c\td", quoted);
    ok.relayed = true;
    const QJsonObject o = QJsonDocument::fromJson(jsonLine(ok)).object();
    EXPECT_EQ(o["raw"].toString(), QString::fromLatin1(quoted));
    EXPECT_EQ(o["fields"].toObject()["CH"].toString(), "\"\\");
    EXPECT_EQ(o["fields"].toObject()["TXMMSI"].toString(), "274111001");
    EXPECT_EQ(o["fields"].toObject().size(), 14);
    EXPECT_EQ(o["sender"].toString(), "a\"b\\c\td");
    EXPECT_EQ(o["time"].toString(), "2026-01-02T10:42:07.005");
    EXPECT_EQ(o["size"].toInt(), quoted.size());
    EXPECT_TRUE(o["relayed"].toBool());

    const QByteArray junk("\"\x01\n\x7f\xe9\\", 6);
    Traffic bad{ok.time, "10.0.0.5:4000", junk, QString::fromUtf8("odd \"bytes\"\r\x01 é"), false, {}};
    const QJsonObject b = QJsonDocument::fromJson(jsonLine(bad)).object();
    EXPECT_EQ(b["excerpt"].toString(), excerpt(junk, 255));
    EXPECT_EQ(b["problem"].toString(), bad.problem);
    EXPECT_FALSE(b["relayed"].toBool(true));
    EXPECT_FALSE(b.contains("raw"));
    EXPECT_EQ(jsonLine(bad).indexOf('\n'), -1);
}

TEST(Options, DeliveryAndPorts) {
    EXPECT_EQ(parseOptions({}).destinations, QList<QHostAddress>{QHostAddress(QHostAddress::Broadcast)});
    const Options l = parseOptions({"--local", "--listen-port", "1000", "--station-port", "1001"});
    EXPECT_EQ(l.destinations, QList<QHostAddress>{QHostAddress(QHostAddress::LocalHost)});
    EXPECT_EQ(l.listenPort, 1000);
    EXPECT_EQ(parseOptions({"--to", "10.0.0.1", "--to", "10.0.0.2"}).destinations.size(), 2);
    EXPECT_FALSE(parseOptions({"--listen-port", "8091"}).error.isEmpty());
    EXPECT_FALSE(parseOptions({"--bogus"}).error.isEmpty());
    // The text may come before, between or after the options.
    const QList<QStringList> sends = {{"send", "TEXT", "--local"},
                                      {"send", "--local", "TEXT"},
                                      {"--local", "send", "--station-port", "1001", "TEXT"}};
    for (const QStringList& args : sends) {
        const Options s = parseOptions(args);
        EXPECT_TRUE(s.error.isEmpty()) << qPrintable(args.join(' ')) << ": " << qPrintable(s.error);
        EXPECT_EQ(s.command, Options::Command::Send);
        EXPECT_EQ(s.sendText, "TEXT");
        EXPECT_EQ(s.destinations, QList<QHostAddress>{QHostAddress(QHostAddress::LocalHost)});
    }
    EXPECT_EQ(parseOptions({"send", "--local"}).error, "send needs the record text");
    EXPECT_EQ(parseOptions({"send", "ONE", "TWO"}).error, "unknown argument TWO");
}

// The classroom's base_port from a station settings file, read as the stations read it.
TEST(Options, VoiceBasePortFromTheClassroomSettings) {
    QTemporaryDir dir;
    const auto file = [&](const QByteArray& text) {
        QFile f(dir.filePath(QStringLiteral("radiosim.ini")));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        return f.fileName();
    };
    EXPECT_EQ(parseOptions({"--settings", file("[radio]\nmode=1\nbase_port=23000\n")}).voiceBasePort, 23000);
    EXPECT_EQ(parseOptions({"--settings", file("[RADIO]\r\n base_port = 0x4E20 \r\n")}).voiceBasePort, 20000);
    EXPECT_EQ(parseOptions({"--settings", file("[kelvo]\nbase_port=23000\n")}).voiceBasePort, 17000);
    EXPECT_EQ(parseOptions({"--settings", file("[radio]\nbase_port=twelve\n")}).voiceBasePort, 17000);
    EXPECT_EQ(parseOptions({"--settings", file("[radio]\nbase_port=65400\n")}).error,
              "bad base_port 65400 in " + dir.filePath(QStringLiteral("radiosim.ini")) + " (1 to 65351)");
    // An explicit port wins, wherever it stands; a missing file leaves the default, and says so.
    EXPECT_EQ(parseOptions({"--voice-base-port", "30000", "--settings", file("[radio]\nbase_port=23000\n")}).voiceBasePort,
              30000);
    const Options missing = parseOptions({"--settings", dir.filePath(QStringLiteral("none.ini"))});
    EXPECT_TRUE(missing.error.isEmpty());
    EXPECT_EQ(missing.voiceBasePort, 17000);
    EXPECT_TRUE(missing.notice.startsWith(QStringLiteral("no settings file"))) << qPrintable(missing.notice);
}

TEST(Relay, RelayAllPassesAnythingUnchangedToEveryDestination) {
    app();
    QUdpSocket a, b;
    ASSERT_TRUE(a.bind(QHostAddress::LocalHost, 0));
    // The second "station" listens on 127.0.0.2 with the same port, as stations of a classroom do.
    ASSERT_TRUE(b.bind(QHostAddress("127.0.0.2"), a.localPort()));
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    const quint16 in = probe.localPort();
    probe.close();
    Relay relay({QHostAddress(QHostAddress::LocalHost), QHostAddress("127.0.0.2")}, in, a.localPort(), true);
    ASSERT_TRUE(relay.start());

    const QByteArray odd("not a record \xff\x00 at all", 22);
    QUdpSocket sender;
    sender.writeDatagram(odd, QHostAddress::LocalHost, in);
    sender.writeDatagram(kRecord, QHostAddress::LocalHost, in);

    QList<QByteArray> gotA, gotB;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        while (a.hasPendingDatagrams())
            gotA.append(a.receiveDatagram().data());
        while (b.hasPendingDatagrams())
            gotB.append(b.receiveDatagram().data());
    }
    const QList<QByteArray> expected{odd, kRecord};
    EXPECT_EQ(gotA, expected);
    EXPECT_EQ(gotB, expected);
    EXPECT_EQ(relay.rejected(), 0);
}
