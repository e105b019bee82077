// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include "exchange/options.h"
#include "station/profile.h"

#include <QFileInfo>
#include <QHostInfo>

namespace exchange {

const char* const kUsage =
    "Usage: kelvo-exchange [send TEXT] [options]\n"
    "Relays DSC call records from UDP port 8090 to the stations' port 8091 and logs the traffic.\n"
    "  send TEXT          deliver one record to the stations and exit\n"
    "  compose FIELDS     print a well-formed record built from named fields, e.g.\n"
    "                     compose --from 002470001 --to 274111001 --call INDIVID --category ROUTINE --channel 72\n"
    "                     (also --nature N, --pos 43 28 N 009 15 E, --time hh:mm, --comply Y|N)\n"
    "  --local            deliver to 127.0.0.1 (stations in LOCAL mode on this machine)\n"
    "  --network          deliver to 255.255.255.255 (default; stations in NETWORK mode)\n"
    "  --to HOST          deliver to HOST (repeatable)\n"
    "  --listen-port N    port the stations send to (default 8090)\n"
    "  --station-port N   port the stations listen on (default 8091)\n"
    "  --log FILE         also append every record as one JSON line to FILE\n"
    "  --relay-all        relay datagrams that are not well-formed records too\n"
    "  --coast-station MMSI  host a virtual coast station (repeatable): it acknowledges calls,\n"
    "                        position requests and distress alerts\n"
    "  --ship MMSI        host a virtual ship (repeatable): it acknowledges calls and position requests\n"
    "  --stations FILE    virtual stations from a file (lines: coast|ship NAME MMSI [pos ..] [channel N])\n"
    "  --exercise FILE    play a timed exercise script (see assets/exercises)\n"
    "  --reply-delay S    seconds a virtual station takes to answer (default 4)\n"
    "  --console [ADDR:]PORT  serve the instructor's console on http://ADDR:PORT/ (ADDR 127.0.0.1\n"
    "                     unless given; any other address needs the access token it prints, kept\n"
    "                     from one start to the next in ~/.local/share/kelvo-exchange/console-token)\n"
"  --web-mmsi MMSI    with --console, /station serves a DSC station in a browser; a page without\n"
    "                     ?mmsi= gets the next free MMSI from this one on (default 274111101)\n"
    "  --web-max N        at most N stations in a browser at once (default 40)\n"
    "  --web-linger S     a station whose page was closed ends after S seconds (default 60); a page\n"
    "                     reloaded before finds its station as it was\n"
    "  --class-code CODE  what trainees type to open /station from another PC (letters and digits;\n"
    "                     default: a short code made at start and printed with the address)\n"
    "  --tls CERT KEY     serve the console and /station over https with this certificate and key\n"
    "                     (PEM files): browsers give a page the microphone only over https (or on\n"
    "                     this PC's own address); see the README for a certificate the PCs trust\n"
    "  --record DIR       record every voice transmission of the channels 16, 9, 23, 77 and 84 as a\n"
    "                     WAV file in DIR (GSM 6.10, as received)\n"
    "  --voice-base-port N  the stations' base_port: channel C is heard on port N + C (default 17000)\n"
    "  --settings FILE    the base_port of [radio] in a station settings file, e.g. the classroom's\n"
    "                     /etc/kelvo/radiosim.ini (17000 when the file or the key is missing)\n"
    "  --phrases FILE     what the virtual stations say on the voice channel after their DSC answer\n"
    "                     (default: partner-phrases.txt installed with the program)\n"
    "  --silent-partners  virtual stations answer by DSC only, without voice\n"
    "  --help             this text\n";

namespace {
bool port(const QString& s, quint16& out) {
    bool ok = false;
    const uint v = s.toUInt(&ok);
    if (!ok || v == 0 || v > 65535)
        return false;
    out = quint16(v);
    return true;
}
// "8080", "127.0.0.1:8080" or "0.0.0.0:8080".
bool consoleAddress(const QString& s, QHostAddress& address, quint16& out) {
    const qsizetype colon = s.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        address = QHostAddress(s.left(colon));
        if (address.isNull() || address.protocol() != QAbstractSocket::IPv4Protocol)
            return false;
    }
    return port(s.mid(colon + 1), out);
}
bool voicePort(int n) { return n > 0 && n + 184 <= 65535; }

// The stations' base_port as they read it from `file`.
void basePortFrom(const QString& file, Options& o) {
    if (!QFileInfo(file).isFile()) {
        o.notice = "no settings file " + file + ": voice base port " + QString::number(o.voiceBasePort);
        return;
    }
    const int n = profile::read_int(profile::read_file(file), "radio", "base_port", o.voiceBasePort);
    if (!voicePort(n)) {
        o.error = "bad base_port " + QString::number(n) + " in " + file + " (1 to 65351)";
        return;
    }
    o.voiceBasePort = n;
    o.notice = "voice base port " + QString::number(n) + " from " + file;
}
} // namespace

