// SPDX-License-Identifier: GPL-3.0-or-later
// Draws the station's panel for the page with the desktop window's own artwork code, at build time
// on Qt's offscreen platform: the panel under the keys, one sheet per picture list (its cells side
// by side), and panel.json with the window's geometry (each key's place and list, the lamp, the
// LCD lines and labels). The page then looks like the window, pixel for pixel at the same size.
// Usage: kelvo-panel-art OUTPUT_FOLDER
#include "station/gui/artwork.h"
#include "station/gui/form1.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <cstdio>

using artwork::List;

namespace {

constexpr qreal kRatio = 2;   // crisp on a tablet's or a laptop's dense screen

const char* nameOf(List l)
{
    switch (l) {
    case List::ImageList1: return "ImageList1";
    case List::ImageList2: return "ImageList2";
    case List::ImageList3: return "ImageList3";
    case List::ImageList4: return "ImageList4";
    case List::ImageList5: return "ImageList5";
    case List::ImgL_numeri: return "ImgL_numeri";
    case List::imgList_status: return "imgList_status";
    }
    return "";
}

QImage canvas(QSize size)
{
    QImage img(size * kRatio, QImage::Format_ARGB32_Premultiplied);
    img.setDevicePixelRatio(kRatio);
    img.fill(Qt::transparent);
    return img;
}

QJsonArray rectJson(const QRect& r) { return QJsonArray{r.x(), r.y(), r.width(), r.height()}; }

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: kelvo-panel-art OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    bool ok = true;

    QImage panel = canvas({Form1::kClientWidth, Form1::kClientHeight});
    {
        QPainter p(&panel);
        artwork::paintPanel(p);
    }
    ok &= panel.save(out.filePath(QStringLiteral("panel.png")));

    QJsonObject lists;
    for (List l : {List::ImageList1, List::ImageList2, List::ImageList3, List::ImageList4, List::ImageList5,
                   List::ImgL_numeri, List::imgList_status}) {
        const QSize cell = artwork::cellSize(l);
        const int count = artwork::cellCount(l);
        QImage sheet = canvas({cell.width() * count, cell.height()});
        {
            QPainter p(&sheet);
            for (int i = 0; i < count; ++i)
                artwork::paintCell(p, l, i, QRectF(QPointF(i * cell.width(), 0), QSizeF(cell)));
        }
        ok &= sheet.save(out.filePath(QString::fromLatin1(nameOf(l)) + QStringLiteral(".png")));
        lists.insert(QLatin1String(nameOf(l)), QJsonObject{{"w", cell.width()}, {"h", cell.height()}, {"count", count}});
    }

    QJsonArray keys;
    for (int i = 0; i < KeyCount; ++i) {
        const Key k = static_cast<Key>(i);
        keys.append(QJsonObject{{"rect", rectJson(Form1::keyRect(k))}, {"list", QLatin1String(nameOf(Form1::keyList(k)))}});
    }
    // The lamp, the LCD and the labels where the window paints them (station/gui/form1.cpp).
    const QJsonObject geometry{
        {"width", Form1::kClientWidth}, {"height", Form1::kClientHeight}, {"keys", keys}, {"lists", lists},
        {"led", rectJson(QRect(628, 296, 30, 30))},
        {"lcd", QJsonObject{{"left", 37}, {"tops", QJsonArray{35, 52, 69, 87, 104, 121, 139, 156, 182}},
                            {"entryWidth", 251}, {"entryHeight", 19}}},
        {"labels", QJsonObject{{"mmsiCaption", QJsonArray{8, 304}}, {"mmsi", QJsonArray{58, 302}},
                               {"groupCaption", QJsonArray{160, 304}}, {"group", QJsonArray{220, 302}},
                               {"info", QJsonArray{342, 304}}}},
    };
    QFile json(out.filePath(QStringLiteral("panel.json")));
    ok &= json.open(QIODevice::WriteOnly | QIODevice::Truncate)
          && json.write(QJsonDocument(geometry).toJson(QJsonDocument::Indented)) > 0;
    if (!ok) {
        std::fprintf(stderr, "kelvo-panel-art: cannot write the pictures in %s\n", argv[1]);
        return 1;
    }
    return 0;
}
