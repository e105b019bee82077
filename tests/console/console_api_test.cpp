// SPDX-License-Identifier: GPL-3.0-or-later
// The console's API over HTTP on loopback, with a real relay, classroom and UDP sockets: records
// in order, records sent byte for byte, the event stream, and the limits on bodies and connections.
#include "exchange/classroom.h"
#include "exchange/console/console.h"
#include "exchange/console/guarded_tcp_server.h"
#include "exchange/relay.h"
#include "support/recorder_rig.h"
#include "support/voice_talker.h"

#include <QCoreApplication>
#include <QtEndian>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkDatagram>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QThread>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QWebSocket>

#include <gtest/gtest.h>

using namespace exchange;

namespace {

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

QByteArray record(int n, const char* category = "ROUTINE ")
{
    return QByteArray("TXMMSI=2741110") + QByteArray::number(n).rightJustified(2, '0')
        + ",RXMMSI=999999999,CALL=ALLSHIPS,CATEGORY=" + category
        + ",DANGER=00,LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N";
}

template <typename Done>
bool spin(Done done, int ms = 30000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// A relay on test ports delivering to a listening "station", with a classroom and a console.
struct Bench {
    QCoreApplication& application = app();
    QUdpSocket station;
    quint16 in = freeUdpPort();
    std::unique_ptr<Relay> relay;
    std::unique_ptr<Classroom> classroom;
    std::unique_ptr<Console> console;
    QNetworkAccessManager http;

    explicit Bench(WatchRecorder* recorder = nullptr)
    {
        station.bind(QHostAddress::LocalHost, 0);
        relay = std::make_unique<Relay>(QList<QHostAddress>{QHostAddress(QHostAddress::LocalHost)}, in,
                                        station.localPort());
        classroom = std::make_unique<Classroom>(*relay);
        Options o;
        o.coastStations << QStringLiteral("002470001");
        o.replyDelayMs = 100;
        EXPECT_EQ(classroom->setUp(o), QString());
        EXPECT_TRUE(relay->start());
        console = std::make_unique<Console>(*relay, *classroom, false);
        console->setRecorder(recorder);
        EXPECT_TRUE(console->listen(QHostAddress::LocalHost, 0)) << console->errorString().toStdString();
        classroom->start();
    }

    QUrl url(const QString& path) const { return QUrl(console->url() + path); }

    // {status, body}
    std::pair<int, QByteArray> request(const QString& path, const QByteArray& body = {},
                                       const QByteArray& type = "application/json")
    {
        QNetworkRequest r(url(path));
        QNetworkReply* reply;
        if (body.isNull()) {
            reply = http.get(r);
        } else {
            r.setHeader(QNetworkRequest::ContentTypeHeader, type);
            reply = http.post(r, body);
        }
        spin([&] { return reply->isFinished(); });
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray data = reply->readAll();
        reply->deleteLater();
        return {status, data};
    }

    QList<QByteArray> delivered(int wanted, int ms = 30000)
    {
        QList<QByteArray> got;
        spin([&] {
            while (station.hasPendingDatagrams())
                got.append(station.receiveDatagram().data());
            return got.size() >= wanted;
        }, ms);
        return got;
    }
};

} // namespace

TEST(ConsoleApi, ListsRecordsInOrderAndSendsTheInstructorsRecordsByteForByte)
{
    Bench b;
    QUdpSocket trainee;
    for (int i = 0; i < 40; ++i)
        trainee.writeDatagram(record(i), QHostAddress::LocalHost, b.in);
    trainee.writeDatagram("not a record", QHostAddress::LocalHost, b.in);
    ASSERT_EQ(b.delivered(40).size(), 40);
    ASSERT_TRUE(spin([&] { return b.console->book().lastSeq() == 41; }));

    auto [status, body] = b.request(QStringLiteral("api/records?since=0"));
    ASSERT_EQ(status, 200);
    const QJsonArray all = QJsonDocument::fromJson(body).array();
    ASSERT_EQ(all.size(), 41);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(all[i]["seq"].toInt(), i + 1);
        EXPECT_EQ(all[i]["raw"].toString().toLatin1(), record(i));
        EXPECT_EQ(all[i]["origin"].toString(), QStringLiteral("station"));
        EXPECT_TRUE(all[i]["relayed"].toBool());
    }
    EXPECT_FALSE(all[40]["relayed"].toBool());
    EXPECT_FALSE(all[40]["problem"].toString().isEmpty());
    EXPECT_EQ(QJsonDocument::fromJson(b.request(QStringLiteral("api/records?since=38")).second).array().size(), 3);
    EXPECT_EQ(b.request(QStringLiteral("api/records?since=-1")).first, 400);

