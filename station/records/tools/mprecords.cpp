// mprecords: the station's production records from the command line: list, show, stats,
// export --csv, push to a shared PostgreSQL database, report as a picture.
#include "base/command_line.h"
#include "platform/program_folder.h"
#include "station/records/query.h"
#include "station/records/source.h"

#ifdef TARN_HAVE_PQ
#include "station/records/push.h"
#endif
#ifdef TARN_HAVE_REPORT
#include "station/records/report.h"
#endif

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#ifdef TARN_HAVE_REPORT
// Qt's font setup keeps fontconfig's caches for the life of the process.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

namespace {

using namespace station::records;

const char kUsage[] =
    "usage: mprecords [--dir STATION] [--db FILE] [--journal FILE]... COMMAND\n"
    "  list   [FILTER]            one line per record\n"
    "  show   ID                  the whole record\n"
    "  stats  [FILTER]            yield overall, per hour, port and flash; failures per step\n"
    "  export --csv [-o FILE] [FILTER]\n"
    "  push   [--all] [--timeout SECONDS] URL\n"
    "                             to a shared PostgreSQL database (again: adds nothing;\n"
    "                             --all: every record, not only those after the last push;\n"
    "                             --timeout: for connecting and each answer, default 10)\n"
    "  report -o FILE.png [--local] [FILTER]\n"
    "FILTER: --from TIME --to TIME (UTC, from inclusive, to exclusive; 2026-12-08 or\n"
    "        2026-12-08T06:00) --result success|fail|removed --port HUB-PORT --flash-id HEX\n"
    "The records: STATION/misc/records.db and STATION/misc/records.journal, STATION being\n"
    "this program's folder unless --dir, --db or --journal say otherwise.\n"
    "       mprecords --help | --version\n"
    "Exit codes: 0 done, 1 failed (or no such record), 2 bad command line.\n";

// --help, --version and an option this tool does not know, before anything is read. Every
// option of the tool is listed here, those that take a value first.
std::optional<int> standardCommandLine(int argc, char** argv) {
  static const std::set<std::string> kValued = {"--dir",  "--db",   "--journal", "-o",       "--from",
                                                "--to",   "--result", "--port",  "--flash-id",
                                                "--timeout"};
  static const std::set<std::string> kFlags = {"--csv", "--all", "--local"};
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (auto code = tarn::helpOrVersion(a, "mprecords", kUsage)) return code;
    if (kValued.count(a)) ++i;
    else if (a.size() > 1 && a[0] == '-' && !kFlags.count(a))
      return tarn::badCommandLine("mprecords", "unknown option " + a);
  }
  return std::nullopt;
}

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

struct Command {
  std::string name;
  std::vector<std::string> args;
  Filter filter;
  std::string output;
  bool csv = false;
  bool all = false;
  bool local = false;  // the report's times in the machine's own zone
  int timeout = 10;
};

