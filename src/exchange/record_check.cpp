// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/record_check.h"

#include "wire/record.h"

#include <algorithm>
#include <string_view>

namespace exchange {

QString recordProblem(const QByteArray& d) {
    if (d.size() > 255)
        return QStringLiteral("longer than 255 bytes");
    for (char c : d)
        if (c < 0x20 || c > 0x7E)
            return QStringLiteral("not printable ASCII");
    const std::string_view text(d.constData(), size_t(d.size()));
    int missing = 0;
    for (const dsc::Field& f : dsc::kFields)
        if (text.find(f.key) == std::string_view::npos)
            ++missing;
    if (missing)
        return QStringLiteral("%1 of the 14 keys missing").arg(missing);
    return {};
}

QString excerpt(const QByteArray& bytes, int max) {
    // Junk is mostly bytes to escape: written digit by digit into one buffer reserved up front.
    static constexpr char hex[] = "0123456789abcdef";
    const qsizetype n = std::min<qsizetype>(bytes.size(), std::max(max, 0));
    QString out;
    out.reserve(n * 4 + 3);
    for (qsizetype i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x20 && b <= 0x7E && b != '\\') {
            out += QLatin1Char(char(b));
        } else {
            out += QLatin1String("\\x");
            out += QLatin1Char(hex[b >> 4]);
            out += QLatin1Char(hex[b & 0xF]);
        }
    }
    if (bytes.size() > max)
        out += QStringLiteral("...");
    return out;
}

} // namespace exchange