    // A record as text, and one from the form's fields: each reaches the station exactly as answered.
    const QByteArray text = record(77, "SAFETY  ");
    auto sent = b.request(QStringLiteral("api/send"), QJsonDocument(QJsonObject{{"text", QString(text)}}).toJson());
    ASSERT_EQ(sent.first, 200) << sent.second.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(sent.second)["sent"].toString().toLatin1(), text);
    QList<QByteArray> got = b.delivered(1);
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0], text);

    const QJsonObject fields{{"from", "002470001"}, {"to", "274111001"}, {"call", "INDIVID"},
                             {"category", "POS_REQ"}, {"channel", "16"}};
    sent = b.request(QStringLiteral("api/send"), QJsonDocument(QJsonObject{{"fields", fields}}).toJson());
    ASSERT_EQ(sent.first, 200) << sent.second.toStdString();
    got = b.delivered(1);
    ASSERT_EQ(got.size(), 1);
    EXPECT_EQ(got[0], QJsonDocument::fromJson(sent.second)["sent"].toString().toLatin1());
    EXPECT_TRUE(got[0].contains("CATEGORY=POS_REQ ,"));

    // What compose refuses, the console refuses with compose's reason, and nothing is sent.
    QJsonObject bad = fields;
    bad["to"] = "27411";
    auto refused = b.request(QStringLiteral("api/send"), QJsonDocument(QJsonObject{{"fields", bad}}).toJson());
    EXPECT_EQ(refused.first, 400);
    EXPECT_TRUE(refused.second.contains("nine-digit MMSI")) << refused.second.toStdString();
    EXPECT_EQ(b.request(QStringLiteral("api/send"), "{\"text\":\"TXMMSI=1\"}").first, 400);
    EXPECT_EQ(b.request(QStringLiteral("api/send"), "{\"text\":", "application/json").first, 400);
    EXPECT_EQ(b.request(QStringLiteral("api/send"), QJsonDocument(QJsonObject{{"text", QString(text)}}).toJson(),
                        "text/plain").first,
              415) << "a page of another site may send text/plain without asking first";
    EXPECT_TRUE(b.delivered(1, 300).isEmpty());

    // The instructor's call to the virtual coast station is answered, and the report says so.
    QJsonObject call{{"from", "274111005"}, {"to", "002470001"}, {"call", "INDIVID"}, {"category", "ROUTINE"},
                     {"channel", "72"}};
    ASSERT_EQ(b.request(QStringLiteral("api/send"), QJsonDocument(QJsonObject{{"fields", call}}).toJson()).first, 200);
    ASSERT_EQ(b.delivered(2).size(), 2) << "the call and the coast station's acknowledgement";
    const QJsonObject report = QJsonDocument::fromJson(b.request(QStringLiteral("api/report")).second).object();
    bool answered = false;
    for (const QJsonValue& s : report["stations"].toArray())
        for (const QJsonValue& c : s["calls"].toArray())
            answered |= s["mmsi"] == "274111005" && c["responseMs"].toInt() >= 100;
    EXPECT_TRUE(answered) << QJsonDocument(report).toJson().toStdString();

    // The instructor names the trainee's station; a virtual one keeps its name.
    EXPECT_EQ(b.request(QStringLiteral("api/names"), "{\"mmsi\":\"274111005\",\"name\":\"Desk 5\"}").first, 200);
    EXPECT_EQ(b.request(QStringLiteral("api/names"), "{\"mmsi\":\"002470001\",\"name\":\"X\"}").first, 409);
    EXPECT_TRUE(b.request(QStringLiteral("api/stations")).second.contains("\"name\":\"Desk 5\""));
}

