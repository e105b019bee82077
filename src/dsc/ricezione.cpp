// Reception of DSC records and the received-call screens.
#include "station/station.h"

void Station::IdUDPServer1UDPRead(const QByteArray&) {}
void Station::Mostra_Dati_ricevuti() {}
