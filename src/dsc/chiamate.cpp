// DSC TX: the call builders and the send procedure.
#include "station/station.h"

void Station::btnTXMouseDown() {}
void Station::btnTXMouseUp() {}
void Station::tx_action() {}
bool Station::send_record(const QByteArray&) { return false; }
QByteArray Station::build_individual_call() const { return {}; }
QByteArray Station::build_group_call() const { return {}; }
QByteArray Station::build_all_ships_call(int) const { return {}; }
QByteArray Station::build_distress_alert() const { return {}; }
QByteArray Station::build_distress_ack() const { return {}; }
QByteArray Station::build_individual_ack(bool) const { return {}; }
QByteArray Station::build_position_request() const { return {}; }
QByteArray Station::build_position_reply() const { return {}; }
QByteArray Station::utc_time_text() const { return {}; }