// Records are checked for their fields' widths, not their characters: an MMSI may be any nine.
TEST(ConsoleApi, RecordsWhoseMmsisAreHtmlLeaveTheReportWhole)
{
    Bench b;
    const auto call = [](const QByteArray& from, const QByteArray& to, const QByteArray& call) {
        return "TXMMSI=" + from + ",RXMMSI=" + to + ",CALL=" + call
            + ",CATEGORY=ROUTINE ,DANGER=00,LATD=00,LATM=00,NS=N,LOND=000,LONM=00,EW=E,TIME=00:00,CH=72,COMPLY=N";
    };
    QUdpSocket trainee;
    trainee.writeDatagram(call("\"><style>", "274111001", "INDIVID "), QHostAddress::LocalHost, b.in);
    trainee.writeDatagram(call("274111001", "<!--AAAAA", "INDIVID "), QHostAddress::LocalHost, b.in);
    trainee.writeDatagram(call("<!--AAAAA", "999999999", "ALLSHIPS"), QHostAddress::LocalHost, b.in);
    ASSERT_EQ(b.delivered(3).size(), 3);
    const QByteArray served = b.request(QStringLiteral("report")).second;
    const QByteArray saved = b.console->reportHtml();
    for (const QByteArray& html : {served, saved}) {
        EXPECT_EQ(html.count("<style>"), 1);
        EXPECT_FALSE(html.contains("<!--"));
        EXPECT_TRUE(html.contains("&quot;&gt;&lt;style&gt;") && html.contains("&lt;!--AAAAA"));
        EXPECT_EQ(html.count("<article class=station>"), 3) << html.toStdString();
        const qsizetype unanswered = html.indexOf("Calls left unanswered");
        ASSERT_GT(unanswered, 0);
        EXPECT_TRUE(html.mid(unanswered).contains("no answer")) << "the call left unanswered is not listed";
    }
}

TEST(ConsoleApi, StreamsNewRecordsToConnectedPages)
{
    Bench b;
    QWebSocket page;
    QList<QJsonObject> messages;
    QObject::connect(&page, &QWebSocket::textMessageReceived,
                     [&](const QString& m) { messages.append(QJsonDocument::fromJson(m.toUtf8()).object()); });
    QObject::connect(&page, &QWebSocket::binaryMessageReceived,
                     [&](const QByteArray& m) { messages.append(QJsonDocument::fromJson(m).object()); });
    QUrl ws = b.url(QStringLiteral("api/events"));
    ws.setScheme(QStringLiteral("ws"));
    // A page of another site (another port of this PC is one) is refused before a word is sent.
    int strangerHeard = 0;
    bool strangerClosed = false;
    QWebSocket stranger(QStringLiteral("http://127.0.0.1:%1").arg(b.url({}).port() + 1));
    QObject::connect(&stranger, &QWebSocket::textMessageReceived, [&] { ++strangerHeard; });
    QObject::connect(&stranger, &QWebSocket::binaryMessageReceived, [&] { ++strangerHeard; });
    QObject::connect(&stranger, &QWebSocket::disconnected, [&] { strangerClosed = true; });
    QObject::connect(&stranger, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), [&] { strangerClosed = true; });
    stranger.open(ws);

    page.open(ws);
    ASSERT_TRUE(spin([&] { return !messages.isEmpty(); })) << page.errorString().toStdString();
    EXPECT_EQ(messages[0]["type"].toString(), QStringLiteral("hello"));
    EXPECT_EQ(messages[0]["run"].toString(), b.console->runId());
    EXPECT_TRUE(spin([&] { return strangerClosed; }));
    EXPECT_EQ(strangerHeard, 0);

    QUdpSocket trainee;
    trainee.writeDatagram(record(1), QHostAddress::LocalHost, b.in);
    trainee.writeDatagram(record(2), QHostAddress::LocalHost, b.in);
    QJsonArray records;
    ASSERT_TRUE(spin([&] {
        for (; messages.size() > 1; messages.removeAt(1))
            for (const QJsonValue& r : messages[1]["records"].toArray())
                records.append(r);
        return records.size() >= 2;
    }));
    EXPECT_EQ(records[0].toObject()["raw"].toString().toLatin1(), record(1));
    EXPECT_EQ(records[1].toObject()["seq"].toInt(), 2);
}

