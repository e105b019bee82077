// SPDX-License-Identifier: GPL-3.0-or-later
// What browsers send to the instructor's console, through the console itself: the bodies of its
// requests (send a record, compose one, add a station, name a station, start, pause or stop the
// exercise), the `since` of the records query, and stations' datagrams arriving meanwhile, over a
// classroom with two practice partners and an exercise. Then the answers the pages read: records,
// stations, the evaluation as JSON and as the printed report.
//
// The input is either lines of text, "VERB BODY" (send, compose, stations, names, exercise,
// records, datagram; a line without a known verb goes to every body reader as it stands), or, when
// its first byte is not printable, bytes from which the requests are built field by field (known
// keys with good, odd and wrongly typed values), so that the readers' checks past the JSON are
// reached without the fuzzer having to invent JSON.
//
// The same bytes, a line each, are also a request's Host, Origin, token and Authorization for the
// access rules, and text put through the HTML escaping.
//
// Every answer is one JSON object; a record the console sends is one the relay accepts (unless
// it relays all); the report carries no markup of the stations' or the instructor's making.
#include "exchange/classroom.h"
#include "exchange/console/access_rules.h"
#include "exchange/console/console.h"
#include "exchange/console/console_json.h"
#include "exchange/console/evaluation.h"
#include "exchange/console/html_text.h"
#include "exchange/console/request_reader.h"
#include "exchange/record_check.h"
#include "exchange/relay.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

using namespace exchange;

const char* const kRecords[] = {
    "TXMMSI=274111001,RXMMSI=002470001,CALL=INDIVID ,CATEGORY=ROUTINE ,DANGER=00,LATD=00,LATM=00,NS=N,LOND=000,"
    "LONM=00,EW=E,TIME=00:00,CH=72,COMPLY=N",
    "TXMMSI=274111001,RXMMSI=211222333,CALL=INDIVID ,CATEGORY=POS_REQ ,DANGER=00,LATD=00,LATM=00,NS=N,LOND=000,"
    "LONM=00,EW=E,TIME=00:00,CH=16,COMPLY=N",
    "TXMMSI=274111002,RXMMSI=999999999,CALL=DISTRESS,CATEGORY=DISTRESS,DANGER=1,LATD=43,LATM=28,NS=N,LOND=009,"
    "LONM=15,EW=E,TIME=09:40,CH=16,COMPLY=N",
    "TXMMSI=274111001,RXMMSI=274111002,CALL=DISTRESS,CATEGORY=DIST_ACK,DANGER=1,LATD=43,LATM=28,NS=N,LOND=009,"
    "LONM=15,EW=E,TIME=09:40,CH=16,COMPLY=N",
    "TXMMSI=274111002,RXMMSI=274111001,CALL=INDIVID ,CATEGORY=ROUT_ACK,DANGER=00,LATD=00,LATM=00,NS=N,LOND=000,"
    "LONM=00,EW=E,TIME=00:00,CH=72,COMPLY=Y",
    "TXMMSI=274111002,RXMMSI=027411101,CALL=GROUP   ,CATEGORY=ROUTINE ,DANGER=00,LATD=00,LATM=00,NS=N,LOND=000,"
    "LONM=00,EW=E,TIME=00:00,CH=77,COMPLY=N",
};

// The classroom every input starts from: a coast station and a ship that answer at once, and an
// exercise whose first event is due at its start.
struct Room {
    Relay relay;
    Classroom classroom{relay};
    Console console;

    explicit Room(bool relayAll)
        : relay({}, 8090, 8091, relayAll), console(relay, classroom, relayAll)
    {
    }
};

QString exerciseFile()
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("exercise.txt"));
    QFile f(path);
    if (!f.exists() && f.open(QIODevice::WriteOnly))
        f.write("ship Aurora 211222444 pos 43 52 N 009 30 E\n"
                "at 0 Coast-1 call 274111001 ROUTINE channel 72\n"
                "at 0 Aurora distress 2\n"
                "at 10:00 Coast-1 posreq 274111001\n");
    return path;
}

// The partners answer after no delay: their answers are queued, and run here.
void letAnswersCome()
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::processEvents();
}

void check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// An answer of the console: a JSON object, an error with its text.
void checkAnswer(const QHttpServerResponse& r)
{
    const QJsonDocument doc = QJsonDocument::fromJson(r.data());
    check(doc.isObject());
    check(r.statusCode() == QHttpServerResponse::StatusCode::Ok || !doc.object().value("error").toString().isEmpty());
}

