// SPDX-License-Identifier: GPL-3.0-or-later
// The watch recorder on loopback: transmissions become WAV files of the blocks as sent, which
// libsndfile reads back and decodes to the tone.
#include "audio/broadcast_rx.h"
#include "exchange/gsm_wav.h"
#include "exchange/watch_recorder.h"
#include "support/recorder_rig.h"
#include "support/voice_talker.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QNetworkDatagram>
#include <QProcess>
#include <QThread>

#include <atomic>
#include <cstdio>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <sndfile.h>

using namespace exchange;

namespace {

QCoreApplication& app()
{
    if (QCoreApplication* existing = QCoreApplication::instance())
        return *static_cast<QCoreApplication*>(existing);
    static int argc = 1;
    static char name[] = "recorder_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

template <typename Done>
bool waitFor(Done done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

QByteArray wavData(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll().mid(GsmWavWriter::kHeaderBytes);
}

struct Decoded {
    SF_INFO info{};
    std::vector<short> pcm;
};

Decoded decode(const QString& path)
{
    Decoded d;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_READ, &d.info);
    if (!f)
        return d;
    d.pcm.resize(std::size_t(d.info.frames));
    d.pcm.resize(std::size_t(sf_readf_short(f, d.pcm.data(), d.info.frames)));
    sf_close(f);
    return d;
}

} // namespace

TEST(WatchRecorder, EachTransmissionIsOneFileOfTheBlocksAsSent)
{
    app();
    RecorderRig r;
    ASSERT_TRUE(r.start()) << r.error.toStdString();

    VoiceTalker a(440, 80), b(1000, 30);
    a.announce(r.base + 16);
    b.announce(r.base + 123);   // channel 23 as its stations send it
    for (int i = 0; i < 12; ++i) {
        const QByteArray p = a.packet(5);
        a.send(p, r.base + 16);
        if (i == 3) {
            // A damaged copy, one cut short, and a stray announcement-sized datagram: none written.
            QByteArray bad = p;
            bad[20] = char(bad[20] ^ 0x40);
            a.send(bad, r.base + 16);
            a.send(p.left(p.size() - 1), r.base + 16);
            a.send(QByteArray(20, '\x11'), r.base + 16);
        }
        if (i < 6)
            b.send(b.packet(5), r.base + 123);
        QThread::msleep(5);
    }
    const QByteArray firstPart = a.gsm.left(a.sentBytes());
    ASSERT_TRUE(waitFor([&] { return !r.recorder.channels()[0].sender.isEmpty(); }, 30000));
    EXPECT_EQ(r.recorder.channels()[0].sender, QStringLiteral("127.0.0.1"));   // channel 16, live

    // A pause of 1.5 s: the next words are a transmission of their own.
    QThread::msleep(1500);
    for (int i = 0; i < 4; ++i) {
        a.send(a.packet(5), r.base + 16);
        QThread::msleep(5);
    }
    ASSERT_TRUE(waitFor([&] { return r.ended.size() >= 3; }, 30000)) << r.ended.size() << " transmissions ended";
    EXPECT_EQ(QDir(r.dir.path()).entryList(QDir::Files).size(), 3);
    ASSERT_EQ(r.ended.size(), 3u);

    const VoiceTransmission& b1 = r.ended[0].channel == 23 ? r.ended[0] : r.ended[1];
    const VoiceTransmission& a1 = r.ended[0].channel == 23 ? r.ended[1] : r.ended[0];
    const VoiceTransmission& a2 = r.ended[2];
    EXPECT_EQ(a1.channel, 16);
    EXPECT_EQ(a2.channel, 16);
    EXPECT_EQ(b1.channel, 23);
    EXPECT_EQ(a1.sender, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(a1.payloads, 12);
    EXPECT_EQ(a1.lost, 0);
    EXPECT_NEAR(a1.seconds, 60.0 * 320 / 22050, 0.001);
    EXPECT_TRUE(a1.file.endsWith(QStringLiteral("-ch16-127.0.0.1.wav"))) << a1.file.toStdString();
    EXPECT_TRUE(b1.file.contains(QStringLiteral("-ch23-"))) << b1.file.toStdString();
    EXPECT_NE(a1.file, a2.file);

    EXPECT_EQ(wavData(r.dir.filePath(a1.file)), firstPart);
    EXPECT_EQ(wavData(r.dir.filePath(b1.file)), b.gsm);
    EXPECT_EQ(wavData(r.dir.filePath(a2.file)), a.gsm.mid(firstPart.size()));

    // libsndfile takes the file for what it is, and it decodes to the tone.
    const Decoded d = decode(r.dir.filePath(a1.file));
    EXPECT_EQ(d.info.format, SF_FORMAT_WAV | SF_FORMAT_GSM610);
    EXPECT_EQ(d.info.samplerate, 22050);
    EXPECT_EQ(d.info.channels, 1);
    ASSERT_EQ(d.pcm.size(), 60u * 320);
    std::vector<double> x(d.pcm.begin() + 2000, d.pcm.end());
    EXPECT_NEAR(tone::dominant(x, 22050), 440, 10);
    EXPECT_GT(tone::snr_db(x, 440, 22050), 20.0);
    EXPECT_EQ(decode(r.dir.filePath(b1.file)).pcm.size(), 30u * 320);
    EXPECT_EQ(voiceLogLine(a1).section(QLatin1Char(' '), 1), QStringLiteral("voice ch 16 from 127.0.0.1, 0.9 s"));
}

// A sender that keeps its socket and opens again: its second transmission, whose sequence starts
// again, is recorded from its first block.
TEST(WatchRecorder, ASecondTransmissionFromTheSameSocketKeepsItsFirstBlock)
{
    app();
    RecorderRig r(300);
    ASSERT_TRUE(r.start()) << r.error.toStdString();
    VoiceTalker a(440, 60);
    for (int talk = 0; talk < 2; ++talk) {
        a.reopen();
        a.announce(r.base + 9);
        for (int i = 0; i < 6; ++i) {
            a.send(a.packet(5), r.base + 9);
            QThread::msleep(5);
        }
        ASSERT_TRUE(waitFor([&] { return r.ended.size() > std::size_t(talk); }, 3000)) << "talk " << talk;
    }
    EXPECT_EQ(r.ended[1].payloads, 6);
    EXPECT_EQ(r.ended[1].lost, 0);
    EXPECT_EQ(wavData(r.dir.filePath(r.ended[1].file)), a.gsm.mid(30 * 65, 30 * 65));
}

// The exchange killed in the middle of a talk: the file on the disk says how much audio it holds
// (all but its last second at most) and libsndfile reads it back as the tone.
TEST(WatchRecorder, ARecordingSurvivesTheExchangeKilledMidTalk)
{
    const QString program = qEnvironmentVariable("KELVO_BIN") + QStringLiteral("/kelvo-exchange");
    if (!QFile::exists(program))
        GTEST_SKIP() << "kelvo-exchange not built";
    app();
    const int base = freeVoiceBase();
    ASSERT_NE(base, 0);
    QUdpSocket probe;
    ASSERT_TRUE(probe.bind(QHostAddress::LocalHost, 0));
    const quint16 in = probe.localPort();
    probe.close();
    QTemporaryDir dir;
    QProcess exchange;
    exchange.start(program, {QStringLiteral("--local"), QStringLiteral("--listen-port"), QString::number(in),
                             QStringLiteral("--station-port"), QString::number(in + 1), QStringLiteral("--record"),
                             dir.path(), QStringLiteral("--voice-base-port"), QString::number(base)});
    ASSERT_TRUE(exchange.waitForStarted());
    QByteArray out;
    ASSERT_TRUE(waitFor([&] { return (out += exchange.readAllStandardOutput()).contains("listening on UDP"); }, 5000))
        << out.toStdString();

    // Three seconds of tone in real time, one or two blocks at a time as a station sends them;
    // the kill comes after two and a half.
    VoiceTalker talker(440, 220);
    talker.announce(base + 16);
    QElapsedTimer t;
    t.start();
    int sent = 0;
    for (int k = 0; t.elapsed() < 2500; ++k) {
        const int due = int(double(t.elapsed()) / 1000.0 * 22050 / 320);
        if (due > sent) {
            talker.send(talker.packet(due - sent), base + 16);
            sent = due;
        }
        QThread::msleep(20);
    }
    ASSERT_EQ(::kill(static_cast<pid_t>(exchange.processId()), SIGKILL), 0);
    ASSERT_TRUE(exchange.waitForFinished(5000));
    const QStringList files = QDir(dir.path()).entryList({QStringLiteral("*.wav")}, QDir::Files);
    ASSERT_EQ(files.size(), 1);
    const Decoded d = decode(dir.filePath(files[0]));
    const double seconds = double(d.pcm.size()) / 22050;
    std::printf("%d blocks sent in %.1f s, the file reads back as %.2f s\n", sent, t.elapsed() / 1000.0, seconds);
    EXPECT_GE(seconds, double(sent) * 320 / 22050 - 1.2);
    ASSERT_GT(d.pcm.size(), 4000u);
    const std::vector<double> x(d.pcm.begin() + 2000, d.pcm.end());
    EXPECT_NEAR(tone::dominant(x, 22050), 440, 10);
}

// The file libsndfile writes when it encodes `blocks` blocks itself.
static QByteArray libsndfileFile(const QString& path, int blocks)
{
    SF_INFO info{};
    info.samplerate = 22050;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_GSM610;
    SNDFILE* f = sf_open(path.toLocal8Bit().constData(), SFM_WRITE, &info);
    const auto pcm = tone::sine(440, 22050, blocks * 320);
    sf_writef_short(f, pcm.data(), blocks * 320);
    sf_close(f);
    QFile in(path);
    in.open(QIODevice::ReadOnly);
    return in.readAll();
}

// A transmission still going when the exchange stops is closed whole and told; its file is laid
// out as libsndfile lays out one of the same length (an odd data length, padded).
TEST(WatchRecorder, StopEndsTheTransmissionInProgress)
{
    app();
    RecorderRig r;
    ASSERT_TRUE(r.start()) << r.error.toStdString();
    VoiceTalker a(440, 21);
    a.announce(r.base + 84);
    a.send(a.packet(21), r.base + 84);   // 1365 bytes: an odd data length, padded
    ASSERT_TRUE(waitFor([&] { return !r.recorder.channels()[4].sender.isEmpty(); }, 30000));
    r.recorder.stop();
    QCoreApplication::processEvents();
    ASSERT_EQ(r.ended.size(), 1u);
    EXPECT_EQ(r.ended[0].channel, 84);
    EXPECT_EQ(wavData(r.dir.filePath(r.ended[0].file)), a.gsm + QByteArray(1, '\0'));
    QFile mine(r.dir.filePath(r.ended[0].file));
    ASSERT_TRUE(mine.open(QIODevice::ReadOnly));
    const QByteArray theirs = libsndfileFile(r.dir.filePath(QStringLiteral("theirs.wav")), 21);
    EXPECT_EQ(mine.size(), theirs.size());
    EXPECT_EQ(mine.read(GsmWavWriter::kHeaderBytes).toHex(), theirs.left(GsmWavWriter::kHeaderBytes).toHex());
    EXPECT_TRUE(r.recorder.channels()[4].sender.isEmpty());
}

// The program with a folder it cannot write: one message, the voice still logged, records still
// relayed.
TEST(WatchRecorder, AFolderThatCannotBeWrittenStopsOnlyTheRecording)
{
    const QString program = qEnvironmentVariable("KELVO_BIN") + QStringLiteral("/kelvo-exchange");
    if (!QFile::exists(program))
        GTEST_SKIP() << "kelvo-exchange not built";
    app();
    const int base = freeVoiceBase();
    ASSERT_NE(base, 0);
    QUdpSocket probe;
    ASSERT_TRUE(probe.bind(QHostAddress::LocalHost, 0));
    const quint16 in = probe.localPort();
    probe.close();
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("not-a-folder")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));   // root writes anywhere, but not inside a file
    blocker.close();
    const QString log = dir.filePath(QStringLiteral("traffic.jsonl"));
    QUdpSocket station;
    ASSERT_TRUE(station.bind(QHostAddress::LocalHost, 0));

