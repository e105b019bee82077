// SPDX-License-Identifier: GPL-3.0-or-later
#include "panel/panel_model.h"

PanelModel::PanelModel()
{
    // As the window is built: DSC TX idle and disabled, push-to-talk disabled until the call
    // keys are first unlocked, channel keys not selected.
    key(Key::btnTX) = {0, false};
    key(Key::btnAudio) = {4, false};
    for (int i = 0; i < int(kChannelKeys.size()); ++i)
        key(kChannelKeys[i].key).picture = channelKeyPicture(i, false);
    for (Key k : kCallKeys)
        key(k).picture = callKeyPicture(k, CallKeyLook::Enabled);
    key(Key::btnDistress2).picture = 1;
}

bool PanelModel::looksLike(const PanelModel& o) const
{
    return lines == o.lines && keys == o.keys && led == o.led && lbl_info == o.lbl_info && lbl_mmsi == o.lbl_mmsi
        && lbl_group == o.lbl_group && title == o.title;
}
