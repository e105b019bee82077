// SPDX-License-Identifier: GPL-3.0-or-later
// kelvo-exchange: the classroom DSC exchange.
#include "exchange/json_log.h"
#include "exchange/log_format.h"
#include "exchange/options.h"
#include "exchange/record_check.h"
#include "exchange/relay.h"
#include "exchange/signal_stop.h"
#include "exchange/classroom.h"
#include "exchange/compose_fields.h"
#include "exchange/console/console.h"
#include "exchange/watch_recorder.h"
#include "exchange/voice_sender.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

using namespace exchange;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    if (!args.isEmpty() && args.first() == QLatin1String("compose")) {
        const auto record = compose_from_fields(args.mid(1));
        if (const auto* problem = std::get_if<QString>(&record)) {
            std::fprintf(stderr, "kelvo-exchange compose: %s\n", qPrintable(*problem));
            return 2;
        }
        std::fputs(std::get<QByteArray>(record).constData(), stdout);
        std::fputc('\n', stdout);
        return 0;
    }
    const Options o = parseOptions(args);
    if (o.command == Options::Command::Help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!o.error.isEmpty()) {
        std::fprintf(stderr, "kelvo-exchange: %s\n%s", qPrintable(o.error), kUsage);
        return 2;
    }

    if (!o.notice.isEmpty())
        std::fprintf(stderr, "kelvo-exchange: %s\n", qPrintable(o.notice));

    JsonLog json;
    if (!o.logFile.isEmpty()) {
        if (!json.open(o.logFile, o.command != Options::Command::Send)) {
            std::fprintf(stderr, "kelvo-exchange: cannot open log %s: %s\n", qPrintable(o.logFile),
                         qPrintable(json.errorString()));
            return 1;
        }
        json.setNotice([](const QString& text) {
            std::fprintf(stderr, "kelvo-exchange: %s\n", qPrintable(text));
            std::fprintf(stdout, "kelvo-exchange: %s\n", qPrintable(text));
        });
    }
    Relay relay(o.destinations, o.listenPort, o.stationPort, o.relayAll);
    QObject::connect(&relay, &Relay::traffic, [&](const Traffic& t) {
        std::fputs(logLine(t).toUtf8().constData(), stdout);
        std::fputc('\n', stdout);
        if (json.isOpen())
            json.write(jsonLine(t));
    });
    QObject::connect(&relay, &Relay::batchDone, [&] {
        std::fflush(stdout);
        json.flush();
    });

    if (o.command == Options::Command::Send) {
        const QString problem = recordProblem(o.sendText);
        if (!problem.isEmpty() && !o.relayAll) {
            std::fprintf(stderr, "kelvo-exchange: not a well-formed record (%s); --relay-all sends it anyway\n",
                         qPrintable(problem));
            return 1;
        }
        relay.deliver(o.sendText);
        return 0;
    }

    // Virtual stations, an exercise script and the debriefing. Script errors stop the program
    // before anything is sent.
    Classroom classroom(relay);
    const QString problem = classroom.setUp(o);
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "kelvo-exchange: %s\n", qPrintable(problem));
        return 2;
    }

    // The watch recorder, or the watch alone that the partners listen to: declared before the
    // partners' voice, whose threads ask them until it is gone.
    std::unique_ptr<WatchRecorder> recorder, watch;
    // The partners' voice after their DSC answers, unless --silent-partners (the console can add
    // partners to an exchange that started without).
    std::unique_ptr<PartnerVoice> voice;
    if (!classroom.host().stations().empty() || o.consolePort)
        voice = partner_voice_from_options(o, QCoreApplication::applicationDirPath(), [](const QString& text) {
            std::fprintf(stderr, "kelvo-exchange: %s\n", qPrintable(text));
        });
    if (voice) {
        voice->setSaid([](const PartnerVoice::Said& s) {
            std::fprintf(stdout, "%s voice ch %d from %s, %.1f s\n",
                         qPrintable(s.startedAt.toString(QStringLiteral("hh:mm:ss"))), s.channel,
                         qPrintable(s.partner), double(s.samples) / s.rate);
            std::fflush(stdout);
        });
        classroom.onPartnerAnswer([&voice](const QByteArray& record, const QString& from) { voice->answered(record, from); });
    }

    if (!relay.start()) {
        std::fprintf(stderr, "kelvo-exchange: %s\n", qPrintable(relay.errorString()));
        return 1;
    }
    // The watch recorder: every voice transmission of the channels as a file, a traffic line and a
    // JSON line. Its own thread; the relay never waits for it.
    if (!o.recordFolder.isEmpty()) {
        recorder = std::make_unique<WatchRecorder>(o.recordFolder, o.voiceBasePort);
        QObject::connect(recorder.get(), &WatchRecorder::ended, [&](const VoiceTransmission& t) {
            std::fputs(voiceLogLine(t).toUtf8().constData(), stdout);
            std::fputc('\n', stdout);
            std::fflush(stdout);
            if (json.isOpen()) {
                json.write(voiceJsonLine(t));
                json.flush();
            }
        });
        QObject::connect(recorder.get(), &WatchRecorder::recordingStopped, [&](const QString& message) {
            std::fprintf(stdout, "kelvo-exchange: %s\n", qPrintable(message));
            std::fflush(stdout);
            std::fprintf(stderr, "kelvo-exchange: %s\n", qPrintable(message));
            if (json.isOpen()) {
                json.write(QJsonDocument(QJsonObject{{"event", "recording-stopped"}, {"reason", message},
                                                     {"time", QDateTime::currentDateTime().toString(Qt::ISODateWithMs)}})
                               .toJson(QJsonDocument::Compact));
                json.flush();
            }
        });
        QString error;
        if (!recorder->start(error)) {
            std::fprintf(stderr, "kelvo-exchange: %s\n", qPrintable(error));
            return 1;
        }
        std::fprintf(stdout, "kelvo-exchange: recording the voice channels (ports %d + 9, 16, 23, 77, 84, 123, 184) in %s\n",
                     o.voiceBasePort, qPrintable(o.recordFolder));
    }
    // The partners wait for a quiet channel before they speak, as operators do: they listen through
    // the recorder, or, when nothing is recorded, through a watch of the channels that writes
    // nothing (kept from the console, which offers listening only with --record).
    // The stations in a browser hear their channel through the same watch.
    const bool webStations = o.consolePort && o.webMax > 0;
    if ((voice && voice->canSpeak()) || webStations) {
        if (!recorder) {
            watch = std::make_unique<WatchRecorder>(QString(), o.voiceBasePort);
            QString error;
            if (!watch->start(error)) {
                std::fprintf(stderr, "kelvo-exchange: %s: the partners speak without waiting for a quiet channel\n",
                             qPrintable(error));
                watch.reset();
            }
        }
        WatchRecorder* ears = recorder ? recorder.get() : watch.get();
        if (ears && voice && voice->canSpeak())
            voice->setChannelWatch([ears](int channel) { return ears->lastHeard(channel); });
    }
    // The instructor's console; with a log, its evaluation report is also written at the stop.
    std::unique_ptr<Console> console;
    if (o.consolePort || json.isOpen())
        console = std::make_unique<Console>(relay, classroom, o.relayAll);
    if (console) {
        console->setRecorder(recorder.get());
        console->setEars(watch.get());
        web::WebOptions web;
        web.firstMmsi = o.webFirstMmsi;
        web.maxStations = o.webMax;
        web.lingerMs = o.webLingerMs;
        web.basePort = o.voiceBasePort;
        web.voiceTo.clear();
        for (const QHostAddress& d : o.destinations)
            if (d.protocol() == QAbstractSocket::IPv4Protocol)
                web.voiceTo.push_back(d.toIPv4Address());
        if (web.voiceTo.empty())
            web.voiceTo.push_back(0xFFFFFFFFu);
        web.notice = [](const QString& text) {
            std::fprintf(stdout, "%s %s\n", qPrintable(QTime::currentTime().toString(QStringLiteral("hh:mm:ss"))),
                         qPrintable(text));
            std::fflush(stdout);
        };
        console->setWebStations(web, o.classCode);
    }
    if (o.consolePort && !o.tlsCertificate.isEmpty()) {
        QString problem;
        if (!console->setTls(o.tlsCertificate, o.tlsKey, problem)) {
            std::fprintf(stderr, "kelvo-exchange: --tls: %s\n", qPrintable(problem));
            return 2;
        }
    }
    if (o.consolePort) {
        if (!console->listen(o.consoleAddress, o.consolePort)) {
            std::fprintf(stderr, "kelvo-exchange: cannot serve the console on %s:%u: %s\n",
                         qPrintable(o.consoleAddress.toString()), o.consolePort, qPrintable(console->errorString()));
            return 1;
        }
        std::fprintf(stdout, "kelvo-exchange: instructor's console on %s\n", qPrintable(console->url()));
        if (o.webMax > 0) {
            std::fprintf(stdout, "kelvo-exchange: stations in a browser on %s\n", qPrintable(console->stationUrl()));
            if (!console->classCode().isEmpty())
                std::fprintf(stdout, "kelvo-exchange: class code %s\n", qPrintable(console->classCode()));
        }
    }
    SignalStop stop;
    QObject::connect(&stop, &SignalStop::stopRequested, &app, &QCoreApplication::quit);
    std::fprintf(stdout, "kelvo-exchange: listening on UDP port %u, delivering to port %u\n", o.listenPort,
                 o.stationPort);
    std::fflush(stdout);
    classroom.start(o.consolePort == 0);
    app.exec();
    if (recorder)
        recorder->stop();   // transmissions in progress end here, logged
    std::fputs(classroom.report().toUtf8().constData(), stdout);
    if (json.isOpen()) {
        const QFileInfo log(o.logFile);
        QFile report(log.dir().filePath(log.completeBaseName() + QStringLiteral("-report.html")));
        if (report.open(QIODevice::WriteOnly | QIODevice::Truncate) && report.write(console->reportHtml()) > 0)
            std::fprintf(stdout, "evaluation report: %s\n", qPrintable(report.fileName()));
        else
            std::fprintf(stderr, "kelvo-exchange: cannot write %s\n", qPrintable(report.fileName()));
    }
    std::fprintf(stdout, "kelvo-exchange stopped: %lld records relayed, %lld rejected\n",
                 static_cast<long long>(relay.relayed()), static_cast<long long>(relay.rejected()));
    return 0;
}
