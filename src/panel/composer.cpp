// SPDX-License-Identifier: GPL-3.0-or-later
#include "panel/composer.h"

#include "wire/record.h"

void Composer::start(bool keepChannel)
{
    m_mmsi.clear();
    if (!keepChannel)
        m_channel.clear();
}

void Composer::add(QByteArray& field, int tag, int limit)
{
    if (tag == kClr)
        field.clear();
    else
        field = (field + QByteArray::number(tag)).left(limit);
}

bool Composer::channel_valid() const
{
    if (!channel_complete())
        return false;
    bool ok = false;
    const int channel = m_channel.toInt(&ok);
    return ok && dsc::allowed_working_channel(channel);
}

bool Composer::group_id_valid() const
{
    return mmsi_complete() && m_mmsi.startsWith('0');
}
