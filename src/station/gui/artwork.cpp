// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/gui/artwork.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <QStringList>
#include <array>

namespace artwork {

QFont panelFont(const QStringList& families, QFont::StyleHint hint, int px, bool bold)
{
    QFont f;
    f.setFamilies(families);
    f.setStyleHint(hint);
    f.setPixelSize(px);
    f.setBold(bold);
    return f;
}

namespace {

enum class Look { Locked, Released, Pressed, Lit };

QFont sans(int px, bool bold = true)
{
    return panelFont({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")},
                     QFont::SansSerif, px, bold);
}

QColor mix(const QColor& a, const QColor& b, qreal t)
{
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t, a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t, a.alphaF() + (b.alphaF() - a.alphaF()) * t);
}

QColor withAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

// Draws in cell coordinates: the painter is moved and scaled so that `cell` fills `target`.
struct CellScope {
    CellScope(QPainter& p, const QRectF& target, QSizeF cell) : p(p)
    {
        p.save();
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.translate(target.topLeft());
        p.scale(target.width() / cell.width(), target.height() / cell.height());
    }
    ~CellScope() { p.restore(); }
    QPainter& p;
};

// A moulded panel surface with a raised rim.
void mouldedSurface(QPainter& p, const QRectF& r, qreal radius)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(70, 74, 80));
    g.setColorAt(0.06, QColor(55, 58, 63));
    g.setColorAt(0.9, QColor(40, 42, 46));
    g.setColorAt(1, QColor(28, 29, 32));
    p.setPen(QPen(QColor(12, 12, 14), 1));
    p.setBrush(g);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    // Light catches the top and left edge of the rim, shadow falls on the bottom and right.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    p.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1, radius - 1);
    p.setPen(QPen(QColor(0, 0, 0, 90), 1));
    p.drawLine(QPointF(r.left() + radius, r.bottom() - 2), QPointF(r.right() - radius, r.bottom() - 2));
}

// A recessed area (a well) moulded into the panel.
void well(QPainter& p, const QRectF& r, qreal radius)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(22, 23, 26));
    g.setColorAt(1, QColor(36, 38, 42));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawRoundedRect(r, radius, radius);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 0, 0, 160), 1));
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    p.setPen(QPen(QColor(255, 255, 255, 28), 1));
    p.drawLine(QPointF(r.left() + radius, r.bottom() + 0.5), QPointF(r.right() - radius, r.bottom() + 0.5));
}

void screw(QPainter& p, QPointF c)
{
    QRadialGradient g(c - QPointF(1, 1), 4);
    g.setColorAt(0, QColor(150, 152, 156));
    g.setColorAt(1, QColor(60, 62, 66));
    p.setPen(QPen(QColor(15, 15, 17), 0.8));
    p.setBrush(g);
    p.drawEllipse(c, 3.2, 3.2);
    p.setPen(QPen(QColor(30, 30, 32), 1));
    p.drawLine(c + QPointF(-2, 1.2), c + QPointF(2, -1.2));
}

void caption(QPainter& p, const QRectF& r, const QString& text, QColor colour, int px, int flags = Qt::AlignCenter)
{
    p.setFont(sans(px));
    p.setPen(colour);
    p.drawText(r, flags, text);
}

