// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/gui/form1.h"

#include "station/gui/artwork.h"
#include "station/gui/window_system.h"

#include <QAbstractEventDispatcher>
#include <QDir>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QMessageBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QToolTip>
#include <QPainter>
#include <QThread>

// ---- the window as the handlers see it

void WidgetUi::repaint() { m_form.paintNowIfChanged(); }

// "Let the window repaint": what the handler changed is painted first, so it stays visible
// during a pause that follows; then the pending window events run (they may nest handlers).
void WidgetUi::processEvents()
{
    m_form.paintNowIfChanged();
    QCoreApplication::processEvents();
}

void WidgetUi::sleep(int ms)
{
    if (m_form.m_options.sleep)
        m_form.m_options.sleep(ms);
    else if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}
void WidgetUi::beep() { QApplication::beep(); }
void WidgetUi::errorBox(const QString& text)
{
    if (m_form.m_options.errorBox)
        m_form.m_options.errorBox(text);
    else
        QMessageBox::critical(&m_form, QApplication::applicationDisplayName(), text);
}
QPoint WidgetUi::windowPosition() const { return m_form.pos(); }
void WidgetUi::moveWindow(QPoint leftTop) { m_form.move(leftTop); }
void WidgetUi::openPlayer()
{
    if (m_form.m_options.openPlayer)
        m_form.m_options.openPlayer();
}

// ---- geometry

namespace {
using artwork::List;

struct KeyPlace {
    Key key;
    QRect rect;
};

// The keypad: tags row by row, four rows of three.
constexpr int kKeypadRows[] = {21, 48, 75, 103};
constexpr int kKeypadColumns[] = {510, 556, 602};
constexpr int kKeypadTags[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 11};

const std::array<QRect, KeyCount>& keyRects()
{
    static const std::array<QRect, KeyCount> rects = [] {
        std::array<QRect, KeyCount> r{};
        auto set = [&r](Key k, int x, int y, int w, int h) { r[static_cast<int>(k)] = QRect(x, y, w, h); };
        set(Key::btnRoutine, 318, 17, 85, 35);
        set(Key::btnSafety, 404, 17, 85, 35);
        set(Key::btnUrgency, 318, 58, 85, 35);
        set(Key::btnDistress, 404, 58, 85, 35);
        set(Key::btnPosReq, 318, 99, 85, 35);
        set(Key::btnGroup, 409, 99, 85, 35);
        set(Key::btnDistress2, 335, 153, 140, 50);
        set(Key::btnTX, 512, 136, 140, 40);
        set(Key::btnAudio, 512, 178, 140, 40);
        const Key nav[] = {Key::imgESC, Key::imgENT, Key::imgUP, Key::imgDW};
        const int navX[] = {15, 84, 164, 233};
        for (int i = 0; i < 4; ++i)
            set(nav[i], navX[i], 254, 65, 26);
        const int chX[] = {335, 399, 463, 527, 592};
        for (int i = 0; i < int(kChannelKeys.size()); ++i)
            set(kChannelKeys[i].key, chX[i], 253, 65, 26);
        for (int i = 0; i < 12; ++i)
            set(keypadKey(kKeypadTags[i]), kKeypadColumns[i % 3], kKeypadRows[i / 3], 42, 23);
        return r;
    }();
    return rects;
}

const QRect kLed(628, 296, 30, 30);

// The LCD lines: tops, and the two fixed entry boxes.
constexpr int kLineTops[9] = {35, 52, 69, 87, 104, 121, 139, 156, 182};
constexpr int kLcdLeft = 37;
const QColor kLcdInk(0, 0, 128);   // navy

QFont lcdFont(bool bold)
{
    QFont f = artwork::panelFont({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"),
                                  QStringLiteral("DejaVu Sans Mono")},
                                 QFont::Monospace, 13, bold);
    f.setFixedPitch(true);
    return f;
}

QFont labelFont(int px, bool bold = false)
{
    return artwork::panelFont({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                               QStringLiteral("DejaVu Sans")},
                              QFont::SansSerif, px, bold);
}

Mods modsOf(const QMouseEvent* e)
{
    return Mods{e->modifiers().testFlag(Qt::AltModifier), e->modifiers().testFlag(Qt::ControlModifier)};
}
} // namespace

QRect Form1::keyRect(Key k)
{
    return keyRects()[static_cast<int>(k)];
}

