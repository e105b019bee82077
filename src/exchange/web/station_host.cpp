// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/web/station_host.h"

#include "station/station.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QTimer>

namespace exchange::web {
namespace {

// The page's key names in the core's key order (Key::btnRoutine ... Key::imgCH84).
constexpr std::array<std::string_view, KeyCount> kKeyNames{
    "routine", "safety", "urgency", "distress", "posreq", "group", "cover", "tx", "ptt",
    "esc", "ent", "up", "down",
    "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "clr", "ok",
    "ch16", "ch9", "ch23", "ch77", "ch84"};

Key keyOf(int pageKey)
{
    const std::string_view name = kPageKeys[size_t(pageKey)];
    for (int i = 0; i < KeyCount; ++i)
        if (kKeyNames[size_t(i)] == name)
            return static_cast<Key>(i);
    return Key::Count;
}

// The panel shows; a pause blocks this thread as it blocks the desktop's window; "let events run"
// runs what the page sent meanwhile (nested, as the desktop's window events).
class HostUi : public UiPort {
public:
    explicit HostUi(std::function<void()> repaint) : m_repaint(std::move(repaint)) {}
    void repaint() override { m_repaint(); }
    void processEvents() override { QCoreApplication::processEvents(); }
    void sleep(int ms) override { QThread::msleep(static_cast<unsigned long>(ms)); }
    void beep() override {}
    void errorBox(const QString& text) override { error(text); }
    QPoint windowPosition() const override { return {}; }
    void moveWindow(QPoint) override {}
    void openPlayer() override {}   // the message player is the desktop's: no page has one
    std::function<void(const QString&)> error;

private:
    std::function<void()> m_repaint;
};

class HostCues : public CuePort {
public:
    std::function<void(const QString&)> out;
    void play_cue(unsigned index) override
    {
        const QString file = StationHost::cueFile(index);
        if (!file.isEmpty())
            out(file);
    }
};

class HostDatagrams : public DatagramPort {
public:
    std::function<void(const QByteArray&)> out;
    // Whatever the address: a web station's records go to the relay inside the exchange.
    bool send(const QByteArray& payload, const QHostAddress&, quint16, bool, QString*) override
    {
        out(payload);
        return true;
    }
};

class HostClock : public ClockPort {
public:
    QTime utcTimeOfDay() const override { return QDateTime::currentDateTimeUtc().time(); }
};

class HostTimer : public TimerPort {
public:
    explicit HostTimer(std::function<void()> tick)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [tick = std::move(tick)] { tick(); });
    }
    void start(int intervalMs) override { m_timer.start(intervalMs); }
    void stop() override { m_timer.stop(); }
    bool running() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

// The voice chains of a station in the exchange: the receiver is the page playing the channel (the
// exchange's watch of the channels decodes it, as for the console's listen-in); the microphone is
// the page's, sent on the air by the exchange.
class HostVoice : public VoicePort {
public:
    HostVoice(int basePort, std::function<void(int)> listen, std::function<bool(int)> talk)
        : m_base(basePort), m_listen(std::move(listen)), m_talk(std::move(talk))
    {
    }
    bool openReceiver() override
    {
        m_open = true;
        m_count = 0;
        m_listen(m_rxPort - m_base);
        return true;
    }
    void closeReceiver() override
    {
        if (m_open)
            m_listen(0);
        m_open = false;
    }
    bool receiverActive() const override { return m_open; }
    void setReceiverPort(const QString& port) override
    {
        m_rxPort = port.toInt();
        if (m_open)
            m_listen(m_rxPort - m_base);
    }
    int receiverPort() const override { return m_rxPort; }
    long receiverCount() const override { return m_count; }
    // A payload the receiver delivered, as the desktop's receive chain notifies it.
    void heard()
    {
        if (!m_open)
            return;
        ++m_count;
        if (m_handler)
            m_handler();
    }
    void setSenderPort(const QString& port) override { m_txPort = port.toInt(); }
    void closeSender() override { m_talk(0); }
    bool openCapture() override { return m_talk(m_txPort); }
    void closeCapture() override { m_talk(0); }
    void setDataAvailableHandler(std::function<void()> handler) override { m_handler = std::move(handler); }

private:
    int m_base;
    std::function<void(int)> m_listen;
    std::function<bool(int)> m_talk;
    bool m_open = false;
    int m_rxPort = 0, m_txPort = 0;
    long m_count = 0;
    std::function<void()> m_handler;
};

class HostSettingsPort : public SettingsPort {
public:
    explicit HostSettingsPort(const HostSettings& s) : m_s(s) {}
    StationSettings load() override
    {
        StationSettings s;
        s.mmsi = m_s.mmsi;
        s.group = m_s.group;
        s.mode = 1;   // NETWORK: on the classroom's network
        s.base_port = m_s.basePort;
        return s;
    }
    QPoint windowPosition() override { return {}; }
    bool saveWindowPosition(QPoint) override { return true; }
    QString place() const override { return QStringLiteral("the exchange"); }

private:
    HostSettings m_s;
};

QJsonObject lineJson(int n, const LcdLine& l)
{
    return QJsonObject{{"n", n}, {"text", l.text}, {"bold", l.bold}, {"opaque", l.opaque}};
}

} // namespace

