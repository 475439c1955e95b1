#include "results/store_location.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QUrl>

#include <libpq-fe.h>

#include <cstdlib>
#include <initializer_list>
#include <memory>

namespace vexa::results {

namespace {

std::string encoded(const std::string& part) {
  return QUrl::toPercentEncoding(QString::fromStdString(part)).toStdString();
}

// The keywords kept in fields of their own; the rest go through as they are.
constexpr const char* kUser = "user";
constexpr const char* kHost = "host";
constexpr const char* kPort = "port";
constexpr const char* kDatabase = "dbname";

// One port, or one per host (an empty one: the default port for that host).
bool ValidPorts(const std::string& ports) {
  size_t start = 0;
  for (;;) {
    const size_t comma = ports.find(',', start);
    const std::string port = ports.substr(start, comma - start);
    if (port.empty() && ports.find(',') != std::string::npos) {
      // fine: a host of a list without its own port
    } else if (port.empty() || port.size() > 5 ||
               port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) == 0 ||
               std::stoi(port) > 65535)
      return false;
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// A keyword-value connection string's quoting: 'value' with \ and ' escaped.
std::string quoted(const std::string& value) {
  std::string q = "'";
  for (char c : value) {
    if (c == '\'' || c == '\\') q += '\\';
    q += c;
  }
  return q + "'";
}

}  // namespace

std::string StoreLocation::text() const {
  if (engine == Engine::Sqlite) return path;
  std::string t = "postgresql://";
  if (!user.empty()) t += encoded(user) + "@";
  std::vector<std::pair<std::string, std::string>> query;
  // Several hosts (a list) go in the query, where libpq reads the list whole.
  const bool hostInQuery = host.find(',') != std::string::npos;
  if (hostInQuery) {
    query.emplace_back(kHost, host);
    if (!port.empty()) query.emplace_back(kPort, port);
  } else {
    if (host.find(':') != std::string::npos)
      t += "[" + host + "]";
    else
      t += encoded(host);
    t += ":" + (port.empty() ? std::string("5432") : port);
  }
  t += "/" + encoded(database);
  query.insert(query.end(), parameters.begin(), parameters.end());
  for (size_t i = 0; i < query.size(); ++i)
    t += (i ? "&" : "?") + query[i].first + "=" + encoded(query[i].second);
  return t;
}

std::vector<std::pair<std::string, std::string>> StoreLocation::connectionParameters() const {
  std::vector<std::pair<std::string, std::string>> all;
  for (const auto& [key, value] : {std::pair<const char*, const std::string&>{kHost, host},
                                   {kPort, port},
                                   {kUser, user},
                                   {kDatabase, database}})
    if (!value.empty()) all.emplace_back(key, value);
  all.insert(all.end(), parameters.begin(), parameters.end());
  return all;
}

std::string DefaultStorePath() {
  const char* data = std::getenv("XDG_DATA_HOME");
  std::string folder;
  if (data && data[0] == '/') {
    folder = data;
  } else {
    const char* home = std::getenv("HOME");
    folder = std::string(home && home[0] ? home : ".") + "/.local/share";
  }
  return folder + "/vexa-eval/results.db";
}

bool ParseStoreLocation(const std::string& text, StoreLocation& l, std::string& error) {
  l = StoreLocation{};
  if (text.empty()) {
    l.path = DefaultStorePath();
    return true;
  }
  const bool server = text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
  if (!server && text.find("://") == std::string::npos) {
    l.path = text;  // a file, even one named postgres.db
    return true;
  }
  const auto malformed = [&](const std::string& why) {
    error = "malformed database address '" + text + "' (" + why +
            "): give postgresql://[USER@][HOST][:PORT][/NAME][?KEY=VALUE...]";
    return false;
  };
  if (!server) return malformed("only postgresql:// addresses name a server");
  // libpq reads the address itself, so every form it documents means here what it means there.
  char* why = nullptr;
  const std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)> options(
      PQconninfoParse(text.c_str(), &why), PQconninfoFree);
  if (!options) {
    std::string message = why ? why : "not readable";
    PQfreemem(why);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
      message.pop_back();
    return malformed(message);
  }
  for (const PQconninfoOption* o = options.get(); o->keyword; ++o) {
    if (!o->val) continue;
    const std::string key = o->keyword;
    const std::string value = o->val;
    if (key == "password")
      return malformed("a password does not belong here: use ~/.pgpass or PGPASSWORD");
    // The SQL driver's connection text takes its parameters separated by ';'.
    if (value.find(';') != std::string::npos) return malformed("';' in " + key);
    if (key == kUser)
      l.user = value;
    else if (key == kHost)
      l.host = value;
    else if (key == kPort)
      l.port = value;
    else if (key == kDatabase)
      l.database = value;
    else
      l.parameters.emplace_back(key, value);
  }
  if (!l.port.empty() && !ValidPorts(l.port)) return malformed("port");
  l.engine = Engine::Postgres;
  return true;
}

void ConfigureServerConnection(QSqlDatabase& db, const StoreLocation& where) {
  // Everything goes as connection options, quoted, so libpq reads what the address said; the
  // driver's own fields would leave the parameters they have no field for behind.
  std::string options;
  bool timeoutGiven = false;
  for (const auto& [key, value] : where.connectionParameters()) {
    options += (options.empty() ? "" : ";") + key + "=" + quoted(value);
    timeoutGiven = timeoutGiven || key == "connect_timeout";
  }
  // The server answered a moment ago (ResultsStore asks first); should it stop now, a run's
  // end still waits no longer than this.
  if (!timeoutGiven) options += std::string(options.empty() ? "" : ";") + "connect_timeout=3";
  db.setHostName({});
  db.setDatabaseName({});
  db.setUserName({});
  db.setPort(-1);
  db.setConnectOptions(QString::fromStdString(options));
}

}  // namespace vexa::results