class Requests {
public:
    Requests(Room& room, bool relayAll) : m_room(room), m_relayAll(relayAll) {}

    void send(const QByteArray& body)
    {
        const auto record = read_send_body(body, m_relayAll);
        if (const auto* r = std::get_if<QByteArray>(&record))
            check(m_relayAll || recordProblem(*r).isEmpty());
        checkAnswer(m_room.console.send(body));
        letAnswersCome();
    }
    void compose(const QByteArray& body) { (void)read_send_body(body, m_relayAll); }
    void station(const QByteArray& body)
    {
        const auto& known = m_room.classroom.host().stations();
        const auto station = read_station_body(body, known);
        if (const auto* s = std::get_if<VirtualStation>(&station)) {
            check(s->mmsi.size() == 9 && !m_room.classroom.host().isVirtual(s->mmsi));
            check(std::none_of(known.begin(), known.end(),
                               [&](const VirtualStation& k) { return k.name.compare(s->name, Qt::CaseInsensitive) == 0; }));
        }
        checkAnswer(m_room.console.addStation(body));
    }
    void name(const QByteArray& body)
    {
        const auto named = read_name_body(body);
        if (const auto* n = std::get_if<0>(&named))
            check(n->first.size() == 9 && !n->second.isEmpty() && n->second.toUcs4().size() <= 32);
        checkAnswer(m_room.console.name(body));
    }
    void exercise(const QByteArray& body)
    {
        checkAnswer(m_room.console.exercise(body));
        letAnswersCome();
    }
    void records(const QByteArray& since)
    {
        const auto from = read_since(QString::fromLatin1(since));
        if (!from)
            return;
        check(*from >= 0);
        std::vector<BookEntry> entries = m_room.console.records(*from);
        std::vector<const BookEntry*> list;
        for (const BookEntry& e : entries) {
            check(e.seq > *from);
            list.push_back(&e);
        }
        const QJsonDocument doc = QJsonDocument::fromJson(recordsJson(list));
        check(doc.isArray() && doc.array().size() == qsizetype(list.size()));
    }
    void datagram(const QByteArray& bytes)
    {
        m_room.relay.take(QDateTime::currentDateTime(), QStringLiteral("10.0.0.12:53393"), bytes);
        letAnswersCome();
    }
    void anyBody(const QByteArray& body)
    {
        compose(body);
        station(body);
        name(body);
        (void)read_exercise_body(body);
        records(body);
    }

private:
    Room& m_room;
    bool m_relayAll;
};

// "VERB BODY" lines.
void fromLines(const QByteArray& input, Requests& requests)
{
    for (const QByteArray& line : input.split('\n')) {
        const qsizetype space = line.indexOf(' ');
        const QByteArray verb = line.left(space < 0 ? line.size() : space);
        const QByteArray body = space < 0 ? QByteArray() : line.mid(space + 1);
        if (verb == "send") requests.send(body);
        else if (verb == "compose") requests.compose(body);
        else if (verb == "stations") requests.station(body);
        else if (verb == "names") requests.name(body);
        else if (verb == "exercise") requests.exercise(body);
        else if (verb == "records") requests.records(body);
        else if (verb == "datagram") requests.datagram(body);
        else requests.anyBody(line);
    }
}

// Requests built field by field from the bytes.
class Builder {
public:
    explicit Builder(FuzzedDataProvider& in) : m_in(in) {}

