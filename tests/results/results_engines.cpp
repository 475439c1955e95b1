#include "results_engines.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include <cstdlib>

namespace vexa::results::testing {

namespace {
const char* env(const char* name) {
  const char* value = std::getenv(name);
  return value && value[0] ? value : nullptr;
}
}  // namespace

bool PostgresAvailable() {
  return env("VEXA_TEST_PG_URL") != nullptr;
}

std::string PostgresTcpUrl() {
  return env("VEXA_TEST_PG_TCP_URL") ? env("VEXA_TEST_PG_TCP_URL") : "";
}
std::string PostgresPassword() {
  return env("VEXA_TEST_PG_PASSWORD") ? env("VEXA_TEST_PG_PASSWORD") : "";
}

StoreLocation FreshStore(Engine engine, const std::string& folder) {
  StoreLocation where;
  std::string error;
  if (engine == Engine::Sqlite) {
    ParseStoreLocation(
        folder + "/results-" + QUuid::createUuid().toString(QUuid::Id128).toStdString() + ".db",
        where, error);
    return where;
  }
  const std::string name =
      "vexa_" + QUuid::createUuid().toString(QUuid::Id128).left(16).toStdString();
  ParseStoreLocation(std::string(env("VEXA_TEST_PG_URL")) + "postgres", where, error);
  {
    QSqlDatabase admin = QSqlDatabase::addDatabase("QPSQL", "vexa-test-admin");
    ConfigureServerConnection(admin, where);
    if (admin.open()) QSqlQuery(admin).exec(QString::fromStdString("CREATE DATABASE " + name));
    admin.close();
  }
  QSqlDatabase::removeDatabase("vexa-test-admin");
  where.database = name;
  return where;
}

bool StopPostgres() {
  return env("VEXA_TEST_PG_STOP") && std::system(env("VEXA_TEST_PG_STOP")) == 0;
}
bool StartPostgres() {
  return env("VEXA_TEST_PG_START") && std::system(env("VEXA_TEST_PG_START")) == 0;
}

}  // namespace vexa::results::testing
