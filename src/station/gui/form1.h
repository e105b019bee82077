// SPDX-License-Identifier: GPL-3.0-or-later
// The station window: paints the station's panel model and hands the mouse on the panel keys to
// the station. It owns the station, its timer and its DSC listener for the program's whole life.
#pragma once

#include "net/dsc_listener.h"
#include "station/FileIni.h"
#include "station/paths.h"
#include "station/station.h"
#include "station/gui/artwork.h"
#include "station/gui/keyboard.h"
#include "station/gui/window_system.h"
#include "station/system_ports.h"

#include <QHash>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class Form1;

// The window as the station's handlers see it.
class WidgetUi : public UiPort {
public:
    explicit WidgetUi(Form1& form) : m_form(form) {}
    void repaint() override;
    void processEvents() override;
    void sleep(int ms) override;
    void beep() override;
    void errorBox(const QString& text) override;
    QPoint windowPosition() const override;
    void moveWindow(QPoint leftTop) override;
    void openPlayer() override;

private:
    Form1& m_form;
};

struct Form1Options {
    quint16 dscPort = DscListener::kDefaultPort;
    // Replace the modal message box (tests record the message instead).
    std::function<void(const QString&)> errorBox;
    // Opens the modal message player; returns when it has closed. Empty: nothing happens.
    std::function<void()> openPlayer;
    // Replaces the blocking pause of the handlers (tests look at the screen during it).
    std::function<void(int ms)> sleep;
};

class Form1 : public QWidget {
public:
    static constexpr int kClientWidth = 672;
    static constexpr int kClientHeight = 330;

    Form1(CuePort& cues, DatagramPort& dsc, ClockPort& clock, VoicePort& voice, const QString& programFolder,
          Form1Options options = {}, QWidget* parent = nullptr);
    Form1(CuePort& cues, DatagramPort& dsc, ClockPort& clock, VoicePort& voice, const StationPaths& paths,
          Form1Options options = {}, QWidget* parent = nullptr);
    ~Form1() override;

    Station& station() { return m_station; }
    const Station& station() const { return m_station; }
    bool dscReceptionAvailable() const { return m_listener.bound(); }
    quint16 dscPort() const { return m_listener.port(); }

    // Where each key sits on the panel, in client pixels, and which list its pictures come from.
    static QRect keyRect(Key k);
    static artwork::List keyList(Key k);
    static std::optional<Key> keyAt(QPoint clientPos);

    void setOpenPlayer(std::function<void()> open) { m_options.openPlayer = std::move(open); }

    // "Settings file: <path>", the tool tip of the window outside its keys.
    QString settingsFileHint() const;

    // How many times the whole window has been painted (the benchmarks count paints per second).
    long paintCount() const { return m_paints; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void keyReleaseEvent(QKeyEvent*) override;
    bool event(QEvent*) override;   // tool tips: a panel key's keyboard key, elsewhere the settings file
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void changeEvent(QEvent*) override;   // minimised, or no longer the active window
    void focusOutEvent(QFocusEvent*) override;
    void closeEvent(QCloseEvent*) override;

private:
    friend class WidgetUi;
    void hoverTo(std::optional<Key> k);
    void showHint(QPoint at, QPoint globalAt);   // the tool tip for a place on the panel
    // Lets go of every panel key a keyboard key or the mouse holds, as a hand taken off the
    // keyboard does: the window no longer gets their releases (another window has the keyboard,
    // the window is minimised, hidden or closing, a dialog is up).
    void releaseHeldKeys();
    bool showsModel() const;     // the window shows the model as it is now
    bool noteModelShown();       // takes the model as the one painted; false when it was already
    void paintNowIfChanged();    // "repaint the window": at once, if the model changed since the last paint
    void updateIfChanged();      // paint once back in the event loop, if the model changed
    const QPixmap& artworkPixmap(qreal dpr);
    const QPixmap& cellPixmap(artwork::List list, int index);
    void paintLcd(QPainter& p);
    void paintLabels(QPainter& p);

    Form1Options m_options;
    WidgetUi m_ui{*this};
    QtTimer m_rxTimer;
    IniSettings m_settingsFile;   // the station's settings source: radiosim.ini
    Station m_station;
    DscListener m_listener;
    std::optional<Key> m_pressed;   // the key that took the press gets the release
    Mods m_pressedMods;             // with the Alt and Ctrl of its press, should the window let go
    std::optional<Key> m_hovered;
    QTimer m_hintTimer;
    std::unique_ptr<KeyboardFocusWatch> m_focusWatch;   // held keys let go the moment the focus goes   // the pointer's hint once it rests after coming back over the window
    std::map<int, KeyboardPress> m_keyboardPressed;   // keyboard key -> the panel key it pressed
    bool m_shown = false;

    // What the window shows: the model as of the last paint asked for.
    PanelModel m_painted;
    bool m_paintedValid = false;
    long m_paints = 0;
    // The static artwork and the key pictures, rendered once per device pixel ratio.
    QPixmap m_artwork;
    QHash<int, QPixmap> m_cells;
};