struct StationHost::Impl {
    Impl(const HostSettings& s, HostOutputs o)
        : out(std::move(o)), ui([this] { flush(); }), voice(s.basePort, out.listen, out.talk),
          timer([this] { station.timerTick(); }), settings(s),
          station(StationPorts{ui, cues, datagrams, clock, voice, timer, settings})
    {
        ui.error = out.error;
        cues.out = out.cue;
        datagrams.out = out.send;
    }
    // The model's changes since the last message, as one message; empty when nothing changed.
    QByteArray diff(bool whole)
    {
        const PanelModel& m = station.panel();
        QJsonObject msg{{"type", "panel"}};
        QJsonArray lines, keys;
        for (int n = 1; n <= 9; ++n)
            if (whole || !(m.label(n) == shown.label(n)))
                lines.append(lineJson(n, m.label(n)));
        for (int i = 0; i < KeyCount; ++i)
            if (whole || !(m.keys[size_t(i)] == shown.keys[size_t(i)]))
                keys.append(QJsonArray{i, m.keys[size_t(i)].picture, m.keys[size_t(i)].enabled});
        if (!lines.isEmpty())
            msg.insert("lines", lines);
        if (!keys.isEmpty())
            msg.insert("keys", keys);
        if (whole || m.led != shown.led)
            msg.insert("led", m.led);
        if (whole || m.lbl_info != shown.lbl_info)
            msg.insert("info", m.lbl_info);
        if (whole || m.lbl_mmsi != shown.lbl_mmsi || m.lbl_group != shown.lbl_group) {
            msg.insert("mmsi", m.lbl_mmsi);
            msg.insert("group", m.lbl_group);
        }
        if (whole || m.title != shown.title)
            msg.insert("title", m.title);
        shown = m;
        if (msg.size() == 1)
            return {};
        return QJsonDocument(msg).toJson(QJsonDocument::Compact);
    }
    void flush()
    {
        const QByteArray msg = diff(false);
        if (!msg.isEmpty())
            out.show(msg);
    }

    HostOutputs out;
    HostUi ui;
    HostCues cues;
    HostDatagrams datagrams;
    HostClock clock;
    HostVoice voice;
    HostTimer timer;
    HostSettingsPort settings;
    Station station;
    PanelModel shown;
    std::array<bool, KeyCount> held{};   // pressed by the page and not yet released
};

StationHost::StationHost(const HostSettings& settings, HostOutputs outputs)
    : d(std::make_unique<Impl>(settings, std::move(outputs)))
{
}

StationHost::~StationHost() = default;

void StationHost::start()
{
    d->station.create();
    d->station.show();
    d->flush();
}

void StationHost::close()
{
    d->station.close();
}

void StationHost::handle(const PageMessage& m)
{
    const Key k = m.key >= 0 ? keyOf(m.key) : Key::Count;
    const size_t i = static_cast<size_t>(k);
    switch (m.kind) {
    // As the window: a disabled key takes no press (nor, then, its release); a key held takes no
    // second press. Decided here, on the model as it is now, not as the page last saw it.
    case PageMessage::Kind::Down:
        if (d->held[i] || !d->station.panel().key(k).enabled)
            return;
        d->held[i] = true;
        d->station.mouseDown(k, Mods{m.alt, m.ctrl});
        break;
    case PageMessage::Kind::Up:
        if (!d->held[i])
            return;
        d->held[i] = false;
        d->station.mouseUp(k, Mods{m.alt, m.ctrl});
        break;
    case PageMessage::Kind::Enter: d->station.mouseEnter(k); break;
    case PageMessage::Kind::Leave: d->station.mouseLeave(k); break;
    case PageMessage::Kind::TalkEnd: break;
    }
    d->flush();   // what the handler left on the panel, as the window paints after an event
}

void StationHost::releaseAll()
{
    for (int i = 0; i < KeyCount; ++i)
        if (d->held[size_t(i)]) {
            d->held[size_t(i)] = false;
            d->station.mouseUp(static_cast<Key>(i), Mods{});
        }
    d->flush();
}

void StationHost::voiceHeard()
{
    d->voice.heard();
    d->flush();
}

void StationHost::receive(const QByteArray& datagram)
{
    d->station.receiveDatagram(datagram);
    d->flush();
}

QByteArray StationHost::wholePanel()
{
    return d->diff(true);
}

QByteArray StationHost::changes()
{
    return d->diff(false);
}

QJsonArray StationHost::keyNames()
{
    QJsonArray names;
    for (std::string_view n : kKeyNames)
        names.append(QString::fromLatin1(n.data(), qsizetype(n.size())));
    return names;
}

QString StationHost::cueFile(unsigned index)
{
    // The cue files beside the program, as the desktop station plays them.
    switch (index) {
    case 1: return QStringLiteral("btn1.wav");
    case 2: return QStringLiteral("btn2.wav");
    case 15: return QStringLiteral("alarm1.wav");
    case 16: return QStringLiteral("alarm4.wav");
    case 20: return QStringLiteral("tx.wav");
    default: return {};
    }
}

bool StationHost::isCueFile(const QString& name)
{
    return !name.isEmpty() && cueFiles().contains(name);
}

QJsonArray StationHost::cueFiles()
{
    QJsonArray files;
    for (unsigned i = 0; i <= 20; ++i)
        if (const QString f = cueFile(i); !f.isEmpty() && !files.contains(f))
            files.append(f);
    return files;
}

} // namespace exchange::web
