// SPDX-License-Identifier: GPL-3.0-or-later
// Text put into the console's HTML (the report served and the report saved at the stop): every
// value passes here, in element text and in attribute values alike, so that no record, name or
// file name can end an element, open a comment or a style, or leave an attribute.
#pragma once

#include <QString>

namespace exchange {

inline QString html(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\'': out += QLatin1String("&#39;"); break;
        default: out += c;
        }
    }
    return out;
}

} // namespace exchange
