// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/compose_fields.h"

#include "wire/record.h"

#include <QRegularExpression>

namespace exchange {
namespace {

bool matches(const QString& text, const char* pattern)
{
    return QRegularExpression(QStringLiteral("^(?:%1)$").arg(QLatin1String(pattern))).match(text).hasMatch();
}

// A coded value written with its filling spaces to eight characters.
QByteArray eight(const QString& word) { return word.toUpper().toLatin1().leftJustified(8, ' '); }

} // namespace

std::variant<QByteArray, QString> compose_from_fields(const QStringList& args)
{
    dsc::DscRecord r = dsc::plain_record({}, {}, {}, {}, "16");
    for (int i = 0; i < args.size(); ++i) {
        const QString key = args[i];
        auto value = [&](int n = 1) -> QStringList {
            if (i + n >= args.size())
                return {};
            const QStringList v = args.mid(i + 1, n);
            i += n;
            return v;
        };
        if (key == QLatin1String("--pos")) {
            const QStringList v = value(6);
            if (v.size() != 6 || !matches(v[0], "[0-8][0-9]") || !matches(v[1], "[0-5][0-9]")
                || !matches(v[2].toUpper(), "N|S") || !matches(v[3], "0[0-9][0-9]|1[0-7][0-9]")
                || !matches(v[4], "[0-5][0-9]") || !matches(v[5].toUpper(), "E|W"))
                return QStringLiteral("--pos reads: --pos 43 28 N 009 15 E");
            r.LATD = v[0].toLatin1(), r.LATM = v[1].toLatin1(), r.NS = v[2].toUpper().toLatin1();
            r.LOND = v[3].toLatin1(), r.LONM = v[4].toLatin1(), r.EW = v[5].toUpper().toLatin1();
            continue;
        }
        const QStringList v = value();
        if (v.isEmpty())
            return key + QStringLiteral(" needs a value");
        const QString x = v[0];
        if (key == QLatin1String("--from") || key == QLatin1String("--to")) {
            if (!matches(x, "[0-9]{9}"))
                return key + QStringLiteral(" needs a nine-digit MMSI");
            (key == QLatin1String("--from") ? r.TXMMSI : r.RXMMSI) = x.toLatin1();
        } else if (key == QLatin1String("--call")) {
            if (!matches(x.toUpper(), "INDIVID|GROUP|ALLSHIPS|DISTRESS"))
                return QStringLiteral("--call is INDIVID, GROUP, ALLSHIPS or DISTRESS");
            r.CALL = eight(x);
        } else if (key == QLatin1String("--category")) {
            if (!matches(x.toUpper(), "ROUTINE|SAFETY|URGENCY|DISTRESS|DIST_ACK|ROUT_ACK|POS_REQ|POS_ACK"))
                return QStringLiteral("--category is ROUTINE, SAFETY, URGENCY, DISTRESS, DIST_ACK, ROUT_ACK, POS_REQ or POS_ACK");
            r.CATEGORY = eight(x);
        } else if (key == QLatin1String("--channel")) {
            if (!matches(x, "[0-9]{1,2}"))
                return QStringLiteral("--channel is a number from 0 to 99");
            r.CH = x.toLatin1().rightJustified(2, '0');
        } else if (key == QLatin1String("--nature")) {
            if (!matches(x, "[0-9]|1[0-3]"))
                return QStringLiteral("--nature is a number from 0 to 13");
            r.DANGER = x.toLatin1();   // written as stations write it: no leading zero
        } else if (key == QLatin1String("--time")) {
            if (!matches(x, "([01][0-9]|2[0-3]):[0-5][0-9]|--:--"))
                return QStringLiteral("--time is hh:mm or --:--");
            r.TIME = x.toLatin1();
        } else if (key == QLatin1String("--comply")) {
            if (!matches(x.toUpper(), "Y|N"))
                return QStringLiteral("--comply is Y or N");
            r.COMPLY = x.toUpper().toLatin1();
        } else {
            return QStringLiteral("unknown field ") + key;
        }
    }
    if (r.TXMMSI.isEmpty() || r.CALL.isEmpty() || r.CATEGORY.isEmpty())
        return QStringLiteral("compose needs at least --from, --call and --category");
    if (r.RXMMSI.isEmpty()) {
        if (r.CALL != dsc::CALL_ALLSHIPS && !(r.CALL == dsc::CALL_DISTRESS && r.CATEGORY == dsc::CAT_DISTRESS))
            return QStringLiteral("--to is needed for this call");
        r.RXMMSI = dsc::ALL_SHIPS_MMSI;
    }
    return dsc::compose(r);
}

} // namespace exchange
