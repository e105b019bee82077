// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsc/reception.h"

namespace dsc {

namespace {

bool is_all_ships_category(const QByteArray& c)
{
    return c == CAT_ROUTINE || c == CAT_SAFETY || c == CAT_URGENCY || c == CAT_DISTRESS;
}

} // namespace

ReceivedScreen classify(const DscRecord& r, const QByteArray& ownMmsi, const QByteArray& ownGroup)
{
    const bool toUs = r.RXMMSI == ownMmsi;
    if (r.CALL == CALL_INDIVID) {
        if (r.CATEGORY == CAT_POS_ACK)
            return toUs ? ReceivedScreen::PositionReply : ReceivedScreen::NotForUs;
        if (r.CATEGORY == CAT_POS_REQ)
            return toUs ? ReceivedScreen::PositionRequest : ReceivedScreen::NotForUsQuiet;
        if (r.CATEGORY == CAT_ROUT_ACK)
            return toUs ? ReceivedScreen::IndividualAck : ReceivedScreen::None;
        return toUs ? ReceivedScreen::IndividualCall : ReceivedScreen::NotForUs;
    }
    if (r.CALL == CALL_GROUP)
        return r.RXMMSI == ownGroup ? ReceivedScreen::GroupCall : ReceivedScreen::NotForUs;
    if (r.CALL == CALL_ALLSHIPS && is_all_ships_category(r.CATEGORY))
        return ReceivedScreen::AllShipsCall;   // whatever it is addressed to
    if (r.CALL == CALL_DISTRESS && r.CATEGORY == CAT_DISTRESS)
        return ReceivedScreen::DistressAlert;  // every station shows it
    if (r.CALL == CALL_DISTRESS && r.CATEGORY == CAT_DIST_ACK)
        return ReceivedScreen::DistressAck;    // whoever it names
    return ReceivedScreen::None;
}

} // namespace dsc