Options parseOptions(const QStringList& args) {
    Options o;
    bool local = false, network = false;
    QList<QHostAddress> listed;
    bool sendTextSeen = false;
    bool basePortGiven = false;
    for (qsizetype i = 0; i < args.size() && o.error.isEmpty(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--help" || a == "-h") {
            o.command = Options::Command::Help;
        } else if (a == "send" && o.command == Options::Command::Run) {
            // The options may stand before or after the text: the text is the one word that is
            // not an option.
            o.command = Options::Command::Send;
        } else if (o.command == Options::Command::Send && !sendTextSeen && !a.startsWith(QLatin1String("--"))) {
            sendTextSeen = true;
            o.sendText = a.toLatin1();
        } else if (a == "--local") {
            local = true;
        } else if (a == "--network") {
            network = true;
        } else if (a == "--relay-all") {
            o.relayAll = true;
        } else if (a == "--silent-partners") {
            o.silentPartners = true;
        } else if (a == "--phrases") {
            if (!hasValue) { o.error = a + " needs a value"; break; }
            o.phrasesFile = args[++i];
        } else if (a == "--coast-station" || a == "--ship" || a == "--stations" || a == "--exercise"
                   || a == "--reply-delay") {
            if (!hasValue) { o.error = a + " needs a value"; break; }
            const QString v = args[++i];
            bool ok = true;
            if (a == "--coast-station")
                o.coastStations.append(v);
            else if (a == "--ship")
                o.ships.append(v);
            else if (a == "--stations")
                o.stationsFile = v;
            else if (a == "--exercise")
                o.exerciseFile = v;
            else {
                const double s = v.toDouble(&ok);
                if (!ok || s < 0 || s > 600)
                    o.error = "bad reply delay " + v;
                else
                    o.replyDelayMs = int(s * 1000);
            }
            if ((a == "--coast-station" || a == "--ship")
                && (v.size() != 9 || !std::all_of(v.begin(), v.end(), [](QChar c) { return c.isDigit(); })))
                o.error = a + " needs a nine-digit MMSI, not " + v;
        } else if (a == "--web-mmsi" || a == "--web-max" || a == "--web-linger" || a == "--class-code") {
            if (!hasValue) { o.error = a + " needs a value"; break; }
            const QString v = args[++i];
            bool ok = false;
            const int n = v.toInt(&ok);
            if (a == "--web-mmsi") {
                if (v.size() != 9 || !std::all_of(v.begin(), v.end(), [](QChar c) { return c.isDigit(); }))
                    o.error = a + " needs a nine-digit MMSI, not " + v;
                o.webFirstMmsi = v.toLatin1();
            } else if (a == "--web-max") {
                if (!ok || n < 0 || n > 500)
                    o.error = "bad number of web stations " + v + " (0 to 500)";
                o.webMax = n;
            } else if (a == "--web-linger") {
                if (!ok || n < 1 || n > 3600)
                    o.error = "bad linger time " + v + " (1 to 3600 seconds)";
                o.webLingerMs = n * 1000;
            } else {
                if (v.size() < 4 || v.size() > 64
                    || !std::all_of(v.begin(), v.end(), [](QChar c) { return c.isLetterOrNumber() && c.unicode() < 128; }))
                    o.error = "the class code is 4 to 64 letters and digits, not " + v;
                o.classCode = v;
            }
        } else if (a == "--tls") {
            if (i + 2 >= args.size()) { o.error = a + " needs CERT and KEY"; break; }
            o.tlsCertificate = args[++i];
            o.tlsKey = args[++i];
        } else if (a == "--console") {
            if (!hasValue) { o.error = a + " needs [ADDR:]PORT"; break; }
            if (!consoleAddress(args[++i], o.consoleAddress, o.consolePort))
                o.error = "--console needs [ADDR:]PORT with an IPv4 address, not " + args[i];
        } else if (a == "--record" || a == "--voice-base-port" || a == "--settings") {
            if (!hasValue) { o.error = a + " needs a value"; break; }
            const QString v = args[++i];
            bool ok = false;
            if (a == "--record")
                o.recordFolder = v;
            else if (a == "--settings")
                o.settingsFile = v;
            else if (const int n = v.toInt(&ok); ok && voicePort(n)) {
                o.voiceBasePort = n;
                basePortGiven = true;
            } else
                o.error = "bad voice base port " + v + " (1 to 65351)";
        } else if (a == "--to" || a == "--log" || a == "--listen-port" || a == "--station-port") {
            if (!hasValue) { o.error = a + " needs a value"; break; }
            const QString v = args[++i];
            if (a == "--log") {
                o.logFile = v;
            } else if (a == "--to") {
                QHostAddress h(v);
                if (h.isNull()) {
                    const QHostInfo info = QHostInfo::fromName(v);
                    for (const QHostAddress& x : info.addresses())
                        if (x.protocol() == QAbstractSocket::IPv4Protocol) { h = x; break; }
                }
                if (h.isNull() || h.protocol() != QAbstractSocket::IPv4Protocol)
                    o.error = "unknown host " + v;
                listed.append(h);
            } else if (!port(v, a == "--listen-port" ? o.listenPort : o.stationPort)) {
                o.error = "bad port " + v;
            }
        } else {
            o.error = "unknown argument " + a;
        }
    }
    if (o.error.isEmpty() && !o.settingsFile.isEmpty() && !basePortGiven)
        basePortFrom(o.settingsFile, o);
    if (o.error.isEmpty() && o.command == Options::Command::Send && !sendTextSeen)
        o.error = "send needs the record text";
    if (local)
        o.destinations.append(QHostAddress(QHostAddress::LocalHost));
    if (network || (!local && listed.isEmpty()))
        o.destinations.append(QHostAddress(QHostAddress::Broadcast));
    o.destinations.append(listed);
    if (o.error.isEmpty() && o.command == Options::Command::Run && o.listenPort == o.stationPort)
        o.error = "the listen port and the station port must differ (records would loop)";
    return o;
}

} // namespace exchange
