#include "cli/cli_analysis.h"

#include <QGuiApplication>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <ostream>
#include <sstream>

#include "analysis/allan_deviation.h"
#include "analysis/log_file.h"
#include "analysis/noise_characterisation.h"
#include "analysis/record_check.h"
#include "analysis/record_series.h"
#include "analysis/span_statistics.h"
#include "app/atomic_file.h"
#include "app/typed_number.h"
#include "report/noise_report.h"

namespace vexa::cli {

namespace {

using namespace vexa::analysis;

constexpr const char* kProgram = "vexa-cli";
constexpr double kLowestRateHz = 1e-6;
constexpr double kHighestRateHz = 1e6;

class UsageError {
 public:
  explicit UsageError(std::string text) : text(std::move(text)) {}
  std::string text;
};

// Numbers for other tools: a decimal point whatever the locale (to_chars ignores it), seven
// significant digits as the log itself carries.
std::string number(double v, int digits = 7) {
  char buffer[40];
  const auto r =
      std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, digits);
  return std::string(buffer, r.ptr);
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

struct AnalysisArgs {
  std::vector<std::string> files;
  std::vector<std::string> channels;
  double rateHz = 0.0;
  bool csv = false;
  bool json = false;
  std::string imuYaml;
  bool overwrite = false;
  std::string output;   // report
  std::string limits;   // report
  std::string unit;     // report: the unit's name
  std::string product;  // report: its product number
  bool force = false;   // analyse a record that is not still, marked so
  std::string imuTopic = "/imu0";
};

AnalysisArgs parse(const std::string& command, const std::vector<std::string>& operands) {
  AnalysisArgs a;
  const bool report = command == "report";
  const bool noise = command == "noise" || report;
  const bool adev = command == "adev" || noise;
  for (size_t i = 0; i < operands.size(); ++i) {
    const std::string& o = operands[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= operands.size()) throw UsageError(o + " needs a value");
      return operands[++i];
    };
    if (adev && o == "--channel") {
      a.channels.push_back(value());
    } else if (adev && o == "--rate") {
      const std::string& v = value();
      const TypedNumber rate = ReadTypedNumber(v);
      a.rateHz = rate.leading;
      if (!rate.whole || !(a.rateHz > 0.0))
        throw UsageError("malformed rate '" + v + "': give the sample rate in Hz, such as 819.2");
      // Beyond these the cluster times overflow or vanish, and no log is taken so fast or slow.
      if (a.rateHz < kLowestRateHz || a.rateHz > kHighestRateHz)
        throw UsageError("rate '" + v + "' out of range: give the sample rate in Hz, from " +
                         number(kLowestRateHz) + " to " + number(kHighestRateHz));
    } else if (command == "adev" && o == "--csv") {
      a.csv = true;
    } else if (report && o == "-o") {
      a.output = value();
    } else if (report && o == "--limits") {
      a.limits = value();
    } else if (command == "noise" && o == "--json") {
      a.json = true;
    } else if (command == "noise" && o == "--imu-yaml") {
      a.imuYaml = value();
    } else if ((noise || report) && o == "--overwrite") {
      a.overwrite = true;
    } else if (adev && o == "--force") {
      a.force = true;
    } else if (report && o == "--unit") {
      a.unit = value();
    } else if (report && o == "--product") {
      a.product = value();
    } else if (command == "noise" && o == "--imu-topic") {
      a.imuTopic = value();
      if (a.imuTopic.empty() ||
          a.imuTopic.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                       "0123456789_/~") != std::string::npos)
        throw UsageError("malformed topic '" + a.imuTopic +
                         "': letters, digits, '_', '/' and '~' only, such as /imu0");
    } else if (o.size() > 1 && o[0] == '-') {
      throw UsageError("unknown option '" + o + "' for " + command);
    } else {
      a.files.push_back(o);
    }
  }
  if (a.files.empty()) throw UsageError(command + " needs at least one log file");
  if (report && a.output.empty()) throw UsageError("report needs -o OUT.pdf");
  return a;
}

// The chosen channels' indices: named ones in order, else all.
std::vector<int> chosenChannels(const LogRecord& record, const AnalysisArgs& a) {
  std::vector<int> chosen;
  if (a.channels.empty()) {
    for (size_t c = 0; c < record.channels.size(); ++c) chosen.push_back(int(c));
    return chosen;
  }
  for (const auto& name : a.channels) {
    const int c = record.findChannel(name);
    if (c < 0) {
      std::string titles;
      for (const auto& ch : record.channels)
        titles += (titles.empty() ? "" : ", ") + ChannelName(ch);
      throw UsageError("no channel '" + name + "' in the log (it has: " + titles + ")");
    }
    chosen.push_back(c);
  }
  return chosen;
}

