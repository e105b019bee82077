// SPDX-License-Identifier: GPL-3.0-or-later
#include "panel/distress_menu.h"

namespace {

// The list entries of natures 1 to 12, without their four-character prefix.
const char* const kNatureEntries[] = {
    nullptr,
    "Undesignated",
    "Fire, Explosion",
    "Flooding",
    "Collision",
    "Grounding",
    "Capsizing",
    "Sinking",
    "Disable adrift",
    "Abandoning Ship",
    "Piracy attack",
    "Man overboard",
    "Epirb emission",
};

// The entries shown on lines 3 to 8 for a selected index: first entry and count.
struct ListWindow {
    int first;
    int count;
};

ListWindow listWindow(int index)
{
    if (index <= 6)
        return {1, 6};
    if (index <= 11)
        return {7, 5};
    return {8, 5};   // 12: "Sinking" scrolls out, "Epirb emission" comes in
}

} // namespace

std::vector<ScreenLine> DistressMenu::list_lines(int index)
{
    if (index == kNoInfoNature)
        return {
            {3, QStringLiteral(">   Undesignated !"), true},
            {4, QStringLiteral("      No Time     Info")},
            {5, QStringLiteral("      No Position Info")},
        };
    if (index < 1 || index > kNatureCount)
        return {};
    std::vector<ScreenLine> lines;
    const ListWindow w = listWindow(index);
    for (int i = 0; i < w.count; ++i) {
        const int nature = w.first + i;
        const QString prefix = nature == index ? QStringLiteral(">   ") : QStringLiteral("    ");
        lines.push_back({3 + i, prefix + QString::fromLatin1(kNatureEntries[nature]), nature == index});
    }
    return lines;
}
