// The station: every handler and routine of the panel, the DSC traffic and the voice channel,
// each a short public method under its own name. The state lives in small owners behind it: the
// panel view (LCD and key pictures), the composer (what the keypad typed), the distress menu, the
// panel state, the data remembered for a reply, the DSC transmission, the voice panel, the settings. It never touches a widget; the window reads the
// panel model it exposes.
#pragma once

#include "dsc/reception.h"
#include "dsc/transmission.h"
#include "panel/composer.h"
#include "panel/distress_menu.h"
#include "panel/panel_state.h"
#include "panel/panel_view.h"
#include "station/voice_panel.h"
#include "station/FileIni.h"
#include "station/paths.h"
#include "station/ports.h"
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
};

class Station {
public:
    // `programFolder` is the folder of the executable: settings file, cues and "example" live there.
    Station(StationPorts ports, const QString& programFolder);
    Station(StationPorts ports, StationPaths paths);

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

    // ---- mouse on keys (dispatch, station/keys.cpp)
    void mouseDown(Key k, Mods mods);
    void mouseUp(Key k, Mods mods);
    void mouseEnter(Key k);
    void mouseLeave(Key k);

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
    QByteArray build_individual_call() const;
    QByteArray build_group_call() const;
    QByteArray build_all_ships_call(int category) const;
    QByteArray build_distress_alert() const;
    QByteArray build_distress_ack() const;
    QByteArray build_individual_ack(bool able) const;
    QByteArray build_position_request() const;
    QByteArray build_position_reply() const;
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
    int current_voice_channel() const;   // receiver port minus base_port
    static Key channel_key(int channel);  // 9, 16, 23, 77, 84 to their key, anything else imgCH16
    static int key_channel(Key channelKey);

    // ---- what the window, the test control and the tests read
    const PanelModel& panel() const { return m_view.model(); }
    const PanelState& state() const { return m_state; }
    const Composer& composer() const { return m_composer; }
    const DistressMenu& distress() const { return m_distress; }
    const StationSettings& settings() const { return m_settings; }
    const dsc::ReceivedRecord& received() const { return m_rx; }
    const ReplyMemory& replies() const { return m_replies; }
    const StationCounters& counters() const { return m_counters; }
    long rx_last_count() const { return m_voice.rx_last_count(); }

    const StationPaths& paths() const { return m_paths; }
    QString iniPath() const { return m_paths.settingsFile; }

private:
    friend class StationProbe;   // tests: sets a state directly where the keys would take long

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
    StationPaths m_paths;
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
