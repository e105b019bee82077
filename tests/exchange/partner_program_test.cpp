// SPDX-License-Identifier: GPL-3.0-or-later
// kelvo-exchange's practice partners on the voice channel: they speak after their DSC answer,
// keep silent with --silent-partners, answer by DSC alone when espeak-ng has no voice data, and
// do not talk over a trainee.
#include "support/voice_talker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkDatagram>
#include <QProcess>
#include <QTemporaryDir>
#include <QUdpSocket>

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace {

struct Heard {
    bool acknowledged = false;   // the partner's DSC answer reached the station port
    int voice = 0;               // datagrams on the channel's voice port
    QByteArray err;
};

// One exchange with a coast station; a trainee calls it on channel 77 and listens for `listenMs`.
Heard callTheCoastStation(const QStringList& extra, const QProcessEnvironment& env, int listenMs)
{
    Heard run;
    const QString program = qEnvironmentVariable("KELVO_BIN") + QStringLiteral("/kelvo-exchange");
    QUdpSocket station, voice;
    if (!station.bind(QHostAddress::LocalHost, 0))
        return run;
    quint16 base = 0;
    for (quint16 b = 28000; b < 28600 && !base; b += 11)
        if (voice.bind(QHostAddress::LocalHost, b + 77))
            base = b;
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    const quint16 in = probe.localPort();
    probe.close();

    QProcess exchange;
    exchange.setProcessEnvironment(env);
    exchange.start(program, QStringList{"--local", "--listen-port", QString::number(in), "--station-port",
                                        QString::number(station.localPort()), "--voice-base-port",
                                        QString::number(base), "--reply-delay", "0", "--coast-station", "002470001"}
                                + extra);
    if (!exchange.waitForStarted() || !exchange.waitForReadyRead(30000))
        return run;
    QUdpSocket trainee;
    trainee.writeDatagram("TXMMSI=274111001,RXMMSI=002470001,CALL=INDIVID ,CATEGORY=ROUTINE ,DANGER=00,LATD=00,"
                          "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N",
                          QHostAddress::LocalHost, in);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(listenMs);
    while (std::chrono::steady_clock::now() < end && !(run.voice > 0 && run.acknowledged)) {
        station.waitForReadyRead(50);
        while (station.hasPendingDatagrams())
            run.acknowledged |= station.receiveDatagram().data().contains("CATEGORY=ROUT_ACK");
        voice.waitForReadyRead(50);
        while (voice.hasPendingDatagrams()) {
            voice.receiveDatagram();
            ++run.voice;
        }
    }
    ::kill(static_cast<pid_t>(exchange.processId()), SIGINT);
    exchange.waitForFinished(5000);
    run.err = exchange.readAllStandardError();
    return run;
}

} // namespace

TEST(PartnerProgram, SpeaksAfterItsAnswerUnlessSilentOrWithoutVoiceData)
{
    if (!QFile::exists(qEnvironmentVariable("KELVO_BIN") + QStringLiteral("/kelvo-exchange")))
        GTEST_SKIP() << "kelvo-exchange not built";
    const QProcessEnvironment env = QProcessEnvironment::systemEnvironment();

    // The first words follow the answer within the pause (3 s) and a little.
    const Heard speaking = callTheCoastStation({}, env, 8000);
    EXPECT_TRUE(speaking.acknowledged);
    EXPECT_GT(speaking.voice, 0) << speaking.err.toStdString();

    // Long enough that a partner that spoke would have been heard.
    const Heard silent = callTheCoastStation({"--silent-partners"}, env, 4500);
    EXPECT_TRUE(silent.acknowledged);
    EXPECT_EQ(silent.voice, 0);

    QTemporaryDir empty;
    QProcessEnvironment noVoices = env;
    noVoices.insert("ESPEAK_DATA_PATH", empty.path());
    const Heard mute = callTheCoastStation({}, noVoices, 4500);
    EXPECT_TRUE(mute.acknowledged);
    EXPECT_EQ(mute.voice, 0);
    EXPECT_EQ(mute.err.count("espeak-ng cannot speak"), 1) << mute.err.toStdString();
    EXPECT_TRUE(mute.err.contains("answer by DSC only")) << mute.err.toStdString();
}

