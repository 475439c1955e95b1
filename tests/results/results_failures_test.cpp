// The store when something is wrong: every failure says its cause once, a server that does not
// answer holds a command once and briefly, a damaged local file is set aside, and the file
// alone is whole after every command.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "cli/cli.h"
#include "results/results_store.h"
#include "results_engines.h"
#include "support/sim_world.h"

namespace vexa::results {
namespace {

namespace fs = std::filesystem;

StoreLocation SqliteFile(const std::string& path) {
  StoreLocation where;
  where.path = path;
  return where;
}

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

// Each run of vexa-cli here with a data folder of its own: the local queue is the test's.
class StoreFailures : public ::testing::Test {
 protected:
  void SetUp() override {
    previousDataHome_ = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    setenv("XDG_DATA_HOME", world.folder().c_str(), 1);
  }
  void TearDown() override { setenv("XDG_DATA_HOME", previousDataHome_.c_str(), 1); }
  CliRun cli(const std::string& db, std::vector<std::string> args) {
    args.insert(args.begin(), {"--simulate", "--interface", "usb", "--db", db});
    std::ostringstream out, err;
    cli::CliEnvironment environment;
    environment.workingDirectory = world.folder();
    const int status = cli::RunCli(args, out, err, environment);
    return {status, out.str(), err.str()};
  }
  CliRun logRun(const std::string& db) {
    return cli(db, {"log", "--samples", "3", "--overwrite", "--dir", world.folder(), "XGYRO_OUT"});
  }
  static size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
  vexa::testing::SimWorld world;

 private:
  std::string previousDataHome_;
};

// A server that takes connections and never says a word: the kernel accepts them into the
// backlog; a thread of ours takes them out and counts them.
class SilentServer {
 public:
  SilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    listen(fd_, 16);
    thread_ = std::thread([this] {
      for (;;) {
        const int client = accept(fd_, nullptr, nullptr);
        if (client < 0) return;
        if (stopping_) {
          close(client);
          return;
        }
        ++accepted_;
        clients_.push_back(client);
      }
    });
  }
  ~SilentServer() {
    stopping_ = true;
    // Wakes the accept with one last connection of our own.
    const int wake = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port_));
    connect(wake, reinterpret_cast<sockaddr*>(&address), sizeof address);
    thread_.join();
    close(wake);
    for (int c : clients_) close(c);
    close(fd_);
  }
  std::string address() const {
    return "postgresql://bench@127.0.0.1:" + std::to_string(port_) + "/results";
  }
  int accepted() const { return accepted_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  std::vector<int> clients_;
  std::thread thread_;
};

