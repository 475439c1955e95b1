#include "results/results_store.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <sqlite3.h>

#include <set>

#include "results/figure_names.h"
#include "results/server_probe.h"

namespace vexa::results {

namespace {

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
  checkpoint();
  for (const QString& name : {localName_, serverName_}) {
    if (!QSqlDatabase::contains(name)) continue;
    QSqlDatabase::database(name, false).close();
    QSqlDatabase::removeDatabase(name);
  }
}

// The file alone is the store: what the write-ahead log holds goes into it before the command
// ends, so a copy of the file (a backup, a file sent to a colleague) has every record.
void ResultsStore::checkpoint() {
  if (!localOpen_ || !localWritten_) return;
  QSqlDatabase db = QSqlDatabase::database(localName_, false);
  std::string error;
  if (!Exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", error)) lastError_ = queuePath_ + ": " + error;
  localWritten_ = false;
}

// A damaged file is moved aside whole (with its write-ahead log) for whoever wants to rescue
// it, and a new store begun in its place; `what` says what was wrong.
bool ResultsStore::keepDamagedAside(const std::string& what) {
  QSqlDatabase::database(localName_, false).close();
  const QString path = QString::fromStdString(queuePath_);
  const QString aside =
      path + ".damaged-" + QDateTime::currentDateTimeUtc().toString("yyyyMMddTHHmmsszzz");
  const bool moved = QFile::rename(path, aside);
  if (moved) {
    QFile::rename(path + "-wal", aside + "-wal");
    QFile::remove(path + "-shm");
  }
  lastError_ = queuePath_ + ": damaged (" + what + "); " +
               (moved ? "kept aside as " + aside.toStdString() + ", a new store begun"
                      : "could not be moved aside");
  return moved;
}

bool ResultsStore::openLocal() {
  if (localOpen_) return true;
  if (openLocalFile()) return true;
  // A file that is not a whole store is set aside once; the new one must then open.
  if (!damaged_) return false;
  const std::string cause = lastError_;
  if (!keepDamagedAside(cause)) return false;
  const std::string told = lastError_;
  damaged_ = false;
  const bool opened = openLocalFile();
  if (opened) lastError_ = told;
  return opened;
}

bool ResultsStore::openLocalFile() {
  damaged_ = false;
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
  {
    // A truncated or overwritten file would otherwise open, and its records vanish in silence.
    // A file busy with another bench is not damaged: only SQLite's own verdict, or its "not a
    // database" (26) and "malformed" (11), set a file aside.
    QSqlQuery check(db);
    const bool ran = check.exec("PRAGMA quick_check(1)") && check.next();
    const QString code = check.lastError().nativeErrorCode();
    const std::string verdict = ran ? text(check.value(0)) : check.lastError().text().toStdString();
    if (verdict != "ok") {
      lastError_ = verdict;
      damaged_ = ran || code == "26" || code == "11";
      if (!damaged_) lastError_ = queuePath_ + ": " + verdict;
      db.close();
      return false;
    }
  }
  // WAL: a reader (the Units window) never blocks a bench that writes. NORMAL: a commit waits
  // for no disk flush (the checkpoint does), so a record costs no fsync at the end of a run; a
  // power cut may lose the last records, never the log files they describe nor the store.
  Exec(db, "PRAGMA journal_mode=WAL", error);
  Exec(db, "PRAGMA synchronous=NORMAL", error);
  // The checkpoint is ours, once at the end of a command that wrote (see checkpoint()).
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
  if (!serverOpen_ && serverTried_) return false;  // one attempt: the cause is known already
  if (serverOpen_) {
    // A server restarted since: the old connection is dead, so test it and reconnect.
    QSqlDatabase db = QSqlDatabase::database(serverName_, false);
    QSqlQuery q(db);
    if (q.exec("SELECT 1")) return true;
    db.close();
    serverOpen_ = false;
  }
  serverTried_ = true;
  std::string why;
  if (!ProbeServer(where_, kServerWaitMs, why)) {
    lastError_ = where_.text() + ": " + why;
    return false;
  }
  QSqlDatabase db = QSqlDatabase::contains(serverName_)
                        ? QSqlDatabase::database(serverName_, false)
                        : QSqlDatabase::addDatabase("QPSQL", serverName_);
  ConfigureServerConnection(db, where_);
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
  localWritten_ = true;
  if (q.exec()) return true;
  lastError_ = queuePath_ + ": " + q.lastError().text().toStdString();
  return false;
}

bool ResultsStore::record(const AnyRecord& record) {
  std::string error;
  if (!CheckUnitName(std::visit([](const auto& r) { return r.unit.name; }, record), error)) {
    lastError_ = error;
    return false;
  }
  if (where_.engine == Engine::Sqlite) {
    if (!openLocal()) return false;
    QSqlDatabase db = QSqlDatabase::database(localName_, false);
    localWritten_ = true;
    if (WriteRecord(db, Engine::Sqlite, record, error)) return true;
    lastError_ = queuePath_ + ": " + error;
    return false;
  }
  // The queue first: the record is safe on this bench before the server is even tried.
  if (!queue(record)) {
    // No local file either: the server is the only place left.
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
    localWritten_ = true;
    if (!done.exec()) lastError_ = queuePath_ + ": " + done.lastError().text().toStdString();
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
                  "r.outcome, f.path, f.bytes, f.sha256, r.host FROM runs r "
                  "LEFT JOIN run_files f ON "
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
      r.host = text(q.value(15));
      out.push_back(std::move(r));
    }
    if (!q.value(12).isNull())
      out.back().filesWritten.push_back(
          {text(q.value(12)), q.value(13).toLongLong(), text(q.value(14))});
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
  // The name the user knows (the window's caption, "X Gyro") or the file's column title
  // ("X Gryo"). A caption is found by its title, so the query stays on the table's key and
  // figures recorded before captions were kept are found too.
  const std::string captionTitle = TitleOfCaption(title);
  q.prepare(
      "SELECT unit, value, sigma, value_unit, resolved, at FROM latest_figures "
      "WHERE title IN (?, ?) AND term = ? ORDER BY unit, title");
  q.addBindValue(QString::fromStdString(title));
  q.addBindValue(QString::fromStdString(captionTitle.empty() ? title : captionTitle));
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
  if (!q.exec("SELECT DISTINCT title, term FROM latest_figures")) {
    error = q.lastError().text().toStdString();
    return false;
  }
  // Named as the user names them: by caption where the title has one.
  std::set<std::string> names;
  while (q.next()) {
    const std::string caption = CaptionOfTitle(text(q.value(0)));
    names.insert(FigureName(caption.empty() ? text(q.value(0)) : caption, text(q.value(1))));
  }
  out.assign(names.begin(), names.end());
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
  q.prepare(QString::fromStdString(
      std::string("SELECT c.id, c.unit, c.at, c.kind, r.label, r.before_value, r.after_value "
                  "FROM calibrations c LEFT JOIN calibration_registers r ON "
                  "r.calibration_id = c.id ") +
      (unit.empty() ? "" : "WHERE c.unit = ? ") + "ORDER BY c.at, c.id, r.label"));
  if (!unit.empty()) q.addBindValue(QString::fromStdString(unit));
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

bool ResultsStore::queued(std::vector<QueuedRecord>& out, std::string& error) {
  if (!openLocal()) {
    error = lastError_;
    return false;
  }
  QSqlQuery q(QSqlDatabase::database(localName_, false));
  if (!q.exec("SELECT seq, destination, payload FROM outbox ORDER BY seq")) {
    error = q.lastError().text().toStdString();
    return false;
  }
  out.clear();
  while (q.next()) {
    QueuedRecord r;
    r.seq = q.value(0).toLongLong();
    r.destination = text(q.value(1));
    AnyRecord record;
    if (!DecodeRecord(text(q.value(2)), record)) {
      r.kind = "unreadable";
    } else {
      std::visit(
          [&](const auto& rec) {
            r.id = rec.id;
            r.unit = rec.unit.name;
          },
          record);
      if (const auto* run = std::get_if<LogRunRecord>(&record)) {
        r.kind = "run";
        r.at = run->started;
      } else if (const auto* cal = std::get_if<CalibrationRecord>(&record)) {
        r.kind = "calibration";
        r.at = cal->at;
      } else if (const auto* noise = std::get_if<NoiseRecord>(&record)) {
        r.kind = "noise";
        r.at = noise->at;
      }
    }
    out.push_back(std::move(r));
  }
  return true;
}

bool ResultsStore::dropQueued(int64_t& dropped, std::string& error) {
  dropped = 0;
  if (!openLocal()) {
    error = lastError_;
    return false;
  }
  QSqlQuery q(QSqlDatabase::database(localName_, false));
  localWritten_ = true;
  if (!q.exec("DELETE FROM outbox")) {
    error = q.lastError().text().toStdString();
    return false;
  }
  dropped = q.numRowsAffected();
  return true;
}

}  // namespace vexa::results
