// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/console/classroom_view.h"

namespace exchange {

ClassroomView ClassroomView::of(const Classroom& room, const RecordBook& book,
                                const std::vector<VoiceTransmission>* voice)
{
    ClassroomView v;
    v.debrief = room.debrief();
    v.stations = room.host().stations();
    v.addresses = book.addresses();
    v.fired = room.fired();
    v.exercise = exerciseOf(room);
    v.rejected.assign(book.rejected().begin(), book.rejected().end());
    v.rejectedTotal = book.rejectedTotal();
    if (voice)
        v.voice = *voice;
    v.startEpochMs = room.epochMs(0);
    return v;
}

std::optional<ClassroomView::ExerciseState> ClassroomView::exerciseOf(const Classroom& room)
{
    const ExercisePlayer* p = room.player();
    if (!p)
        return std::nullopt;
    return ExerciseState{p->stateName(), p->positionMs(), int(p->exercise().events.size()), p->nextEvent()};
}

ClassroomView::Key ClassroomView::keyOf(const Classroom& room, const RecordBook& book)
{
    return {room.debrief().version(), book.addressesVersion(), room.host().stations().size()};
}

bool ClassroomView::isVirtual(const QByteArray& mmsi) const
{
    return std::any_of(stations.begin(), stations.end(), [&](const VirtualStation& s) { return s.mmsi == mmsi; });
}

QString ClassroomView::kindOf(const QByteArray& mmsi) const
{
    for (const VirtualStation& s : stations)
        if (s.mmsi == mmsi)
            return s.kind == VirtualStation::Coast ? QStringLiteral("coast") : QStringLiteral("ship");
    if (mmsi.startsWith('0') && !mmsi.startsWith("00"))
        return QStringLiteral("group");
    return QStringLiteral("trainee");
}

} // namespace exchange
