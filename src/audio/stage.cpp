// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/stage.h"

bool Stage::open()
{
    if (Stage* n = next())
        n->open();
    return doOpen();
}

void Stage::close()
{
    doClose();
    if (Stage* n = next())
        n->close();
}

void Stage::link(Stage* next)
{
    std::lock_guard lock(m_link);
    m_next = next;
}

Stage* Stage::next() const
{
    std::lock_guard lock(m_link);
    return m_next;
}

void Stage::deliver(const AudioFormat& format, const char* data, qsizetype size)
{
    std::lock_guard lock(m_link);
    if (m_next)
        m_next->write(format, data, size);
}

void Stage::deliverMissing(const AudioFormat& format, qsizetype size)
{
    std::lock_guard lock(m_link);
    if (m_next)
        m_next->missing(format, size);
}

void Stage::missing(const AudioFormat& format, qsizetype size) { deliverMissing(format, size); }

qint64 Stage::leadUs() const
{
    std::lock_guard lock(m_link);
    return m_next ? m_next->leadUs() : -1;
}
