// DSC datagrams as a station receives them, one per line of the input, through the whole station:
// the reader, the choice of screen and its lines, and the reply the trainee then sends (ENT, the
// comply choice, ENT, DSC TX, ESC), with recorders in place of the window, the sounds and the
// network. Whatever arrives, every record the station sends is one of its own (its MMSI, a reply's
// call and category) and goes to the exchange's port; the LCD keeps its nine lines.
#include "support/fakes.h"

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
    Station station{StationPorts{ui, cues, net, clock, voice, rxTimer},
                    StationPaths{QStringLiteral("/nonexistent/radiosim.ini"), {}, {}}};

    Rig()
    {
        ui.model = &station.panel();
        station.FormCreate();
        station.FormShow();
    }
    void click(Key k)
    {
        station.mouseDown(k, {});
        station.mouseUp(k, {});
    }
};

bool oneOf(const QByteArray& v, std::initializer_list<const QByteArray*> values)
{
    for (const QByteArray* x : values)
        if (v == *x)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Rig rig;
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& datagram : input.split('\n')) {
        rig.station.IdUDPServer1UDPRead(datagram);
        // The reply: the low bit of the datagram's length picks ABLE or UNABLE on the selector.
        rig.click(Key::imgENT);
        if (datagram.size() % 2)
            rig.click(Key::imgDW);
        rig.click(Key::imgENT);
        rig.click(Key::btnTX);
        rig.click(Key::imgESC);
    }
    for (const SentDatagram& d : rig.net.sent) {
        dsc::DscRecord r;
        dsc::Decodifica_stringa(d.payload, r);
        const bool reply = (r.CALL == dsc::CALL_INDIVID && oneOf(r.CATEGORY, {&dsc::CAT_ROUT_ACK, &dsc::CAT_POS_ACK}))
            || (r.CALL == dsc::CALL_DISTRESS && r.CATEGORY == dsc::CAT_DIST_ACK);
        if (r.TXMMSI != "274111001" || !reply || d.port != 8090)
            __builtin_trap();
    }
    for (int n = 1; n <= 9; ++n)
        if (rig.station.panel().label(n).text.size() > 255 + 40)
            __builtin_trap();
    return 0;
}