// The voice channels: a talker lights its channel, a listening page gets the decoded tone, and the
// transmission is listed, served as PCM and placed in the report beside the call of its minute.
TEST(ConsoleApi, ShowsTheChannelsStreamsOneToAListenerAndServesTheRecordings)
{
    app();
    RecorderRig r(300);
    ASSERT_TRUE(r.start()) << r.error.toStdString();
    Bench b(&r.recorder);
    const auto channel16 = [](const QJsonObject& o) { return o["channels"].toArray()[0].toObject(); };
    const QJsonObject call{{"from", "274111005"}, {"to", "002470001"}, {"call", "INDIVID"}, {"category", "ROUTINE"},
                           {"channel", "16"}};
    ASSERT_EQ(b.request(QStringLiteral("api/send"), QJsonDocument(QJsonObject{{"fields", call}}).toJson()).first, 200);

    QWebSocket events, listener;
    QList<QJsonObject> lights;
    QObject::connect(&events, &QWebSocket::binaryMessageReceived, [&](const QByteArray& m) {
        const QJsonObject o = QJsonDocument::fromJson(m).object();
        if (o["type"] == "channels")
            lights.append(o["channels"].toObject());
    });
    QByteArray pcm;
    QList<QJsonObject> formats;
    QObject::connect(&listener, &QWebSocket::binaryMessageReceived, [&](const QByteArray& m) { pcm += m; });
    QObject::connect(&listener, &QWebSocket::textMessageReceived,
                     [&](const QString& m) { formats.append(QJsonDocument::fromJson(m.toUtf8()).object()); });
    QUrl ws = b.url(QStringLiteral("api/events"));
    ws.setScheme(QStringLiteral("ws"));
    events.open(ws);
    ws.setPath(QStringLiteral("/api/listen"));
    ws.setQuery(QStringLiteral("channel=16"));
    listener.open(ws);
    ASSERT_TRUE(spin([&] { return !lights.isEmpty(); })) << "no channel message when the listener came";
    EXPECT_EQ(channel16(lights.last())["listeners"].toInt(), 1);

    VoiceTalker talker(440, 60);
    talker.announce(r.base + 16);
    for (int i = 0; i < 12; ++i) {
        talker.send(talker.packet(5), r.base + 16);
        QThread::msleep(5);
    }
    ASSERT_TRUE(spin([&] { return !lights.isEmpty() && channel16(lights.last())["sender"] == "127.0.0.1"; }))
        << "the channel's light did not go on";
    const QJsonObject now = QJsonDocument::fromJson(b.request(QStringLiteral("api/channels")).second).object();
    EXPECT_TRUE(now["recording"].toBool());
    EXPECT_EQ(channel16(now)["channel"].toInt(), 16);

    ASSERT_TRUE(spin([&] { return pcm.size() >= 60 * 320 * 2; })) << pcm.size() << " bytes heard";
    ASSERT_FALSE(formats.isEmpty());
    EXPECT_EQ(formats[0]["rate"].toInt(), 22050);
    std::vector<double> heard;
    for (qsizetype i = 4000; i + 1 < pcm.size(); i += 2)
        heard.push_back(qFromLittleEndian<qint16>(pcm.constData() + i));
    EXPECT_NEAR(tone::dominant(heard, 22050), 440, 10);

    ASSERT_TRUE(spin([&] { return !lights.isEmpty() && channel16(lights.last())["sender"].isNull(); }))
        << "the light stayed on after the transmission";
    ASSERT_TRUE(spin([&] { return b.console->voice().size() == 1; }));
    const QJsonArray list = QJsonDocument::fromJson(b.request(QStringLiteral("api/recordings")).second).array();
    ASSERT_EQ(list.size(), 1);
    const QString file = list[0]["file"].toString();
    EXPECT_EQ(list[0]["payloads"].toInt(), 12);
    const auto [status, wav] = b.request(QStringLiteral("api/recordings/") + file);
    EXPECT_EQ(status, 200);
    EXPECT_EQ(wav.size(), 44 + 60 * 320 * 2);
    EXPECT_EQ(b.request(QStringLiteral("api/recordings/..%2Ftraffic.jsonl")).first, 404);
    EXPECT_EQ(b.request(QStringLiteral("api/recordings/x.wav")).first, 404);

    const QJsonObject report = QJsonDocument::fromJson(b.request(QStringLiteral("api/report")).second).object();
    const QJsonArray voice = report["voice"].toArray();
    ASSERT_EQ(voice.size(), 1);
    EXPECT_EQ(voice[0]["file"].toString(), file);
    // The report plays it on the screen and names its file on paper.
    const QByteArray page = b.request(QStringLiteral("report")).second;
    EXPECT_TRUE(page.contains("<audio class=noprint controls preload=none src=\"api/recordings/" + file.toUtf8()));
    EXPECT_TRUE(page.contains("<span class=printonly>" + file.toUtf8() + "</span>"));
}

