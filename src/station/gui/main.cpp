// The station program: one window, the station's panel, for the whole run.
#include "audio/broadcast_rx.h"
#include "audio/broadcast_tx.h"
#include "audio/gui/form_player.h"
#include "audio/player.h"
#include "audio/suoni.h"
#include "audio/voice_chains.h"
#include "audio/wave_read.h"
#include "dsc/udp_sender.h"
#include "station/gui/form1.h"
#include "station/gui/test_control.h"
#include "station/system_ports.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // QApplication takes Qt's own options (-platform and the like); the station has none of its own.
    QApplication app(argc, argv);
    // The application's own title. The display name is left unset on purpose: Qt would append it
    // to the window title, which must read exactly as the station sets it.
    QApplication::setApplicationName(QStringLiteral("DSC-Kelvo 2"));
    const QString folder = QCoreApplication::applicationDirPath();

    QtCuePlayer cues(folder, [] { QApplication::beep(); });
    UdpDatagramSender sender;
    SystemClock clock;

    // The voice chains: the sender and receiver on the voice ports, the codec and devices behind.
    BroadcastTX broadcastTX;
    BroadcastRX broadcastRX;
    VoiceNet net{&broadcastTX, &broadcastRX,
                 [&](const QString& p) { broadcastTX.setPort(p); },
                 [&](const QString& p) { broadcastRX.setPort(p); },
                 [&] { return broadcastRX.port(); },
                 [&] { return broadcastRX.count(); },
                 [&](std::function<void()> f) { broadcastRX.setPayloadCallback(std::move(f)); }};
    VoiceChains voice(net, &app);

    // The message player's file reader lives as long as the window; normally it feeds resampler2.
    WaveRead waveRead1;
    waveRead1.link(&voice.resampler2());
    voice.resampler2().link(&voice.waveOUT2());
    StagePlayerChains playerChains(&voice.waveIN1(), &waveRead1, &voice.codecTX(), &voice.resampler2(),
                                   &voice.waveOUT2(), [&] { voice.openReceiver(); },
                                   [&] { voice.closeReceiver(); });

    Form1 form(cues, sender, clock, voice, folder);
    form.setOpenPlayer([&] { run_message_player(&form, playerChains, folder); });
    TestControl control(&form, form.station());
    control.startFromEnvironment();
    form.show();
    const int rc = app.exec();
    waveRead1.close();
    return rc;
}
