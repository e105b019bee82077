// Keypad and number entry.
#include "station/station.h"

void Station::num1MouseDown(int) {}
void Station::num1MouseUp(int) {}
void Station::scrivi_label(int) {}
bool Station::channel_valid() const { return false; }
bool Station::group_id_valid() const { return false; }
void Station::show_individual_ready() {}
void Station::show_group_ready() {}
void Station::show_position_request_ready() {}
