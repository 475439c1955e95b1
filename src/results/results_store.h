#pragma once

// The results store: records of units, log runs, calibration writes and noise analyses in an
// SQLite file or on a PostgreSQL server, and the queries that read them back.
//
// It is never in the way of the work it records: nothing here throws or stops the caller. With
// a server, each record goes first into the local SQLite file's queue and leaves it only once
// the server has it; a server that cannot be reached leaves the record waiting for the next
// `flush` (every store opened later tries again).

#include <memory>
#include <string>
#include <vector>

#include <QSqlDatabase>

#include "results/record_codec.h"
#include "results/result_records.h"
#include "results/store_location.h"

namespace vexa::results {

struct UnitSummary {
  std::string name;
  std::string product;
  std::string firstSeen;
  int64_t runs = 0;
  std::string lastRun;  // start of the newest run, empty without runs
  std::string lastOutcome;
  int64_t figures = 0;  // figures held as the unit's newest
};

struct RunSummary {
  std::string id;
  std::string unit;
  std::string bench;
  std::string host;  // where the files are; empty for runs recorded before it was kept
  std::string started;
  std::string ended;
  std::string interfaceName;
  std::string settings;
  std::string channels;  // titles separated by ", "
  double samplesPerFile = 0;
  double files = 0;
  int64_t samplesTaken = -1;  // -1: recorded before the store kept it
  std::string outcome;
  std::vector<RunFile> filesWritten;
};

struct FigureValue {
  std::string unit;
  double value = 0;
  double sigma = 0;
  std::string valueUnit;
  bool resolved = false;
  std::string at;
};

struct CalibrationSummary {
  std::string unit;
  std::string at;
  std::string kind;
  std::vector<RegisterChange> registers;
};

struct StoreState {
  bool online = false;
  int64_t waiting = 0;  // records in the local queue
  std::string lastError;
};

// A record waiting in the local file's queue.
struct QueuedRecord {
  int64_t seq = 0;
  std::string destination;  // the server's address, as StoreLocation::text() shows it
  std::string kind;         // "run", "calibration", "noise"; "unreadable" for a damaged entry
  std::string id;
  std::string unit;
  std::string at;
};

// "results store: online", "results store: offline, 3 records waiting", ...
std::string StateText(const StoreState& state);

// A new record's id and the time now, as records keep them.
std::string NewRecordId();
std::string UtcNow();

// Fills an empty unit name with the product number ("Without a unit, the product number").
UnitRecord NamedUnit(const std::string& name, const std::string& product);

// The longest a command waits for a server that does not answer: 3 s in all with the local
// file's work around it.
constexpr int kServerWaitMs = 2500;

class ResultsStore {
 public:
  // `queuePath`: the local SQLite file (the store itself for an SQLite location).
  explicit ResultsStore(StoreLocation where, std::string queuePath = DefaultStorePath());
  ~ResultsStore();
  ResultsStore(const ResultsStore&) = delete;
  ResultsStore& operator=(const ResultsStore&) = delete;

  // Opens the local file and (with a server) the server, creating or migrating schemas, then
  // sends what waits. False when the store the records go to cannot be used now (`state()`
  // says why); records are still taken and queued where possible.
  //
  // A server is tried once per store object, within kServerWaitMs: a command makes one store,
  // so a server that does not answer costs each command at most that long, and its records
  // wait in the queue.
  bool open();

  // Keeps a record: stored, or queued for the server. False only when it could be neither
  // (the cause is in state().lastError).
  bool record(const AnyRecord& record);

  // Sends the queued records to the server; returns how many still wait.
  int64_t flush();

  StoreState state();
  const StoreLocation& location() const { return where_; }

  // Queries of the store the records go to (the server, with one). False with the error.
  bool units(std::vector<UnitSummary>& out, std::string& error);
  bool runs(const std::string& unit, std::vector<RunSummary>& out, std::string& error);
  bool figure(const std::string& figureName, std::vector<FigureValue>& out, std::string& error);
  bool figureNames(std::vector<std::string>& out, std::string& error);
  // Calibration writes of one unit (empty: of every unit), oldest first.
  bool calibrations(const std::string& unit, std::vector<CalibrationSummary>& out,
                    std::string& error);

  // The local file's queue, every destination's; no server is asked.
  bool queued(std::vector<QueuedRecord>& out, std::string& error);
  // Drops every queued record (for an address that will never answer); how many went.
  bool dropQueued(int64_t& dropped, std::string& error);

  // The connection records go to; for tests and measurements.
  QSqlDatabase target();

 private:
  bool openLocal();
  bool openLocalFile();
  bool keepDamagedAside(const std::string& what);
  bool openServer();
  bool queue(const AnyRecord& record);
  void checkpoint();

  StoreLocation where_;
  std::string queuePath_;
  QString localName_;
  QString serverName_;
  bool localOpen_ = false;
  bool localWritten_ = false;
  bool damaged_ = false;  // the last open found the file damaged
  bool serverOpen_ = false;
  bool serverTried_ = false;  // this store's one attempt
  std::string lastError_;
};

// Writes one record in one transaction; a record whose id is there already is left as it is.
bool WriteRecord(QSqlDatabase& db, Engine engine, const AnyRecord& record, std::string& error);

}  // namespace vexa::results
