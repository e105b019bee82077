// SPDX-License-Identifier: GPL-3.0-or-later
// Mouse events of the panel keys, dispatched to the handler each key has. A disabled key does not
// react to the mouse; the release always goes to the key that took the press.
#include "station/station.h"

namespace {
bool isKeypad(Key k) { return k >= Key::num0 && k <= Key::num11; }
int keypadTag(Key k) { return static_cast<int>(k) - static_cast<int>(Key::num0); }
bool hasAllShipsHint(Key k)
{
    return k == Key::btnRoutine || k == Key::btnSafety || k == Key::btnUrgency || k == Key::btnDistress;
}
} // namespace

void Station::mouseDown(Key k, Mods mods)
{
    if (!m_view.enabled(k))
        return;
    if (isCallKey(k))
        callKeyMouseDown(k);
    else if (isKeypad(k))
        num1MouseDown(keypadTag(k));
    else if (isChannelKey(k))
        imgCH16MouseDown(k);
    else
        switch (k) {
        case Key::btnDistress2: btnDistress2MouseDown(); break;
        case Key::btnTX: btnTXMouseDown(); break;
        case Key::btnAudio: btnAudioMouseDown(mods); break;
        case Key::imgESC: imgESCMouseDown(); break;
        case Key::imgENT: imgENTMouseDown(); break;
        case Key::imgUP: imgUPMouseDown(); break;
        case Key::imgDW: imgDWMouseDown(); break;
        default: break;
        }
}

void Station::mouseUp(Key k, Mods mods)
{
    if (k == Key::btnGroup)
        btnGroupMouseUp();
    else if (k == Key::btnPosReq)
        btnPosReqMouseUp();
    else if (isCallKey(k))
        callKeyMouseUp(k, mods);
    else if (isKeypad(k))
        num1MouseUp(keypadTag(k));
    else
        switch (k) {
        case Key::btnDistress2: btnDistress2MouseUp(); break;
        case Key::btnTX: btnTXMouseUp(); break;
        case Key::btnAudio: btnAudioMouseUp(); break;
        case Key::imgESC:
        case Key::imgENT:
        case Key::imgUP:
        case Key::imgDW: navKeyMouseUp(k); break;
        default: break;
        }
}

// A locked key took no press, so its release means nothing either; an enabled one's release
// pauses before its handler goes on.
bool Station::take_release(Key k, int pauseMs)
{
    if (!m_view.enabled(k))
        return false;
    sleep(pauseMs);
    return true;
}

void Station::mouseEnter(Key k)
{
    if (!m_view.enabled(k))
        return;
    if (hasAllShipsHint(k))
        show_key_hint(1);
    else if (k == Key::btnAudio)
        show_key_hint(2);
}

void Station::mouseLeave(Key k)
{
    if (hasAllShipsHint(k) || k == Key::btnAudio)
        clear_key_hint();
}
