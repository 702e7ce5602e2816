// A PostgreSQL server of the test's own: Debian's initdb in a scratch folder, run as an
// unprivileged user when the test runs as root, listening on a free port of 127.0.0.1.
#pragma once

#include "../station_e2e/station_harness.h"

#include <libpq-fe.h>

#include <glob.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>

#include <string>

namespace station::records::testing {

namespace fs = std::filesystem;

class PgServer {
 public:
  PgServer() {
    glob_t g{};
    if (glob("/usr/lib/postgresql/*/bin/initdb", 0, nullptr, &g) == 0 && g.gl_pathc > 0)
      bin_ = fs::path(g.gl_pathv[g.gl_pathc - 1]).parent_path();
    globfree(&g);
    if (bin_.empty()) {
      why_ = "PostgreSQL's server programs are not installed";
      return;
    }
    dir_ = fs::temp_directory_path() / ("tarn_pg_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    if (geteuid() == 0) {
      // The server refuses to run as root.
      const char* who = getpwnam("postgres") ? "postgres" : "nobody";
      struct passwd* pw = getpwnam(who);
      if (!pw || chown(dir_.c_str(), pw->pw_uid, pw->pw_gid) != 0) {
        why_ = "no unprivileged user to run the server";
        return;
      }
      as_ = {"runuser", "-u", who, "--"};
    }
    port_ = freePort();
    std::string out;
    if (command({(bin_ / "initdb").string(), "-D", (dir_ / "data").string(), "-A", "trust", "-U",
                 "tarn", "--no-sync", "-E", "UTF8"},
                &out) != 0) {
      why_ = "initdb failed: " + out;
      return;
    }
    std::string opts = "-p " + std::to_string(port_) + " -k " + dir_.string() +
                       " -c listen_addresses=127.0.0.1 -c fsync=off";
    if (command({(bin_ / "pg_ctl").string(), "-D", (dir_ / "data").string(), "-o", opts, "-l",
                 (dir_ / "log").string(), "-w", "start"},
                &out) != 0) {
      why_ = "the server did not start: " + out + e2e::readText(dir_ / "log");
      return;
    }
    running_ = true;
  }
  ~PgServer() {
    if (running_)
      command({(bin_ / "pg_ctl").string(), "-D", (dir_ / "data").string(), "-m", "immediate", "stop"},
              nullptr);
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }

  bool running() const { return running_; }
  int port() const { return port_; }
  const std::string& why() const { return why_; }
  std::string url(const std::string& db = "postgres") const {
    return "postgresql://tarn@127.0.0.1:" + std::to_string(port_) + "/" + db;
  }

  // The first column of the first row of a query's answer.
  std::string value(const std::string& sql, const std::string& db = "postgres") const {
    PGconn* c = PQconnectdb(url(db).c_str());
    PGresult* r = PQexec(c, sql.c_str());
    std::string v = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) > 0 ? PQgetvalue(r, 0, 0)
                                                                              : "<" + std::string(PQerrorMessage(c)) + ">";
    PQclear(r);
    PQfinish(c);
    return v;
  }
  bool exec(const std::string& sql, const std::string& db = "postgres") const {
    PGconn* c = PQconnectdb(url(db).c_str());
    PGresult* r = PQexec(c, sql.c_str());
    bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    PQclear(r);
    PQfinish(c);
    return ok;
  }

 private:
  int command(std::vector<std::string> argv, std::string* out) const {
    argv.insert(argv.begin(), as_.begin(), as_.end());
    return e2e::run(argv, out);
  }
  static int freePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t n = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &n);
    close(s);
    return ntohs(a.sin_port);
  }

  fs::path bin_, dir_;
  std::vector<std::string> as_;
  int port_ = 0;
  bool running_ = false;
  std::string why_;
};

}  // namespace station::records::testing
