#include "station/records/query.h"

#include "station/texts/lang.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>

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

std::string stepTitle(const std::string& step) {
  // One row text for each step, the one naming what it was doing when it failed.
  static const std::pair<const char*, LangText> kSteps[] = {
      {"manager", LangText::FSMWrite},          {"variant", LangText::ChipBidErrorStr},
      {"flash_id", LangText::FlashCheckStr},    {"config_table", LangText::FILEWriteStr},
      {"flash_test", LangText::BadBlockStr},    {"program", LangText::ProgramWriteStr},
      {"prefer", LangText::PreferWriteStr},     {"iso", LangText::ISOWriteStr},
      {"parity", LangText::FwParityCheckStr},   {"bad_block_poll", LangText::BadBlockStr},
      {"format", LangText::FormatStr},          {"label", LangText::SetLabelStr},
      {"copy", LangText::CopyFileMsg},          {"volume_check", LangText::ChkdskMsg},
  };
  for (const auto& [key, text] : kSteps)
    if (step == key) {
      std::string title = langEnglish(text);
      const std::string fail = " fail";  // the bonding texts carry it already
      if (title.size() > fail.size() && title.compare(title.size() - fail.size(), fail.size(), fail) == 0)
        title.resize(title.size() - fail.size());
      return title;
    }
  return step;
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

// Only standard C calls, so that it reads alike on every system.
std::string shiftTime(const std::string& t, bool toLocal) {
  if (t.size() < 10) return t;
  int y = std::stoi(t.substr(0, 4)), mo = std::stoi(t.substr(5, 2)), d = std::stoi(t.substr(8, 2));
  int h = t.size() >= 13 ? std::stoi(t.substr(11, 2)) : 0, mi = t.size() >= 16 ? std::stoi(t.substr(14, 2)) : 0;
  std::time_t at;
  if (toLocal) {
    using namespace std::chrono;
    const sys_seconds utc = sys_days{year{y} / month{unsigned(mo)} / day{unsigned(d)}} + hours{h} + minutes{mi};
    at = static_cast<std::time_t>(utc.time_since_epoch().count());
  } else {
    std::tm local{};
    local.tm_year = y - 1900, local.tm_mon = mo - 1, local.tm_mday = d, local.tm_hour = h, local.tm_min = mi;
    local.tm_isdst = -1;
    at = std::mktime(&local);
  }
  std::tm* out = toLocal ? std::localtime(&at) : std::gmtime(&at);
  if (!out) return t;
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:00", out);
  // A bound for a filter keeps its minutes: a local midnight is no UTC date.
  const size_t keep = toLocal ? std::min<size_t>(t.size(), 16) : 16;
  return std::string(buf).substr(0, keep) + (t.size() > 16 ? t.substr(16) : "");
}

void hoursToLocal(Stats& stats) {
  std::map<std::string, Tally> hours;
  for (const auto& [hour, t] : stats.perHour) {
    Tally& into = hours[shiftTime(hour, true)];
    into.total += t.total, into.success += t.success, into.removed += t.removed;
  }
  stats.perHour = std::move(hours);
  stats.localHours = true;
}

}  // namespace station::records
