// What the window asks the window system itself, where the toolkit's own account falls short.
#pragma once

// A key held down on the keyboard is one press and one release. On X the server's auto-repeat
// otherwise sends a release and a press again many times a second, and the toolkit tells them from
// a real release only by looking ahead in its queue, which fails now and then after a handler's
// pause: push-to-talk would then let go and key again mid-sentence. Asks the X server (XKB's
// detectable auto-repeat) to send the repeats of a held key as presses only. Returns whether the
// window system now does so; true where it does anyway (not on X), false when the server refused.
bool ask_for_whole_key_holds();

