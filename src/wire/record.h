// SPDX-License-Identifier: GPL-3.0-or-later
// The DSC call record: fourteen fixed-width text fields that travel as one line of text
// in one UDP datagram ("TXMMSI=...,RXMMSI=...,...,COMPLY=Y"), one byte per character.
#pragma once

#include <QByteArray>
#include <QString>
#include <array>

namespace dsc {

// CALL values, always eight characters.
inline const QByteArray CALL_INDIVID = "INDIVID ";
inline const QByteArray CALL_GROUP = "GROUP   ";
inline const QByteArray CALL_ALLSHIPS = "ALLSHIPS";
inline const QByteArray CALL_DISTRESS = "DISTRESS";

// CATEGORY values, always eight characters.
inline const QByteArray CAT_ROUTINE = "ROUTINE ";
inline const QByteArray CAT_SAFETY = "SAFETY  ";
inline const QByteArray CAT_URGENCY = "URGENCY ";
inline const QByteArray CAT_DISTRESS = "DISTRESS";
inline const QByteArray CAT_DIST_ACK = "DIST_ACK";
inline const QByteArray CAT_ROUT_ACK = "ROUT_ACK";
inline const QByteArray CAT_POS_REQ = "POS_REQ ";
inline const QByteArray CAT_POS_ACK = "POS_ACK ";

inline const QByteArray ALL_SHIPS_MMSI = "999999999";

// The fourteen fields in wire order. Values are held exactly as on the wire.
struct DscRecord {
    QByteArray TXMMSI, RXMMSI, CALL, CATEGORY, DANGER, LATD, LATM, NS, LOND, LONM, EW, TIME, CH, COMPLY;
};

// One field of the record: its key with the equals sign, its width on the wire, its member.
struct Field {
    const char* key;
    int width;
    QByteArray DscRecord::*member;
};

// The fourteen fields in wire order.
inline const std::array<Field, 14> kFields{{
    {"TXMMSI=", 9, &DscRecord::TXMMSI},
    {"RXMMSI=", 9, &DscRecord::RXMMSI},
    {"CALL=", 8, &DscRecord::CALL},
    {"CATEGORY=", 8, &DscRecord::CATEGORY},
    {"DANGER=", 2, &DscRecord::DANGER},
    {"LATD=", 2, &DscRecord::LATD},
    {"LATM=", 2, &DscRecord::LATM},
    {"NS=", 1, &DscRecord::NS},
    {"LOND=", 3, &DscRecord::LOND},
    {"LONM=", 2, &DscRecord::LONM},
    {"EW=", 1, &DscRecord::EW},
    {"TIME=", 5, &DscRecord::TIME},
    {"CH=", 2, &DscRecord::CH},
    {"COMPLY=", 1, &DscRecord::COMPLY},
}};

// The station's one received call record: the wire fields plus the received text.
struct ReceivedRecord : DscRecord {
    QByteArray rx_text;
};

// A record without nature, position or time ("00", no position, "00:00"): the common shape of most calls.
DscRecord plain_record(const QByteArray& txmmsi, const QByteArray& rxmmsi, const QByteArray& call,
                       const QByteArray& category, const QByteArray& channel, const QByteArray& comply = "N");

// A distress acknowledgement repeats the alert's nature, position and time exactly as received (a
// one-digit nature keeps its comma). `Alert` is any record-like type with those fields.
template <typename Alert>
void repeat_alert_data(const Alert& alert, DscRecord& ack)
{
    ack.DANGER = alert.DANGER;
    ack.LATD = alert.LATD;
    ack.LATM = alert.LATM;
    ack.NS = alert.NS;
    ack.LOND = alert.LOND;
    ack.LONM = alert.LONM;
    ack.EW = alert.EW;
    ack.TIME = alert.TIME;
}

// Writes the fourteen pairs in wire order, each value exactly as given (no filling).
QByteArray compose(const DscRecord& r);

// Fills `r` from a received text. Never fails, whatever the bytes.
void Decodifica_stringa(const QByteArray& text, DscRecord& r);

// Name of a nature-of-distress code; leaves `name` as it was for codes without one.
void nature_name(int code, QString& name);
QString nature_name(int code);

// The leading decimal number of a text, as the station reads DANGER and CH:
// leading spaces skipped, an optional sign, the digits up to the first other character; 0 if none.
int leading_number(const QByteArray& text);

// The VHF working channels a call may name: 1 to 28 and 60 to 88, except 70, the DSC channel.
bool allowed_working_channel(int channel);

// The voice channel a station is on after selecting `channel`: the panel has keys for 9, 16, 23, 77
// and 84; any other channel leaves it on 16.
int voice_channel_heard(int channel);

// Received bytes shown on the LCD: one byte one character, bytes above 127 as Windows-1252.
QString cp1252(const QByteArray& bytes);

} // namespace dsc