TEST(ConsoleApi, RefusesForeignHostsLargeBodiesAndIdleOrHalfSentConnections)
{
    Bench b;
    // Without a token, only a request addressed to 127.0.0.1 or localhost: a foreign name pointed
    // at the loopback is not the console's own.
    QTcpSocket foreign;
    foreign.connectToHost(QHostAddress::LocalHost, quint16(b.url({}).port()));
    foreign.write("GET /api/records HTTP/1.1\r\nHost: kelvo.example.com\r\n\r\n");
    QByteArray answer;
    spin([&] {
        answer += foreign.readAll();
        return answer.contains("\r\n\r\n");
    });
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 401")) << answer.toStdString();

    // Just under the limit: read and answered (not a record: 400); just over: refused.
    const QByteArray under = "{\"text\":\"" + QByteArray(60 * 1024, 'x') + "\"}";
    EXPECT_EQ(b.request(QStringLiteral("api/send"), under).first, 400);
    const QByteArray justOver = "{\"text\":\"" + QByteArray(64 * 1024, 'x') + "\"}";
    EXPECT_EQ(b.request(QStringLiteral("api/send"), justOver).first, 413);

    // Far over: the connection is answered 413 or cut before the body is all read.
    QTcpSocket big;
    big.connectToHost(QHostAddress::LocalHost, quint16(b.url({}).port()));
    ASSERT_TRUE(spin([&] { return big.state() == QAbstractSocket::ConnectedState; }));
    big.write("POST /api/send HTTP/1.1\r\nHost: x\r\nContent-Type: application/json\r\nContent-Length: 4000000\r\n\r\n");
    const QByteArray chunk(64 * 1024, 'y');
    for (int i = 0; i < 60 && big.state() == QAbstractSocket::ConnectedState; ++i) {
        big.write(chunk);
        spin([&] { return big.bytesToWrite() == 0 || big.state() != QAbstractSocket::ConnectedState; }, 200);
    }
    answer.clear();
    spin([&] {
        if (big.bytesAvailable() > 0)
            answer += big.readAll();
        return big.state() != QAbstractSocket::ConnectedState;
    });
    EXPECT_NE(big.state(), QAbstractSocket::ConnectedState) << "the server kept reading a 4 MB body";
    if (!answer.isEmpty()) {
        EXPECT_TRUE(answer.startsWith("HTTP/1.1 413")) << answer.left(100).toStdString();
    }

    // A neighbour (another address) holds 40 idle and 20 half-sent connections: the instructor is
    // answered meanwhile, and the console closes every one of them within its request deadline.
    std::vector<std::unique_ptr<QTcpSocket>> idle;
    int closed = 0;
    for (int i = 0; i < 60; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket* s = idle.back().get();
        QObject::connect(s, &QTcpSocket::disconnected, [&] { ++closed; });
        s->bind(QHostAddress(QStringLiteral("127.0.0.2")));
        s->connectToHost(QHostAddress::LocalHost, quint16(b.url({}).port()));
        if (i % 3 == 0)
            s->write("GET /api/meta HTTP/1.1\r\nHost: 127.0.0.1\r\n");   // the headers never end
    }
    QElapsedTimer held;
    held.start();
    spin([&] { return false; }, 300);
    EXPECT_EQ(b.request(QStringLiteral("api/meta")).first, 200);
    EXPECT_TRUE(spin([&] { return closed == 60; }, GuardedTcpServer::kRequestDeadlineMs + 10000))
        << closed << " of the neighbour's 60 connections closed";
    std::printf("the neighbour's 60 connections were all closed after %lld ms\n", held.elapsed());
    idle.clear();
    spin([&] { return false; }, 300);
    EXPECT_EQ(b.request(QStringLiteral("api/meta")).first, 200);
    EXPECT_TRUE(b.delivered(1, 100).isEmpty());
}
