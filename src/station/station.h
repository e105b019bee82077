// SPDX-License-Identifier: GPL-3.0-or-later
// The station's core: the panel's state machine, the DSC traffic and the voice channel behind a few
// entry points (the life cycle, a key pressed and released, the pointer over a key, a datagram in,
// the receive timer's tick; voice notifications come through the voice port) and a few outputs (the
// panel model, the panel state and the counters read here; cues, records to send, the voice chains,
// pauses and "let events run" through the ports). Every handler and routine keeps its own name as a
// private method; the state lives in small owners behind it: the panel view (LCD and key pictures),
// the composer (what the keypad typed), the distress menu, the panel state, the data remembered for
// a reply, the voice panel, the settings. It knows no window and no socket: a front-end (the desktop
// window, a web session) gives it its ports and drives it, each station on a thread of its own, since
// a pause blocks that thread.
#pragma once

#include "dsc/reception.h"
#include "dsc/transmission.h"
#include "panel/composer.h"
#include "panel/distress_menu.h"
#include "panel/panel_state.h"
#include "panel/panel_view.h"
#include "station/ports.h"
#include "station/settings.h"
#include "station/voice_panel.h"
#include "wire/record.h"

#include <QString>

// Modifier keys of a mouse event.
struct Mods {
    bool alt = false;
    bool ctrl = false;
};

// Sound cue indices.
enum Cue : unsigned {
    cue_click = 1,
    cue_refuse = 2,
    cue_call_alarm = 15,
    cue_entry_error = 16,
    cue_tx = 20,
};

// What the station did with the network, for automated classroom runs.
struct StationCounters {
    qint64 datagrams_handled = 0;   // datagrams taken to the decoding
    qint64 records_sent = 0;        // records that left the station
    qint64 voices_heard = 0;        // receive indications started: a voice began to arrive
};

struct StationPorts {
    UiPort& ui;
    CuePort& cues;
    DatagramPort& dsc;
    ClockPort& clock;
    VoicePort& voice;
    TimerPort& rxTimer;
    SettingsPort& settings;
};

class Station {
public:
    explicit Station(StationPorts ports);

    // ---- entry points
    // The life cycle: created (settings read, the idle panel), first shown (the window placed, the
    // receiver opened on channel 16), closed (false when the window position could not be kept;
    // the station closes all the same).
    void create() { FormCreate(); }
    void show() { FormShow(); }
    bool close() { return FormClose(); }
    // A panel key pressed and released with the modifiers held (station/keys.cpp); the pointer
    // entering or leaving a key shows or clears its hint.
    void mouseDown(Key k, Mods mods);
    void mouseUp(Key k, Mods mods);
    void mouseEnter(Key k);
    void mouseLeave(Key k);
    void receiveDatagram(const QByteArray& datagram) { IdUDPServer1UDPRead(datagram); }
    void timerTick() { RXTimerTimer(); }   // the receive timer the station started on its TimerPort

    // ---- outputs
    const PanelModel& panel() const { return m_view.model(); }   // LCD lines, key pictures, lamp, title
    const PanelState& state() const { return m_state; }          // which screen, as the logs number it
    const StationCounters& counters() const { return m_counters; }
    int current_voice_channel() const;   // receiver port minus base_port

private:
    friend class StationProbe;   // tests: reads and sets a state directly where the keys would take long

    // ---- life cycle (station/lifecycle.cpp)
    void FormCreate();
    void FormShow();
    bool FormClose();   // false when the window position could not be written (the window closes all the same)

    // ---- panel routines (station/lcd.cpp)
    void Inizializza_label();
    void show_idle_screen();
    void write_idle_picture();   // lines 3 to 5 of the idle picture, without clearing first
    void blocca_tasti_chiamate();
    void abilita_tasti_chiamate();
    void enable_tx_key();
    void disable_tx_key();
    void reset_channel_key_images();
    void clear_pending_replies();
    void show_key_hint(int kind);
    void clear_key_hint();
    void set_key_picture(Key k, int picture);
    void set_key_enabled(Key k, bool enabled);
    void set_line(int n, const QString& text, bool bold = false);
    void repaint();
    void sleep(int ms);
    void play_cue(unsigned index);

