// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/console/access_rules.h"

namespace exchange {
namespace {

// Compares without stopping at the first difference.
bool sameText(const QString& a, const QString& b)
{
    if (a.size() != b.size())
        return false;
    int diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= a[i].unicode() ^ b[i].unicode();
    return diff == 0;
}

QString hostName(const QString& host)
{
    if (host.startsWith(QLatin1Char('[')))
        return host.section(QLatin1Char(']'), 0, 0).mid(1).toLower();
    return host.section(QLatin1Char(':'), 0, 0).toLower();
}

bool loopbackName(const QString& host)
{
    const QString name = hostName(host);
    return name == QLatin1String("127.0.0.1") || name == QLatin1String("localhost");
}

} // namespace

Verdict AccessRules::check(Area area, const Caller& c) const
{
    // A browser names the page that opens a WebSocket; the socket must come from a page served by
    // this very address.
    if (c.webSocket && !c.origin.isEmpty()
        && QString::fromLatin1(c.origin).toLower() != m_scheme + QStringLiteral("://") + c.host.toLower())
        return Verdict::ForeignOrigin;
    if (area == Area::Public)
        return Verdict::Allowed;
    // The stations: their class code, or the instructor's token.
    QStringList secrets{m_secrets.value(area)};
    if (area == Area::Station)
        secrets.append(m_secrets.value(Area::Instructor));
    secrets.removeAll(QString());
    if (secrets.isEmpty())
        return loopbackName(c.host) ? Verdict::Allowed : Verdict::ForeignHost;
    const auto matches = [&secrets](const QString& given) {
        bool any = false;
        for (const QString& secret : secrets)
            any |= sameText(given, secret);
        return any;
    };
    if (!c.token.isEmpty())
        return matches(c.token) ? Verdict::Allowed : Verdict::NeedsCredential;
    if (c.authorization.startsWith("Bearer ") && matches(QString::fromLatin1(c.authorization.mid(7))))
        return Verdict::Allowed;
    return Verdict::NeedsCredential;
}

QString AccessRules::explain(Verdict v, Area area)
{
    if (area == Area::Station && v == Verdict::NeedsCredential)
        return QStringLiteral("this station needs the class code: open the address your instructor gave, "
                              "with ?code=");
    switch (v) {
    case Verdict::Allowed: return {};
    case Verdict::NeedsCredential:
        return QStringLiteral("this console needs its access token: open the address the exchange printed, "
                              "with ?token=");
    case Verdict::ForeignHost:
        return QStringLiteral("this console answers only as http://127.0.0.1 or http://localhost");
    case Verdict::ForeignOrigin: return QStringLiteral("a page of another site may not use this console");
    }
    return {};
}

} // namespace exchange