// A bevelled rubber key. `base` is the colour of the rubber.
void rubberKey(QPainter& p, const QRectF& r, QColor base, qreal radius, Look look)
{
    const bool down = look == Look::Pressed;
    if (look == Look::Locked)
        base = mix(base, QColor(40, 41, 44), 0.6);
    // The shadow of the key on the panel; a pressed key sits lower and casts almost none.
    if (!down) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 0, 0, 120));
        p.drawRoundedRect(r.adjusted(0.5, 1.5, -0.5, 0), radius, radius);
    }
    const QRectF body = r.adjusted(1, down ? 1.5 : 0.5, -1, down ? -0.5 : -1.5);
    QLinearGradient g(body.topLeft(), body.bottomLeft());
    if (down) {
        g.setColorAt(0, base.darker(150));
        g.setColorAt(0.5, base.darker(125));
        g.setColorAt(1, base.darker(110));
    } else if (look == Look::Locked) {
        g.setColorAt(0, base.lighter(108));
        g.setColorAt(1, base.darker(112));
    } else {
        g.setColorAt(0, base.lighter(150));
        g.setColorAt(0.18, base.lighter(118));
        g.setColorAt(0.8, base);
        g.setColorAt(1, base.darker(140));
    }
    p.setPen(QPen(base.darker(260), 1));
    p.setBrush(g);
    p.drawRoundedRect(body, radius, radius);
    p.setBrush(Qt::NoBrush);
    if (look == Look::Released || look == Look::Lit) {
        p.setPen(QPen(QColor(255, 255, 255, 70), 1));
        p.drawLine(QPointF(body.left() + radius, body.top() + 1.5), QPointF(body.right() - radius, body.top() + 1.5));
    } else if (down) {
        p.setPen(QPen(QColor(0, 0, 0, 110), 1.5));
        p.drawLine(QPointF(body.left() + radius, body.top() + 1.5), QPointF(body.right() - radius, body.top() + 1.5));
    }
}

void keyText(QPainter& p, const QRectF& r, const QString& text, QColor colour, int px, Look look, bool bold = true)
{
    const QRectF at = look == Look::Pressed ? r.translated(0, 1) : r.translated(0, -0.5);
    if (look == Look::Released || look == Look::Lit) {
        p.setFont(sans(px, bold));
        p.setPen(QColor(0, 0, 0, 130));
        p.drawText(at.translated(0, 1), Qt::AlignCenter, text);
    }
    caption(p, at, text, colour, px);
    p.setFont(sans(px, bold));
}

