// SPDX-License-Identifier: GPL-3.0-or-later
// Every test program runs headless and knows where the sources and the programs are, however it
// is started (ctest, by hand, under a debugger).
#include <QByteArray>
#include <QtGlobal>

namespace {
struct TestEnvironment {
    TestEnvironment()
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (qEnvironmentVariableIsEmpty("KELVO_SOURCE"))
            qputenv("KELVO_SOURCE", KELVO_SOURCE_DIR);
        if (qEnvironmentVariableIsEmpty("KELVO_BIN"))
            qputenv("KELVO_BIN", KELVO_BIN_DIR);
    }
} const environment;
} // namespace
