// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsc/transmission.h"

#include "dsc/builders.h"

namespace {

// Where the voice channel goes after a call has been sent.
enum class ChannelAfter {
    Unchanged,
    Entry,      // the channel typed with the call; one the keypad would refuse refuses the send
    Ch16,
    Ch77,
    AckChannel, // the channel the acknowledgement names, 16 when it is no number
};

// What the transmission spends once its record has gone out.
enum class Spent { Nothing, DistressNoInfo, SavedAlert, AckData, PosRequestMmsi };

using dsc::DscRecord;

// One ready mode: how its record is built, where the channel goes, what is spent.
struct TxKind {
    PanelMode mode;
    DscRecord (*build)(const TxSources&);
    ChannelAfter channel;
    Spent spent;
};

const TxKind kTxKinds[] = {
    {PanelMode::IndividualChannel,
     [](const TxSources& f) { return calls::individual_call(f.own, f.composer.entry_mmsi(), f.composer.selected_category(), f.composer.entry_channel()); },
     ChannelAfter::Entry, Spent::Nothing},
    {PanelMode::GroupChannel,
     [](const TxSources& f) { return calls::group_call(f.own, f.composer.entry_mmsi(), f.composer.entry_channel()); },
     ChannelAfter::Entry, Spent::Nothing},
    {PanelMode::AllShipsRoutine, [](const TxSources& f) { return calls::all_ships_call(f.own, 1); }, ChannelAfter::Ch77, Spent::Nothing},
    {PanelMode::AllShipsSafety, [](const TxSources& f) { return calls::all_ships_call(f.own, 2); }, ChannelAfter::Ch16, Spent::Nothing},
    {PanelMode::AllShipsUrgency, [](const TxSources& f) { return calls::all_ships_call(f.own, 3); }, ChannelAfter::Ch16, Spent::Nothing},
    {PanelMode::AllShipsDistress, [](const TxSources& f) { return calls::all_ships_call(f.own, 4); }, ChannelAfter::Ch16, Spent::Nothing},
    {PanelMode::DistressData,
     [](const TxSources& f) { return calls::distress_alert(f.own, f.distress.nature(), f.distress.no_info(), f.distress.alert_time()); },
     ChannelAfter::Ch16, Spent::DistressNoInfo},
    {PanelMode::DistressAckReady,
     [](const TxSources& f) { return calls::distress_ack(f.own, f.replies.saved_distress_alert); },
     ChannelAfter::Ch16, Spent::SavedAlert},
    {PanelMode::AckAbleReady,
     [](const TxSources& f) { return calls::individual_ack(f.own, f.replies.ack_mmsi, f.replies.ack_channel, true); },
     ChannelAfter::AckChannel, Spent::AckData},
    {PanelMode::AckUnableReady,
     [](const TxSources& f) { return calls::individual_ack(f.own, f.replies.ack_mmsi, f.replies.ack_channel, false); },
     ChannelAfter::Unchanged, Spent::AckData},
    {PanelMode::PosRequestReady,
     [](const TxSources& f) { return calls::position_request(f.own, f.composer.entry_mmsi()); },
     ChannelAfter::Unchanged, Spent::Nothing},
    {PanelMode::PosReplyReady,
     [](const TxSources& f) { return calls::position_reply(f.own, f.replies.pos_request_mmsi, f.state.position_time); },
     ChannelAfter::Unchanged, Spent::PosRequestMmsi},
};

const TxKind* tx_kind(PanelMode mode)
{
    for (const TxKind& k : kTxKinds)
        if (k.mode == mode)
            return &k;
    return nullptr;
}

std::optional<int> channel_number(const QByteArray& text)
{
    bool ok = false;
    const int n = QString::fromLatin1(text).toInt(&ok);
    if (!ok)
        return std::nullopt;
    return n;
}

} // namespace

std::optional<DscTransmission::Plan> DscTransmission::plan(PanelMode mode, const TxSources& from)
{
    const TxKind* kind = tx_kind(mode);
    if (!kind)
        return std::nullopt;
    Plan p;
    switch (kind->channel) {
    case ChannelAfter::Unchanged: break;
    case ChannelAfter::Entry:
        // CLR and fewer than two digits on the ready screen leave a channel the keypad refuses.
        if (!from.composer.channel_valid()) {
            p.refused = true;
            return p;
        }
        p.channel = channel_number(from.composer.entry_channel());
        break;
    case ChannelAfter::Ch16: p.channel = 16; break;
    case ChannelAfter::Ch77: p.channel = 77; break;
    case ChannelAfter::AckChannel: p.channel = channel_number(from.replies.ack_channel).value_or(16); break;
    }
    p.record = dsc::compose(kind->build(from));
    return p;
}

QByteArray DscTransmission::record(PanelMode mode, const TxSources& from)
{
    const TxKind* kind = tx_kind(mode);
    return kind ? dsc::compose(kind->build(from)) : QByteArray();
}

void DscTransmission::spend(PanelMode mode, DistressMenu& distress, ReplyMemory& replies)
{
    const TxKind* kind = tx_kind(mode);
    switch (kind ? kind->spent : Spent::Nothing) {
    case Spent::Nothing: break;
    case Spent::DistressNoInfo: distress.clear_no_info(); break;
    case Spent::SavedAlert: replies.saved_distress_alert = SavedDistressAlert{}; break;
    case Spent::AckData: replies.ack_mmsi.clear(); replies.ack_channel.clear(); break;
    case Spent::PosRequestMmsi: replies.pos_request_mmsi.clear(); break;
    }
}

DscTransmission::Sent DscTransmission::send(const QByteArray& text, int networkMode, QString* error)
{
    QHostAddress to;
    bool broadcast = false;
    if (networkMode == 0) {
        to = QHostAddress(QHostAddress::LocalHost);
    } else if (networkMode == 1) {
        to = QHostAddress(QHostAddress::Broadcast);
        broadcast = true;
    } else {
        return Sent::NoNetwork;   // no network configured: nothing leaves the station
    }
    return m_port.send(text, to, 8090, broadcast, error) ? Sent::Out : Sent::Refused;
}
