// SPDX-License-Identifier: GPL-3.0-or-later
// `kelvo-exchange compose`: builds a well-formed record from named fields, so that an instructor
// need not count filling spaces.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <variant>

namespace exchange {

// Arguments after "compose": --from MMSI --to MMSI --call INDIVID|GROUP|ALLSHIPS|DISTRESS
// --category ROUTINE|SAFETY|URGENCY|DISTRESS|DIST_ACK|ROUT_ACK|POS_REQ|POS_ACK [--channel N]
// [--nature N] [--pos LATD LATM NS LOND LONM EW] [--time hh:mm|--:--] [--comply Y|N].
// Returns the record, or what is wrong.
std::variant<QByteArray, QString> compose_from_fields(const QStringList& args);

} // namespace exchange