// A small indicator lamp on a key.
void keyLamp(QPainter& p, QPointF c, qreal radius, QColor colour, bool on)
{
    if (on) {
        QRadialGradient glow(c, radius * 3);
        glow.setColorAt(0, withAlpha(colour, 150));
        glow.setColorAt(1, withAlpha(colour, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(c, radius * 3, radius * 3);
    }
    QRadialGradient g(c - QPointF(radius / 3, radius / 3), radius * 1.2);
    g.setColorAt(0, on ? colour.lighter(170) : colour.darker(250));
    g.setColorAt(1, on ? colour : colour.darker(400));
    p.setPen(QPen(QColor(10, 10, 10), 0.8));
    p.setBrush(g);
    p.drawEllipse(c, radius, radius);
}

const QColor kRubber(88, 92, 99);
const QColor kLabel(238, 240, 242);
const QColor kDimLabel(104, 107, 112);

// ---- call keys (85 x 35)
void callKey(QPainter& p, int key, Look look)
{
    static const std::array<const char*, 6> names{"ROUTINE", "SAFETY", "URGENCY", "DISTRESS", "POS REQ", "GROUP"};
    static const std::array<QColor, 6> accents{QColor(196, 204, 214), QColor(60, 190, 90), QColor(245, 160, 30),
                                               QColor(235, 45, 40), QColor(50, 170, 230), QColor(170, 120, 230)};
    const QRectF r(0, 0, 85, 35);
    const bool distress = key == 3;
    rubberKey(p, r.adjusted(1, 1, -1, -1), distress ? QColor(150, 28, 26) : kRubber, 4, look);
    // The coloured strip along the top of the key names its category and lights when pressed.
    QColor accent = accents[key];
    QRectF strip(9, 5.5 + (look == Look::Pressed ? 1 : 0), 67, 3.5);
    if (look == Look::Locked)
        accent = mix(accent, QColor(45, 46, 50), 0.8);
    else if (look == Look::Pressed)
        accent = accent.lighter(135);
    if (look == Look::Pressed) {
        QLinearGradient glow(0, strip.top() - 3, 0, strip.bottom() + 5);
        glow.setColorAt(0, withAlpha(accent, 0));
        glow.setColorAt(0.5, withAlpha(accent, 110));
        glow.setColorAt(1, withAlpha(accent, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawRect(strip.adjusted(-3, -3, 3, 5));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(distress && look != Look::Locked ? QColor(255, 220, 210) : accent);
    p.drawRoundedRect(strip, 1.5, 1.5);
    const QColor text = look == Look::Locked ? (distress ? QColor(120, 70, 68) : kDimLabel) : kLabel;
    keyText(p, QRectF(2, 10, 81, 22), QString::fromLatin1(names[key]), text, 12, look);
}

// ---- covered distress key (140 x 50)
void distressKey(QPainter& p, Look look)
{
    const QRectF r(0, 0, 140, 50);
    well(p, r.adjusted(1, 1, -1, -1), 6);
    const bool locked = look == Look::Locked;
    const bool open = look == Look::Pressed;
    // The red key under the cover.
    const QRectF key(12, 12, 116, 33);
    rubberKey(p, key, locked ? QColor(110, 30, 28) : QColor(200, 30, 26), 5, open ? Look::Pressed : look);
    keyText(p, key.adjusted(0, 1, 0, 0), QStringLiteral("DISTRESS"), locked ? QColor(150, 95, 92) : QColor(255, 246, 240),
            15, open ? Look::Pressed : look);
    // The hinge along the top edge.
    QLinearGradient hinge(0, 3, 0, 9);
    hinge.setColorAt(0, QColor(170, 172, 176));
    hinge.setColorAt(1, QColor(70, 72, 76));
    p.setPen(QPen(QColor(20, 20, 22), 0.8));
    p.setBrush(hinge);
    p.drawRoundedRect(QRectF(8, 3, 124, 6), 2.5, 2.5);
    p.setBrush(QColor(40, 41, 44));
    for (qreal x : {30.0, 70.0, 110.0})
        p.drawRect(QRectF(x - 0.5, 3, 1, 6));
    if (open) {
        // The cover is swung up on its hinge: only its edge shows, above the key.
        QLinearGradient g(0, 0, 0, 8);
        g.setColorAt(0, QColor(255, 120, 100, 230));
        g.setColorAt(1, QColor(160, 20, 18, 230));
        p.setPen(QPen(QColor(90, 10, 10), 0.8));
        p.setBrush(g);
        p.drawRoundedRect(QRectF(6, 0.5, 128, 5), 2, 2);
        return;
    }
    // The closed cover: tinted translucent plastic with a gloss.
    QPainterPath cover;
    cover.addRoundedRect(QRectF(7, 7, 126, 41), 5, 5);
    p.setPen(QPen(locked ? QColor(70, 20, 20) : QColor(120, 10, 10), 1));
    p.setBrush(locked ? QColor(90, 25, 25, 150) : QColor(230, 40, 30, 70));
    p.drawPath(cover);
    QLinearGradient gloss(0, 8, 0, 26);
    gloss.setColorAt(0, QColor(255, 255, 255, locked ? 30 : 85));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawRoundedRect(QRectF(10, 9, 120, 16), 4, 4);
    // The finger grip at the free edge of the cover.
    p.setBrush(locked ? QColor(80, 25, 25) : QColor(170, 25, 20));
    p.drawRoundedRect(QRectF(55, 44, 30, 4), 2, 2);
}

// ---- DSC TX and push-to-talk keys (140 x 40)
void txKey(QPainter& p, int index)
{
    const QRectF r(1, 1, 138, 38);
    const bool ptt = index >= 3;
    const int kind = index % 3;   // 0 idle / receiving, 1 ready / enabled, 2 pressed
    Look look = Look::Released;
    if (!ptt)
        look = kind == 0 ? Look::Locked : kind == 1 ? Look::Lit : Look::Pressed;
    else
        look = kind == 0 ? Look::Locked : kind == 1 ? Look::Released : Look::Pressed;
    rubberKey(p, r, ptt ? QColor(70, 74, 80) : QColor(80, 86, 94), 6, look);
    const QRectF label(30, 4, 106, 32);
    if (!ptt) {
        // Idle: dark. Ready: green lamp, "PRESS TO SEND". Sending: red lamp, amber "SENDING CALL".
        const bool lit = kind != 0;
        const bool sending = kind == 2;
        keyLamp(p, QPointF(19, 20 + (sending ? 1 : 0)), 5, sending ? QColor(255, 60, 40) : QColor(40, 230, 70), lit);
        keyText(p, label.adjusted(0, -7, 0, -7), QStringLiteral("DSC TX"), lit ? kLabel : kDimLabel, 15, look);
        caption(p, label.adjusted(0, 11, 0, 0).translated(0, sending ? 1 : 0),
                kind == 0 ? QStringLiteral("NO CALL READY") : sending ? QStringLiteral("SENDING CALL")
                                                                  : QStringLiteral("PRESS TO SEND"),
                sending ? QColor(255, 180, 80) : lit ? QColor(120, 230, 140) : QColor(90, 93, 98), 8);
    } else {
        const bool talking = kind == 2;
        keyLamp(p, QPointF(19, 20 + (talking ? 1 : 0)), 5, kind == 0 ? QColor(60, 140, 255) : QColor(255, 150, 20),
                kind != 1);
        keyText(p, label.adjusted(0, -7, 0, -7), QStringLiteral("PUSH TO TALK"), kind == 0 ? kDimLabel : kLabel, 13,
                look);
        caption(p, label.adjusted(0, 11, 0, 0).translated(0, talking ? 1 : 0),
                kind == 0 ? QStringLiteral("RECEIVING VOICE") : talking ? QStringLiteral("TRANSMITTING")
                                                                     : QStringLiteral("PTT"),
                kind == 0 ? QColor(110, 150, 210) : talking ? QColor(255, 180, 80) : QColor(150, 153, 158), 8);
    }
}

// ---- navigation keys (65 x 26)
void navKey(QPainter& p, int index, Look look)
{
    const QRectF r(1, 1, 63, 24);
    rubberKey(p, r, QColor(150, 154, 160), 5, look);
    const QColor ink = look == Look::Pressed ? QColor(20, 22, 26) : QColor(30, 32, 36);
    const QRectF at = look == Look::Pressed ? r.translated(0, 1) : r.translated(0, -0.5);
    if (index <= 1) {
        caption(p, at, index == 0 ? QStringLiteral("ESC") : QStringLiteral("ENT"), ink, 13);
        return;
    }
    // UP and DOWN carry arrows.
    const QPointF c = at.center();
    QPainterPath arrow;
    const qreal s = index == 2 ? -1 : 1;
    arrow.moveTo(c + QPointF(-8, -4 * s));
    arrow.lineTo(c + QPointF(8, -4 * s));
    arrow.lineTo(c + QPointF(0, 5 * s));
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(arrow);
}

// ---- keypad keys (42 x 23)
void keypadKey(QPainter& p, int tag, Look look)
{
    const QRectF r(1, 1, 40, 21);
    rubberKey(p, r, QColor(172, 176, 182), 4, look);
    QString text = QString::number(tag);
    QColor ink(28, 30, 34);
    int px = 14;
    if (tag == 10) {
        text = QStringLiteral("CLR");
        ink = QColor(170, 40, 30);
        px = 11;
    } else if (tag == 11) {
        text = QStringLiteral("OK");
        ink = QColor(20, 120, 50);
        px = 12;
    }
    const QRectF at = look == Look::Pressed ? r.translated(0, 1) : r.translated(0, -0.5);
    caption(p, at, text, ink, px);
}

// ---- quick channel keys (59 x 27)
void channelKey(QPainter& p, int index)
{
    static const std::array<const char*, 5> channels{"16", "9", "23", "77", "84"};
    const bool selected = index % 2 == 1;
    const QRectF r(1, 1, 57, 24);
    rubberKey(p, r, selected ? QColor(70, 96, 78) : kRubber, 4, selected ? Look::Lit : Look::Released);
    if (selected) {
        // Back-lit legend of the selected channel.
        QRadialGradient glow(r.center(), 26);
        glow.setColorAt(0, QColor(120, 255, 140, 90));
        glow.setColorAt(1, QColor(120, 255, 140, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawRoundedRect(r.adjusted(2, 2, -2, -2), 3, 3);
    }
    keyLamp(p, QPointF(9, 12.5), 2.6, QColor(60, 255, 90), selected);
    caption(p, QRectF(14, 3, 13, 19), QStringLiteral("CH"), selected ? QColor(190, 255, 200) : QColor(165, 168, 173), 8);
    keyText(p, QRectF(26, 2, 30, 21), QString::fromLatin1(channels[index / 2]),
            selected ? QColor(200, 255, 205) : kLabel, 15, Look::Released);
}

// ---- status lamp (32 x 32)
void statusLamp(QPainter& p, int index)
{
    static const std::array<QColor, 4> colours{QColor(255, 40, 30), QColor(40, 240, 70), QColor(255, 170, 20),
                                               QColor(60, 150, 255)};
    const QPointF c(15, 15);
    const QColor colour = colours[index];
    QRadialGradient glow(c, 15);
    glow.setColorAt(0.5, withAlpha(colour, 140));
    glow.setColorAt(1, withAlpha(colour, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(c, 15, 15);
    QRadialGradient lens(c - QPointF(3, 3), 11);
    lens.setColorAt(0, colour.lighter(185));
    lens.setColorAt(0.6, colour);
    lens.setColorAt(1, colour.darker(160));
    p.setPen(QPen(QColor(30, 30, 32), 1.2));
    p.setBrush(lens);
    p.drawEllipse(c, 9, 9);
    p.setBrush(QColor(255, 255, 255, 150));
    p.setPen(Qt::NoPen);
    p.drawEllipse(c - QPointF(3.5, 3.5), 2.5, 1.8);
}

// ---- panel artwork pieces, each in its own coordinates
void imgTop(QPainter& p)   // 666 x 230 at 2,1
{
    mouldedSurface(p, QRectF(0, 0, 666, 230), 9);
    for (QPointF c : {QPointF(7, 7), QPointF(659, 7), QPointF(7, 223), QPointF(659, 223)})
        screw(p, c);
    // Field of the call keys with its caption.
    well(p, QRectF(312, 13, 185, 124), 5);
    caption(p, QRectF(312, 2, 185, 11), QStringLiteral("DSC  CALL"), QColor(180, 184, 190), 9);
    // Distress: a red frame round the covered key and the instruction under it.
    p.setPen(QPen(QColor(190, 30, 25), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(329.5, 147.5, 151, 61), 7, 7);
    caption(p, QRectF(312, 138, 185, 10), QStringLiteral("LIFT COVER  -  PRESS DISTRESS"), QColor(230, 70, 60), 7);
    // Maker's name and model.
    caption(p, QRectF(312, 210, 100, 16), QStringLiteral("KELVO"), QColor(225, 228, 232), 15,
            Qt::AlignLeft | Qt::AlignVCenter);
    caption(p, QRectF(380, 211, 118, 14), QStringLiteral("VHF  DSC  CLASS A"), QColor(150, 154, 160), 8,
            Qt::AlignRight | Qt::AlignVCenter);
    // Captions beside the transmit keys.
    well(p, QRectF(506, 131, 152, 90), 6);
    caption(p, QRectF(506, 219, 152, 10), QStringLiteral("GMDSS  TRAINER"), QColor(120, 124, 130), 7);
}

void image3(QPainter& p)   // 287 x 212 at 15,11: the display glass in its bezel
{
    const QRectF r(0, 0, 287, 212);
    QLinearGradient bezel(r.topLeft(), r.bottomLeft());
    bezel.setColorAt(0, QColor(18, 19, 21));
    bezel.setColorAt(1, QColor(34, 36, 40));
    p.setPen(QPen(QColor(90, 94, 100), 1));
    p.setBrush(bezel);
    p.drawRoundedRect(r.adjusted(0.5, 0.5, -0.5, -0.5), 7, 7);
    const QRectF glass = r.adjusted(7, 7, -7, -7);
    QLinearGradient g(glass.topLeft(), glass.bottomRight());
    g.setColorAt(0, QColor(214, 226, 206));
    g.setColorAt(0.55, QColor(196, 210, 188));
    g.setColorAt(1, QColor(176, 192, 168));
    p.setPen(QPen(QColor(10, 12, 10), 1));
    p.setBrush(g);
    p.drawRoundedRect(glass, 3, 3);
    // The glass is set in behind the bezel: a soft shadow along its top and left edge.
    QLinearGradient top(0, glass.top(), 0, glass.top() + 6);
    top.setColorAt(0, QColor(0, 0, 0, 70));
    top.setColorAt(1, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(top);
    p.drawRect(glass.adjusted(1, 1, -1, -glass.height() + 6));
    QLinearGradient left(glass.left(), 0, glass.left() + 5, 0);
    left.setColorAt(0, QColor(0, 0, 0, 50));
    left.setColorAt(1, QColor(0, 0, 0, 0));
    p.setBrush(left);
    p.drawRect(glass.adjusted(1, 1, -glass.width() + 5, -1));
    // A faint reflection across the glass.
    QPainterPath shine;
    shine.moveTo(glass.left() + 150, glass.top() + 1);
    shine.lineTo(glass.left() + 215, glass.top() + 1);
    shine.lineTo(glass.left() + 120, glass.bottom() - 1);
    shine.lineTo(glass.left() + 70, glass.bottom() - 1);
    shine.closeSubpath();
    p.setBrush(QColor(255, 255, 255, 22));
    p.drawPath(shine);
    caption(p, QRectF(8, 0, 120, 7), QStringLiteral("DSC CONTROLLER"), QColor(130, 134, 140), 6,
            Qt::AlignLeft | Qt::AlignVCenter);
}

// Keypad: tags of the keys row by row.
constexpr std::array<int, 12> kKeypadTags{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 11};

void image1(QPainter& p)   // 145 x 120 at 504,11: keypad with the keys released
{
    well(p, QRectF(0, 0, 145, 120), 6);
    // The rows stand where the window takes the keys: 21, 48, 75 and 103 in client pixels.
    constexpr int kRowTops[] = {10, 37, 64, 92};
    for (int i = 0; i < 12; ++i) {
        CellScope s(p, QRectF(6 + 46 * (i % 3), kRowTops[i / 3], 42, 23), QSizeF(42, 23));
        keypadKey(p, kKeypadTags[i], Look::Released);
    }
}

void image4(QPainter& p)   // 306 x 55 at 3,236: navigation strip with the keys released
{
    mouldedSurface(p, QRectF(0, 0, 306, 55), 8);
    caption(p, QRectF(12, 5, 134, 11), QStringLiteral("MENU"), QColor(170, 174, 180), 8);
    caption(p, QRectF(161, 5, 134, 11), QStringLiteral("SCROLL"), QColor(170, 174, 180), 8);
    p.setPen(QPen(QColor(110, 114, 120), 1));
    p.drawLine(QPointF(20, 10.5), QPointF(60, 10.5));
    p.drawLine(QPointF(98, 10.5), QPointF(138, 10.5));
    p.drawLine(QPointF(169, 10.5), QPointF(205, 10.5));
    p.drawLine(QPointF(251, 10.5), QPointF(287, 10.5));
    static const std::array<qreal, 4> xs{12, 81, 161, 230};
    for (int i = 0; i < 4; ++i) {
        CellScope s(p, QRectF(xs[i], 18, 65, 26), QSizeF(65, 26));
        navKey(p, i, Look::Released);
    }
}

void image2(QPainter& p)   // 350 x 55 at 318,236: channel strip
{
    mouldedSurface(p, QRectF(0, 0, 350, 55), 8);
    caption(p, QRectF(17, 4, 315, 11), QStringLiteral("VHF  VOICE  CHANNEL"), QColor(170, 174, 180), 8);
    well(p, QRectF(13, 15, 324, 32), 4);
}

void lampSocket(QPainter& p)   // under the status lamp at 628,296
{
    const QPointF c(643, 311);
    QRadialGradient g(c, 14);
    g.setColorAt(0, QColor(30, 30, 32));
    g.setColorAt(0.75, QColor(45, 46, 50));
    g.setColorAt(1, QColor(90, 92, 96));
    p.setPen(QPen(QColor(110, 112, 116), 1));
    p.setBrush(g);
    p.drawEllipse(c, 13.5, 13.5);
    p.setPen(QPen(QColor(15, 15, 16), 1));
    p.setBrush(QColor(40, 24, 22));
    p.drawEllipse(c, 9, 9);
}

} // namespace

QSize cellSize(List list)
{
    switch (list) {
    case List::ImageList1: return {140, 40};
    case List::ImageList2: return {65, 26};
    case List::ImageList3: return {85, 35};
    case List::ImageList4: return {140, 50};
    case List::ImageList5: return {59, 27};
    case List::ImgL_numeri: return {42, 23};
    case List::imgList_status: return {32, 32};
    }
    return {};
}

int cellCount(List list)
{
    switch (list) {
    case List::ImageList1: return 6;
    case List::ImageList2: return 4;
    case List::ImageList3: return 18;
    case List::ImageList4: return 3;
    case List::ImageList5: return 10;
    case List::ImgL_numeri: return 12;
    case List::imgList_status: return 4;
    }
    return 0;
}

void paintCell(QPainter& p, List list, int index, const QRectF& target)
{
    if (index < 0 || index >= cellCount(list))
        return;
    CellScope s(p, target, cellSize(list));
    switch (list) {
    case List::ImageList1: txKey(p, index); break;
    case List::ImageList2: navKey(p, index, Look::Pressed); break;
    case List::ImageList3: {
        static const Look looks[] = {Look::Locked, Look::Released, Look::Pressed};
        callKey(p, index / 3, looks[index % 3]);
        break;
    }
    case List::ImageList4: {
        static const Look looks[] = {Look::Locked, Look::Released, Look::Pressed};
        distressKey(p, looks[index]);
        break;
    }
    case List::ImageList5: channelKey(p, index); break;
    case List::ImgL_numeri: keypadKey(p, index, Look::Pressed); break;
    case List::imgList_status: statusLamp(p, index); break;
    }
}

void paintPanel(QPainter& p)
{
    { CellScope s(p, QRectF(2, 1, 666, 230), QSizeF(666, 230)); imgTop(p); }
    { CellScope s(p, QRectF(15, 11, 287, 212), QSizeF(287, 212)); image3(p); }
    { CellScope s(p, QRectF(504, 11, 145, 120), QSizeF(145, 120)); image1(p); }
    { CellScope s(p, QRectF(3, 236, 306, 55), QSizeF(306, 55)); image4(p); }
    { CellScope s(p, QRectF(318, 236, 350, 55), QSizeF(350, 55)); image2(p); }
    { CellScope s(p, QRectF(0, 0, 672, 330), QSizeF(672, 330)); lampSocket(p); }
}

} // namespace artwork
