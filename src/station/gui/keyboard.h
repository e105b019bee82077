// SPDX-License-Identifier: GPL-3.0-or-later
// The panel from the keyboard: which panel key a key of the computer's keyboard works, and the
// text that tells a trainee which key that is. Each works its panel key exactly as the mouse does.
#pragma once

#include "panel/panel_model.h"
#include "station/station.h"

#include <QString>
#include <Qt>
#include <optional>

struct KeyboardPress {
    Key key;
    Mods mods;   // Shift on a call key stands for the Alt of the mouse (an all-ships call)
};

// The panel key for a key of the keyboard with its modifiers, or none.
std::optional<KeyboardPress> panelKeyFor(int qtKey, Qt::KeyboardModifiers modifiers);

// "Keyboard: R (Shift + R: all ships)" and the like, for the hint shown over a panel key.
QString keyboardHint(Key k);
