// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/web/page_message.h"

#include <QList>

namespace exchange::web {

int pageKeyIndex(std::string_view name)
{
    for (size_t i = 0; i < kPageKeys.size(); ++i)
        if (kPageKeys[i] == name)
            return int(i);
    return -1;
}

std::optional<PageMessage> readPageMessage(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > kMaxTextBytes)
        return std::nullopt;
    const QList<QByteArray> words = text.split(' ');
    for (const QByteArray& w : words)
        if (w.isEmpty())
            return std::nullopt;   // no leading, trailing or double spaces
    PageMessage m;
    const QByteArray& verb = words.first();
    if (verb == "talk-end")
        return words.size() == 1 ? std::optional(PageMessage{PageMessage::Kind::TalkEnd}) : std::nullopt;
    if (verb == "down")
        m.kind = PageMessage::Kind::Down;
    else if (verb == "up")
        m.kind = PageMessage::Kind::Up;
    else if (verb == "enter")
        m.kind = PageMessage::Kind::Enter;
    else if (verb == "leave")
        m.kind = PageMessage::Kind::Leave;
    else
        return std::nullopt;
    if (words.size() < 2)
        return std::nullopt;
    m.key = pageKeyIndex(std::string_view(words[1].constData(), size_t(words[1].size())));
    if (m.key < 0)
        return std::nullopt;
    const bool pressOrRelease = m.kind == PageMessage::Kind::Down || m.kind == PageMessage::Kind::Up;
    for (qsizetype i = 2; i < words.size(); ++i) {
        // Each modifier once, Alt before Ctrl, and only with a press or a release.
        if (!pressOrRelease)
            return std::nullopt;
        if (words[i] == "alt" && !m.alt && !m.ctrl)
            m.alt = true;
        else if (words[i] == "ctrl" && !m.ctrl)
            m.ctrl = true;
        else
            return std::nullopt;
    }
    return m;
}

bool validMicFrame(const QByteArray& bytes)
{
    return !bytes.isEmpty() && bytes.size() <= kMaxMicBytes && bytes.size() % 2 == 0;
}

} // namespace exchange::web