    // ---- composition menus and navigation keys (station/menu.cpp)
    void callKeyMouseDown(Key k);
    void callKeyMouseUp(Key k, Mods mods);
    void btnGroupMouseUp();
    void btnPosReqMouseUp();
    void show_individual_call(int category);
    void show_all_ships_call(int category);
    void show_group_call();
    void show_position_request();
    void imgESCMouseDown();
    void imgENTMouseDown();
    void imgUPMouseDown();
    void imgDWMouseDown();
    void navKeyMouseUp(Key k);

    // ---- keypad (station/controlli.cpp)
    void num1MouseDown(int tag);   // shared handler of num0..num11
    void num1MouseUp(int tag);
    void scrivi_label(int tag);
    bool channel_valid() const;
    bool group_id_valid() const;
    void show_individual_ready();
    void show_group_ready();
    void show_position_request_ready();

    // ---- distress alert (station/distress.cpp)
    void btnDistress2MouseDown();
    void btnDistress2MouseUp();
    void start_distress_alert();
    void show_nature_menu(int index);
    void show_distress_data();
    void show_distress_send();

    // ---- transmission (station/chiamate.cpp)
    void btnTXMouseDown();
    void btnTXMouseUp();
    void tx_action();
    void end_transmission();   // the common ending of a transmission
    bool send_record(const QByteArray& text);
    QByteArray utc_time_text() const;   // "hh:mm"

    // ---- reception (station/ricezione.cpp)
    void IdUDPServer1UDPRead(const QByteArray& datagram);
    void Mostra_Dati_ricevuti();

    // ---- acknowledgements and replies (station/risposte.cpp)
    void reply_to_received_call();
    void mostra_tipo_ack(int choice);
    void show_individual_ack();

    // ---- voice channel (station/voice_keys.cpp)
    void btnAudioMouseDown(Mods mods);
    void btnAudioMouseUp();
    void imgCH16MouseDown(Key channelKey);
    void select_voice_channel(Key channelKey);
    void BroadcastRXDataAvailable();
    void RXTimerTimer();
    static Key channel_key(int channel);  // 9, 16, 23, 77, 84 to their key, anything else imgCH16

    bool take_release(Key k, int pauseMs);   // false for a locked key (station/keys.cpp)
    // keypad entry (station/controlli.cpp)
    void mmsi_key(int tag, const QString& prefix);
    void move_to_channel(PanelMode next);
    void channel_entry_key(int tag, void (Station::*drawReady)(), const QString& refusedLine);
    // composition and lists (station/menu.cpp)
    void start_composition(PanelMode mode, bool keepChannel = false);
    void move_cursor(int step);
    // what the builders read (station/chiamate.cpp)
    dsc::CallInputs tx_inputs() const;
    void spend(dsc::Spent spent);
    // the received-call screens (station/ricezione.cpp)
    void show_received(dsc::ReceivedScreen screen, const dsc::DscRecord& r);
    void received_not_for_us(bool letEventsRun);
    void received_individual_call(const dsc::DscRecord& r);
    void received_position_reply(const dsc::DscRecord& r);
    void received_position_request(const dsc::DscRecord& r);
    void received_group_call(const dsc::DscRecord& r);
    void received_all_ships_call(const dsc::DscRecord& r);
    void received_distress_alert(const dsc::DscRecord& r);
    void received_distress_ack(const dsc::DscRecord& r);
    void received_individual_ack(const dsc::DscRecord& r);

    StationPorts m_ports;
    PanelView m_view;
    PanelState m_state;
    Composer m_composer;
    DistressMenu m_distress;
    StationSettings m_settings;
    dsc::ReceivedRecord m_rx;
    ReplyMemory m_replies;
    StationCounters m_counters;
    VoicePanel m_voice;
    bool m_destroying = false;
};