List Form1::keyList(Key k)
{
    if (isCallKey(k))
        return List::ImageList3;
    if (k == Key::btnDistress2)
        return List::ImageList4;
    if (k == Key::btnTX || k == Key::btnAudio)
        return List::ImageList1;
    if (k >= Key::imgESC && k <= Key::imgDW)
        return List::ImageList2;
    if (k >= Key::num0 && k <= Key::num11)
        return List::ImgL_numeri;
    return List::ImageList5;
}

std::optional<Key> Form1::keyAt(QPoint pos)
{
    for (int i = 0; i < KeyCount; ++i)
        if (keyRects()[i].contains(pos))
            return static_cast<Key>(i);
    return std::nullopt;
}

// ---- the window

Form1::Form1(CuePort& cues, DatagramPort& dsc, ClockPort& clock, VoicePort& voice, const QString& programFolder,
             Form1Options options, QWidget* parent)
    : Form1(cues, dsc, clock, voice, StationPaths::beside(programFolder), std::move(options), parent)
{
}

Form1::Form1(CuePort& cues, DatagramPort& dsc, ClockPort& clock, VoicePort& voice, const StationPaths& paths,
             Form1Options options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_options(std::move(options)),
      m_rxTimer([this] {
          m_station.timerTick();
          paintNowIfChanged();
      }),
      m_settingsFile(paths.settingsFile),
      m_station(StationPorts{m_ui, cues, dsc, clock, voice, m_rxTimer, m_settingsFile}),
      m_listener([this](const QByteArray& datagram) {
          m_station.receiveDatagram(datagram);
          paintNowIfChanged();
      })
{
    setFixedSize(kClientWidth, kClientHeight);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);   // the panel can be worked from the keyboard
    ask_for_whole_key_holds();          // a held key is one press, whatever the key repeat does
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::black);
    setPalette(pal);
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_hintTimer.setSingleShot(true);
    connect(&m_hintTimer, &QTimer::timeout, this, [this] {
        if (underMouse() && isActiveWindow() && !QToolTip::isVisible())
            showHint(mapFromGlobal(QCursor::pos()), QCursor::pos());
    });

    // DSC reception is on from the moment the window is built. Without it the station still
    // works as a trainer for composing and sending; the trainee is told why nothing arrives.
    if (!m_listener.bind(m_options.dscPort))
        m_ui.errorBox(QStringLiteral("DSC reception is unavailable: UDP port %1 is already in use "
                                     "(is another station running on this PC?)\n\n%2")
                          .arg(m_options.dscPort)
                          .arg(m_listener.errorText()));

    m_station.create();
    setWindowTitle(m_station.panel().title);
    // Placed where it was before the window system has it: a window manager takes the first place
    // of a new window as its frame's, as the position is saved, but a place given once the window
    // exists as its client area's (it would walk up by its title bar at every start). The first
    // showing puts it there again, which then changes nothing.
    move(m_settingsFile.windowPosition());

    // Every handler the window starts ends with what it changed painted (an input event queued
    // meanwhile, such as the release of a key, may run a pause at once). For anything else that
    // changes the model (a voice notification, the player closing, the test control), the change is
    // painted as soon as the thread waits for its next event.
    if (QAbstractEventDispatcher* loop = QAbstractEventDispatcher::instance(thread()))
        connect(loop, &QAbstractEventDispatcher::aboutToBlock, this, &Form1::updateIfChanged);
}

Form1::~Form1() = default;

void Form1::showEvent(QShowEvent*)
{
    if (!m_focusWatch)
        m_focusWatch = std::make_unique<KeyboardFocusWatch>(winId(), [this] {
            QMetaObject::invokeMethod(this, &Form1::releaseHeldKeys, Qt::QueuedConnection);
        });
    if (m_shown)
        return;
    m_shown = true;
    m_station.show();
    updateIfChanged();
}

void Form1::hideEvent(QHideEvent*)
{
    releaseHeldKeys();
}

void Form1::changeEvent(QEvent* e)
{
    if ((e->type() == QEvent::ActivationChange && !isActiveWindow())
        || (e->type() == QEvent::WindowStateChange && isMinimized()))
        releaseHeldKeys();
    QWidget::changeEvent(e);
}

void Form1::focusOutEvent(QFocusEvent* e)
{
    releaseHeldKeys();
    QWidget::focusOutEvent(e);
}

void Form1::releaseHeldKeys()
{
    std::vector<KeyboardPress> held;
    for (const auto& [qtKey, press] : m_keyboardPressed)
        held.push_back(press);
    m_keyboardPressed.clear();
    if (m_pressed)
        held.push_back(KeyboardPress{*m_pressed, m_pressedMods});
    m_pressed.reset();
    for (const KeyboardPress& press : held)
        m_station.mouseUp(press.key, press.mods);
    if (!held.empty())
        paintNowIfChanged();
}

