// SPDX-License-Identifier: GPL-3.0-or-later
// What the window asks the window system itself, where the toolkit's own account falls short.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QtGlobal>
#include <functional>

// A key held down on the keyboard is one press and one release. On X the server's auto-repeat
// otherwise sends a release and a press again many times a second, and the toolkit tells them from
// a real release only by looking ahead in its queue, which fails now and then after a handler's
// pause: push-to-talk would then let go and key again mid-sentence. Asks the X server (XKB's
// detectable auto-repeat) to send the repeats of a held key as presses only. Returns whether the
// window system now does so; true where it does anyway (not on X), false when the server refused.
bool ask_for_whole_key_holds();


// Calls `lost` as soon as the X server takes the keyboard focus from the window `id` (another
// window, a grab). The toolkit reports it only 100 ms later, in case the focus comes straight back;
// a key held meanwhile would keep the station on the air that long. Does nothing off X.
class KeyboardFocusWatch : public QAbstractNativeEventFilter {
public:
    KeyboardFocusWatch(quintptr id, std::function<void()> lost);
    ~KeyboardFocusWatch() override;
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    quintptr m_id;
    std::function<void()> m_lost;
};
