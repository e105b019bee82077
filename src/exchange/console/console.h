// SPDX-License-Identifier: GPL-3.0-or-later
// The instructor's console: the classroom live in a browser, served by the exchange itself.
// The HTTP server, its routes and the pages' WebSocket stream run on a thread of their own at a
// lower priority, so the relay never waits for a page; what the routes need of the classroom (the
// records, the debriefing, sending) they ask this object for, which answers on the relay's thread
// between datagrams.
#pragma once

#include "exchange/console/classroom_view.h"
#include "exchange/console/record_book.h"
#include "exchange/web/station_sessions.h"
#include "exchange/watch_recorder.h"

#include <QHostAddress>
#include <QHttpServerResponse>
#include <QJsonObject>
#include <QObject>
#include <QSslConfiguration>
#include <QThread>
#include <atomic>
#include <future>

namespace exchange {

class Classroom;
class ConsoleHttp;
class Relay;

class Console : public QObject {
    Q_OBJECT
public:
    Console(Relay& relay, Classroom& classroom, bool relayAll, QObject* parent = nullptr);
    ~Console() override;

    // Serves the console; false with errorString() when the address cannot be bound. Any address
    // but a loopback one needs the access token.
    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const { return m_error; }
    // Serves HTTPS and WSS with the certificate (PEM, the chain after it) and key (PEM) in these
    // files (before listen()); false with the problem when they cannot be read.
    bool setTls(const QString& certificateFile, const QString& keyFile, QString& problem);
    // The address to open, with the token when one is needed.
    QString url() const;
    QString token() const { return m_token; }
    // The stations in a browser served beside the console (set before listen()). `classCode`:
    // what opens them off the loopback address; empty: one is made at listen().
    void setWebStations(const web::WebOptions& options, const QString& classCode);
    // The address a trainee opens for a station, with the class code when one is needed.
    QString stationUrl() const;
    QString classCode() const { return m_classCode; }
    // Tells this run of the exchange from the one before: record numbers start again at 1.
    QString runId() const { return m_runId; }

    // The watch recorder whose channels the console shows and lets the instructor listen to (set
    // before listen(); none: the channels are not shown).
    void setRecorder(WatchRecorder* recorder);
    WatchRecorder* recorder() const { return m_recorder; }
    // What the stations in a browser hear their channel through: the recorder, or a watch of the
    // channels that writes nothing (set before listen()).
    void setEars(WatchRecorder* ears) { m_ears = ears; }
    WatchRecorder* ears() const { return m_recorder ? m_recorder : m_ears; }
    // The transmissions recorded so far (relay's thread), and the channels now as JSON (any thread).
    const std::vector<VoiceTransmission>& voice() const { return m_voice; }
    QJsonObject channelsJson() const;
    bool isRecording(const QString& file) const;

    // The evaluation report as a printable page. `inBrowser`: served by the console (the
    // recordings play in the page); otherwise the file written at the stop (they link to the files).
    // Any thread: the classroom is copied on the relay's, the page made on the caller's.
    QByteArray reportHtml(bool inBrowser = false);
    const RecordBook& book() const { return m_book; }
    bool relayAll() const { return m_relayAll; }
    Relay& relay() { return m_relay; }
    qint64 lastSeq() const { return m_lastSeq; }   // any thread

    // What the routes ask for, answered on the relay's thread (see onRelayThread).
    std::vector<BookEntry> records(qint64 since) const;
    // The console's thread: the JSON is made there.
    QHttpServerResponse stations();
    QHttpServerResponse report();
    QHttpServerResponse send(const QByteArray& body);
    QHttpServerResponse addStation(const QByteArray& body);
    QHttpServerResponse exercise(const QByteArray& body);
    QHttpServerResponse name(const QByteArray& body);

    // Runs `work` on the relay's thread and returns its result: the console's thread waits, the
    // relay does not (it runs the work between datagrams).
    template <typename Work>
    auto onRelayThread(Work work) -> decltype(work())
    {
        if (QThread::currentThread() == thread())
            return work();
        // A promise rather than a blocking queued call: the hand-over of the answer is then one
        // that ThreadSanitizer sees as well.
        std::promise<decltype(work())> done;
        auto answer = done.get_future();
        QMetaObject::invokeMethod(this, [&] { done.set_value(work()); }, Qt::QueuedConnection);
        return answer.get();
    }

private:
    void changed();   // tells the pages that stations or the exercise changed
    ClassroomView view(bool withVoice);   // copied on the relay's thread

    Relay& m_relay;
    WatchRecorder* m_recorder = nullptr;
    WatchRecorder* m_ears = nullptr;
    std::vector<VoiceTransmission> m_voice;
    Classroom& m_classroom;
    bool m_relayAll;
    RecordBook m_book;
    std::atomic<qint64> m_lastSeq{0};
    std::vector<BookEntry> m_batch;   // records of the relay's current batch, for the pages
    QThread m_thread;
    QObject* m_anchor = nullptr;      // lives on m_thread: work for it is run there
    ConsoleHttp* m_http = nullptr;    // lives on m_thread
    QHostAddress m_address;
    quint16 m_port = 0;
    QString m_token, m_error;
    web::WebOptions m_web;
    QSslConfiguration m_tls;
    QString m_classCode;
    const QString m_runId;
    // The stations' JSON last made, and what it was made of (the console's thread).
    ClassroomView::Key m_stationsKey{~0ull, ~0ull, ~0ull};
    QJsonObject m_stationsJson;
};

} // namespace exchange