// Values near the largest double overflow the sums: refuse rather than print inf or nan.
bool finite(const SpanStatistics& s) {
  return std::isfinite(s.mean) && std::isfinite(s.standardDeviation);
}

bool finite(const std::vector<AllanPoint>& curve) {
  return std::all_of(curve.begin(), curve.end(), [](const AllanPoint& p) {
    return std::isfinite(p.adev) && std::isfinite(p.low) && std::isfinite(p.high);
  });
}

constexpr const char* kTooLarge = ": the values are too large to analyse (the results overflow)\n";

// Which files are a stopped run's, for the reader of the figures.
void notePartial(const LogRecord& record, std::ostream& out) {
  for (const auto& f : record.files)
    if (f.partial)
      out << "partial\t" << f.path << ": a stopped run's file"
          << (f.cutLineDropped ? ", its cut last line left out" : "")
          << (f.zeroTailAt >= 0
                  ? ", read up to the NUL bytes from byte " + std::to_string(f.zeroTailAt) +
                        " (line " + std::to_string(f.zeroTailLine) + ") on"
                  : "")
          << (f.endKnown ? "" : ", without its end seconds") << '\n';
}

// The record check's verdict on one channel (with the record's own faults): true to go on. A
// record that is not still is refused with every reason, unless forced; then each reason is
// told as a note and the figures carry the mark.
bool stillEnough(const std::vector<RecordFinding>& fileFindings,
                 const std::vector<std::string>& reasons, const std::string& name, bool force,
                 std::ostream& out, std::ostream& err) {
  std::vector<std::string> all;
  for (const auto& i : fileFindings) all.push_back(i.reason);
  all.insert(all.end(), reasons.begin(), reasons.end());
  if (all.empty()) return true;
  for (const auto& r : all)
    (force ? out : err) << (force ? std::string(kRecordNotStill) + "\t"
                                  : kProgram + std::string(": "))
                        << name << ": " << r << '\n';
  if (!force)
    err << kProgram << ": " << name
        << ": the record is not still; give --force to analyse it anyway (marked "
        << kRecordNotStill << ")\n";
  return force;
}

std::vector<std::string> reasonsOf(const std::vector<RecordFinding>& findings) {
  std::vector<std::string> r;
  for (const auto& i : findings) r.push_back(i.reason);
  return r;
}

int runStats(const LogRecord& record, std::ostream& out, std::ostream& err) {
  out << "samples\t" << record.samples() << '\n';
  notePartial(record, out);
  if (record.sampleInterval > 0.0)
    out << "interval\t" << number(record.sampleInterval) << " s\n";
  else
    out << "interval\tunknown (the files' begin and end seconds do not tell it)\n";
  out << "channel\tunits\tcount\tmean\tstd\tmin\tmax\n";
  int status = 0;
  for (const auto& c : record.channels) {
    const SpanStatistics s = StatisticsOf(c.values);
    if (!finite(s)) {
      err << kProgram << ": " << ChannelName(c) << kTooLarge;
      status = 1;
      continue;
    }
    out << ChannelName(c) << '\t' << c.units << '\t' << s.count << '\t' << number(s.mean) << '\t'
        << number(s.standardDeviation) << '\t' << number(s.min) << '\t' << number(s.max) << '\n';
  }
  return status;
}

// Whether the series has a sample interval; says on `err` how to give one when it has not.
bool knownInterval(const RateSeries& series, const LogChannel& ch, std::ostream& err) {
  if (series.tau0 > 0.0) return true;
  err << kProgram << ": " << ChannelName(ch)
      << ": the sample interval cannot be told from the files' begin and end seconds;"
         " give --rate HZ\n";
  return false;
}

