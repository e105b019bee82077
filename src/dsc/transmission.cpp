// SPDX-License-Identifier: GPL-3.0-or-later
#include "dsc/transmission.h"

#include "dsc/builders.h"

namespace dsc {

namespace {

// Where the voice channel goes after a call has been sent.
enum class ChannelAfter {
    Unchanged,
    Entry,      // the channel typed with the call; one the keypad would refuse refuses the send
    Ch16,
    Ch77,
    AckChannel, // the channel the acknowledgement names, 16 when it is no number
};

// One call: how its record is built, where the channel goes, what is spent.
struct TxKind {
    CallKind kind;
    DscRecord (*build)(const CallInputs&);
    ChannelAfter channel;
    Spent spent;
};

const TxKind kTxKinds[] = {
    {CallKind::Individual,
     [](const CallInputs& f) { return calls::individual_call(f.own, f.entry_mmsi, f.category, f.entry_channel); },
     ChannelAfter::Entry, Spent::Nothing},
    {CallKind::Group,
     [](const CallInputs& f) { return calls::group_call(f.own, f.entry_mmsi, f.entry_channel); },
     ChannelAfter::Entry, Spent::Nothing},
    {CallKind::AllShipsRoutine, [](const CallInputs& f) { return calls::all_ships_call(f.own, 1); }, ChannelAfter::Ch77, Spent::Nothing},
    {CallKind::AllShipsSafety, [](const CallInputs& f) { return calls::all_ships_call(f.own, 2); }, ChannelAfter::Ch16, Spent::Nothing},
    {CallKind::AllShipsUrgency, [](const CallInputs& f) { return calls::all_ships_call(f.own, 3); }, ChannelAfter::Ch16, Spent::Nothing},
    {CallKind::AllShipsDistress, [](const CallInputs& f) { return calls::all_ships_call(f.own, 4); }, ChannelAfter::Ch16, Spent::Nothing},
    {CallKind::DistressAlert,
     [](const CallInputs& f) { return calls::distress_alert(f.own, f.nature, f.no_info, f.alert_time); },
     ChannelAfter::Ch16, Spent::DistressNoInfo},
    {CallKind::DistressAck,
     [](const CallInputs& f) { return calls::distress_ack(f.own, f.saved_alert); },
     ChannelAfter::Ch16, Spent::SavedAlert},
    {CallKind::AckAble,
     [](const CallInputs& f) { return calls::individual_ack(f.own, f.ack_mmsi, f.ack_channel, true); },
     ChannelAfter::AckChannel, Spent::AckData},
    {CallKind::AckUnable,
     [](const CallInputs& f) { return calls::individual_ack(f.own, f.ack_mmsi, f.ack_channel, false); },
     ChannelAfter::Unchanged, Spent::AckData},
    {CallKind::PositionRequest,
     [](const CallInputs& f) { return calls::position_request(f.own, f.entry_mmsi); },
     ChannelAfter::Unchanged, Spent::Nothing},
    {CallKind::PositionReply,
     [](const CallInputs& f) { return calls::position_reply(f.own, f.pos_request_mmsi, f.position_time); },
     ChannelAfter::Unchanged, Spent::PosRequestMmsi},
};

const TxKind& tx_kind(CallKind kind)
{
    for (const TxKind& k : kTxKinds)
        if (k.kind == kind)
            return k;
    return kTxKinds[0];   // not reached: every kind has its row
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

Plan plan(CallKind kind, const CallInputs& in)
{
    const TxKind& row = tx_kind(kind);
    Plan p;
    switch (row.channel) {
    case ChannelAfter::Unchanged: break;
    case ChannelAfter::Entry:
        // CLR and fewer than two digits on the ready screen leave a channel the keypad refuses.
        if (!in.entry_channel_valid) {
            p.refused = true;
            return p;
        }
        p.channel = channel_number(in.entry_channel);
        break;
    case ChannelAfter::Ch16: p.channel = 16; break;
    case ChannelAfter::Ch77: p.channel = 77; break;
    case ChannelAfter::AckChannel: p.channel = channel_number(in.ack_channel).value_or(16); break;
    }
    p.record = compose(row.build(in));
    p.spent = row.spent;
    return p;
}

QByteArray record(CallKind kind, const CallInputs& in)
{
    return compose(tx_kind(kind).build(in));
}

} // namespace dsc
