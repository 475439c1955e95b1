#pragma once

// The results store's schema: one text for SQLite and PostgreSQL, kept in versions. A store is
// brought to the newest version when it is opened, under a lock so two benches opening one
// server at once migrate it once.

#include <string>

class QSqlDatabase;

namespace vexa::results {

enum class Engine { Sqlite, Postgres };

// The version this program writes.
constexpr int kSchemaVersion = 3;

// The version of the store: 0 when it holds no schema yet.
int SchemaVersionOf(QSqlDatabase& db);

// Creates or migrates the store up to `target` (tests stop at earlier versions). False with the
// database's error; nothing of a failed step stays.
bool MigrateSchema(QSqlDatabase& db, Engine engine, std::string& error,
                   int target = kSchemaVersion);

// Begins a write transaction that holds the store's write lock from its first statement
// (SQLite: BEGIN IMMEDIATE, so two writers never deadlock upgrading a read lock).
bool BeginWrite(QSqlDatabase& db, Engine engine, std::string& error);
bool Commit(QSqlDatabase& db, std::string& error);
void Rollback(QSqlDatabase& db);

// Runs one statement; false with the error text.
bool Exec(QSqlDatabase& db, const std::string& sql, std::string& error);

}  // namespace vexa::results
