#include "cli/cli_results.h"

#include <iomanip>
#include <ostream>
#include <sstream>

#include "cli/cli_queue.h"
#include "results/printable_text.h"
#include "results/results_store.h"

namespace vexa::cli {

namespace {

using results::PrintableText;

// A CSV field: quoted where it holds a separator, control characters escaped like the tab
// listings' so no stored value starts a line of its own.
std::string csvField(const std::string& stored) {
  const std::string text = PrintableText(stored);
  if (text.find_first_of(",\"") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string number(double value) {
  std::ostringstream out;
  out << std::setprecision(9) << value;
  return out.str();
}

void listUnits(const std::vector<results::UnitSummary>& units, std::ostream& out) {
  for (const auto& u : units)
    out << PrintableText(u.name) << '\t' << PrintableText(u.product) << '\t' << u.runs << " runs\t"
        << (u.lastRun.empty() ? "-" : PrintableText(u.lastRun) + " " + PrintableText(u.lastOutcome))
        << '\t' << u.figures << " figures\n";
}

void listRuns(const std::vector<results::RunSummary>& runs, std::ostream& out) {
  for (const auto& r : runs) {
    out << PrintableText(r.started) << '\t' << PrintableText(r.unit) << '\t'
        << PrintableText(r.bench) << '\t' << PrintableText(r.interfaceName) << '\t'
        << PrintableText(r.outcome) << '\t' << r.samplesTaken << " samples\t";
    // Files on another machine are named with it: HOST:PATH.
    const std::string host = r.host.empty() ? "" : PrintableText(r.host) + ":";
    for (size_t i = 0; i < r.filesWritten.size(); ++i)
      out << (i ? " " : "") << host << PrintableText(r.filesWritten[i].path);
    out << '\n';
  }
}

void listCalibrations(const std::vector<results::CalibrationSummary>& cals, std::ostream& out) {
  for (const auto& c : cals) {
    out << PrintableText(c.at) << '\t' << PrintableText(c.unit) << '\t' << PrintableText(c.kind)
        << '\t';
    for (size_t i = 0; i < c.registers.size(); ++i)
      out << (i ? " " : "") << PrintableText(c.registers[i].label) << ' ' << c.registers[i].before
          << "->" << c.registers[i].after;
    out << '\n';
  }
}

int figures(results::ResultsStore& store, const ResultsQuery& q, std::ostream& out,
            std::ostream& err) {
  std::vector<results::FigureValue> values;
  std::string error;
  if (!store.figure(q.figure, values, error)) {
    err << "vexa-cli: figures: " << PrintableText(error) << '\n';
    return 1;
  }
  if (values.empty()) {
    // Nothing by that name: say so, with the names there are, rather than an empty answer
    // that looks like a store without figures.
    std::vector<std::string> names;
    if (!store.figureNames(names, error)) {
      err << "vexa-cli: figures: " << PrintableText(error) << '\n';
      return 1;
    }
    err << "vexa-cli: figures: no figure named '" << PrintableText(q.figure) << "'";
    if (names.empty()) {
      err << "; the store holds no figures yet\n";
      return 1;
    }
    err << "; the store holds:\n";
    for (const auto& name : names) err << "  " << PrintableText(name) << '\n';
    return 1;
  }
  if (q.csv) out << "unit,value,sigma,unit_of_value,resolved,at\n";
  for (const auto& v : values) {
    if (q.csv)
      out << csvField(v.unit) << ',' << number(v.value) << ',' << number(v.sigma) << ','
          << csvField(v.valueUnit) << ',' << (v.resolved ? 1 : 0) << ',' << csvField(v.at) << '\n';
    else
      out << PrintableText(v.unit) << '\t' << number(v.value) << '\t' << number(v.sigma) << '\t'
          << PrintableText(v.valueUnit) << (v.resolved ? "" : "\tunresolved") << '\n';
  }
  return 0;
}

}  // namespace

bool IsResultsCommand(const std::string& command) {
  return command == "units" || command == "runs" || command == "figures" ||
         command == "calibrations" || command == "queue";
}

bool TakeUnitOperand(std::vector<std::string>& operands, std::string& unit, std::string& error) {
  for (size_t i = 0; i < operands.size(); ++i) {
    if (operands[i] != "--unit") continue;
    if (i + 1 >= operands.size() || operands[i + 1].empty()) {
      error = "--unit needs a name";
      return false;
    }
    if (!results::CheckUnitName(operands[i + 1], error)) {
      error = "--unit: " + error;
      return false;
    }
    unit = operands[i + 1];
    operands.erase(operands.begin() + static_cast<long>(i),
                   operands.begin() + static_cast<long>(i) + 2);
    --i;
  }
  return true;
}

bool ParseResultsOperands(const std::string& command, const std::vector<std::string>& operands,
                          ResultsQuery& q, std::string& error) {
  std::vector<std::string> rest = operands;
  if ((command == "runs" || command == "calibrations") && !TakeUnitOperand(rest, q.unit, error))
    return false;
  for (size_t i = 0; i < rest.size(); ++i) {
    const std::string& o = rest[i];
    const bool hasValue = i + 1 < rest.size();
    if (command == "figures" && o == "--figure" && hasValue) {
      q.figure = rest[++i];
    } else if (command == "figures" && o == "--csv") {
      q.csv = true;
    } else if (command == "queue" && o == "--drop") {
      q.drop = true;
    } else {
      error = "unexpected '" + PrintableText(o) + "' after " + command + " (see --help)";
      return false;
    }
  }
  if (command == "figures" && q.figure.empty()) {
    error = "figures needs --figure CHANNEL/TERM, such as --figure \"X Gyro/B\"";
    return false;
  }
  return true;
}

int RunResultsCommand(const std::string& command, const ResultsQuery& q, const std::string& address,
                      std::ostream& out, std::ostream& err) {
  results::StoreLocation where;
  std::string error;
  if (!results::ParseStoreLocation(address, where, error)) {
    err << "vexa-cli: " << PrintableText(error) << '\n';
    return 2;
  }
  results::ResultsStore store(where);
  if (command == "queue") return RunQueueCommand(store, q.drop, out, err);
  int status = 0;
  if (command == "figures") {
    status = figures(store, q, out, err);
  } else {
    bool ok = false;
    if (command == "units") {
      std::vector<results::UnitSummary> units;
      ok = store.units(units, error);
      listUnits(units, out);
    } else if (command == "runs") {
      std::vector<results::RunSummary> runs;
      ok = store.runs(q.unit, runs, error);
      listRuns(runs, out);
    } else {
      std::vector<results::CalibrationSummary> cals;
      ok = store.calibrations(q.unit, cals, error);
      listCalibrations(cals, out);
    }
    if (!ok) {
      err << "vexa-cli: " << command << ": " << PrintableText(error) << '\n';
      return 1;
    }
  }
  const results::StoreState state = store.state();
  if (state.waiting > 0) err << "vexa-cli: " << results::StateText(state) << '\n';
  return status;
}

std::string ResultsUsageText() {
  return R"(  units                 The units in the results store: name, product number, runs, the
                        newest run's start and how it ended, and how many figures it has.
  runs [--unit NAME]    One line per log run (of one unit): start, unit, bench, interface,
                        how it ended, samples taken, and the files it wrote (HOST:PATH).
  figures --figure CHANNEL/TERM [--csv]
                        The newest value of one noise figure of every unit, such as
                        --figure "X Gyro/B" (the channel's caption or its column title):
                        unit, value, sigma, unit of the value. No such figure: exit 1 with
                        the names there are.
  calibrations [--unit NAME]
                        One line per calibration write (of one unit): time, unit, kind, and
                        each register before -> after.
  queue [--drop]        The records waiting in this computer's queue for a server, with
                        the server's address; --drop drops them (for an address that will
                        never answer).
  log, magcal and noise take --unit NAME: the module's name in the results store (without
  it, the product number read from the module names it; noise, which reads files only, records
  its figures only under a name given). Stored text is printed with control characters
  escaped (\t, \n, \xHH).
)";
}

}  // namespace vexa::cli
