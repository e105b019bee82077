// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/console/console.h"

#include "exchange/classroom.h"
#include "exchange/console/classroom_view.h"
#include "exchange/console/console_http.h"
#include "exchange/console/console_json.h"
#include "exchange/console/evaluation.h"
#include "exchange/console/http_answers.h"
#include "exchange/relay.h"

#include <QCoreApplication>
#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QDir>
#include <QJsonArray>
#include <QUrl>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <algorithm>
#include <cctype>
#include <sys/resource.h>
#include <unistd.h>

namespace exchange {
namespace {

QString newToken()
{
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    QString out;
    for (quint32 w : words)
        out += QStringLiteral("%1").arg(w, 8, 16, QLatin1Char('0'));
    return out;
}

// Short and easy to type on a tablet: no letters that look like digits, no capitals.
QString newClassCode()
{
    static const char kLetters[] = "abcdefghjkmnpqrstuvwxyz23456789";
    QString code;
    for (int i = 0; i < 6; ++i)
        code += QLatin1Char(kLetters[QRandomGenerator::system()->bounded(int(sizeof kLetters - 1))]);
    return code;
}

bool looksLikeToken(const QByteArray& text)
{
    return text.size() == 32 && std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(uchar(c)); });
}

// The token stays the same from one run to the next, so that an open page, the projector's tab
// and a bookmark of the printed address keep working after a restart. It is kept in the user's
// data folder, readable by the user alone; removing the file makes a new one at the next start.
QString storedToken()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
    QFile file(dir + QStringLiteral("/console-token"));
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray kept = file.readAll().trimmed();
        if (looksLikeToken(kept)) {
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);   // whoever made it
            return QString::fromLatin1(kept);
        }
        file.close();
        file.remove();
    }
    const QString token = newToken();
    if (!QDir().mkpath(dir)
        || !file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || file.write(token.toLatin1() + '\n') <= 0)
        std::fprintf(stderr, "kelvo-exchange: cannot keep the console's token in %s: a new one is made at each start\n",
                     qPrintable(file.fileName()));
    return token;
}

} // namespace

Console::Console(Relay& relay, Classroom& classroom, bool relayAll, QObject* parent)
    : QObject(parent), m_relay(relay), m_classroom(classroom), m_relayAll(relayAll), m_runId(newToken().left(16))
{
    // The relay has already delivered the record when it reports it: the console only notes it,
    // and hands the batch to the pages' stream when the relay is done with it.
    connect(&m_relay, &Relay::traffic, this, [this](const Traffic& t) {
        const bool virtualStation = !t.sender.contains(QLatin1Char(':')) && t.sender != QLatin1String("instructor");
        const BookEntry& e = m_book.add(t, virtualStation);
        m_lastSeq = e.seq;
        if (m_http && m_http->stream().clients() > 0)
            m_batch.push_back(e);
    });
    connect(&m_relay, &Relay::batchDone, this, [this] {
        if (m_batch.empty())
            return;
        QMetaObject::invokeMethod(
            m_http, [h = m_http, batch = std::exchange(m_batch, {})] { h->stream().take(batch); },
            Qt::QueuedConnection);
    });
    if (ExercisePlayer* p = m_classroom.player())
        connect(p, &ExercisePlayer::changed, this, &Console::changed);
}

Console::~Console()
{
    if (!m_http)
        return;
    // The HTTP side goes on its own thread. It may be waiting for this thread meanwhile: keep
    // answering until it is gone.
    QMetaObject::invokeMethod(m_anchor, [h = m_http] {
        delete h;
        QThread::currentThread()->quit();
    });
    while (!m_thread.wait(10))
        QCoreApplication::processEvents();
    delete m_anchor;
}

bool Console::listen(const QHostAddress& address, quint16 port)
{
    if (!address.isLoopback()) {
        m_token = storedToken();
        if (m_classCode.isEmpty())
            m_classCode = newClassCode();
    }
    m_thread.setObjectName(QStringLiteral("console"));
    m_thread.start();
    m_anchor = new QObject;
    m_anchor->moveToThread(&m_thread);
    bool ok = false;
    QMetaObject::invokeMethod(
        m_anchor,
        [&] {
            // A lower priority than the relay's (nice 10): a datagram that wakes the relay takes
            // the processor from the console at once, yet the pages stay served on a busy PC.
            setpriority(PRIO_PROCESS, id_t(gettid()), 10);
            auto* http = new ConsoleHttp(*this, m_token, m_classCode, m_web);
            ok = http->listen(address, port, m_tls, m_error, m_port);
            if (ok)
                m_http = http;
            else
                delete http;
        },
        Qt::BlockingQueuedConnection);
    if (!ok) {
        m_thread.quit();
        m_thread.wait();
        delete m_anchor;
        m_anchor = nullptr;
        return false;
    }
    m_address = address;
    return true;
}

QString Console::url() const
{
    QString host = m_address.toString();
    if (m_address == QHostAddress::AnyIPv4) {
        // Every address of this PC: the first one the classroom can reach.
        for (const QHostAddress& a : QNetworkInterface::allAddresses())
            if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback()) {
                host = a.toString();
                break;
            }
    }
    const bool tls = !m_tls.localCertificate().isNull();
    QString url = QStringLiteral("%1://%2:%3/").arg(tls ? QStringLiteral("https") : QStringLiteral("http"), host).arg(m_port);
    if (!m_token.isEmpty())
        url += QStringLiteral("?token=") + m_token;
    return url;
}

