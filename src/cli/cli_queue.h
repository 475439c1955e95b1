#pragma once

// `vexa-cli queue [--drop]`: the records this computer holds for a server that has not taken
// them yet, listed, or dropped when their server will never answer.

#include <iosfwd>

#include "results/results_store.h"

namespace vexa::cli {

// Lists (or drops) the queue of `store`'s local file; no server is asked. Exit status 0, or 1
// when the local file cannot be read.
int RunQueueCommand(results::ResultsStore& store, bool drop, std::ostream& out, std::ostream& err);

}  // namespace vexa::cli