int runAdev(const LogRecord& record, const AnalysisArgs& a, std::ostream& out, std::ostream& err) {
  const std::vector<int> chosen = chosenChannels(record, a);
  const std::vector<RecordFinding> fileFindings = CheckRecordFiles(record);
  if (a.csv)
    out << "channel,tau,adev,low,high" << (a.force ? ",record\n" : "\n");
  else
    notePartial(record, out);
  int status = 0;
  for (int c : chosen) {
    const LogChannel& ch = record.channels[c];
    const RateSeries series = SeriesForAnalysis(record, c, a.rateHz);
    if (!knownInterval(series, ch, err)) {
      status = 1;
      continue;
    }
    const std::vector<AllanPoint> curve = OverlappingAllanDeviation(series.values, series.tau0);
    if (curve.empty()) {
      err << kProgram << ": " << ChannelName(ch) << ": too few samples for an Allan deviation\n";
      status = 1;
      continue;
    }
    if (!finite(curve)) {
      err << kProgram << ": " << ChannelName(ch) << kTooLarge;
      status = 1;
      continue;
    }
    const std::string name = ChannelName(ch);
    std::ostringstream notes;
    if (!stillEnough(
            fileFindings,
            reasonsOf(CheckChannelStill(series.values, series.tau0, curve, ch.units, name)), name,
            a.force, a.csv ? notes : out, err)) {
      status = 1;
      continue;
    }
    if (a.csv) {
      const std::string mark = !a.force              ? ""
                               : notes.str().empty() ? ","
                                                     : std::string(",") + kRecordNotStill;
      for (const auto& p : curve)
        out << csvField(name) << ',' << number(p.tau) << ',' << number(p.adev) << ','
            << number(p.low) << ',' << number(p.high) << mark << '\n';
      continue;
    }
    const std::string units = ch.units.empty() ? "units" : ch.units;
    out << name << " (" << units << "): " << series.values.size() << " samples every "
        << number(series.tau0) << " s";
    if (series.freshOnly)
      out << " (fresh samples only: " << series.logged - int64_t(series.values.size())
          << " repeated reads left out)";
    out << '\n';
    out << "  tau s\tadev\tlow\thigh\n";
    for (const auto& p : curve)
      out << "  " << number(p.tau) << '\t' << number(p.adev) << '\t' << number(p.low) << '\t'
          << number(p.high) << '\n';
    const AllanReadOffs r = ReadOffs(curve);
    const ReadOffText t = CustomaryReadOffs(r, ch.units);
    if (r.validity != ReadOffValidity::Valid) {
      out << "  " << ReadOffValidityText(r.validity) << '\n';
      continue;
    }
    // The slopes read off by eye, for a quick look; the figures to quote are `noise`'s model.
    out << "  quick read-offs (the figures to quote are the noise model's: vexa-cli noise)\n";
    if (r.randomWalkFound)
      out << "  " << t.randomWalkName << ": " << number(t.randomWalk, 4) << ' ' << t.randomWalkUnits
          << " (-1/2 slope near tau " << number(r.randomWalkTau, 3) << " s)\n";
    else
      out << "  " << t.randomWalkName << ": not found (no -1/2 slope before the floor)\n";
    if (r.floorFound)
      out << "  bias instability: " << number(t.biasInstability, 4) << ' ' << t.biasUnits
          << " (floor at tau " << number(r.floorTau, 3) << " s)\n";
    else
      out << "  bias instability: below " << number(t.biasInstability, 4) << ' ' << t.biasUnits
          << " (no floor within the record: the curve is lowest at tau " << number(r.floorTau, 3)
          << " s)\n";
  }
  return status;
}

void printFigure(std::ostream& out, const std::string& name, const NoiseFigure& f, bool still) {
  out << "  " << name << ": ";
  if (f.resolved)
    out << number(f.value, 4) << " +/- " << number(f.sigma, 2) << ' ' << f.unit;
  else
    out << "below " << number(f.value, 3) << ' ' << f.unit << " (not resolved by the record)";
  out << (still ? "" : std::string(" [") + kRecordNotStill + "]") << '\n';
}

std::vector<ChannelNoise> analyseNoise(const LogRecord& record, const AnalysisArgs& a,
                                       std::ostream& err, int& status, bool& refused) {
  std::vector<ChannelNoise> results;
  const std::vector<RecordFinding> fileFindings = CheckRecordFiles(record);
  for (int c : chosenChannels(record, a)) {
    const LogChannel& ch = record.channels[c];
    const RateSeries series = SeriesForAnalysis(record, c, a.rateHz);
    if (!knownInterval(series, ch, err)) {
      status = 1;
      continue;
    }
    const std::string name = ChannelName(ch);
    ChannelNoise n =
        FitNoiseModel(series.values, series.tau0, SensorKindOf(ch.units), ch.units, name);
    // A constant channel has no model to fit: say so rather than "too few samples".
    if (!stillEnough(fileFindings, n.notStill, name, a.force, err, err)) {
      status = 1;
      refused = true;
      continue;
    }
    for (const auto& i : fileFindings) n.notStill.insert(n.notStill.begin(), i.reason);
    if (!n.model.ok) {
      err << kProgram << ": " << name << ": too few samples for a noise model\n";
      status = 1;
      continue;
    }
    results.push_back(std::move(n));
  }
  return results;
}

