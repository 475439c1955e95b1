#pragma once

// Asks a PostgreSQL server for a connection under a deadline of ours: libpq's connect_timeout
// counts per host and per address (a name with an IPv6 and an IPv4 address waits twice) and
// never less than 2 s, while a bench must know that its run's end waits no longer than asked.

#include <string>

#include "results/store_location.h"

namespace vexa::results {

// True when the server took a connection (and let this user in) within `timeoutMs`; false with
// libpq's cause, or "no answer within N s".
bool ProbeServer(const StoreLocation& where, int timeoutMs, std::string& error);

}  // namespace vexa::results
