// The station window: paints the station's panel model and hands the mouse on the panel keys to
// the station. It owns the station, its timer and its DSC listener for the program's whole life.
#pragma once

#include "dsc/dsc_listener.h"
#include "station/station.h"
#include "station/system_ports.h"

#include <QWidget>
#include <functional>
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
};

class Form1 : public QWidget {
public:
    static constexpr int kClientWidth = 672;
    static constexpr int kClientHeight = 330;

    Form1(CuePort& cues, DatagramPort& dsc, ClockPort& clock, VoicePort& voice, const QString& programFolder,
          Form1Options options = {}, QWidget* parent = nullptr);
    ~Form1() override;

    Station& station() { return m_station; }
    const Station& station() const { return m_station; }
    bool dscReceptionAvailable() const { return m_listener.bound(); }

    // Where each key sits on the panel, in client pixels.
    static QRect keyRect(Key k);
    static std::optional<Key> keyAt(QPoint clientPos);

    void setOpenPlayer(std::function<void()> open) { m_options.openPlayer = std::move(open); }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void showEvent(QShowEvent*) override;
    void closeEvent(QCloseEvent*) override;

private:
    friend class WidgetUi;
    void hoverTo(std::optional<Key> k);
    void paintLcd(QPainter& p);
    void paintLabels(QPainter& p);

    Form1Options m_options;
    WidgetUi m_ui{*this};
    QtTimer m_rxTimer;
    Station m_station;
    DscListener m_listener;
    std::optional<Key> m_pressed;   // the key that took the press gets the release
    std::optional<Key> m_hovered;
    bool m_shown = false;
};
