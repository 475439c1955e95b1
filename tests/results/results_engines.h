#pragma once

// The engines the results tests run on: SQLite always, PostgreSQL when with_postgres.sh has
// started a throw-away server and named it in the environment:
//   VEXA_TEST_PG_URL    postgresql://USER@HOST:PORT/ (a database name is added per test)
//   VEXA_TEST_PG_STOP   a command that stops the server
//   VEXA_TEST_PG_START  a command that starts it again
//   VEXA_TEST_PG_TCP_URL, VEXA_TEST_PG_PASSWORD  the same server over TCP, with its password

#include <string>

#include "results/store_location.h"

namespace vexa::results::testing {

bool PostgresAvailable();
// The server over TCP ("postgresql://USER@127.0.0.1:PORT/") and its password; empty without.
std::string PostgresTcpUrl();
std::string PostgresPassword();
// A store location on a fresh, empty store: a new SQLite file in `folder`, or a new database
// on the test server.
StoreLocation FreshStore(Engine engine, const std::string& folder);
// Stops or starts the test server; false when it did not.
bool StopPostgres();
bool StartPostgres();

}  // namespace vexa::results::testing