TEST_F(StoreFailures, SilentServerIsAskedOncePerCommandThenTheRecordWaitsAndCanBeDropped) {
  SilentServer server;
  const CliRun r = logRun(server.address());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(server.accepted(), 1) << "one connection attempt for the whole command";
  EXPECT_NE(r.err.find("results store: offline, 1 record waiting"), std::string::npos) << r.err;
  EXPECT_EQ(count(r.err, "no answer within 2.5 s"), 1u) << r.err;
  EXPECT_EQ(count(r.err, "\n"), 2u) << "the state and its cause, a line each: " << r.err;

  // The queue names what waits and for which server; --drop empties it.
  const CliRun listed = cli(server.address(), {"queue"});
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(count(listed.out, "\n"), 1u) << listed.out;
  EXPECT_NE(listed.out.find("\trun\t"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find(server.address()), std::string::npos) << listed.out;
  EXPECT_EQ(server.accepted(), 1) << "listing the queue asks no server";
  EXPECT_EQ(cli(server.address(), {"queue", "--drop"}).out, "1 record dropped\n");
  EXPECT_EQ(cli(server.address(), {"queue"}).out, "");

  // A server that refuses: libpq's message of several lines and tabs comes as one line.
  const CliRun refused = logRun("postgresql://bench@127.0.0.1:1/results");
  EXPECT_EQ(count(refused.err, "\n"), 2u) << refused.err;
  EXPECT_EQ(refused.err.find('\t'), std::string::npos) << refused.err;
  EXPECT_NE(refused.err.find("Connection refused"), std::string::npos) << refused.err;
  cli(server.address(), {"queue", "--drop"});
}

TEST_F(StoreFailures, DamagedLocalStoreIsSetAsideWithItsCauseAndANewOneKeepsTheRecord) {
  const std::string path = world.folder() + "/lab.db";
  ASSERT_EQ(logRun(path).status, 0);
  ASSERT_EQ(logRun(path).status, 0);
  // A copy cut short, as a full disk or an interrupted copy leaves it.
  fs::resize_file(path, fs::file_size(path) / 2);
  const CliRun r = logRun(path);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(count(r.err, "damaged ("), 1u) << r.err;
  EXPECT_NE(r.err.find(path + ".damaged-"), std::string::npos) << r.err;
  size_t aside = 0;
  for (const auto& entry : fs::directory_iterator(world.folder()))
    aside += entry.path().filename().string().rfind("lab.db.damaged-", 0) == 0;
  EXPECT_EQ(aside, 1u);
  ResultsStore store(SqliteFile(path));
  std::vector<RunSummary> runs;
  std::string error;
  ASSERT_TRUE(store.runs({}, runs, error)) << error;
  EXPECT_EQ(runs.size(), 1u) << "the new store holds the run that found the damage";
}

TEST_F(StoreFailures, StoreFileAloneHoldsEveryRecordAfterACommand) {
  const std::string path = world.folder() + "/lab.db";
  ASSERT_EQ(logRun(path).status, 0);
  // A backup copies the file, not the write-ahead log beside it.
  const std::string copy = world.folder() + "/copy.db";
  fs::copy_file(path, copy);
  ResultsStore store(SqliteFile(copy));
  std::vector<RunSummary> runs;
  std::string error;
  ASSERT_TRUE(store.runs({}, runs, error)) << error;
  EXPECT_EQ(runs.size(), 1u);
}

TEST_F(StoreFailures, ServerThatRefusesSaysWhyOncePerCommand) {
  if (testing::PostgresTcpUrl().empty())
    GTEST_SKIP() << "no test server: tests/results/with_postgres.sh runs these";
  const std::string tcp = testing::PostgresTcpUrl();
  const StoreLocation fresh = testing::FreshStore(Engine::Postgres, world.folder());
  const std::string database = tcp + fresh.database;
  // Another program's database: tables of its own, no version of ours.
  const StoreLocation theirs = testing::FreshStore(Engine::Postgres, world.folder());
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", "theirs");
    ConfigureServerConnection(db, theirs);
    ASSERT_TRUE(db.open());
    ASSERT_TRUE(QSqlQuery(db).exec("CREATE TABLE runs (id INTEGER)"));
    db.close();
  }
  QSqlDatabase::removeDatabase("theirs");
  const struct {
    const char* what;
    std::string address;
    std::string password;
    std::string cause;
  } cases[] = {
      {"right password over TCP (SCRAM)", database, testing::PostgresPassword(), ""},
      {"wrong password", database, "wrong", "password authentication failed"},
      {"no password", database, "", "no password supplied"},
      {"no such database", tcp + "vexa_missing", testing::PostgresPassword(),
       "\"vexa_missing\" does not exist"},
      {"another program's tables", testing::PostgresTcpUrl() + theirs.database,
       testing::PostgresPassword(), "another program's tables (runs)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.password.empty())
      unsetenv("PGPASSWORD");
    else
      setenv("PGPASSWORD", c.password.c_str(), 1);
    // Two records in one command (the calibration and the flash update would be two; a log
    // run and its queue flush ask the server more than once).
    const CliRun r = logRun(c.address);
    EXPECT_EQ(r.status, 0) << r.err;
    if (c.cause.empty()) {
      EXPECT_EQ(r.err, "");
    } else {
      EXPECT_EQ(count(r.err, c.cause), 1u) << r.err;
      EXPECT_NE(r.err.find("1 record waiting"), std::string::npos) << r.err;
    }
    cli(c.address, {"queue", "--drop"});
  }
  unsetenv("PGPASSWORD");
}

}  // namespace
}  // namespace vexa::results