    QProcess exchange;
    exchange.start(program, {QStringLiteral("--local"), QStringLiteral("--listen-port"), QString::number(in),
                             QStringLiteral("--station-port"), QString::number(station.localPort()),
                             QStringLiteral("--record"), blocker.fileName() + QStringLiteral("/voice"),
                             QStringLiteral("--voice-base-port"), QString::number(base), QStringLiteral("--log"), log});
    ASSERT_TRUE(exchange.waitForStarted());
    QByteArray out;
    ASSERT_TRUE(waitFor([&] { return (out += exchange.readAllStandardOutput()).contains("listening on UDP"); }, 30000))
        << out.toStdString();
    EXPECT_TRUE(out.contains("recording stopped: the folder " + blocker.fileName().toUtf8() + "/voice cannot be written"))
        << out.toStdString();

    VoiceTalker talker(440, 20);
    talker.announce(base + 77);
    for (int i = 0; i < 4; ++i)
        talker.send(talker.packet(5), base + 77);
    const QByteArray record = "TXMMSI=274111001,RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=SAFETY  ,DANGER=00,LATD=00,"
                              "LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=16,COMPLY=N";
    QUdpSocket sender;
    sender.writeDatagram(record, QHostAddress::LocalHost, in);
    ASSERT_TRUE(waitFor([&] { return station.hasPendingDatagrams(); }, 30000)) << "the record was not relayed";
    EXPECT_EQ(station.receiveDatagram().data(), record);
    ASSERT_TRUE(waitFor([&] { return (out += exchange.readAllStandardOutput()).contains("voice ch 77"); }, 30000))
        << out.toStdString();
    EXPECT_TRUE(out.contains("voice ch 77 from 127.0.0.1, 0.3 s")) << out.toStdString();
    ::kill(static_cast<pid_t>(exchange.processId()), SIGINT);
    ASSERT_TRUE(exchange.waitForFinished(5000));
    out += exchange.readAllStandardOutput();
    EXPECT_EQ(out.count("recording stopped"), 1) << out.toStdString();

    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray lines = f.readAll();
    EXPECT_TRUE(lines.contains("\"event\":\"recording-stopped\"")) << lines.toStdString();
    EXPECT_TRUE(lines.contains("\"event\":\"voice\"")) << lines.toStdString();
    EXPECT_TRUE(lines.contains("\"channel\":77,\"sender\":\"127.0.0.1\",\"file\":null,\"payloads\":4,\"lost\":0"))
        << lines.toStdString();
}

