// A screen as a table of its lines, so that what the LCD shows can be read at a glance.
#pragma once

#include "station/station.h"

#include <initializer_list>

struct ScreenLine {
    int line;        // 1 to 9
    QString text;    // written whole, spaces included
    bool bold = false;
};

// Writes the given lines; lines not listed keep what they hold (screens start with Inizializza_label).
inline void write_lines(Station& s, std::initializer_list<ScreenLine> lines)
{
    for (const ScreenLine& l : lines)
        s.set_line(l.line, l.text, l.bold);
}

// Rewrites the text of an entry line, keeping its style (bold, highlight) as it is.
inline void write_text(Station& s, int line, const QString& text)
{
    s.panel.label(line).text = text;
}

inline void set_opaque(Station& s, int line, bool opaque)
{
    s.panel.label(line).opaque = opaque;
}