    // A value for a field: one of the good ones, a string of any bytes, or another JSON type.
    QJsonValue value(std::initializer_list<const char*> good)
    {
        switch (m_in.ConsumeIntegralInRange(0, 9)) {
        case 0: return QString::fromUtf8(m_in.ConsumeRandomLengthString(48));
        case 1: return double(m_in.ConsumeIntegralInRange<qint64>(-2000000000LL, 2000000000LL));
        case 2: return m_in.ConsumeFloatingPoint<double>();
        case 3: return m_in.ConsumeBool();
        case 4: return QJsonValue::Null;
        case 5: return QJsonArray{pick(good)};
        case 6: return pick(good) + QString::fromUtf8(m_in.ConsumeRandomLengthString(8));
        default: return pick(good);
        }
    }
    QString pick(std::initializer_list<const char*> good)
    {
        if (good.size() == 0)
            return {};
        return QString::fromUtf8(good.begin()[m_in.ConsumeIntegralInRange<size_t>(0, good.size() - 1)]);
    }
    // Each of `fields` present or not, with a value; now and then a key nobody knows.
    QJsonObject object(std::initializer_list<std::pair<const char*, std::initializer_list<const char*>>> fields)
    {
        QJsonObject o;
        for (const auto& [key, good] : fields)
            if (m_in.ConsumeIntegralInRange(0, 3) != 0)
                o.insert(QLatin1String(key), value(good));
        if (m_in.ConsumeIntegralInRange(0, 15) == 0)
            o.insert(QString::fromUtf8(m_in.ConsumeRandomLengthString(12)), value({"x"}));
        return o;
    }
    // The object as a body; now and then cut short or with a byte changed.
    QByteArray body(const QJsonObject& o)
    {
        QByteArray b = QJsonDocument(o).toJson(QJsonDocument::Compact);
        switch (m_in.ConsumeIntegralInRange(0, 31)) {
        case 0: b.truncate(m_in.ConsumeIntegralInRange<qsizetype>(0, b.size())); break;
        case 1:
            if (!b.isEmpty())
                b[m_in.ConsumeIntegralInRange<qsizetype>(0, b.size() - 1)] = char(m_in.ConsumeIntegral<uint8_t>());
            break;
        case 2: b = QJsonDocument(QJsonArray{o}).toJson(QJsonDocument::Compact); break;
        default: break;
        }
        return b;
    }

    QByteArray sendBody()
    {
        static const std::initializer_list<const char*> mmsis = {"274111001", "002470001", "211222333", "027411101",
                                                                  "999999999", "27411100", "2741110011"};
        QJsonObject o;
        const int which = m_in.ConsumeIntegralInRange(0, 7);
        if (which == 0 || which == 7) {
            QByteArray record = kRecords[m_in.ConsumeIntegralInRange<size_t>(0, std::size(kRecords) - 1)];
            if (m_in.ConsumeBool() && !record.isEmpty())   // a field's byte or two changed
                for (int n = m_in.ConsumeIntegralInRange(1, 2); n > 0; --n)
                    record[m_in.ConsumeIntegralInRange<qsizetype>(0, record.size() - 1)] = char(m_in.ConsumeIntegral<uint8_t>());
            o.insert("text", QString::fromLatin1(record));
        }
        if (which != 0) {
            o.insert("fields", object({{"from", mmsis}, {"to", mmsis},
                                       {"call", {"INDIVID", "GROUP", "ALLSHIPS", "DISTRESS", "individ", "CALL"}},
                                       {"category", {"ROUTINE", "SAFETY", "URGENCY", "DISTRESS", "DIST_ACK", "ROUT_ACK",
                                                     "POS_REQ", "POS_ACK", "routine", "ROUTINE "}},
                                       {"channel", {"16", "72", "6", "70", "0", "99", "100", " 16 "}},
                                       {"nature", {"1", "12", "13", "0", "14", "01"}},
                                       {"pos", {"43 28 N 009 15 E", "89 59 s 179 59 w", "90 00 N 180 00 E", "43 28 N",
                                                " 43  28 N 009 15 E "}},
                                       {"time", {"09:41", "--:--", "23:59", "24:00", "9:41"}},
                                       {"comply", {"Y", "N", "y", "YES"}}}));
        }
        return body(o);
    }
    QByteArray stationBody()
    {
        return body(object({{"kind", {"coast", "ship", "Coast", "boat"}},
                            {"name", {"Coast-2", "Aurora", "Coast-1", "Ship-1", "a b", "Nordlys_2.0", "x<y"}},
                            {"mmsi", {"002470002", "211222444", "002470001", "211222333", "2470002"}},
                            {"channel", {"12", "16", "70", "100", "7"}},
                            {"pos", {"43 28 N 009 15 E", "44 10 n 008 55 w", "95 00 N 009 15 E", "43 28 X 009 15 E"}}}));
    }
    QByteArray nameBody()
    {
        return body(object({{"mmsi", {"274111001", "274111002", "002470001", "27411100"}},
                            {"name", {"Anna", "Bruno & Carla", "<b>Anna</b>", "\"quoted\"", "x\ty",
                                      "a name longer than thirty-two characters"}}}));
    }
    QByteArray exerciseBody() { return body(object({{"action", {"start", "pause", "stop", "Start", "go"}}})); }
    QByteArray since()
    {
        return pick({"0", "1", "3", "", "-1", "007", "1000000000000000", "9999999999999999", "x"}).toLatin1();
    }
    QByteArray datagram()
    {
        QByteArray d = kRecords[m_in.ConsumeIntegralInRange<size_t>(0, std::size(kRecords) - 1)];
        if (m_in.ConsumeBool()) {
            const std::string junk = m_in.ConsumeRandomLengthString(24);
            d.insert(m_in.ConsumeIntegralInRange<qsizetype>(0, d.size()), junk.data(), qsizetype(junk.size()));
        }
        return d;
    }

private:
    FuzzedDataProvider& m_in;
};

