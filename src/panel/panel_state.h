// The panel state: which screen is shown and what has been typed so far.
#pragma once

#include <QByteArray>

struct PanelState {
    int panel_mode = 0;
    int menu_index = 0;
    QByteArray entry_mmsi;       // at most 9 digits
    QByteArray entry_channel;    // at most 2 digits
    int selected_category = 0;   // 1 routine, 2 safety, 3 urgency, 4 distress
    quint8 distress_no_info = 0;
    QByteArray alert_time;       // "hh:mm"
    quint8 pending_distress_ack = 0;
    quint8 pending_position_reply = 0;
    quint8 pending_individual_ack = 0;
    QByteArray ack_channel;
};

// What reception remembers for the answer.
struct SavedDistressAlert {
    QByteArray mmsi, DANGER, TIME, LATD, LATM, NS, LOND, LONM, EW;
};
