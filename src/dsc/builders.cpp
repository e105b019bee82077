// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsc/builders.h"

namespace calls {

namespace {

const QByteArray& category_of(int selected)
{
    switch (selected) {
    case 2: return dsc::CAT_SAFETY;
    case 3: return dsc::CAT_URGENCY;
    case 4: return dsc::CAT_DISTRESS;
    default: return dsc::CAT_ROUTINE;
    }
}

// The simulated position: the settings' degrees with fixed minutes.
void put_simulated_position(dsc::DscRecord& r, const dsc::OwnStation& s)
{
    r.LATD = s.gps_lat;
    r.LATM = "28";
    r.NS = s.gps_ns;
    r.LOND = s.gps_lon;
    r.LONM = "15";
    r.EW = s.gps_EW;
}

} // namespace

dsc::DscRecord individual_call(const dsc::OwnStation& own, const QByteArray& to, int category,
                               const QByteArray& channel)
{
    return dsc::plain_record(own.mmsi, to, dsc::CALL_INDIVID, category_of(category), channel);
}

dsc::DscRecord group_call(const dsc::OwnStation& own, const QByteArray& group, const QByteArray& channel)
{
    return dsc::plain_record(own.mmsi, group, dsc::CALL_GROUP, dsc::CAT_ROUTINE, channel);
}

dsc::DscRecord all_ships_call(const dsc::OwnStation& own, int category)
{
    dsc::DscRecord r = dsc::plain_record(own.mmsi, dsc::ALL_SHIPS_MMSI, dsc::CALL_ALLSHIPS, category_of(category),
                                         category == 1 ? "77" : "16");
    if (category == 4)
        r.TIME = "--:--";
    return r;
}

dsc::DscRecord distress_alert(const dsc::OwnStation& own, int nature, bool noInfo, const QByteArray& time)
{
    dsc::DscRecord r = dsc::plain_record(own.mmsi, dsc::ALL_SHIPS_MMSI, dsc::CALL_DISTRESS, dsc::CAT_DISTRESS, "16");
    r.DANGER = QByteArray::number(nature);
    if (noInfo) {
        r.TIME = "--:--";
    } else {
        put_simulated_position(r, own);
        r.TIME = time;
    }
    return r;
}

dsc::DscRecord distress_ack(const dsc::OwnStation& own, const dsc::AlertData& alert)
{
    dsc::DscRecord r = dsc::plain_record(own.mmsi, alert.mmsi, dsc::CALL_DISTRESS, dsc::CAT_DIST_ACK, "16");
    dsc::repeat_alert_data(alert, r);
    return r;
}

dsc::DscRecord individual_ack(const dsc::OwnStation& own, const QByteArray& to, const QByteArray& channel, bool able)
{
    return dsc::plain_record(own.mmsi, to, dsc::CALL_INDIVID, dsc::CAT_ROUT_ACK, channel, able ? "Y" : "N");
}

dsc::DscRecord position_request(const dsc::OwnStation& own, const QByteArray& to)
{
    return dsc::plain_record(own.mmsi, to, dsc::CALL_INDIVID, dsc::CAT_POS_REQ, "16");
}

dsc::DscRecord position_reply(const dsc::OwnStation& own, const QByteArray& to, const QByteArray& time)
{
    dsc::DscRecord r = dsc::plain_record(own.mmsi, to, dsc::CALL_INDIVID, dsc::CAT_POS_ACK, "16");
    put_simulated_position(r, own);
    r.TIME = time;
    return r;
}

} // namespace calls
