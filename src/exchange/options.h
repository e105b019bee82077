// SPDX-License-Identifier: GPL-3.0-or-later
// Command line of kelvo-exchange.
#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

namespace exchange {

struct Options {
    enum class Command { Run, Send, Help } command = Command::Run;
    QList<QHostAddress> destinations; // empty until parsed: the broadcast address by default
    quint16 listenPort = 8090;
    quint16 stationPort = 8091;
    QString logFile;
    bool relayAll = false;
    QByteArray sendText;
    QStringList coastStations, ships;   // MMSIs of virtual stations
    QString stationsFile, exerciseFile;
    int replyDelayMs = 4000;
    // The instructor's console: --console [ADDR:]PORT. Port 0: no console.
    QHostAddress consoleAddress{QHostAddress::LocalHost};
    quint16 consolePort = 0;
    // The watch recorder: --record DIR, on the voice ports above --voice-base-port.
    QString recordFolder;
    // Voice: the stations' base_port (a channel is base + channel), the phrases the practice
    // partners speak, or no partner voice at all.
    int voiceBasePort = 17000;
    // --settings FILE: the base_port of a station settings file, read as the station reads it
    // (a --voice-base-port given as well wins). `notice` says where the port came from.
    QString settingsFile;
    QString notice;
    bool silentPartners = false;
    QString phrasesFile;
    // The stations in a browser (served with the console on /station): the first MMSI of the pool
    // (--web-mmsi), how many at most (--web-max), how long one waits for its closed page
    // (--web-linger), and what opens them off the loopback address (--class-code; made when not given).
    QByteArray webFirstMmsi = "274111101";
    int webMax = 40;
    int webLingerMs = 60000;
    QString classCode;
    // --tls CERT KEY: the console and the stations over HTTPS (PEM files).
    QString tlsCertificate, tlsKey;
    QString error; // non-empty when the command line is wrong
};

// Parses the arguments after the program name.
Options parseOptions(const QStringList& args);

extern const char* const kUsage;

} // namespace exchange
