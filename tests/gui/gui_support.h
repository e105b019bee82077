// SPDX-License-Identifier: GPL-3.0-or-later
// The application object the window tests need, made once for the whole test program.
#pragma once

#include <QApplication>
#include <QDir>

inline QApplication& guiApp()
{
    static int argc = 1;
    static char name[] = "test_gui";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        auto* a = new QApplication(argc, argv);
        QApplication::setApplicationName(QStringLiteral("DSC-Kelvo 2"));
        return a;
    }();
    return *app;
}

// <build>/screenshots
inline QString screenshotFolder()
{
    const QByteArray bin = qgetenv("KELVO_BIN");
    QDir dir(bin.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(bin) + QStringLiteral("/.."));
    dir.mkpath(QStringLiteral("screenshots"));
    return dir.absoluteFilePath(QStringLiteral("screenshots"));
}
