// SPDX-License-Identifier: GPL-3.0-or-later
// The reader of what a station's page sends over its socket, and the access rules of the stations'
// area. Any bytes give a message or nothing; a message read is exactly one the page can write (the
// same text comes back from its parts); only the class code or the instructor's token opens a station.
#include "exchange/console/access_rules.h"
#include "exchange/web/page_message.h"

#include <cstddef>
#include <cstdint>

namespace {

QByteArray written(const exchange::web::PageMessage& m)
{
    using Kind = exchange::web::PageMessage::Kind;
    if (m.kind == Kind::TalkEnd)
        return "talk-end";
    const char* verb = m.kind == Kind::Down ? "down" : m.kind == Kind::Up ? "up" : m.kind == Kind::Enter ? "enter" : "leave";
    const std::string_view key = exchange::web::kPageKeys.at(size_t(m.key));
    QByteArray out = QByteArray(verb) + ' ' + QByteArray(key.data(), qsizetype(key.size()));
    if (m.alt)
        out += " alt";
    if (m.ctrl)
        out += " ctrl";
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    if (const auto m = exchange::web::readPageMessage(bytes); m && written(*m) != bytes)
        __builtin_trap();
    if (exchange::web::validMicFrame(bytes) && (bytes.size() % 2 != 0 || bytes.size() > exchange::web::kMaxMicBytes))
        __builtin_trap();

    const QList<QByteArray> lines = bytes.split('\n');
    const auto line = [&](int i) { return i < lines.size() ? lines[i] : QByteArray(); };
    exchange::Caller caller{QString::fromLatin1(line(0)), line(1), QString::fromLatin1(line(2)), line(3), size % 2 == 1};
    exchange::AccessRules rules;
    const QString token = QStringLiteral("0123456789abcdef0123456789abcdef"), code = QStringLiteral("k7m2qp");
    rules.setCredential(exchange::Area::Instructor, token);
    rules.setCredential(exchange::Area::Station, code);
    const auto given = [&](const QString& s) { return caller.token == s || caller.authorization == "Bearer " + s.toLatin1(); };
    if (rules.check(exchange::Area::Station, caller) == exchange::Verdict::Allowed && !given(code) && !given(token))
        __builtin_trap();
    // The class code opens nothing of the console.
    if (rules.check(exchange::Area::Instructor, caller) == exchange::Verdict::Allowed && !given(token))
        __builtin_trap();
    return 0;
}
