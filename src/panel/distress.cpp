// The distress alert: nature list, data screen, send screen.
#include "station/station.h"

void Station::btnDistress2MouseDown() {}
void Station::btnDistress2MouseUp() {}
void Station::start_distress_alert() {}
void Station::show_nature_menu(int) {}
void Station::show_distress_data() {}
void Station::show_distress_send() {}