void fromFields(const uint8_t* data, size_t size, Requests& requests)
{
    FuzzedDataProvider in(data, size);
    Builder build(in);
    for (int n = 0; n < 16 && in.remaining_bytes() > 0; ++n) {
        switch (in.ConsumeIntegralInRange(0, 6)) {
        case 0: requests.send(build.sendBody()); break;
        case 1: requests.compose(build.sendBody()); break;
        case 2: requests.station(build.stationBody()); break;
        case 3: requests.name(build.nameBody()); break;
        case 4: requests.exercise(build.exerciseBody()); break;
        case 5: requests.records(build.since()); break;
        default: requests.datagram(build.datagram()); break;
        }
    }
}

// Every tag the report writes itself: any other comes from what someone sent.
void checkReport(const QByteArray& html)
{
    static const QRegularExpression tag(QStringLiteral("<\\s*/?\\s*([^\\s>/]*)"));
    static const QStringList known = {
        "!doctype", "html", "head", "meta", "title", "style", "body", "header", "h1", "h2", "h3", "p", "button",
        "section", "table", "thead", "tbody", "tr", "th", "td", "small", "br", "div", "audio", "a", "span", "article",
        "code"};
    const QString text = QString::fromUtf8(html);
    for (auto it = tag.globalMatch(text); it.hasNext();)
        check(known.contains(it.next().captured(1).toLower()));
}

// Only the token itself lets anyone in; escaped text holds no markup.
void checkAccessAndText(const QByteArray& body, size_t size)
{
    // The same bytes as a request's Host, Origin, token and Authorization, a line each: only the
    // token itself lets anyone in.
    const QList<QByteArray> lines = body.split('\n');
    const auto line = [&](int i) { return i < lines.size() ? lines[i] : QByteArray(); };
    exchange::Caller caller{QString::fromLatin1(line(0)), line(1), QString::fromLatin1(line(2)), line(3), size % 2 == 1};
    exchange::AccessRules rules;
    const QString secret = QStringLiteral("0123456789abcdef0123456789abcdef");
    rules.setCredential(exchange::Area::Instructor, secret);
    if (rules.check(exchange::Area::Instructor, caller) == exchange::Verdict::Allowed && caller.token != secret
        && caller.authorization != "Bearer " + secret.toLatin1())
        __builtin_trap();
    (void)exchange::AccessRules().check(exchange::Area::Instructor, caller);

    const QString text = exchange::html(QString::fromUtf8(body));
    if (text.contains(QLatin1Char('<')) || text.contains(QLatin1Char('>')) || text.contains(QLatin1Char('"'))
        || text.contains(QLatin1Char('\'')))
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static int qtArgc = 1;
    static char program[] = "fuzz_console_request";
    static char* qtArgv[] = {program, nullptr};
    static QCoreApplication app(qtArgc, qtArgv);
    // The console tells the terminal of every station added: the fuzzer's stdout is closed
    // (-close_fd_mask=1) unless the run says otherwise. Its own lines go to stderr.
    for (int i = 1; i < *argc; ++i)
        if (std::strncmp((*argv)[i], "-close_fd_mask=", 15) == 0)
            return 0;
    static std::vector<char*> args;
    static char quiet[] = "-close_fd_mask=1";
    args.assign(*argv, *argv + *argc);
    args.insert(args.begin() + (args.empty() ? 0 : 1), quiet);
    args.push_back(nullptr);
    *argc = int(args.size()) - 1;
    *argv = args.data();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    checkAccessAndText(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), size);
    const bool relayAll = data[size - 1] == '!';
    Room room(relayAll);
    Options options;
    options.coastStations = {QStringLiteral("002470001")};
    options.ships = {QStringLiteral("211222333")};
    options.exerciseFile = exerciseFile();
    options.replyDelayMs = 0;
    check(room.classroom.setUp(options).isEmpty());
    Requests requests(room, relayAll);
    if (data[0] >= 0x20 && data[0] < 0x7F)
        fromLines(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), requests);
    else
        fromFields(data + 1, size - 1, requests);
    letAnswersCome();

    checkAnswer(room.console.stations());
    checkAnswer(room.console.report());
    checkReport(room.console.reportHtml(true));
    checkReport(room.console.reportHtml(false));
    return 0;
}
