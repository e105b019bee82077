// SPDX-License-Identifier: GPL-3.0-or-later
// The call being composed on the keypad: the called MMSI, the working channel and the category of
// an individual call. It knows the fields' limits and checks, nothing of screens or sounds.
#pragma once

#include <QByteArray>

class Composer {
public:
    static constexpr int kClr = 10;            // keypad tag of CLR
    static constexpr int kMmsiLength = 9;
    static constexpr int kChannelLength = 2;

    const QByteArray& entry_mmsi() const { return m_mmsi; }         // at most 9 digits
    const QByteArray& entry_channel() const { return m_channel; }   // at most 2 digits
    int selected_category() const { return m_category; }           // 1 routine .. 4 distress

    // A new composition: the fields emptied (the channel kept for a position request).
    void start(bool keepChannel = false);
    void set_category(int category) { m_category = category; }
    void clear_mmsi() { m_mmsi.clear(); }
    void clear_channel() { m_channel.clear(); }

    // A keypad key into a field: a digit is appended and the field cut to its limit; CLR empties it.
    void add_mmsi_key(int tag) { add(m_mmsi, tag, kMmsiLength); }
    void add_channel_key(int tag) { add(m_channel, tag, kChannelLength); }

    bool mmsi_complete() const { return m_mmsi.size() == kMmsiLength; }
    bool channel_complete() const { return m_channel.size() == kChannelLength; }
    bool channel_valid() const;    // two digits naming an allowed working channel
    bool group_id_valid() const;   // nine digits beginning with 0

private:
    friend class StationProbe;
    static void add(QByteArray& field, int tag, int limit);

    QByteArray m_mmsi;
    QByteArray m_channel;
    int m_category = 0;
};
