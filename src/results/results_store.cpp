#include "results/results_store.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <sqlite3.h>

namespace vexa::results {

namespace {

// A server that does not answer costs at most this long per attempt, so a log run's end is
// never held for long.
constexpr const char* kServerOptions = "connect_timeout=3";
// Two benches writing one file wait for each other's transaction instead of failing.
constexpr const char* kSqliteOptions = "QSQLITE_BUSY_TIMEOUT=15000";

QString NewConnectionName() {
  return "vexa-results-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

std::string text(const QVariant& value) {
  return value.toString().toStdString();
}

}  // namespace

std::string StateText(const StoreState& s) {
  std::string t = std::string("results store: ") + (s.online ? "online" : "offline");
  if (s.waiting > 0)
    t += ", " + std::to_string(s.waiting) + (s.waiting == 1 ? " record" : " records") + " waiting";
  return t;
}

std::string NewRecordId() {
  return QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
}

std::string UtcNow() {
  return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString();
}

UnitRecord NamedUnit(const std::string& name, const std::string& product) {
  if (!name.empty()) return {name, product};
  return {product.empty() ? "unknown" : product, product};
}

ResultsStore::ResultsStore(StoreLocation where, std::string queuePath)
    : where_(std::move(where)), queuePath_(std::move(queuePath)) {
  if (where_.engine == Engine::Sqlite) queuePath_ = where_.path;
  localName_ = NewConnectionName();
  serverName_ = NewConnectionName();
}

ResultsStore::~ResultsStore() {
  for (const QString& name : {localName_, serverName_}) {
    if (!QSqlDatabase::contains(name)) continue;
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
  }
}

bool ResultsStore::openLocal() {
  if (localOpen_) return true;
  QDir().mkpath(QFileInfo(QString::fromStdString(queuePath_)).absolutePath());
  QSqlDatabase db = QSqlDatabase::contains(localName_)
                        ? QSqlDatabase::database(localName_, false)
                        : QSqlDatabase::addDatabase("QSQLITE", localName_);
  db.setDatabaseName(QString::fromStdString(queuePath_));
  db.setConnectOptions(kSqliteOptions);
  if (!db.open()) {
    lastError_ = queuePath_ + ": " + db.lastError().text().toStdString();
    return false;
  }
  std::string error;
  // WAL: a reader (the Units window) never blocks a bench that writes. NORMAL: a commit waits
  // for no disk flush (the checkpoint does), so a record costs no fsync at the end of a run; a
  // power cut may lose the last records, never the log files they describe nor the store.
  Exec(db, "PRAGMA journal_mode=WAL", error);
  Exec(db, "PRAGMA synchronous=NORMAL", error);
  // A program records once and closes: a checkpoint at every close would flush the disk each
  // time. The log stays for the next program; SQLite folds it in when it has grown (1000 pages).
  const QVariant handle = db.driver()->handle();
  if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
    if (sqlite3* connection = *static_cast<sqlite3* const*>(handle.data()))
      sqlite3_db_config(connection, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  if (!Exec(db,
            "CREATE TABLE IF NOT EXISTS outbox (seq INTEGER PRIMARY KEY, id TEXT NOT NULL, "
            "destination TEXT NOT NULL, payload TEXT NOT NULL)",
            error) ||
      !MigrateSchema(db, Engine::Sqlite, error)) {
    lastError_ = queuePath_ + ": " + error;
    db.close();
    return false;
  }
  localOpen_ = true;
  return true;
}

bool ResultsStore::openServer() {
  if (serverOpen_) {
    // A server restarted since: the old connection is dead, so test it and reconnect.
    QSqlDatabase db = QSqlDatabase::database(serverName_, false);
    QSqlQuery q(db);
    if (q.exec("SELECT 1")) return true;
    db.close();
    serverOpen_ = false;
  }
  QSqlDatabase db = QSqlDatabase::contains(serverName_)
                        ? QSqlDatabase::database(serverName_, false)
                        : QSqlDatabase::addDatabase("QPSQL", serverName_);
  db.setHostName(QString::fromStdString(where_.host));
  db.setPort(where_.port);
  db.setUserName(QString::fromStdString(where_.user));
  db.setDatabaseName(QString::fromStdString(where_.database));
  db.setConnectOptions(kServerOptions);
  if (!db.open()) {
    lastError_ = where_.text() + ": " + db.lastError().text().trimmed().toStdString();
    return false;
  }
  std::string error;
  // Notices about tables that exist already are noise on a bench's standard error.
  Exec(db, "SET client_min_messages = warning", error);
  if (!MigrateSchema(db, Engine::Postgres, error)) {
    lastError_ = where_.text() + ": " + error;
    db.close();
    return false;
  }
  serverOpen_ = true;
  return true;
}

bool ResultsStore::open() {
  const bool local = openLocal();
  if (where_.engine == Engine::Sqlite) return local;
  if (!openServer()) return false;
  if (local) flush();
  return true;
}

QSqlDatabase ResultsStore::target() {
  return QSqlDatabase::database(where_.engine == Engine::Sqlite ? localName_ : serverName_, false);
}

bool ResultsStore::queue(const AnyRecord& record) {
  if (!openLocal()) return false;
  QSqlDatabase db = QSqlDatabase::database(localName_, false);
  QSqlQuery q(db);
  q.prepare("INSERT INTO outbox (id, destination, payload) VALUES (?, ?, ?)");
  q.addBindValue(QString::fromStdString(RecordId(record)));
  q.addBindValue(QString::fromStdString(where_.text()));
  q.addBindValue(QString::fromStdString(EncodeRecord(record)));
  if (q.exec()) return true;
  lastError_ = queuePath_ + ": " + q.lastError().text().toStdString();
  return false;
}

bool ResultsStore::record(const AnyRecord& record) {
  if (where_.engine == Engine::Sqlite) {
    if (!openLocal()) return false;
    QSqlDatabase db = QSqlDatabase::database(localName_, false);
    std::string error;
    if (WriteRecord(db, Engine::Sqlite, record, error)) return true;
    lastError_ = queuePath_ + ": " + error;
    return false;
  }
  // The queue first: the record is safe on this bench before the server is even tried.
  if (!queue(record)) {
    // No local file either: the server is the only place left.
    std::string error;
    if (!openServer()) return false;
    QSqlDatabase db = QSqlDatabase::database(serverName_, false);
    if (WriteRecord(db, Engine::Postgres, record, error)) return true;
    lastError_ = where_.text() + ": " + error;
    return false;
  }
  flush();
  return true;
}

int64_t ResultsStore::flush() {
  if (where_.engine == Engine::Sqlite || !openLocal()) return 0;
  QSqlDatabase local = QSqlDatabase::database(localName_, false);
  // The queue may hold records for other servers (another --db): each goes where it was meant.
  const QString destination = QString::fromStdString(where_.text());
  const auto waiting = [&] {
    QSqlQuery q(local);
    q.prepare("SELECT COUNT(*) FROM outbox WHERE destination = ?");
    q.addBindValue(destination);
    return q.exec() && q.next() ? q.value(0).toLongLong() : 0;
  };
  if (waiting() == 0 || !openServer()) return waiting();
  QSqlDatabase server = QSqlDatabase::database(serverName_, false);
  QSqlQuery q(local);
  q.prepare("SELECT seq, payload FROM outbox WHERE destination = ? ORDER BY seq");
  q.addBindValue(destination);
  q.exec();
  std::vector<std::pair<qlonglong, std::string>> rows;
  while (q.next()) rows.emplace_back(q.value(0).toLongLong(), text(q.value(1)));
  for (const auto& [seq, payload] : rows) {
    AnyRecord record;
    std::string error;
    const bool readable = DecodeRecord(payload, record);
    if (readable && !WriteRecord(server, Engine::Postgres, record, error)) {
      lastError_ = where_.text() + ": " + error;
      // A record the server refuses while it still answers would block the queue for good;
      // it stays in the local file (the rest goes on), a lost connection stops here.
      QSqlQuery alive(server);
      if (!alive.exec("SELECT 1")) {
        server.close();
        serverOpen_ = false;
        break;
      }
      continue;
    }
    QSqlQuery done(local);
    done.prepare("DELETE FROM outbox WHERE seq = ?");
    done.addBindValue(seq);
    done.exec();
  }
  return waiting();
}

StoreState ResultsStore::state() {
  StoreState s;
  s.lastError = lastError_;
  if (where_.engine == Engine::Sqlite) {
    s.online = localOpen_ || openLocal();
    return s;
  }
  s.waiting = flush();
  s.online = serverOpen_;
  s.lastError = lastError_;
  return s;
}

bool ResultsStore::units(std::vector<UnitSummary>& out, std::string& error) {
  if (!open()) {
    error = lastError_;
    return false;
  }
  QSqlDatabase db = target();
  QSqlQuery q(db);
  const char* sql =
      "SELECT u.name, u.product, u.first_seen, "
      "(SELECT COUNT(*) FROM runs r WHERE r.unit = u.name), "
      "(SELECT MAX(r.started) FROM runs r WHERE r.unit = u.name), "
      "(SELECT COUNT(*) FROM latest_figures f WHERE f.unit = u.name) "
      "FROM units u ORDER BY u.name";
  if (!q.exec(sql)) {
    error = q.lastError().text().toStdString();
    return false;
  }
  out.clear();
  while (q.next())
    out.push_back({text(q.value(0)),
                   text(q.value(1)),
                   text(q.value(2)),
                   q.value(3).toLongLong(),
                   text(q.value(4)),
                   {},
                   q.value(5).toLongLong()});
  for (auto& u : out) {
    if (u.lastRun.empty()) continue;
    QSqlQuery last(db);
    last.prepare("SELECT outcome FROM runs WHERE unit = ? AND started = ?");
    last.addBindValue(QString::fromStdString(u.name));
    last.addBindValue(QString::fromStdString(u.lastRun));
    if (last.exec() && last.next()) u.lastOutcome = text(last.value(0));
  }
  return true;
}

bool ResultsStore::runs(const std::string& unit, std::vector<RunSummary>& out, std::string& error) {
  if (!open()) {
    error = lastError_;
    return false;
  }
  QSqlDatabase db = target();
  QSqlQuery q(db);
  q.prepare(QString::fromStdString(
      std::string("SELECT r.id, r.unit, r.bench, r.started, r.ended, r.interface, "
                  "r.settings, r.channels, r.samples_per_file, r.files, r.samples_taken, "
                  "r.outcome, f.path, f.bytes FROM runs r LEFT JOIN run_files f ON "
                  "f.run_id = r.id ") +
      (unit.empty() ? "" : "WHERE r.unit = ? ") + "ORDER BY r.started, r.id, f.seq"));
  if (!unit.empty()) q.addBindValue(QString::fromStdString(unit));
  if (!q.exec()) {
    error = q.lastError().text().toStdString();
    return false;
  }
  out.clear();
  while (q.next()) {
    const std::string id = text(q.value(0));
    if (out.empty() || out.back().id != id) {
      RunSummary r;
      r.id = id;
      r.unit = text(q.value(1));
      r.bench = text(q.value(2));
      r.started = text(q.value(3));
      r.ended = text(q.value(4));
      r.interfaceName = text(q.value(5));
      r.settings = text(q.value(6));
      r.channels = text(q.value(7));
      r.samplesPerFile = q.value(8).toDouble();
      r.files = q.value(9).toDouble();
      r.samplesTaken = q.value(10).isNull() ? -1 : q.value(10).toLongLong();
      r.outcome = text(q.value(11));
      out.push_back(std::move(r));
    }
    if (!q.value(12).isNull())
      out.back().filesWritten.push_back({text(q.value(12)), q.value(13).toLongLong()});
  }
  return true;
}

bool ResultsStore::figure(const std::string& figureName, std::vector<FigureValue>& out,
                          std::string& error) {
  std::string title, term;
  if (!SplitFigureName(figureName, title, term)) {
    error = "a figure is named CHANNEL/TERM, such as \"X Gyro/B\"";
    return false;
  }
  if (!open()) {
    error = lastError_;
    return false;
  }
  QSqlDatabase db = target();
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(
      "SELECT unit, value, sigma, value_unit, resolved, at FROM latest_figures "
      "WHERE title = ? AND term = ? ORDER BY unit");
  q.addBindValue(QString::fromStdString(title));
  q.addBindValue(QString::fromStdString(term));
  if (!q.exec()) {
    error = q.lastError().text().toStdString();
    return false;
  }
  out.clear();
  while (q.next())
    out.push_back({text(q.value(0)), q.value(1).toDouble(), q.value(2).toDouble(), text(q.value(3)),
                   q.value(4).toInt() != 0, text(q.value(5))});
  return true;
}

bool ResultsStore::figureNames(std::vector<std::string>& out, std::string& error) {
  if (!open()) {
    error = lastError_;
    return false;
  }
  QSqlDatabase db = target();
  QSqlQuery q(db);
  if (!q.exec("SELECT DISTINCT title, term FROM latest_figures ORDER BY title, term")) {
    error = q.lastError().text().toStdString();
    return false;
  }
  out.clear();
  while (q.next()) out.push_back(FigureName(text(q.value(0)), text(q.value(1))));
  return true;
}

bool ResultsStore::calibrations(const std::string& unit, std::vector<CalibrationSummary>& out,
                                std::string& error) {
  if (!open()) {
    error = lastError_;
    return false;
  }
  QSqlDatabase db = target();
  QSqlQuery q(db);
  q.prepare(
      "SELECT c.id, c.unit, c.at, c.kind, r.label, r.before_value, r.after_value "
      "FROM calibrations c LEFT JOIN calibration_registers r ON r.calibration_id = c.id "
      "WHERE c.unit = ? ORDER BY c.at, c.id, r.label");
  q.addBindValue(QString::fromStdString(unit));
  if (!q.exec()) {
    error = q.lastError().text().toStdString();
    return false;
  }
  out.clear();
  std::string lastId;
  while (q.next()) {
    if (out.empty() || text(q.value(0)) != lastId) {
      lastId = text(q.value(0));
      out.push_back({text(q.value(1)), text(q.value(2)), text(q.value(3)), {}});
    }
    if (!q.value(4).isNull())
      out.back().registers.push_back({text(q.value(4)), q.value(5).toInt(), q.value(6).toInt()});
  }
  return true;
}

}  // namespace vexa::results