// A station's voice receiver and the recorder on one PC both hear a channel's broadcasts. Run in
// a network namespace of the test's own (the test starts itself again inside one), so the real
// voice ports can be used and a broadcast route set.
TEST(WatchRecorder, HearsTheBroadcastsBesideAStationOnOnePc)
{
    if (qEnvironmentVariable("KELVO_NETNS_INNER") != QLatin1String("1")) {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root for a network namespace";
        QProcess inner;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("KELVO_NETNS_INNER"), QStringLiteral("1"));
        inner.setProcessEnvironment(env);
        inner.setProcessChannelMode(QProcess::MergedChannels);
        inner.start(QStringLiteral("unshare"),
                    {QStringLiteral("--net"), QStringLiteral("sh"), QStringLiteral("-c"),
                     QStringLiteral("ip link set lo up && ip link add d0 type veth peer name d1 && ip addr add 10.79.0.1/24 dev d0 "
                                    "&& ip link set d0 up && ip link set d1 up && ip route add default dev d0 && exec \"$0\" "
                                    "--gtest_filter=WatchRecorder.HearsTheBroadcastsBesideAStationOnOnePc"),
                     QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))});
        ASSERT_TRUE(inner.waitForFinished(20000));
        const QByteArray out = inner.readAll();
        if (inner.exitCode() != 0 && out.contains("Operation not permitted"))
            GTEST_SKIP() << "no network namespaces here: " << out.toStdString();
        EXPECT_EQ(inner.exitCode(), 0) << out.toStdString();
        EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
        return;
    }
    app();
    const int base = 17000;
    QTemporaryDir dir;
    WatchRecorder recorder(dir.path(), base);
    recorder.setSilenceMs(300);
    std::vector<VoiceTransmission> ended;
    QObject::connect(&recorder, &WatchRecorder::ended, [&](const VoiceTransmission& t) { ended.push_back(t); });
    QString error;
    ASSERT_TRUE(recorder.start(error)) << error.toStdString();
    // The station's receiver opens after the recorder has the port, as when the exchange runs first.
    BroadcastRX station;
    std::atomic<int> heard{0};
    station.setPayloadCallback([&] { ++heard; });
    station.setPort(QString::number(base + 16));
    ASSERT_TRUE(station.open()) << "the station could not share the channel's port";

    VoiceTalker talker(440, 30, QHostAddress::Broadcast);
    talker.announce(base + 16);
    for (int i = 0; i < 6; ++i) {
        talker.send(talker.packet(5), base + 16);
        QThread::msleep(5);
    }
    ASSERT_TRUE(waitFor([&] { return !ended.empty() && heard.load() >= 6; }, 30000))
        << "recorder: " << ended.size() << " transmissions, station: " << heard.load() << " payloads";
    EXPECT_EQ(heard.load(), 6);
    EXPECT_EQ(ended[0].payloads, 6);
    EXPECT_EQ(ended[0].sender, QStringLiteral("10.79.0.1"));
    EXPECT_EQ(wavData(dir.filePath(ended[0].file)), talker.gsm);
    station.close();
}

