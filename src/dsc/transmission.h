// SPDX-License-Identifier: GPL-3.0-or-later
// DSC transmission: for each ready screen the call it sends, where the voice channel goes once the
// call has left and what the call spends, as one table; and the send procedure over the datagram
// port. The records come from the pure builders (dsc/builders.h); screens, cues and pauses are the
// station's.
#pragma once

#include "panel/composer.h"
#include "panel/distress_menu.h"
#include "panel/panel_state.h"
#include "station/FileIni.h"
#include "station/ports.h"

#include <optional>

// What the builders read: the station's own data, what the keypad typed, the distress alert being
// prepared, the panel state and the data remembered for a reply.
struct TxSources {
    const StationSettings& own;
    const Composer& composer;
    const DistressMenu& distress;
    const PanelState& state;
    const ReplyMemory& replies;
};

class DscTransmission {
public:
    explicit DscTransmission(DatagramPort& port) : m_port(port) {}

    // A ready screen's transmission, worked out before anything leaves.
    struct Plan {
        QByteArray record;
        std::optional<int> channel;   // the voice channel to select once the call has gone out
        bool refused = false;         // the typed channel is one the keypad refuses: no call
    };

    // The plan of the call `mode` sends; none for a mode without a call.
    static std::optional<Plan> plan(PanelMode mode, const TxSources& from);
    // The record alone; empty for a mode without a call.
    static QByteArray record(PanelMode mode, const TxSources& from);
    // Spends what the call of `mode` used up, once it has gone out.
    static void spend(PanelMode mode, DistressMenu& distress, ReplyMemory& replies);

    enum class Sent { Out, NoNetwork, Refused };
    // The send procedure: to this machine in network mode 0, broadcast in mode 1; any other mode
    // sends nothing, which is no failure. Refused, with the platform's `error`, when the send fails.
    Sent send(const QByteArray& text, int networkMode, QString* error);

private:
    DatagramPort& m_port;
};