bool parseFilter(const std::string& a, const char* value, Filter& f) {
  std::string v = value;
  if (a == "--from" || a == "--to") {
    std::string t = normalizeTime(v);
    if (t.empty()) return false;
    (a == "--from" ? f.from : f.to) = t;
  } else if (a == "--result") {
    if (v != "success" && v != "fail" && v != "removed") return false;
    f.result = v;
  } else if (a == "--port") {
    f.port = v == "-" ? "" : v;
  } else if (a == "--flash-id") {
    // Hex digits only: strtoul alone would take a sign or leading blanks.
    if (v.empty() || v.size() > 8 || v.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      return false;
    unsigned long id = std::strtoul(v.c_str(), nullptr, 16);
    f.flashId = static_cast<uint32_t>(id);
  } else {
    return false;
  }
  return true;
}

// What a filter option takes, for the line that says why a value was refused.
const char* filterHelp(const std::string& option) {
  if (option == "--from" || option == "--to") return "not a date (2026-12-08) or date and time (2026-12-08T06:00)";
  if (option == "--result") return "not success, fail or removed";
  if (option == "--flash-id") return "not 1 to 8 hex digits";
  return "no such option";
}

#ifdef TARN_HAVE_REPORT
// What a report covers: the stations, the time span and the filters.
std::string describe(const Stats& stats, const Filter& f, bool local) {
  auto shown = [](std::string t) {
    if (t.size() > 10) t[10] = ' ';
    return t;
  };
  std::string from = !f.from.empty() ? shown(f.from)
                     : stats.perHour.empty() ? "-" : shown(stats.perHour.begin()->first) + ":00";
  std::string to = !f.to.empty() ? "before " + shown(f.to)
                   : stats.perHour.empty() ? "-" : "to " + shown(stats.perHour.rbegin()->first) + ":59";
  std::string names;
  for (const std::string& station : stats.stations) names += (names.empty() ? "" : ", ") + station;
  std::string out = "Runs started from " + from + " " + to + (local ? " (local time)" : " (UTC)");
  if (!names.empty()) out = (stats.stations.size() > 1 ? "Stations " : "Station ") + names + ": " + out;
  if (f.result) out += ", " + *f.result + " runs";
  if (f.port) out += ", port " + (f.port->empty() ? std::string("not found") : *f.port);
  if (f.flashId) out += ", flash " + hex8(*f.flashId);
  return out;
}
#endif

int fail(const std::string& error) {
  std::fprintf(stderr, "mprecords: %s\n", error.c_str());
  return 1;
}

// Records whose full text is damaged are given from the database's columns: said, and a
// failure, though every record was given.
int damagedSaid(size_t damaged, const Sources& s) {
  if (!damaged) return 0;
  return fail(std::to_string(damaged) + " record(s) in " + s.database +
              " are damaged: given from their columns only");
}

}  // namespace

