#pragma once

// Where the results go: the SQLite file in the user's data folder, or a PostgreSQL server named
// by a connection URI as libpq reads it: postgresql://[USER@][HOST][:PORT][/NAME][?KEY=VALUE...]
// (no user: libpq's default; a host "/folder" written %2F..., or ?host=/folder, is the folder of
// the server's Unix socket; [::1] an IPv6 address; sslmode and every other parameter passed
// through). No password on a command line: libpq takes it from PGPASSWORD or ~/.pgpass.

#include <string>
#include <utility>
#include <vector>

#include "results/results_schema.h"

class QSqlDatabase;

namespace vexa::results {

struct StoreLocation {
  Engine engine = Engine::Sqlite;
  std::string path;  // SQLite: the file
  // A server: libpq's parameters as the address gave them (empty: libpq's default).
  std::string user;
  std::string host;
  std::string port;
  std::string database;
  std::vector<std::pair<std::string, std::string>> parameters;  // sslmode, options, ...
  // How it is shown to the user and names the queue's destination: the address without
  // anything secret, read back by ParseStoreLocation as the same server.
  std::string text() const;
  // Every parameter for libpq, keyword and value (the four above first, where given).
  std::vector<std::pair<std::string, std::string>> connectionParameters() const;
};

// `$XDG_DATA_HOME/vexa-eval/results.db`, or `~/.local/share/vexa-eval/results.db` when
// XDG_DATA_HOME is unset or not absolute.
std::string DefaultStorePath();

// Empty text: the default file. "postgresql://..." or "postgres://...": a server. Anything
// else: the path of an SQLite file. False with a one-line error for a malformed address.
bool ParseStoreLocation(const std::string& text, StoreLocation& location, std::string& error);

// Sets a QPSQL connection up for the server at `where` (every parameter, and a bounded wait).
void ConfigureServerConnection(QSqlDatabase& db, const StoreLocation& where);

}  // namespace vexa::results
