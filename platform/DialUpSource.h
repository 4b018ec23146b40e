#pragma once

#include "ras/service/ConnectionState.h"
#include "ras/service/Phonebook.h"

#include <cstdint>
#include <vector>

// The stand-in dial-up service as the registry statistics and telephony see it: the service
// in ResolveRasFolder() at wall-clock time, unless a test chose one (TPlatformSeams::DialUpService). Nothing here throws: a service that cannot be read
// has no entries and no connections, as a machine without dial-up networking would.
// Called several times a second during a session: within one timer tick the service is read
// once, and its file cache makes every read after the first cost no read of an unchanged
// phonebook or connection table.
std::vector<TPhonebookEntry> DialUpPhonebook();
// The connections that exist now (dialing, connected or lingering), in dial order.
std::vector<TConnectionView> DialUpConnections();
// The service's notion of now, in milliseconds since the Unix epoch.
int64_t DialUpNowMs();