// A disk that fills in the middle of a transmission: one message, the file cut back to the blocks
// it holds whole and readable, the transmissions still told, nothing written after.
TEST(WatchRecorder, AFullDiskStopsTheRecordingWithOneMessage)
{
    app();
    RecorderRig r;   // a second of silence ends a transmission: a busy machine's stall does not
    QStringList messages;
    QObject::connect(&r.recorder, &WatchRecorder::recordingStopped, [&](const QString& m) { messages << m; });
    ASSERT_TRUE(r.start()) << r.error.toStdString();

    // The file size limit stands for the full disk: writes beyond it fail (EFBIG) as on ENOSPC.
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = GsmWavWriter::kHeaderBytes + 12 * 65 + 30;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    VoiceTalker a(440, 40), b(1000, 40);
    a.announce(r.base + 9);
    b.announce(r.base + 77);
    for (int i = 0; i < 8; ++i) {
        a.send(a.packet(5), r.base + 9);
        b.send(b.packet(5), r.base + 77);
        QThread::msleep(5);
    }
    const bool bothEnded = waitFor([&] { return r.ended.size() >= 2; }, 30000);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    ASSERT_TRUE(bothEnded) << r.ended.size();

    ASSERT_EQ(messages.size(), 1) << messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("recording stopped: cannot write ")));
    EXPECT_TRUE(messages[0].endsWith(QStringLiteral("relaying goes on")));
    EXPECT_FALSE(r.recorder.recording());
    for (const VoiceTransmission& t : r.ended) {
        EXPECT_EQ(t.payloads, 8);
        ASSERT_FALSE(t.file.isEmpty());
        const QByteArray data = wavData(r.dir.filePath(t.file));
        const QByteArray& sent = t.channel == 9 ? a.gsm : b.gsm;
        EXPECT_EQ(data.size() % 65, 0);
        EXPECT_LE(data.size(), 12 * 65);
        EXPECT_EQ(data, sent.left(data.size())) << "channel " << t.channel;
        EXPECT_EQ(decode(r.dir.filePath(t.file)).pcm.size(), std::size_t(data.size() / 65 * 320));
    }
}
