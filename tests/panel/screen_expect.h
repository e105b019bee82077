// SPDX-License-Identifier: GPL-3.0-or-later
// Compares the whole LCD with a table of expected lines: lines not listed must be empty and
// regular; bold and highlight must be exactly as listed.
#pragma once

#include "support/fakes.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <string>

struct Expected {
    int line;
    std::string text;
    bool bold = false;
    bool opaque = false;
};

inline void expectScreen(const StationRig& rig, std::initializer_list<Expected> expected)
{
    for (int n = 1; n <= 9; ++n) {
        Expected want{n, ""};
        for (const Expected& e : expected)
            if (e.line == n)
                want = e;
        const LcdLine& got = rig.station.panel().label(n);
        EXPECT_EQ(got.text.toStdString(), want.text) << "line " << n;
        EXPECT_EQ(got.bold, want.bold) << "bold of line " << n;
        EXPECT_EQ(got.opaque, want.opaque) << "highlight of line " << n;
    }
}

using Log = std::vector<std::string>;

// The call keys all locked (picture 3k, disabled) or all unlocked (3k+1, enabled).
inline void expectCallKeysLocked(const StationRig& rig, bool locked)
{
    const Key keys[] = {Key::btnRoutine, Key::btnSafety, Key::btnUrgency, Key::btnDistress,
                        Key::btnPosReq, Key::btnGroup};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(rig.station.panel().key(keys[i]).enabled, !locked) << "call key " << i;
        EXPECT_EQ(rig.station.panel().key(keys[i]).picture, 3 * i + (locked ? 0 : 1)) << "call key " << i;
    }
    EXPECT_EQ(rig.station.panel().key(Key::btnDistress2).enabled, !locked);
    EXPECT_EQ(rig.station.panel().key(Key::btnDistress2).picture, locked ? 0 : 1);
}