bool Console::setTls(const QString& certificateFile, const QString& keyFile, QString& problem)
{
    if (!QSslSocket::supportsSsl()) {
        problem = QStringLiteral("this system's Qt has no TLS support (OpenSSL missing)");
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificateFile, QSsl::Pem);
    if (chain.isEmpty() || chain.first().isNull()) {
        problem = QStringLiteral("no PEM certificate in %1").arg(certificateFile);
        return false;
    }
    QFile file(keyFile);
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("cannot read the key %1: %2").arg(keyFile, file.errorString());
        return false;
    }
    const QByteArray pem = file.readAll();
    QSslKey key;
    for (QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa})
        if (key = QSslKey(pem, algorithm, QSsl::Pem); !key.isNull())
            break;
    if (key.isNull()) {
        problem = QStringLiteral("no PEM private key (RSA or EC, not encrypted) in %1").arg(keyFile);
        return false;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);   // browsers show no certificate of their own
    m_tls = tls;
    return true;
}

void Console::setWebStations(const web::WebOptions& options, const QString& classCode)
{
    m_web = options;
    m_classCode = classCode;
}

QString Console::stationUrl() const
{
    QString url = this->url().section(QLatin1Char('?'), 0, 0) + QStringLiteral("station");
    if (!m_token.isEmpty())
        url += QStringLiteral("?code=") + m_classCode;
    return url;
}

void Console::changed()
{
    if (m_http)
        QMetaObject::invokeMethod(m_http, [h = m_http] { h->stream().changed(); }, Qt::QueuedConnection);
}

std::vector<BookEntry> Console::records(qint64 since) const
{
    std::vector<BookEntry> out;
    for (const BookEntry* e : m_book.since(since, 5000))
        out.push_back(*e);
    return out;
}

ClassroomView Console::view(bool withVoice)
{
    return onRelayThread([&] { return ClassroomView::of(m_classroom, m_book, withVoice ? &m_voice : nullptr); });
}

QHttpServerResponse Console::stations()
{
    // The stations and calls are copied and written out again only when they changed: a page
    // polls often, the classroom changes seldom.
    struct Fresh {
        ClassroomView::Key key;
        std::optional<ClassroomView::ExerciseState> exercise;
        std::optional<ClassroomView> view;
    };
    const ClassroomView::Key known = m_stationsKey;
    Fresh fresh = onRelayThread([&] {
        Fresh f{ClassroomView::keyOf(m_classroom, m_book), ClassroomView::exerciseOf(m_classroom), std::nullopt};
        if (f.key != known)
            f.view = ClassroomView::of(m_classroom, m_book);
        return f;
    });
    if (fresh.view) {
        m_stationsJson = stationsJson(*fresh.view);
        m_stationsKey = fresh.key;
    }
    QJsonObject out = m_stationsJson;
    out.insert("now", QDateTime::currentMSecsSinceEpoch());
    out.insert("exercise", exerciseJson(fresh.exercise));
    return json(out);
}

QHttpServerResponse Console::report()
{
    return json(evaluationJson(view(true)));
}

QByteArray Console::reportHtml(bool inBrowser)
{
    ReportAudio audio;
    if (m_recorder && inBrowser) {
        audio.prefix = QStringLiteral("api/recordings/");
        audio.suffix = m_token.isEmpty() ? QString() : QStringLiteral("?token=") + m_token;
        audio.inPage = true;
    } else if (m_recorder) {
        audio.prefix = QUrl::fromLocalFile(QDir(m_recorder->folder()).absolutePath()).toString() + QLatin1Char('/');
    }
    return evaluationHtml(evaluationJson(view(true)), audio);
}

void Console::setRecorder(WatchRecorder* recorder)
{
    m_recorder = recorder;
    if (!recorder)
        return;
    const auto tell = [this] {
        if (m_http)
            QMetaObject::invokeMethod(
                m_http, [h = m_http] { h->channelsChanged(); }, Qt::QueuedConnection);
    };
    connect(recorder, &WatchRecorder::started, this, tell);
    connect(recorder, &WatchRecorder::ended, this, [this, tell](const VoiceTransmission& t) {
        m_voice.push_back(t);
        tell();
    });
}

QJsonObject Console::channelsJson() const
{
    QJsonArray list;
    if (m_recorder)
        for (const WatchRecorder::ChannelState& c : m_recorder->channels()) {
            QJsonObject o{{"channel", c.channel}, {"listeners", m_http ? m_http->listeners(c.channel) : 0}};
            o.insert("sender", c.sender.isEmpty() ? QJsonValue() : QJsonValue(c.sender));
            o.insert("since", c.sender.isEmpty() ? QJsonValue() : QJsonValue(double(c.since.toMSecsSinceEpoch())));
            list.append(o);
        }
    return QJsonObject{{"watched", m_recorder != nullptr}, {"recording", m_recorder && m_recorder->recording()},
                       {"now", double(QDateTime::currentMSecsSinceEpoch())}, {"channels", list}};
}

bool Console::isRecording(const QString& file) const
{
    return std::any_of(m_voice.begin(), m_voice.end(), [&](const VoiceTransmission& t) { return !t.file.isEmpty() && t.file == file; });
}

} // namespace exchange
