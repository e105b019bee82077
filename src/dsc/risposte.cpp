// Acknowledgements and replies to received calls.
#include "station/station.h"

void Station::reply_to_received_call() {}
void Station::mostra_tipo_ack(int) {}
void Station::show_individual_ack() {}
