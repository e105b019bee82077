// SPDX-License-Identifier: GPL-3.0-or-later
#include "station/gui/keyboard.h"

std::optional<KeyboardPress> panelKeyFor(int qtKey, Qt::KeyboardModifiers modifiers)
{
    const bool shift = modifiers.testFlag(Qt::ShiftModifier);
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9)
        return KeyboardPress{keypadKey(qtKey - Qt::Key_0), {}};
    // F1 to F5: the quick channel keys from left to right (16, 9, 23, 77, 84).
    if (qtKey >= Qt::Key_F1 && qtKey < Qt::Key_F1 + int(kChannelKeys.size()))
        return KeyboardPress{kChannelKeys[size_t(qtKey - Qt::Key_F1)].key, {}};
    switch (qtKey) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete: return KeyboardPress{keypadKey(10), {}};   // CLR
    case Qt::Key_Enter: return KeyboardPress{keypad ? keypadKey(11) : Key::imgENT, {}};   // OK on the number pad
    case Qt::Key_Return: return KeyboardPress{Key::imgENT, {}};
    case Qt::Key_Escape: return KeyboardPress{Key::imgESC, {}};
    case Qt::Key_Up: return KeyboardPress{Key::imgUP, {}};
    case Qt::Key_Down: return KeyboardPress{Key::imgDW, {}};
    case Qt::Key_R: return KeyboardPress{Key::btnRoutine, {shift, false}};
    case Qt::Key_S: return KeyboardPress{Key::btnSafety, {shift, false}};
    case Qt::Key_U: return KeyboardPress{Key::btnUrgency, {shift, false}};
    case Qt::Key_D: return KeyboardPress{Key::btnDistress, {shift, false}};
    case Qt::Key_P: return KeyboardPress{Key::btnPosReq, {}};
    case Qt::Key_G: return KeyboardPress{Key::btnGroup, {}};
    case Qt::Key_X: return KeyboardPress{Key::btnDistress2, {}};
    case Qt::Key_T: return KeyboardPress{Key::btnTX, {}};
    case Qt::Key_Space: return KeyboardPress{Key::btnAudio, {}};
    case Qt::Key_M: return KeyboardPress{Key::btnAudio, {true, false}};   // the message player
    default: return std::nullopt;
    }
}

QString keyboardHint(Key k)
{
    switch (k) {
    case Key::btnRoutine: return QStringLiteral("Keyboard: R  (Shift + R: all ships)");
    case Key::btnSafety: return QStringLiteral("Keyboard: S  (Shift + S: all ships)");
    case Key::btnUrgency: return QStringLiteral("Keyboard: U  (Shift + U: all ships)");
    case Key::btnDistress: return QStringLiteral("Keyboard: D  (Shift + D: all ships)");
    case Key::btnPosReq: return QStringLiteral("Keyboard: P");
    case Key::btnGroup: return QStringLiteral("Keyboard: G");
    case Key::btnDistress2: return QStringLiteral("Keyboard: X");
    case Key::btnTX: return QStringLiteral("Keyboard: T");
    case Key::btnAudio: return QStringLiteral("Keyboard: hold Space to talk, M for the message player");
    case Key::imgESC: return QStringLiteral("Keyboard: Esc");
    case Key::imgENT: return QStringLiteral("Keyboard: Return");
    case Key::imgUP: return QStringLiteral("Keyboard: Up arrow");
    case Key::imgDW: return QStringLiteral("Keyboard: Down arrow");
    case Key::num10: return QStringLiteral("Keyboard: Backspace or Delete");
    case Key::num11: return QStringLiteral("Keyboard: Enter on the number pad");
    default: break;
    }
    if (k >= Key::num0 && k <= Key::num9)
        return QStringLiteral("Keyboard: %1").arg(static_cast<int>(k) - static_cast<int>(Key::num0));
    for (size_t i = 0; i < kChannelKeys.size(); ++i)
        if (kChannelKeys[i].key == k)
            return QStringLiteral("Keyboard: F%1  (channel %2)").arg(i + 1).arg(kChannelKeys[i].channel);
    return {};
}
