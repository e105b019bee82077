// SPDX-License-Identifier: GPL-3.0-or-later
// What a station's page may say over its socket, and the one reader of it. Text frames name a
// panel key and what happened to it:
//   "down KEY [alt] [ctrl]"   a key pressed, with Alt and Ctrl held or not
//   "up KEY [alt] [ctrl]"     released
//   "enter KEY", "leave KEY"  the pointer over a key (its hint) and away
//   "talk-end"                the microphone stopped (no more voice until the next press)
// KEY is one of kPageKeys. Binary frames are the microphone while push-to-talk is held: 16-bit
// little-endian mono PCM at kMicRate, at most kMaxMicBytes a frame. Anything else is refused: the
// socket that sent it is closed.
#pragma once

#include <QByteArray>
#include <array>
#include <optional>
#include <string_view>

namespace exchange::web {

// The panel keys by the names the page's buttons carry (data-key).
inline constexpr std::array<std::string_view, 30> kPageKeys{
    "routine", "safety", "urgency", "distress", "posreq", "group", "cover", "tx", "ptt",
    "esc", "ent", "up", "down", "clr", "ok",
    "0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
    "ch16", "ch9", "ch23", "ch77", "ch84"};

inline constexpr int kMicRate = 16000;
inline constexpr int kMaxMicBytes = 8192;   // about a quarter of a second at kMicRate
inline constexpr int kMaxTextBytes = 32;

struct PageMessage {
    enum class Kind { Down, Up, Enter, Leave, TalkEnd } kind = Kind::Down;
    int key = -1;   // index in kPageKeys; -1 for TalkEnd
    bool alt = false;
    bool ctrl = false;
};

// A text frame read; nothing when it is not a message of the list above.
std::optional<PageMessage> readPageMessage(const QByteArray& text);
// Whether a binary frame is microphone PCM the station takes.
bool validMicFrame(const QByteArray& bytes);

// The name of a key as the page sends it, by index in kPageKeys.
int pageKeyIndex(std::string_view name);

} // namespace exchange::web
