#include "results/record_codec.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace vexa::results {

namespace {

QString q(const std::string& s) {
  return QString::fromStdString(s);
}
std::string s(const QJsonValue& v) {
  return v.toString().toStdString();
}

void putCommon(QJsonObject& o, const char* kind, const std::string& id, const UnitRecord& unit,
               const std::string& bench) {
  o["kind"] = kind;
  o["id"] = q(id);
  o["unit"] = q(unit.name);
  o["product"] = q(unit.product);
  o["bench"] = q(bench);
}

QJsonArray encodeFiles(const std::vector<RunFile>& files) {
  QJsonArray out;
  for (const auto& f : files)
    out.append(QJsonObject{
        {"path", q(f.path)}, {"bytes", static_cast<double>(f.bytes)}, {"sha256", q(f.sha256)}});
  return out;
}

std::vector<RunFile> decodeFiles(const QJsonValue& value) {
  std::vector<RunFile> files;
  for (const auto& f : value.toArray()) {
    const QJsonObject o = f.toObject();
    files.push_back({s(o["path"]), static_cast<int64_t>(o["bytes"].toDouble()), s(o["sha256"])});
  }
  return files;
}

template <typename R>
void takeCommon(const QJsonObject& o, R& r) {
  r.id = s(o["id"]);
  r.unit.name = s(o["unit"]);
  r.unit.product = s(o["product"]);
  r.bench = s(o["bench"]);
}

QJsonObject encode(const LogRunRecord& r) {
  QJsonObject o;
  putCommon(o, "run", r.id, r.unit, r.bench);
  o["started"] = q(r.started);
  o["ended"] = q(r.ended);
  o["interface"] = q(r.interfaceName);
  o["settings"] = q(r.settings);
  QJsonArray channels;
  for (const auto& c : r.channels) channels.append(q(c));
  o["channels"] = channels;
  o["S"] = r.samplesPerFile;
  o["F"] = r.files;
  o["taken"] = static_cast<double>(r.samplesTaken);
  o["outcome"] = q(r.outcome);
  o["files"] = encodeFiles(r.filesWritten);
  o["host"] = q(r.host);
  return o;
}

QJsonObject encode(const CalibrationRecord& r) {
  QJsonObject o;
  putCommon(o, "calibration", r.id, r.unit, r.bench);
  o["at"] = q(r.at);
  o["what"] = CalibrationKindName(r.kind);
  QJsonArray regs;
  for (const auto& c : r.registers)
    regs.append(QJsonObject{{"label", q(c.label)}, {"before", c.before}, {"after", c.after}});
  o["registers"] = regs;
  return o;
}

QJsonObject encode(const NoiseRecord& r) {
  QJsonObject o;
  putCommon(o, "noise", r.id, r.unit, r.bench);
  o["at"] = q(r.at);
  o["source"] = q(r.source);
  QJsonArray channels;
  for (const auto& c : r.channels) {
    QJsonObject terms;
    for (const auto& [name, t] : c.terms)
      terms[q(name)] = QJsonObject{
          {"value", t.value}, {"sigma", t.sigma}, {"unit", q(t.unit)}, {"resolved", t.resolved}};
    channels.append(QJsonObject{
        {"title", q(c.title)}, {"kind", q(c.kind)}, {"terms", terms}, {"caption", q(c.caption)}});
  }
  o["channels"] = channels;
  o["host"] = q(r.host);
  o["files"] = encodeFiles(r.files);
  return o;
}

}  // namespace

std::string EncodeRecord(const AnyRecord& record) {
  const QJsonObject o = std::visit([](const auto& r) { return encode(r); }, record);
  return QJsonDocument(o).toJson(QJsonDocument::Compact).toStdString();
}

bool DecodeRecord(const std::string& text, AnyRecord& record) {
  QJsonParseError parseError;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parseError);
  if (parseError.error != QJsonParseError::NoError || !doc.isObject()) return false;
  const QJsonObject o = doc.object();
  const std::string kind = s(o["kind"]);
  if (kind == "run") {
    LogRunRecord r;
    takeCommon(o, r);
    r.started = s(o["started"]);
    r.ended = s(o["ended"]);
    r.interfaceName = s(o["interface"]);
    r.settings = s(o["settings"]);
    for (const auto& c : o["channels"].toArray()) r.channels.push_back(s(c));
    r.samplesPerFile = o["S"].toDouble();
    r.files = o["F"].toDouble();
    r.samplesTaken = static_cast<int64_t>(o["taken"].toDouble());
    r.outcome = s(o["outcome"]);
    r.filesWritten = decodeFiles(o["files"]);
    r.host = s(o["host"]);
    record = r;
  } else if (kind == "calibration") {
    CalibrationRecord r;
    takeCommon(o, r);
    r.at = s(o["at"]);
    if (!CalibrationKindFromName(s(o["what"]), r.kind)) return false;
    for (const auto& c : o["registers"].toArray()) {
      const QJsonObject reg = c.toObject();
      r.registers.push_back({s(reg["label"]), reg["before"].toInt(), reg["after"].toInt()});
    }
    record = r;
  } else if (kind == "noise") {
    NoiseRecord r;
    takeCommon(o, r);
    r.at = s(o["at"]);
    r.source = s(o["source"]);
    r.host = s(o["host"]);
    r.files = decodeFiles(o["files"]);
    for (const auto& c : o["channels"].toArray()) {
      const QJsonObject co = c.toObject();
      ChannelFigures figures{s(co["title"]), s(co["kind"]), {}, s(co["caption"])};
      const QJsonObject terms = co["terms"].toObject();
      for (auto it = terms.begin(); it != terms.end(); ++it) {
        const QJsonObject t = it.value().toObject();
        figures.terms[it.key().toStdString()] = {t["value"].toDouble(), t["sigma"].toDouble(),
                                                 s(t["unit"]), t["resolved"].toBool()};
      }
      r.channels.push_back(std::move(figures));
    }
    record = r;
  } else {
    return false;
  }
  return !RecordId(record).empty();
}

const std::string& RecordId(const AnyRecord& record) {
  return std::visit([](const auto& r) -> const std::string& { return r.id; }, record);
}

}  // namespace vexa::results