void Form1::closeEvent(QCloseEvent* e)
{
    releaseHeldKeys();   // off the air before the window goes
    // The station reports a position it could not save itself; the window closes in any case.
    m_station.close();
    e->accept();
}

void Form1::mousePressEvent(QMouseEvent* e)
{
    const std::optional<Key> k = keyAt(e->position().toPoint());
    // A disabled key takes no mouse events at all, so it does not capture the release either.
    if (!k || !m_station.panel().key(*k).enabled)
        return;
    m_pressed = k;
    m_pressedMods = modsOf(e);
    m_station.mouseDown(*k, m_pressedMods);
    paintNowIfChanged();
}

void Form1::mouseReleaseEvent(QMouseEvent* e)
{
    if (!m_pressed)
        return;
    const Key k = *m_pressed;
    m_pressed.reset();
    m_station.mouseUp(k, modsOf(e));
    paintNowIfChanged();
}

// A key of the keyboard works its panel key as the mouse does: press, then release (a key held
// down is one press); a disabled panel key ignores it. A key already down when the window got the
// keyboard (its first press went to another window, or came while a dialog was closing) arrives
// as a repeat: the first of its repeats is its press.
void Form1::keyPressEvent(QKeyEvent* e)
{
    const std::optional<KeyboardPress> press = panelKeyFor(e->key(), e->modifiers());
    if (!press) {
        QWidget::keyPressEvent(e);
        return;
    }
    if (m_keyboardPressed.count(e->key()) || !m_station.panel().key(press->key).enabled)
        return;
    m_keyboardPressed[e->key()] = *press;
    m_station.mouseDown(press->key, press->mods);
    paintNowIfChanged();
}

void Form1::keyReleaseEvent(QKeyEvent* e)
{
    const auto it = m_keyboardPressed.find(e->key());
    if (it == m_keyboardPressed.end()) {
        QWidget::keyReleaseEvent(e);
        return;
    }
    if (e->isAutoRepeat())
        return;
    const KeyboardPress press = it->second;
    m_keyboardPressed.erase(it);
    m_station.mouseUp(press.key, press.mods);
    paintNowIfChanged();
}

QString Form1::settingsFileHint() const
{
    return QStringLiteral("Settings file: ") + QDir::toNativeSeparators(m_settingsFile.path());
}

bool Form1::event(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        showHint(help->pos(), help->globalPos());
        return true;
    }
    return QWidget::event(e);
}

// A panel key's keyboard key over the key, the settings file elsewhere; nothing over a key that
// has no keyboard key.
void Form1::showHint(QPoint at, QPoint globalAt)
{
    const std::optional<Key> k = keyAt(at);
    const QString hint = k ? keyboardHint(*k) : QString();
    if (!hint.isEmpty()) // under the key, where the pointer does not run into it on the key
        QToolTip::showText(globalAt + QPoint(0, keyRect(*k).bottom() + 1 - at.y()), hint, this, keyRect(*k));
    else if (!k)
        QToolTip::showText(globalAt, settingsFileHint(), this);
    else
        QToolTip::hideText();
}

void Form1::mouseMoveEvent(QMouseEvent* e)
{
    const std::optional<Key> k = keyAt(e->position().toPoint());
    // A tool tip up follows the pointer from key to key at once: the one it leaves is on its way
    // out, and the toolkit would not bring up the next while the pointer rests.
    if (k != m_hovered && QToolTip::isVisible())
        showHint(e->position().toPoint(), e->globalPosition().toPoint());
    hoverTo(k);
}

// The pointer back over the window from another one (a tool tip it ran into, which then went)
// may rest where it is: its hint comes as after a move, at the toolkit's usual delay.
void Form1::enterEvent(QEnterEvent* e)
{
    hoverTo(keyAt(e->position().toPoint()));
    m_hintTimer.start(700);
}

void Form1::leaveEvent(QEvent*)
{
    m_hintTimer.stop();
    hoverTo(std::nullopt);
}

void Form1::hoverTo(std::optional<Key> k)
{
    if (k == m_hovered)
        return;
    if (m_hovered)
        m_station.mouseLeave(*m_hovered);
    m_hovered = k;
    if (k)
        m_station.mouseEnter(*k);
    updateIfChanged();
}

// ---- painting

bool Form1::showsModel() const
{
    return m_paintedValid && m_station.panel().looksLike(m_painted);
}

