#include "cli/cli_queue.h"

#include <ostream>

#include "results/printable_text.h"

namespace vexa::cli {

int RunQueueCommand(results::ResultsStore& store, bool drop, std::ostream& out, std::ostream& err) {
  using results::PrintableText;
  std::string error;
  if (drop) {
    int64_t dropped = 0;
    if (!store.dropQueued(dropped, error)) {
      err << "vexa-cli: queue: " << PrintableText(error) << '\n';
      return 1;
    }
    out << dropped << (dropped == 1 ? " record" : " records") << " dropped\n";
    return 0;
  }
  std::vector<results::QueuedRecord> queued;
  if (!store.queued(queued, error)) {
    err << "vexa-cli: queue: " << PrintableText(error) << '\n';
    return 1;
  }
  for (const auto& r : queued)
    out << PrintableText(r.at.empty() ? "-" : r.at) << '\t' << r.kind << '\t'
        << PrintableText(r.unit.empty() ? "-" : r.unit) << '\t' << PrintableText(r.destination)
        << '\t' << PrintableText(r.id.empty() ? "-" : r.id) << '\n';
  return 0;
}

}  // namespace vexa::cli
