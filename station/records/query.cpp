#include "station/records/query.h"

#include <cctype>
#include <cstdio>

namespace station::records {

StatRow statRowOf(const ProductionRecord& r) {
  return {r.id, r.startedAt, r.success, r.port, r.flashId, r.failedStep, r.removed};
}

bool Filter::matches(const StatRow& row) const {
  if (!from.empty() && row.startedAt.compare(0, from.size(), from) < 0) return false;
  if (!to.empty() && row.startedAt.compare(0, to.size(), to) >= 0) return false;
  if (result && *result != (row.success ? "success" : row.removed ? "removed" : "fail")) return false;
  if (port && row.port != *port) return false;
  if (flashId && row.flashId != *flashId) return false;
  return true;
}

std::string normalizeTime(const std::string& text) {
  // YYYY-MM-DD, then optionally [T ]HH, :MM, :SS
  static const char shape[] = "dddd-dd-ddTdd:dd:dd";
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i >= sizeof shape - 1) return {};
    char c = text[i], want = shape[i];
    if (want == 'd' ? !std::isdigit(static_cast<unsigned char>(c))
                    : !(c == want || (want == 'T' && c == ' ')))
      return {};
    out += want == 'T' ? 'T' : c;
  }
  // Only whole fields: a date, an hour, minutes, seconds.
  size_t n = out.size();
  if (n != 10 && n != 13 && n != 16 && n != 19) return {};
  return out;
}

void Stats::add(const StatRow& row) {
  addGroup(row.startedAt.substr(0, 13), row.success ? "success" : row.removed ? "removed" : "fail",
           row.port, row.flashId, row.failedStep, 1);
}

void Stats::addGroup(const std::string& hour, const std::string& result, const std::string& port,
                     uint32_t flashId, const std::string& failedStep, int64_t runs) {
  const bool success = result == "success", removed = result == "removed";
  auto count = [&](Tally& t) {
    t.total += runs;
    if (success) t.success += runs;
    if (removed) t.removed += runs;
  };
  count(overall);
  count(perHour[hour]);
  count(perPort[port.empty() ? "-" : port]);
  count(perFlash[hex8(flashId)]);
  if (!success && !removed) failuresPerStep[failedStep.empty() ? "-" : failedStep] += runs;
}

namespace {

std::string tallyLine(const std::string& key, const Tally& t) {
  char buf[160];
  std::snprintf(buf, sizeof buf, "  %-16s %8lld %8lld %8lld %8lld %6.1f%%\n", key.c_str(),
                static_cast<long long>(t.total), static_cast<long long>(t.success),
                static_cast<long long>(t.fail()), static_cast<long long>(t.removed), t.yield());
  return buf;
}

std::string table(const char* title, const std::map<std::string, Tally>& rows) {
  char head[160];
  std::snprintf(head, sizeof head, "%s\n  %-16s %8s %8s %8s %8s %7s\n", title, "", "runs", "success",
                "fail", "removed", "yield");
  std::string out = head;
  for (const auto& [k, t] : rows) out += tallyLine(k, t);
  return out;
}

}  // namespace

std::string formatStats(const Stats& s) {
  std::string out = table("overall", {{"all", s.overall}});
  out += table("per hour (UTC)", s.perHour);
  out += table("per port", s.perPort);
  out += table("per flash identification", s.perFlash);
  out += "failures per step\n";
  for (const auto& [step, n] : s.failuresPerStep) {
    char buf[120];
    std::snprintf(buf, sizeof buf, "  %-16s %8lld\n", step.c_str(), static_cast<long long>(n));
    out += buf;
  }
  return out;
}

}  // namespace station::records
