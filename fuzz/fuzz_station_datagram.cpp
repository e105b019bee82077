// SPDX-License-Identifier: GPL-3.0-or-later
// DSC datagrams as a station receives them, one per line of the input, through the whole station:
// the reader, the choice of screen and its lines, and the reply the trainee then sends (ENT, the
// comply choice, ENT, DSC TX, ESC), with recorders in place of the window, the sounds and the
// network. Whatever arrives, every record the station sends is one of its replies from its own MMSI
// and goes to the exchange's port; no LCD line grows past what a received record can fill.
#include "support/fakes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

struct Rig {
    EventLog log;
    FakeUi ui{log};
    FakeCues cues{log};
    FakeDatagrams net{log};
    FakeClock clock;
    FakeVoice voice{log};
    FakeTimer rxTimer{log};
    // No settings file: the station's defaults (MMSI 274111001, group 027411101).
    IniSettings settings{QStringLiteral("/nonexistent/radiosim.ini")};
    Station station{StationPorts{ui, cues, net, clock, voice, rxTimer, settings}};

    Rig()
    {
        ui.model = &station.panel();
        station.create();
        station.show();
    }
    void click(Key k)
    {
        station.mouseDown(k, {});
        station.mouseUp(k, {});
    }
};

// The call and category of each reply the station sends.
const char* const kReplies[] = {",CALL=INDIVID ,CATEGORY=ROUT_ACK,", ",CALL=INDIVID ,CATEGORY=POS_ACK ,",
                                ",CALL=DISTRESS,CATEGORY=DIST_ACK,"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Rig rig;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& datagram : input.split('\n')) {
        rig.station.receiveDatagram(datagram);
        // The reply: the low bit of the datagram's length picks ABLE or UNABLE on the selector.
        rig.click(Key::imgENT);
        if (datagram.size() % 2)
            rig.click(Key::imgDW);
        rig.click(Key::imgENT);
        rig.click(Key::btnTX);
        rig.click(Key::imgESC);
    }
    // A reply repeats fields of the call as they came (the caller's MMSI, a distress alert's data),
    // so it is not read back with the record reader: what the station itself writes is looked for.
    for (const SentDatagram& d : rig.net.sent) {
        const bool reply = std::any_of(std::begin(kReplies), std::end(kReplies),
                                       [&](const char* r) { return d.payload.contains(r); });
        if (!d.payload.startsWith("TXMMSI=274111001,RXMMSI=") || !reply || d.port != 8090)
            __builtin_trap();
    }
    for (int n = 1; n <= 9; ++n)
        if (rig.station.panel().label(n).text.size() > 255 + 40)
            __builtin_trap();
    return 0;
}
