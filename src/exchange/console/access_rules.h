// SPDX-License-Identifier: GPL-3.0-or-later
// Who may use what the console serves, in one place. The page's own files (HTML, style, scripts,
// icon) are public: they hold nothing of the classroom. Everything else (records, report,
// recordings, actions, the live sockets) belongs to an area that needs its credential: the
// instructor's access token, given as ?token= or "Authorization: Bearer". An area without a
// credential (a console on the loopback address) is open only to requests addressed to 127.0.0.1
// or localhost, so a site whose name was made to point at this PC's loopback is not the console's
// own. A WebSocket is accepted only from a page of the console's own origin (or from a program,
// which sends no Origin): a page of another site could otherwise read the classroom through the
// instructor's browser. The stations in a browser are an area of their own: the class code opens
// them (and nothing of the console), the instructor's token opens them too.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

namespace exchange {

enum class Area { Public, Instructor, Station };

// What a request says about who sends it.
struct Caller {
    QString host;              // the Host header ("10.0.0.5:8080")
    QByteArray origin;         // the Origin header, empty when none was sent
    QString token;             // ?token= (or the class code, ?code=)
    QByteArray authorization;  // the Authorization header
    bool webSocket = false;
};

enum class Verdict { Allowed, NeedsCredential, ForeignHost, ForeignOrigin };

class AccessRules {
public:
    // The credential of an area; none: the area is served on loopback names only.
    void setCredential(Area area, const QString& secret) { m_secrets[area] = secret; }
    QString credential(Area area) const { return m_secrets.value(area); }

    Verdict check(Area area, const Caller& caller) const;
    // A sentence for the one who was refused.
    static QString explain(Verdict verdict, Area area = Area::Instructor);
    // The scheme pages are served with ("http", or "https" with TLS): a page's own origin.
    void setScheme(const QString& scheme) { m_scheme = scheme; }

private:
    QMap<Area, QString> m_secrets;
    QString m_scheme = QStringLiteral("http");
};

} // namespace exchange
