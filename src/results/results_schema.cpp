#include "results/results_schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace vexa::results {

namespace {

// Each version's statements, applied in order. Types are the ones both engines read alike:
// TEXT, INTEGER, BIGINT, DOUBLE PRECISION. Keys are made by the program (a record's id), never
// by the engine, so a record queued on one bench and sent later keeps its key.
const std::vector<std::vector<const char*>>& Migrations() {
  static const std::vector<std::vector<const char*>> steps = {
      // 1: units, log runs and their files, calibration writes, noise figures.
      {
          "CREATE TABLE schema_version (version INTEGER NOT NULL)",
          "INSERT INTO schema_version (version) VALUES (0)",
          "CREATE TABLE units (name TEXT PRIMARY KEY, product TEXT NOT NULL, "
          "first_seen TEXT NOT NULL)",
          "CREATE TABLE runs (id TEXT PRIMARY KEY, unit TEXT NOT NULL REFERENCES units (name), "
          "bench TEXT NOT NULL, started TEXT NOT NULL, ended TEXT NOT NULL, "
          "interface TEXT NOT NULL, settings TEXT NOT NULL, channels TEXT NOT NULL, "
          "samples_per_file DOUBLE PRECISION NOT NULL, files DOUBLE PRECISION NOT NULL, "
          "outcome TEXT NOT NULL)",
          "CREATE TABLE run_files (run_id TEXT NOT NULL REFERENCES runs (id), "
          "seq INTEGER NOT NULL, path TEXT NOT NULL, bytes BIGINT NOT NULL, "
          "PRIMARY KEY (run_id, seq))",
          "CREATE TABLE calibrations (id TEXT PRIMARY KEY, "
          "unit TEXT NOT NULL REFERENCES units (name), bench TEXT NOT NULL, at TEXT NOT NULL, "
          "kind TEXT NOT NULL)",
          "CREATE TABLE calibration_registers (calibration_id TEXT NOT NULL "
          "REFERENCES calibrations (id), label TEXT NOT NULL, before_value INTEGER NOT NULL, "
          "after_value INTEGER NOT NULL, PRIMARY KEY (calibration_id, label))",
          "CREATE TABLE noise_analyses (id TEXT PRIMARY KEY, "
          "unit TEXT NOT NULL REFERENCES units (name), bench TEXT NOT NULL, at TEXT NOT NULL, "
          "source TEXT NOT NULL)",
          "CREATE TABLE noise_figures (analysis_id TEXT NOT NULL REFERENCES noise_analyses (id), "
          "title TEXT NOT NULL, kind TEXT NOT NULL, term TEXT NOT NULL, "
          "value DOUBLE PRECISION NOT NULL, sigma DOUBLE PRECISION NOT NULL, "
          "value_unit TEXT NOT NULL, resolved INTEGER NOT NULL, "
          "PRIMARY KEY (analysis_id, title, term))",
      },
      // 2: a run keeps how many samples it took (a cancelled run took fewer than S x F); each
      // unit's newest value of each figure gets a table of its own, so one figure across a lot
      // is one index range however many analyses each unit had; a unit's runs by time.
      {
          "ALTER TABLE runs ADD COLUMN samples_taken BIGINT",
          "CREATE INDEX runs_by_unit ON runs (unit, started)",
          "CREATE TABLE latest_figures (title TEXT NOT NULL, term TEXT NOT NULL, "
          "unit TEXT NOT NULL REFERENCES units (name), value DOUBLE PRECISION NOT NULL, "
          "sigma DOUBLE PRECISION NOT NULL, value_unit TEXT NOT NULL, resolved INTEGER NOT NULL, "
          "at TEXT NOT NULL, analysis_id TEXT NOT NULL, PRIMARY KEY (title, term, unit))",
          "INSERT INTO latest_figures (title, term, unit, value, sigma, value_unit, resolved, at, "
          "analysis_id) SELECT f.title, f.term, a.unit, f.value, f.sigma, f.value_unit, "
          "f.resolved, a.at, a.id FROM noise_figures f JOIN noise_analyses a "
          "ON a.id = f.analysis_id WHERE a.at = (SELECT MAX(b.at) FROM noise_analyses b "
          "JOIN noise_figures g ON g.analysis_id = b.id WHERE b.unit = a.unit "
          "AND g.title = f.title AND g.term = f.term) "
          "ON CONFLICT (title, term, unit) DO NOTHING",
      },
      // 3: files are found again from anywhere: the bench's host name beside the (absolute)
      // paths, each file's SHA-256, an analysis's files as rows of their own; figures carry the
      // channel's caption beside the column title, so either finds them.
      {
          "ALTER TABLE runs ADD COLUMN host TEXT",
          "ALTER TABLE run_files ADD COLUMN sha256 TEXT",
          "ALTER TABLE noise_analyses ADD COLUMN host TEXT",
          "CREATE TABLE noise_files (analysis_id TEXT NOT NULL REFERENCES noise_analyses (id), "
          "seq INTEGER NOT NULL, path TEXT NOT NULL, bytes BIGINT NOT NULL, sha256 TEXT, "
          "PRIMARY KEY (analysis_id, seq))",
          "ALTER TABLE noise_figures ADD COLUMN caption TEXT",
          "ALTER TABLE latest_figures ADD COLUMN caption TEXT",
      },
  };
  return steps;
}

std::string errorOf(const QSqlQuery& q, const std::string& sql) {
  return q.lastError().text().toStdString() + " (" + sql.substr(0, 60) + ")";
}

}  // namespace

