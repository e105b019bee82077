#include "panel/panel_model.h"

PanelModel::PanelModel()
{
    // As the window is built: DSC TX idle and disabled, push-to-talk disabled until the call
    // keys are first unlocked, channel keys not selected.
    key(Key::btnTX) = {0, false};
    key(Key::btnAudio) = {4, false};
    const Key channels[] = {Key::imgCH16, Key::imgCH9, Key::imgCH23, Key::imgCH77, Key::imgCH84};
    for (int i = 0; i < 5; ++i)
        key(channels[i]).picture = 2 * i;
    const Key callKeys[] = {Key::btnRoutine, Key::btnSafety, Key::btnUrgency,
                            Key::btnDistress, Key::btnPosReq, Key::btnGroup};
    for (int i = 0; i < 6; ++i)
        key(callKeys[i]).picture = 3 * i + 1;
    key(Key::btnDistress2).picture = 1;
}

bool PanelModel::looksLike(const PanelModel& o) const
{
    return lines == o.lines && keys == o.keys && led == o.led && lbl_info == o.lbl_info && lbl_mmsi == o.lbl_mmsi
        && lbl_group == o.lbl_group && title == o.title;
}
