// WriteRecord: one record, one transaction, the same statements on both engines.
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <cmath>
#include <map>

#include "results/results_store.h"

namespace vexa::results {

namespace {

QVariant v(const std::string& s) {
  return QString::fromStdString(s);
}
// Unresolved terms may carry no number; the columns hold numbers only.
QVariant number(double x) {
  return std::isfinite(x) ? x : 0.0;
}

class Writer {
 public:
  Writer(QSqlDatabase& db, std::string& error) : db_(db), error_(error) {}

  // Runs `sql` with the values; false with the error. Each statement is prepared once per
  // record: on a server every prepare is a round trip, and a noise record repeats two
  // statements per figure.
  bool run(const char* sql, std::initializer_list<QVariant> values, int* affected = nullptr) {
    auto found = prepared_.find(sql);
    if (found == prepared_.end()) {
      QSqlQuery fresh(db_);
      if (!fresh.prepare(sql)) return fail(fresh, sql);
      found = prepared_.emplace(sql, std::move(fresh)).first;
    }
    QSqlQuery& q = found->second;
    for (const auto& value : values) q.addBindValue(value);
    if (!q.exec()) return fail(q, sql);
    if (affected) *affected = q.numRowsAffected();
    return true;
  }

  bool unit(const UnitRecord& u, const std::string& at) {
    // The last gate: a record queued by an earlier version, or made by a caller that did not
    // check, never puts a forged line into a listing.
    if (!CheckUnitName(u.name, error_)) return false;
    // A record without the product number keeps the one known.
    return run(
        "INSERT INTO units (name, product, first_seen) VALUES (?, ?, ?) "
        "ON CONFLICT (name) DO UPDATE SET product = excluded.product "
        "WHERE excluded.product <> ''",
        {v(u.name), v(u.product), v(at)});
  }

  bool write(const LogRunRecord& r) {
    int added = 0;
    if (!unit(r.unit, r.started)) return false;
    std::string channels;
    for (const auto& c : r.channels) channels += (channels.empty() ? "" : ", ") + c;
    if (!run("INSERT INTO runs (id, unit, bench, started, ended, interface, settings, channels, "
             "samples_per_file, files, outcome, samples_taken, host) "
             "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (id) DO NOTHING",
             {v(r.id), v(r.unit.name), v(r.bench), v(r.started), v(r.ended), v(r.interfaceName),
              v(r.settings), v(channels), r.samplesPerFile, r.files, v(r.outcome),
              QVariant::fromValue<qlonglong>(r.samplesTaken), v(r.host)},
             &added))
      return false;
    if (added == 0) return true;  // sent before
    return files("INSERT INTO run_files (run_id, seq, path, bytes, sha256) VALUES (?, ?, ?, ?, ?)",
                 r.id, r.filesWritten);
  }

  bool write(const CalibrationRecord& r) {
    int added = 0;
    if (!unit(r.unit, r.at)) return false;
    if (!run("INSERT INTO calibrations (id, unit, bench, at, kind) VALUES (?, ?, ?, ?, ?) "
             "ON CONFLICT (id) DO NOTHING",
             {v(r.id), v(r.unit.name), v(r.bench), v(r.at), CalibrationKindName(r.kind)}, &added))
      return false;
    if (added == 0) return true;
    for (const auto& c : r.registers)
      if (!run("INSERT INTO calibration_registers (calibration_id, label, before_value, "
               "after_value) VALUES (?, ?, ?, ?) ON CONFLICT DO NOTHING",
               {v(r.id), v(c.label), c.before, c.after}))
        return false;
    return true;
  }

  bool write(const NoiseRecord& r) {
    int added = 0;
    if (!unit(r.unit, r.at)) return false;
    if (!run("INSERT INTO noise_analyses (id, unit, bench, at, source, host) "
             "VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (id) DO NOTHING",
             {v(r.id), v(r.unit.name), v(r.bench), v(r.at), v(r.source), v(r.host)}, &added))
      return false;
    if (added == 0) return true;
    if (!files("INSERT INTO noise_files (analysis_id, seq, path, bytes, sha256) "
               "VALUES (?, ?, ?, ?, ?)",
               r.id, r.files))
      return false;
    for (const auto& c : r.channels)
      for (const auto& [term, t] : c.terms) {
        if (!run("INSERT INTO noise_figures (analysis_id, title, kind, term, value, sigma, "
                 "value_unit, resolved, caption) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) "
                 "ON CONFLICT DO NOTHING",
                 {v(r.id), v(c.title), v(c.kind), v(term), number(t.value), number(t.sigma),
                  v(t.unit), t.resolved ? 1 : 0, v(c.caption)}))
          return false;
        // An analysis recorded late (queued on a bench) does not hide a newer one.
        if (!run("INSERT INTO latest_figures (title, term, unit, value, sigma, value_unit, "
                 "resolved, at, analysis_id, caption) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                 "ON CONFLICT (title, term, unit) DO UPDATE SET value = excluded.value, "
                 "sigma = excluded.sigma, value_unit = excluded.value_unit, "
                 "resolved = excluded.resolved, at = excluded.at, "
                 "analysis_id = excluded.analysis_id, caption = excluded.caption "
                 "WHERE excluded.at >= latest_figures.at",
                 {v(c.title), v(term), v(r.unit.name), number(t.value), number(t.sigma), v(t.unit),
                  t.resolved ? 1 : 0, v(r.at), v(r.id), v(c.caption)}))
          return false;
      }
    return true;
  }

 private:
  bool files(const char* sql, const std::string& id, const std::vector<RunFile>& list) {
    int seq = 0;
    for (const auto& f : list)
      if (!run(sql, {v(id), ++seq, v(f.path), QVariant::fromValue<qlonglong>(f.bytes),
                     f.sha256.empty() ? QVariant() : v(f.sha256)}))
        return false;
    return true;
  }
  bool fail(const QSqlQuery& q, const char* sql) {
    error_ = q.lastError().text().toStdString() + " (" + std::string(sql).substr(0, 40) + ")";
    return false;
  }
  QSqlDatabase& db_;
  std::string& error_;
  std::map<const char*, QSqlQuery> prepared_;
};

}  // namespace

bool WriteRecord(QSqlDatabase& db, Engine engine, const AnyRecord& record, std::string& error) {
  if (!BeginWrite(db, engine, error)) return false;
  Writer writer(db, error);
  const bool ok = std::visit([&](const auto& r) { return writer.write(r); }, record);
  if (!ok) {
    Rollback(db);
    return false;
  }
  return Commit(db, error);
}

}  // namespace vexa::results