bool Exec(QSqlDatabase& db, const std::string& sql, std::string& error) {
  QSqlQuery q(db);
  if (q.exec(QString::fromStdString(sql))) return true;
  error = errorOf(q, sql);
  return false;
}

bool BeginWrite(QSqlDatabase& db, Engine engine, std::string& error) {
  return Exec(db, engine == Engine::Sqlite ? "BEGIN IMMEDIATE" : "BEGIN", error);
}

bool Commit(QSqlDatabase& db, std::string& error) {
  return Exec(db, "COMMIT", error);
}

void Rollback(QSqlDatabase& db) {
  std::string ignored;
  Exec(db, "ROLLBACK", ignored);
}

int SchemaVersionOf(QSqlDatabase& db) {
  // Most opens find the store as it should be: one query, without listing the tables.
  {
    QSqlQuery q(db);
    if (q.exec("SELECT version FROM schema_version") && q.next()) return q.value(0).toInt();
  }
  return 0;
}

namespace {
// Inside a transaction, where a failed query would end it on a server.
int SchemaVersionInTransaction(QSqlDatabase& db) {
  if (!db.tables().contains("schema_version")) return 0;
  QSqlQuery q(db);
  if (!q.exec("SELECT version FROM schema_version") || !q.next()) return 0;
  return q.value(0).toInt();
}
}  // namespace

bool MigrateSchema(QSqlDatabase& db, Engine engine, std::string& error, int target) {
  if (SchemaVersionOf(db) >= target) return true;
  if (!BeginWrite(db, engine, error)) return false;
  // Two programs opening a new server at once: the second waits here, then finds the work done.
  if (engine == Engine::Postgres && !Exec(db, "SELECT pg_advisory_xact_lock(582500)", error)) {
    Rollback(db);
    return false;
  }
  const int from = SchemaVersionInTransaction(db);
  if (from == 0) {
    // Tables but no version: the database is another program's. Creating ours among them
    // would fail half-way on a name they share, or mix two programs' records.
    QStringList theirs = db.tables();
    theirs.removeAll("outbox");  // the local file's queue, made before the schema
    if (!theirs.isEmpty()) {
      Rollback(db);
      theirs.sort();
      error = "the database holds another program's tables (" +
              theirs.mid(0, 5).join(", ").toStdString() + (theirs.size() > 5 ? ", ..." : "") +
              "): give the results a database of their own";
      return false;
    }
  }
  const auto& steps = Migrations();
  for (int v = from + 1; v <= target && v <= static_cast<int>(steps.size()); ++v) {
    for (const char* sql : steps[static_cast<size_t>(v - 1)]) {
      if (!Exec(db, sql, error)) {
        Rollback(db);
        error = "schema version " + std::to_string(v) + ": " + error;
        return false;
      }
    }
    if (!Exec(db, "UPDATE schema_version SET version = " + std::to_string(v), error)) {
      Rollback(db);
      return false;
    }
  }
  return Commit(db, error);
}

}  // namespace vexa::results
