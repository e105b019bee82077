// SPDX-License-Identifier: GPL-3.0-or-later
// The panel artwork and the key pictures, drawn with QPainter so that they stay crisp at any
// device pixel ratio. Every picture is drawn in its own cell coordinates and scaled to the target.
#pragma once

#include <QFont>
#include <QPainter>
#include <QRectF>
#include <QSize>

namespace artwork {

enum class List {
    ImageList1,      // DSC TX and push-to-talk keys, 140 x 40
    ImageList2,      // navigation keys pressed, 65 x 26
    ImageList3,      // call keys, 85 x 35
    ImageList4,      // covered distress key, 140 x 50
    ImageList5,      // quick channel keys, 59 x 27
    ImgL_numeri,     // keypad keys pressed, 42 x 23
    imgList_status,  // status lamp, 32 x 32
};

// A font of the panel: the first of `families` the system has, `px` pixels high.
QFont panelFont(const QStringList& families, QFont::StyleHint hint, int px, bool bold);

QSize cellSize(List list);
int cellCount(List list);

// Paints cell `index` of `list` scaled into `target`. An index outside the list paints nothing.
void paintCell(QPainter& p, List list, int index, const QRectF& target);

// The artwork under the keys, in client coordinates of the 672 x 330 window: the upper panel,
// the display glass, the keypad with its released keys, the navigation strip with its released
// keys, the channel strip and the socket of the status lamp.
void paintPanel(QPainter& p);

} // namespace artwork