// A trainee who talks on the working channel when the partner's answer is due: the partner waits
// until the channel has been quiet for a second, as an operator would. The exchange records
// nothing (no --record): it listens to the channel all the same. The trainee's voice goes to
// another loopback address, which only the exchange's sockets (bound to every address) take.
TEST(PartnerProgram, WaitsUntilTheTraineeHasFinishedTalking)
{
    const QString program = qEnvironmentVariable("KELVO_BIN") + QStringLiteral("/kelvo-exchange");
    if (!QFile::exists(program))
        GTEST_SKIP() << "kelvo-exchange not built";
    static int argc = 1;
    static char name[] = "test_exchange";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);
    QUdpSocket station, partner;
    ASSERT_TRUE(station.bind(QHostAddress::LocalHost, 0));
    const int base = freeVoiceBase();
    ASSERT_NE(base, 0);
    // With address reuse, as a station's receiver binds, so that the exchange can listen there too.
    ASSERT_TRUE(partner.bind(QHostAddress::LocalHost, quint16(base + 77), QAbstractSocket::ShareAddress));
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    const quint16 in = probe.localPort();
    probe.close();

    QProcess exchange;
    exchange.start(program, {"--local", "--listen-port", QString::number(in), "--station-port",
                             QString::number(station.localPort()), "--voice-base-port", QString::number(base),
                             "--reply-delay", "0", "--coast-station", "002470001"});
    ASSERT_TRUE(exchange.waitForStarted());
    ASSERT_TRUE(exchange.waitForReadyRead(5000));
    QUdpSocket trainee;
    trainee.writeDatagram("TXMMSI=274111001,RXMMSI=002470001,CALL=INDIVID ,CATEGORY=ROUTINE ,DANGER=00,LATD=00,"
                          "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N",
                          QHostAddress::LocalHost, in);
    // The partner would speak 3 s after its answer; the trainee talks from 1 s to 5.5 s.
    VoiceTalker talk(440, 400, QHostAddress(QStringLiteral("127.0.0.2")));
    QElapsedTimer t;
    t.start();
    qint64 talkEnd = -1, partnerFirst = -1;
    bool acknowledged = false;
    int sent = 0;
    while (t.elapsed() < 12000 && partnerFirst < 0) {
        const qint64 now = t.elapsed();
        if (now >= 1000 && now < 5500) {
            if (sent == 0)
                talk.announce(base + 77);
            const int due = int(double(now - 1000) / 1000.0 * 22050 / 320) + 1;
            if (due > sent) {
                talk.send(talk.packet(due - sent), base + 77);
                sent = due;
                talkEnd = t.elapsed();
            }
        }
        station.waitForReadyRead(10);
        while (station.hasPendingDatagrams())
            acknowledged |= station.receiveDatagram().data().contains("CATEGORY=ROUT_ACK");
        if (partner.hasPendingDatagrams() || partner.waitForReadyRead(10))
            partnerFirst = t.elapsed();
    }
    ::kill(static_cast<pid_t>(exchange.processId()), SIGINT);
    exchange.waitForFinished(5000);
    EXPECT_TRUE(acknowledged);
    std::printf("the trainee talked until %.2f s; the partner began at %.2f s\n", talkEnd / 1000.0,
                partnerFirst / 1000.0);
    ASSERT_GT(partnerFirst, 0) << "the partner never spoke: " << exchange.readAllStandardError().toStdString();
    EXPECT_GE(partnerFirst, talkEnd + 900);
    EXPECT_LE(partnerFirst, talkEnd + 3000);
}
