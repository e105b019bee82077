// SPDX-License-Identifier: GPL-3.0-or-later
// The panel model: everything the station window paints. Handlers write it; Form1 paints it.
#pragma once

#include <QString>
#include <array>

// Every element of the panel that shows a picture.
enum class Key {
    btnRoutine, btnSafety, btnUrgency, btnDistress, btnPosReq, btnGroup, btnDistress2,
    btnTX, btnAudio,
    imgESC, imgENT, imgUP, imgDW,
    num0, num1, num2, num3, num4, num5, num6, num7, num8, num9, num10, num11,
    imgCH16, imgCH9, imgCH23, imgCH77, imgCH84,
    Count
};
constexpr int KeyCount = static_cast<int>(Key::Count);

inline Key keypadKey(int tag) { return static_cast<Key>(static_cast<int>(Key::num0) + tag); }

// The six call keys in panel order. Call key i shows picture 3i when locked, 3i+1 when enabled and
// 3i+2 when pressed (ImageList3).
inline constexpr std::array<Key, 6> kCallKeys{Key::btnRoutine, Key::btnSafety, Key::btnUrgency,
                                              Key::btnDistress, Key::btnPosReq, Key::btnGroup};
enum class CallKeyLook { Locked = 0, Enabled = 1, Pressed = 2 };

// Index of a call key in kCallKeys, -1 for any other key.
constexpr int callKeyIndex(Key k)
{
    for (int i = 0; i < int(kCallKeys.size()); ++i)
        if (kCallKeys[i] == k)
            return i;
    return -1;
}
constexpr bool isCallKey(Key k) { return callKeyIndex(k) >= 0; }
constexpr int callKeyPicture(Key k, CallKeyLook look) { return 3 * callKeyIndex(k) + static_cast<int>(look); }

// The quick channel keys in panel order with the channels they select. Channel key i shows picture
// 2i when not selected and 2i+1 when selected (ImageList5).
struct ChannelKey {
    Key key;
    int channel;
};
inline constexpr std::array<ChannelKey, 5> kChannelKeys{{
    {Key::imgCH16, 16}, {Key::imgCH9, 9}, {Key::imgCH23, 23}, {Key::imgCH77, 77}, {Key::imgCH84, 84},
}};
constexpr bool isChannelKey(Key k)
{
    for (const ChannelKey& c : kChannelKeys)
        if (c.key == k)
            return true;
    return false;
}
constexpr int channelKeyPicture(int index, bool selected) { return 2 * index + (selected ? 1 : 0); }

// Status lamp pictures (imgList_status).
enum Led { LED_NONE = -1, LED_DSC_TX = 0, LED_DSC_RX = 1, LED_VOICE_TX = 2, LED_VOICE_RX = 3 };

struct LcdLine {
    QString text;
    bool bold = false;
    bool opaque = false;
    bool operator==(const LcdLine&) const = default;
};

struct KeyView {
    int picture = -1;   // index in the key's image list; -1: no picture (the artwork shows through)
    bool enabled = true;
    bool operator==(const KeyView&) const = default;
};

struct PanelModel {
    std::array<LcdLine, 9> lines;               // Label1 .. Label9
    std::array<KeyView, KeyCount> keys{};
    int led = LED_NONE;                         // imgLED
    QString lbl_info;
    QString lbl_mmsi = QStringLiteral("?????????");
    QString lbl_group = QStringLiteral("?????????");
    QString lbl_debug1, lbl_debug2;
    QString title = QStringLiteral("Form1");

    PanelModel();
    LcdLine& label(int n) { return lines[n - 1]; }              // 1-based, as Label1..Label9
    const LcdLine& label(int n) const { return lines[n - 1]; }
    KeyView& key(Key k) { return keys[static_cast<int>(k)]; }
    const KeyView& key(Key k) const { return keys[static_cast<int>(k)]; }

    // Whether the two models look the same in the window: everything but the two diagnostic
    // labels, which stand outside the visible client area.
    bool looksLike(const PanelModel& other) const;
};
