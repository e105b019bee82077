// The station program: one window, the station's panel, for the whole run.
#include "dsc/udp_sender.h"
#include "station/gui/form1.h"
#include "station/gui/null_voice.h"
#include "station/system_ports.h"

#include <QApplication>

namespace {
// Stands in for the cue player until sound output is wired in.
class SilentCues : public CuePort {
public:
    void play_cue(unsigned) override {}
};
} // namespace

int main(int argc, char** argv)
{
    // QApplication takes Qt's own options (-platform and the like); the station has none of its own.
    QApplication app(argc, argv);
    // The application's own title. The display name is left unset on purpose: Qt would append it
    // to the window title, which must read exactly as the station sets it.
    QApplication::setApplicationName(QStringLiteral("DSC-Kelvo 2"));

    SilentCues cues;
    UdpDatagramSender sender;
    SystemClock clock;
    NullVoice voice;
    Form1 form(cues, sender, clock, voice, QCoreApplication::applicationDirPath());
    form.show();
    return app.exec();
}
