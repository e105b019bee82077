// Call composition menus and the navigation keys.
#include "station/station.h"

void Station::callKeyMouseDown(Key) {}
void Station::callKeyMouseUp(Key, Mods) {}
void Station::btnGroupMouseUp() {}
void Station::btnPosReqMouseUp() {}
void Station::show_individual_call(int) {}
void Station::show_all_ships_call(int) {}
void Station::show_group_call() {}
void Station::show_position_request() {}
void Station::imgESCMouseDown() {}
void Station::imgENTMouseDown() {}
void Station::imgUPMouseDown() {}
void Station::imgDWMouseDown() {}
void Station::navKeyMouseUp(Key) {}
