#include "results/server_probe.h"

#include <libpq-fe.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

namespace vexa::results {

bool ProbeServer(const StoreLocation& where, int timeoutMs, std::string& error) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  const auto parameters = where.connectionParameters();
  std::vector<const char*> keys, values;
  for (const auto& [key, value] : parameters) {
    keys.push_back(key.c_str());
    values.push_back(value.c_str());
  }
  keys.push_back(nullptr);
  values.push_back(nullptr);
  const std::unique_ptr<PGconn, void (*)(PGconn*)> conn(
      PQconnectStartParams(keys.data(), values.data(), 0), PQfinish);
  const auto cause = [&] {
    std::string message = conn ? PQerrorMessage(conn.get()) : "out of memory";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
      message.pop_back();
    // libpq names each host it tried on a line of its own: one line for the user.
    for (char& c : message)
      if (c == '\n') c = ' ';
    return message;
  };
  if (!conn || PQstatus(conn.get()) == CONNECTION_BAD) {
    error = cause();
    return false;
  }
  PostgresPollingStatusType status = PGRES_POLLING_WRITING;
  for (;;) {
    if (status == PGRES_POLLING_OK) return true;
    if (status == PGRES_POLLING_FAILED) {
      error = cause();
      return false;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd fd{PQsocket(conn.get()),
              static_cast<short>(status == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
    if (left <= 0 || poll(&fd, 1, static_cast<int>(left)) == 0) {
      char text[48];
      std::snprintf(text, sizeof text, "no answer within %.1f s", timeoutMs / 1000.0);
      error = text;
      return false;
    }
    status = PQconnectPoll(conn.get());
  }
}

}  // namespace vexa::results
