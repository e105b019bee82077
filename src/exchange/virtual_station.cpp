// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/virtual_station.h"

namespace exchange {
namespace {

dsc::DscRecord base(const VirtualStation& from)
{
    return dsc::plain_record(from.mmsi, {}, {}, {}, "16");
}

void with_position(dsc::DscRecord& r, const VirtualStation& s)
{
    r.LATD = s.latDeg;
    r.LATM = s.latMin;
    r.NS = s.ns;
    r.LOND = s.lonDeg;
    r.LONM = s.lonMin;
    r.EW = s.ew;
}

QByteArray two_digits(int channel)
{
    return QByteArray::number(channel).rightJustified(2, '0');
}

bool is_individual_category(const QByteArray& c)
{
    return c == dsc::CAT_ROUTINE || c == dsc::CAT_SAFETY || c == dsc::CAT_URGENCY || c == dsc::CAT_DISTRESS;
}

// A proposed channel as the stations type it: exactly two digits.
std::optional<int> proposed_channel(const QByteArray& ch)
{
    if (ch.size() != 2 || !std::isdigit(static_cast<unsigned char>(ch[0]))
        || !std::isdigit(static_cast<unsigned char>(ch[1])))
        return std::nullopt;
    return ch.toInt();
}

} // namespace

QByteArray hhmm(QTime t)
{
    return t.toString(QStringLiteral("hh:mm")).toLatin1();
}

std::optional<QByteArray> answer(const VirtualStation& self, const dsc::DscRecord& rx, QTime utc)
{
    if (rx.TXMMSI == self.mmsi)
        return std::nullopt;   // our own record coming back

    if (rx.CALL == dsc::CALL_INDIVID && rx.RXMMSI == self.mmsi && is_individual_category(rx.CATEGORY)) {
        dsc::DscRecord r = base(self);
        r.RXMMSI = rx.TXMMSI;
        r.CALL = dsc::CALL_INDIVID;
        r.CATEGORY = dsc::CAT_ROUT_ACK;
        const auto ch = proposed_channel(rx.CH);
        if (ch && allowed_working_channel(*ch)) {
            r.CH = rx.CH;
            r.COMPLY = "Y";
        } else {
            r.CH = two_digits(self.workingChannel);
            r.COMPLY = "N";
        }
        return dsc::compose(r);
    }
    if (rx.CALL == dsc::CALL_INDIVID && rx.RXMMSI == self.mmsi && rx.CATEGORY == dsc::CAT_POS_REQ) {
        dsc::DscRecord r = base(self);
        r.RXMMSI = rx.TXMMSI;
        r.CALL = dsc::CALL_INDIVID;
        r.CATEGORY = dsc::CAT_POS_ACK;
        with_position(r, self);
        r.TIME = hhmm(utc);
        return dsc::compose(r);
    }
    if (rx.CALL == dsc::CALL_DISTRESS && rx.CATEGORY == dsc::CAT_DISTRESS && self.kind == VirtualStation::Coast) {
        dsc::DscRecord r = base(self);
        r.RXMMSI = rx.TXMMSI;
        r.CALL = dsc::CALL_DISTRESS;
        r.CATEGORY = dsc::CAT_DIST_ACK;
        dsc::repeat_alert_data(rx, r);
        return dsc::compose(r);
    }
    return std::nullopt;
}

QByteArray individual_call(const VirtualStation& from, const QByteArray& to, const QByteArray& category,
                           int channel)
{
    dsc::DscRecord r = base(from);
    r.RXMMSI = to;
    r.CALL = dsc::CALL_INDIVID;
    r.CATEGORY = category;
    r.CH = two_digits(channel);
    return dsc::compose(r);
}

QByteArray all_ships_call(const VirtualStation& from, const QByteArray& category, int channel)
{
    dsc::DscRecord r = base(from);
    r.RXMMSI = dsc::ALL_SHIPS_MMSI;
    r.CALL = dsc::CALL_ALLSHIPS;
    r.CATEGORY = category;
    r.CH = two_digits(channel);
    if (category == dsc::CAT_DISTRESS)
        r.TIME = "--:--";
    return dsc::compose(r);
}

QByteArray group_call(const VirtualStation& from, const QByteArray& group, int channel)
{
    dsc::DscRecord r = base(from);
    r.RXMMSI = group;
    r.CALL = dsc::CALL_GROUP;
    r.CATEGORY = dsc::CAT_ROUTINE;
    r.CH = two_digits(channel);
    return dsc::compose(r);
}

QByteArray position_request(const VirtualStation& from, const QByteArray& to)
{
    dsc::DscRecord r = base(from);
    r.RXMMSI = to;
    r.CALL = dsc::CALL_INDIVID;
    r.CATEGORY = dsc::CAT_POS_REQ;
    return dsc::compose(r);
}

QByteArray distress_alert(const VirtualStation& from, int nature, QTime utc)
{
    dsc::DscRecord r = base(from);
    r.RXMMSI = dsc::ALL_SHIPS_MMSI;
    r.CALL = dsc::CALL_DISTRESS;
    r.CATEGORY = dsc::CAT_DISTRESS;
    r.DANGER = QByteArray::number(nature);   // written as the stations write it: no leading zero
    if (nature == 13) {
        r.TIME = "--:--";
    } else {
        with_position(r, from);
        r.TIME = hhmm(utc);
    }
    return dsc::compose(r);
}

} // namespace exchange
