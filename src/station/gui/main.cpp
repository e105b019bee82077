// SPDX-License-Identifier: GPL-3.0-or-later
// The station program: one window, the station's panel, for the whole run.
#include "audio/gui/form_player.h"
#include "audio/player.h"
#include "audio/suoni.h"
#include "audio/voice_net.h"
#include "audio/wave_read.h"
#include "net/udp_sender.h"
#include "station/gui/form1.h"
#include "station/gui/test_control.h"
#include "station/paths.h"
#include "station/system_ports.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <cstdio>

int main(int argc, char** argv)
{
    // QApplication takes Qt's own options (-platform and the like); the station has none of its own.
    QApplication app(argc, argv);
    // The application's own title. The display name is left unset on purpose: Qt would append it
    // to the window title, which must read exactly as the station sets it.
    QApplication::setApplicationName(QStringLiteral("DSC-Kelvo 2"));
    // Ties the window to its menu entry (the task bar shows the entry's icon).
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kelvo.Station"));
    // Where the settings, the cues and the example messages are: beside the program, or for an
    // installed program the user's own settings and messages (see station/paths.h).
    const StationPaths paths =
        resolve_station_paths(QCoreApplication::applicationDirPath(),
                              QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation),
                              QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    std::fprintf(stderr, "kelvo-station: settings file %s, cues in %s\n",
                 qPrintable(QDir::toNativeSeparators(paths.settingsFile)),
                 qPrintable(QDir::toNativeSeparators(paths.cueFolder)));

    CuePlayer cues(paths.cueFolder, [] { QApplication::beep(); });
    UdpDatagramSender sender;
    SystemClock clock;

    // The voice chains: the sender and receiver on the voice ports, the codec and devices behind.
    BroadcastTX broadcastTX;
    BroadcastRX broadcastRX;
    VoiceChains voice(voice_net(broadcastTX, broadcastRX), &app);

    // The message player's file reader lives as long as the window; normally it feeds resampler2.
    WaveRead waveRead1;
    waveRead1.link(&voice.resampler2());
    voice.resampler2().link(&voice.waveOUT2());
    StagePlayerChains playerChains(&voice.waveIN1(), &waveRead1, &voice.codecTX(), &voice.resampler2(),
                                   &voice.waveOUT2(), [&] { voice.openReceiver(); },
                                   [&] { voice.closeReceiver(); });

    Form1 form(cues, sender, clock, voice, paths);
    // The player opens the "example" folder inside the folder it is given.
    const QString playerFolder = QFileInfo(paths.exampleFolder).path();
    form.setOpenPlayer([&] { run_message_player(&form, playerChains, playerFolder); });
    TestControl control(&form, form.station());
    control.startFromEnvironment();
    form.show();
    const int rc = app.exec();
    waveRead1.close();
    return rc;
}
