#pragma once

// Where the results go: the SQLite file in the user's data folder, or a PostgreSQL server
// named as postgresql://USER@HOST:PORT/NAME (no password on a command line: libpq takes it
// from ~/.pgpass or PGPASSWORD). A host starting with "/" (written %2F in the address) is the
// folder of the server's Unix socket.

#include <string>

#include "results/results_schema.h"

namespace vexa::results {

struct StoreLocation {
  Engine engine = Engine::Sqlite;
  std::string path;  // SQLite: the file
  std::string user;
  std::string host;
  int port = 5432;
  std::string database;
  // How it is shown to the user (the address without anything secret).
  std::string text() const;
};

// `$XDG_DATA_HOME/vexa-eval/results.db`, or `~/.local/share/vexa-eval/results.db` when
// XDG_DATA_HOME is unset or not absolute.
std::string DefaultStorePath();

// Empty text: the default file. "postgresql://..." or "postgres://...": a server. Anything
// else: the path of an SQLite file. False with a one-line error for a malformed address.
bool ParseStoreLocation(const std::string& text, StoreLocation& location, std::string& error);

}  // namespace vexa::results
