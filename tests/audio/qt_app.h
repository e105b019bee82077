// SPDX-License-Identifier: GPL-3.0-or-later
// The Qt application object the audio tests need (the stages use Qt Core's event machinery).
#pragma once

#include <QCoreApplication>

inline void ensure_qt_app()
{
    static int argc = 1;
    static char name[] = "test_audio";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance())
        new QCoreApplication(argc, argv);   // lives as long as the process
}
