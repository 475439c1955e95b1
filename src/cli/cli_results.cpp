#include "cli/cli_results.h"

#include <iomanip>
#include <ostream>
#include <sstream>

#include "results/results_store.h"

namespace vexa::cli {

namespace {

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string number(double value) {
  std::ostringstream out;
  out << std::setprecision(9) << value;
  return out.str();
}

}  // namespace

bool IsResultsCommand(const std::string& command) {
  return command == "units" || command == "runs" || command == "figures";
}

bool TakeUnitOperand(std::vector<std::string>& operands, std::string& unit, std::string& error) {
  for (size_t i = 0; i < operands.size(); ++i) {
    if (operands[i] != "--unit") continue;
    if (i + 1 >= operands.size() || operands[i + 1].empty()) {
      error = "--unit needs a name";
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
  for (size_t i = 0; i < operands.size(); ++i) {
    const std::string& o = operands[i];
    const bool hasValue = i + 1 < operands.size();
    if (command == "runs" && o == "--unit" && hasValue) {
      q.unit = operands[++i];
    } else if (command == "figures" && o == "--figure" && hasValue) {
      q.figure = operands[++i];
    } else if (command == "figures" && o == "--csv") {
      q.csv = true;
    } else {
      error = "unexpected '" + o + "' after " + command + " (see --help)";
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
    err << "vexa-cli: " << error << '\n';
    return 2;
  }
  results::ResultsStore store(where);
  bool ok = false;
  if (command == "units") {
    std::vector<results::UnitSummary> units;
    ok = store.units(units, error);
    for (const auto& u : units)
      out << u.name << '\t' << u.product << '\t' << u.runs << " runs\t"
          << (u.lastRun.empty() ? "-" : u.lastRun + " " + u.lastOutcome) << '\t' << u.figures
          << " figures\n";
  } else if (command == "runs") {
    std::vector<results::RunSummary> runs;
    ok = store.runs(q.unit, runs, error);
    for (const auto& r : runs) {
      out << r.started << '\t' << r.unit << '\t' << r.bench << '\t' << r.interfaceName << '\t'
          << r.outcome << '\t' << r.samplesTaken << " samples\t";
      for (size_t i = 0; i < r.filesWritten.size(); ++i)
        out << (i ? " " : "") << r.filesWritten[i].path;
      out << '\n';
    }
  } else {
    std::vector<results::FigureValue> values;
    ok = store.figure(q.figure, values, error);
    if (ok && q.csv) out << "unit,value,sigma,unit_of_value,resolved,at\n";
    for (const auto& v : values) {
      if (q.csv)
        out << csvField(v.unit) << ',' << number(v.value) << ',' << number(v.sigma) << ','
            << csvField(v.valueUnit) << ',' << (v.resolved ? 1 : 0) << ',' << v.at << '\n';
      else
        out << v.unit << '\t' << number(v.value) << '\t' << number(v.sigma) << '\t' << v.valueUnit
            << (v.resolved ? "" : "\tunresolved") << '\n';
    }
  }
  const results::StoreState state = store.state();
  if (!ok) {
    err << "vexa-cli: " << command << ": " << error << '\n';
    return 1;
  }
  if (state.waiting > 0) err << "vexa-cli: " << results::StateText(state) << '\n';
  return 0;
}

std::string ResultsUsageText() {
  return R"(  units                 The units in the results store: name, product number, runs, the
                        newest run's start and how it ended, and how many figures it has.
  runs [--unit NAME]    One line per log run (of one unit): start, unit, bench, interface,
                        how it ended, samples taken, and the files it wrote.
  figures --figure CHANNEL/TERM [--csv]
                        The newest value of one noise figure of every unit, such as
                        --figure "X Gyro/B": unit, value, sigma, unit of the value.
  log, magcal and noise take --unit NAME: the module's name in the results store (without
  it, the product number read from the module names it; noise, which reads files only, records
  its figures only under a name given).
)";
}

}  // namespace vexa::cli
