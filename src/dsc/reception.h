// SPDX-License-Identifier: GPL-3.0-or-later
// Which screen a received record leads to. The decision reads only the record and the station's
// own MMSI and group; the screens themselves are drawn by the station (Mostra_Dati_ricevuti).
#pragma once

#include "wire/record.h"

namespace dsc {

enum class ReceivedScreen {
    None,              // nothing more: the receive banner stays (e.g. an acknowledgement to another station)
    NotForUs,          // a call for another station: the idle picture, windows events let run
    NotForUsQuiet,     // the same without letting events run (a position request to another station)
    IndividualCall,    // waits for ENT: the comply selector
    PositionReply,
    PositionRequest,   // waits for ENT: the position reply
    GroupCall,
    AllShipsCall,
    DistressAlert,     // waits for ENT: the distress acknowledgement
    DistressAck,
    IndividualAck,
};

// At most one screen fits a record: the kinds are told apart by CALL and CATEGORY.
ReceivedScreen classify(const DscRecord& r, const QByteArray& ownMmsi, const QByteArray& ownGroup);

} // namespace dsc
