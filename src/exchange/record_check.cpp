#include "exchange/record_check.h"

#include "wire/record.h"

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
    QString out;
    for (qsizetype i = 0; i < bytes.size() && i < max; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b >= 0x20 && b <= 0x7E && b != '\\')
            out += QChar(b);
        else
            out += QStringLiteral("\\x%1").arg(b, 2, 16, QChar('0'));
    }
    if (bytes.size() > max)
        out += QStringLiteral("...");
    return out;
}

} // namespace exchange