int runNoise(const LogRecord& record, const AnalysisArgs& a, std::ostream& out, std::ostream& err,
             NoiseAnalysis* analysed) {
  int status = 0;
  bool refused = false;
  const std::vector<ChannelNoise> results = analyseNoise(record, a, err, status, refused);
  if (analysed) {
    for (const auto& f : record.files) analysed->files.push_back(f.path);
    analysed->channels = results;
  }
  if (a.json) {
    out << NoiseJson(results);
  } else {
    static const char* names[kNoiseTerms] = {"quantisation Q", "random walk N",
                                             "bias instability B", "rate random walk K",
                                             "rate ramp R"};
    for (const ChannelNoise& n : results) {
      out << n.title << " (" << SensorKindName(n.kind) << ", " << n.units << "): " << n.samples
          << " samples at " << number(n.rateHz) << " Hz\n";
      for (const auto& r : n.notStill) out << "  " << kRecordNotStill << ": " << r << '\n';
      for (int t = 0; t < kNoiseTerms; ++t)
        printFigure(out, names[t], n.figures[size_t(t)], n.still());
      if (n.density.whiteFound)
        out << "  noise density: " << number(n.densityFigure.value, 4) << ' '
            << n.densityFigure.unit << ", two-sided (white from " << number(n.density.flatFrom, 3)
            << " to " << number(n.density.flatTo, 3) << " Hz)"
            << (n.still() ? "" : std::string(" [") + kRecordNotStill + "]") << '\n';
      else
        out << "  noise density: no white level in the spectrum\n";
    }
  }
  if (!a.imuYaml.empty() && !refused) {
    std::string text, why;
    ImuYamlOptions about;
    for (const auto& f : record.files)
      about.record += (about.record.empty() ? "" : ", ") + f.fileName;
    if (!record.files.empty()) about.date = record.files.front().date;
    about.topic = a.imuTopic;
    if (!ImuYaml(results, text, why, about) ||
        !WriteFileAtomically(a.imuYaml, text, a.overwrite, why)) {
      err << kProgram << ": " << why << '\n';
      status = 1;
    }
  }
  return status;
}

// Fonts and the PDF writer want a GUI application; the command line has none, so the report
// brings up one of its own for as long as it draws, on the offscreen platform whatever the
// environment names (it shows no window, and a display that is not there must not abort it).
struct GuiForReport {
  int argc = 1;
  char name[9] = "vexa-cli";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QGuiApplication> app;
  GuiForReport() {
    if (QCoreApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QGuiApplication>(argc, argv);
  }
};

int runReport(const LogRecord& record, const AnalysisArgs& a, std::ostream& err) {
  report::NoiseLimits limits;
  std::string why;
  if (!a.limits.empty()) {
    std::ifstream in(a.limits);
    std::stringstream text;
    text << in.rdbuf();
    if (!in || !report::ParseNoiseLimits(text.str(), limits, why)) {
      err << kProgram << ": " << a.limits << ": " << (why.empty() ? "cannot read the file" : why)
          << '\n';
      return 1;
    }
  }
  int status = 0;
  bool refused = false;
  const std::vector<ChannelNoise> results = analyseNoise(record, a, err, status, refused);
  if (results.empty() || refused) return 1;
  GuiForReport gui;
  if (!dynamic_cast<QGuiApplication*>(QCoreApplication::instance())) {
    err << kProgram << ": the report needs a GUI application to draw in\n";
    return 1;
  }
  report::RecordSummary summary = report::SummaryOf(record, results);
  summary.unit = a.unit;
  summary.productNumber = a.product;
  const QByteArray pdf = report::NoiseReportPdf(summary, results, limits);
  if (pdf.isEmpty() || !WriteFileAtomically(a.output, pdf.toStdString(), a.overwrite, why)) {
    err << kProgram << ": " << (why.empty() ? "the report could not be drawn" : why) << '\n';
    return 1;
  }
  return status;
}

}  // namespace

bool IsAnalysisCommand(const std::string& command) {
  return command == "adev" || command == "stats" || command == "noise" || command == "report";
}

int RunAnalysisCommand(const std::string& command, const std::vector<std::string>& operands,
                       std::ostream& out, std::ostream& err, NoiseAnalysis* analysed) {
  try {
    const AnalysisArgs a = parse(command, operands);
    LogRecord record;
    LogError error;
    if (!ReadLogFiles(a.files, record, error)) {
      err << kProgram << ": " << error.message() << '\n';
      return 1;
    }
    const int status = command == "adev"     ? runAdev(record, a, out, err)
                       : command == "noise"  ? runNoise(record, a, out, err, analysed)
                       : command == "report" ? runReport(record, a, err)
                                             : runStats(record, out, err);
    out.flush();
    return status;
  } catch (const UsageError& e) {
    err << kProgram << ": " << e.text << '\n';
    return 2;
  }
}

}  // namespace vexa::cli