// The model is noted as shown when its paint is asked for: a change made before an asked-for
// paint happens is painted with it, and one made after it asks for a paint of its own.
bool Form1::noteModelShown()
{
    if (showsModel())
        return false;
    m_painted = m_station.panel();
    m_paintedValid = true;
    return true;
}

void Form1::paintNowIfChanged()
{
    if (noteModelShown())
        repaint();
}

void Form1::updateIfChanged()
{
    if (noteModelShown())
        update();
}

const QPixmap& Form1::artworkPixmap(qreal dpr)
{
    if (m_artwork.isNull() || m_artwork.devicePixelRatio() != dpr) {
        m_cells.clear();
        m_artwork = QPixmap(QSize(kClientWidth, kClientHeight) * dpr);
        m_artwork.setDevicePixelRatio(dpr);
        m_artwork.fill(Qt::black);
        QPainter p(&m_artwork);
        artwork::paintPanel(p);
    }
    return m_artwork;
}

// Cleared with the artwork when the device pixel ratio changes.
const QPixmap& Form1::cellPixmap(List list, int index)
{
    const int id = static_cast<int>(list) * 100 + index;
    auto it = m_cells.find(id);
    if (it == m_cells.end()) {
        const qreal dpr = m_artwork.devicePixelRatio();
        QPixmap cell(artwork::cellSize(list) * dpr);
        cell.setDevicePixelRatio(dpr);
        cell.fill(Qt::transparent);
        QPainter p(&cell);
        artwork::paintCell(p, list, index, QRectF(QPointF(0, 0), artwork::cellSize(list)));
        it = m_cells.insert(id, cell);
    }
    return *it;
}

void Form1::paintEvent(QPaintEvent*)
{
    const PanelModel& panel = m_station.panel();
    if (windowTitle() != panel.title)
        setWindowTitle(panel.title);

    QPainter p(this);
    // The ratio of what is painted on: the screen, or a picture of another ratio (a screenshot).
    p.drawPixmap(0, 0, artworkPixmap(p.device()->devicePixelRatioF()));

    for (int i = 0; i < KeyCount; ++i) {
        const KeyView& view = panel.keys[i];
        if (view.picture < 0)
            continue;   // the artwork underneath shows the key released
        const List list = keyList(static_cast<Key>(i));
        const QRect place = keyRects()[i];
        p.save();
        p.setClipRect(place);
        p.drawPixmap(place.topLeft(), cellPixmap(list, view.picture));
        p.restore();
    }
    if (panel.led >= 0) {
        p.save();
        p.setClipRect(kLed);
        p.drawPixmap(kLed.topLeft(), cellPixmap(List::imgList_status, panel.led));
        p.restore();
    }
    paintLcd(p);
    paintLabels(p);
    ++m_paints;
}

void Form1::paintLcd(QPainter& p)
{
    const PanelModel& panel = m_station.panel();
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing);
    for (int n = 1; n <= 9; ++n) {
        const LcdLine& line = panel.label(n);
        const bool entryBox = n == 3 || n == 5;
        p.setFont(lcdFont(line.bold));
        const QFontMetrics fm(p.font());
        const int top = kLineTops[n - 1];
        const QRect box = entryBox ? QRect(kLcdLeft, top, 251, 19)
                                   : QRect(kLcdLeft, top, fm.horizontalAdvance(line.text) + 1, fm.height());
        if (line.opaque)
            p.fillRect(box, Qt::white);
        if (line.text.isEmpty())
            continue;
        p.setPen(kLcdInk);
        p.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, line.text);
    }
    p.restore();
}

void Form1::paintLabels(QPainter& p)
{
    const PanelModel& panel = m_station.panel();
    p.save();
    p.setRenderHint(QPainter::TextAntialiasing);
    auto text = [&p](int x, int y, const QString& s, const QFont& f, QColor c) {
        p.setFont(f);
        p.setPen(c);
        p.drawText(QRect(x, y, 400, 20), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip, s);
    };
    const QColor captionInk(170, 174, 180);
    const QColor valueInk(235, 238, 240);
    text(8, 304, QStringLiteral("MMSI :"), labelFont(11, true), captionInk);
    text(58, 302, panel.lbl_mmsi, labelFont(13, true), valueInk);
    text(160, 304, QStringLiteral("GROUP :"), labelFont(11, true), captionInk);
    text(220, 302, panel.lbl_group, labelFont(13, true), valueInk);
    text(342, 304, panel.lbl_info, labelFont(11), QColor(141, 138, 22));
    // lbl_debug1 and lbl_debug2 stand at x = 688, beyond the client area: never painted.
    p.restore();
}