static int run(int argc, char** argv) {
  if (auto code = standardCommandLine(argc, argv)) return *code;
  Sources sources;
  std::string dir;
  bool explicitSources = false;
  Command cmd;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool value = i + 1 < argc;
    if (a == "--dir" && value) dir = argv[++i];
    else if (a == "--db" && value) { sources.database = argv[++i]; explicitSources = true; }
    else if (a == "--journal" && value) { sources.journals.push_back(argv[++i]); explicitSources = true; }
    else if (a == "--csv") cmd.csv = true;
    else if (a == "--all") cmd.all = true;
    else if (a == "--local") cmd.local = true;
    else if (a == "--timeout" && value) {
      char* end = nullptr;
      long t = std::strtol(argv[++i], &end, 10);
      if (!std::isdigit(static_cast<unsigned char>(*argv[i])) || *end || t < 1 || t > 3600) return usage();
      cmd.timeout = static_cast<int>(t);
    }
    else if (a == "-o" && value) cmd.output = argv[++i];
    else if (a.rfind("--", 0) == 0 && value) {
      if (!parseFilter(a, argv[++i], cmd.filter)) {
        std::fprintf(stderr, "mprecords: %s %s: %s\n", a.c_str(), argv[i], filterHelp(a));
        return usage();
      }
    }
    else if (cmd.name.empty()) cmd.name = a;
    else cmd.args.push_back(a);
  }
  if (!cmd.filter.from.empty() && !cmd.filter.to.empty() && cmd.filter.from >= cmd.filter.to) {
    std::fprintf(stderr, "mprecords: --from %s is not before --to %s\n", cmd.filter.from.c_str(),
                 cmd.filter.to.c_str());
    return 2;
  }
  std::error_code ec;
  if (!dir.empty() && !std::filesystem::is_directory(dir, ec)) return fail(dir + ": no such folder");
  if (!explicitSources) {
    if (dir.empty()) dir = platform::programFolder();
    if (dir.empty()) dir = ".";
    if (haveDatabase()) sources.database = dir + "/misc/records.db";
    sources.journals.push_back(dir + "/misc/records.journal");
  }

  std::string error;
  size_t damaged = 0;
  if (cmd.name == "list" && cmd.args.empty()) {
    // The slot as the record, CSV and the shared database count it: 0 to 7.
    const char* line = "%-32s  %-24s  %-10s %4s %5s %-5s %-7s %-14s %-8s %5s\n";
    std::printf(line, "id", "started (UTC)", "station", "slot", "drive", "port", "result",
                "failed step", "flash id", "MiB");
    bool ok = forEachRecord(sources, [&](ProductionRecord&& r) {
      if (!cmd.filter.matches(statRowOf(r))) return;
      std::printf(line, r.id.c_str(), r.startedAt.c_str(), r.station.c_str(),
                  std::to_string(r.slot).c_str(), r.drive.c_str(), r.port.empty() ? "-" : r.port.c_str(),
                  resultOf(r), r.failedStep.empty() ? "-" : r.failedStep.c_str(),
                  hex8(r.flashId).c_str(), std::to_string(r.capacityMib).c_str());
    }, &error, &damaged);
    return ok ? damagedSaid(damaged, sources) : fail(error);
  }
  if (cmd.name == "show" && cmd.args.size() == 1) {
    bool bad = false;
    auto r = findRecord(sources, cmd.args[0], &error, &bad);
    if (!r) return fail(error.empty() ? "no record " + cmd.args[0] : error);
    std::printf("%s\n", toPrettyJson(*r).c_str());
    return damagedSaid(bad, sources);
  }
  if ((cmd.name == "stats" || cmd.name == "report") && cmd.args.empty()) {
    Stats stats;
    stats.wantStations = cmd.name == "report";
#ifdef TARN_HAVE_REPORT
    // Times given with --local are the machine's: the records' are UTC.
    Filter asked = cmd.filter;
    if (cmd.local) {
      if (!cmd.filter.from.empty()) cmd.filter.from = shiftTime(cmd.filter.from, false);
      if (!cmd.filter.to.empty()) cmd.filter.to = shiftTime(cmd.filter.to, false);
    }
#endif
    if (!collectStats(sources, cmd.filter, stats, &error)) return fail(error);
    if (cmd.name == "stats") {
      std::fputs(formatStats(stats).c_str(), stdout);
      return 0;
    }
    if (cmd.output.empty()) return usage();
#ifdef TARN_HAVE_REPORT
    if (!reportFormat(cmd.output)) {
      std::fprintf(stderr, "mprecords: %s: not a picture's name (.png, .jpg or .bmp)\n", cmd.output.c_str());
      return 2;
    }
    // An empty picture would pass for a day without production.
    if (stats.overall.total == 0) return fail("no records to report; " + cmd.output + " not written");
    if (cmd.local) hoursToLocal(stats);
    if (!drawReport(stats, describe(stats, asked, cmd.local), cmd.output, &error)) return fail(error);
    return 0;
#else
    return fail("this build draws no pictures");
#endif
  }
  if (cmd.name == "export" && cmd.csv && cmd.args.empty()) {
    std::ofstream file;
    if (!cmd.output.empty()) {
      file.open(cmd.output, std::ios::binary | std::ios::trunc);
      if (!file) return fail("cannot write " + cmd.output);
    }
    std::string buf = csvHeader();
    auto flush = [&] {
      if (file.is_open()) file << buf;
      else std::fwrite(buf.data(), 1, buf.size(), stdout);
      buf.clear();
    };
    bool ok = forEachRecord(sources, [&](ProductionRecord&& r) {
      if (!cmd.filter.matches(statRowOf(r))) return;
      buf += csvLine(r);
      if (buf.size() > (1 << 16)) flush();
    }, &error, &damaged);
    flush();
    if (file.is_open()) {
      file.close();
      if (!file) return fail("cannot write " + cmd.output);
    }
    return ok ? damagedSaid(damaged, sources) : fail(error);
  }
  if (cmd.name == "push" && cmd.args.size() == 1) {
#ifdef TARN_HAVE_PQ
    PushOptions po;
    po.all = cmd.all;
    po.timeoutSeconds = cmd.timeout;
    PushResult r = pushRecords(sources, cmd.args[0], po);
    if (!r.ok && r.refused.empty()) return fail("push: " + r.error);
    std::printf("pushed %lld records, %lld new\n", static_cast<long long>(r.sent),
                static_cast<long long>(r.added));
    for (const std::string& why : r.refused) std::fprintf(stderr, "mprecords: push: refused %s\n", why.c_str());
    return r.ok ? 0 : fail("push: " + r.error);
#else
    return fail("this build cannot reach PostgreSQL");
#endif
  }
  return usage();
}

int main(int argc, char** argv) {
  int code = run(argc, argv);
  // Output that never arrived (a full disk, a closed pipe) is a failure, not a result.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fputs("mprecords: cannot write the output\n", stderr);
    return code ? code : 1;
  }
  return code;
}
