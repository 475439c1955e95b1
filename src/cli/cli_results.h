#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace vexa::cli {

// `units`, `runs [--unit NAME]`, `figures --figure NAME [--csv]`, `calibrations [--unit NAME]`,
// `queue [--drop]`: what the results store holds. They touch no device.
bool IsResultsCommand(const std::string& command);

struct ResultsQuery {
  std::string unit;
  std::string figure;
  bool csv = false;
  bool drop = false;  // queue --drop
};

// Reads the operands of a results command. False with a one-line error.
bool ParseResultsOperands(const std::string& command, const std::vector<std::string>& operands,
                          ResultsQuery& query, std::string& error);

// Runs it against the store at `address` (empty: the SQLite file). Exit status 0, or 1 when
// the store cannot be read or holds no figure of the name asked.
int RunResultsCommand(const std::string& command, const ResultsQuery& query,
                      const std::string& address, std::ostream& out, std::ostream& err);

// Takes `--unit NAME` out of a command's operands. False with an error when NAME is missing or
// holds a control character.
bool TakeUnitOperand(std::vector<std::string>& operands, std::string& unit, std::string& error);

std::string ResultsUsageText();

}  // namespace vexa::cli
