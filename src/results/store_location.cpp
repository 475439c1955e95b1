#include "results/store_location.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstdlib>
#include <initializer_list>

namespace vexa::results {

std::string StoreLocation::text() const {
  if (engine == Engine::Sqlite) return path;
  QString host = QString::fromStdString(this->host);
  if (host.startsWith('/')) host = QString::fromUtf8(QUrl::toPercentEncoding(host));
  return "postgresql://" + user + "@" + host.toStdString() + ":" + std::to_string(port) + "/" +
         database;
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

namespace {

std::string decoded(const std::string& part) {
  return QUrl::fromPercentEncoding(QByteArray::fromStdString(part)).toStdString();
}

}  // namespace

bool ParseStoreLocation(const std::string& text, StoreLocation& l, std::string& error) {
  l = StoreLocation{};
  if (text.empty()) {
    l.path = DefaultStorePath();
    return true;
  }
  std::string rest;
  for (const char* scheme : {"postgresql://", "postgres://"})
    if (text.rfind(scheme, 0) == 0) rest = text.substr(std::string(scheme).size());
  if (rest.empty() && text.find("://") == std::string::npos) {
    l.path = text;  // a file, even one named postgres.db
    return true;
  }
  const auto malformed = [&](const std::string& why) {
    error = "malformed database address '" + text + "' (" + why +
            "): give postgresql://USER@HOST:PORT/NAME";
    return false;
  };
  if (rest.empty()) return malformed("only postgresql:// addresses name a server");
  const size_t at = rest.find('@');
  const size_t slash = rest.find('/', at == std::string::npos ? 0 : at);
  if (at == std::string::npos || at == 0) return malformed("no user");
  if (slash == std::string::npos || slash + 1 >= rest.size()) return malformed("no database");
  std::string user = rest.substr(0, at);
  if (user.find(':') != std::string::npos)
    return malformed("a password does not belong here: use ~/.pgpass or PGPASSWORD");
  std::string hostPort = rest.substr(at + 1, slash - at - 1);
  const std::string name = rest.substr(slash + 1);
  if (name.find_first_of("/?#") != std::string::npos) return malformed("more than a name");
  const size_t colon = hostPort.rfind(':');
  if (colon != std::string::npos) {
    const std::string port = hostPort.substr(colon + 1);
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) == 0 ||
        std::stoi(port) > 65535)
      return malformed("port");
    l.port = std::stoi(port);
    hostPort.resize(colon);
  }
  if (hostPort.empty()) return malformed("no host");
  l.engine = Engine::Postgres;
  l.user = decoded(user);
  l.host = decoded(hostPort);
  l.database = decoded(name);
  return true;
}

}  // namespace vexa::results
