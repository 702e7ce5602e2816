#include "station/records/record.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <random>
#include <string_view>

namespace station::records {

using nlohmann::json;

std::string hex8(uint32_t value) {
  char buf[9];
  std::snprintf(buf, sizeof buf, "%08X", value);
  return buf;
}


namespace {

json toObject(const ProductionRecord& r) {
  json j;
  j["id"] = r.id;
  j["station"] = r.station;
  j["slot"] = r.slot;
  j["drive"] = r.drive;
  j["port"] = r.port;
  j["started"] = r.startedAt;
  j["ended"] = r.endedAt;
  j["result"] = resultOf(r);
  j["unreset"] = r.unreset;
  j["failed_step"] = r.failedStep;
  j["fail_text"] = r.failText;
  j["flash_id"] = hex8(r.flashId);
  j["chip_count"] = r.chipCount;
  j["chip_variant"] = r.chipVariant ? json(*r.chipVariant) : json(nullptr);
  j["capacity_mib"] = r.capacityMib;
  j["file_system"] = r.fileSystem;
  j["label"] = r.label;
  json files = json::array();
  for (const FileMark& f : r.files) files.push_back({{"role", f.role}, {"name", f.name}, {"crc32", f.crc32}});
  j["files"] = std::move(files);
  j["settings"] = r.settings;
  json steps = json::array();
  for (const StepTime& s : r.steps) steps.push_back({s.step, s.ms});
  j["steps"] = std::move(steps);
  return j;
}

// Texts from the station are bytes of the system's code page; JSON wants UTF-8, so bytes
// that are not are replaced rather than refused.
std::string dump(const json& j, int indent = -1) {
  return j.dump(indent, ' ', false, json::error_handler_t::replace);
}

}  // namespace

const char* resultOf(const ProductionRecord& r) {
  return r.success ? "success" : r.removed ? "removed" : "fail";
}

std::string toJson(const ProductionRecord& r) { return dump(toObject(r)); }
std::string toPrettyJson(const ProductionRecord& r) { return dump(toObject(r), 2); }

std::optional<ProductionRecord> fromJson(const std::string& line, std::string* error) {
  try {
    json j = json::parse(line);
    ProductionRecord r;
    r.id = j.at("id").get<std::string>();
    if (r.id.empty()) throw std::runtime_error("empty id");
    r.station = j.value("station", "");
    r.slot = j.value("slot", -1);
    r.drive = j.value("drive", "");
    r.port = j.value("port", "");
    r.startedAt = j.value("started", "");
    r.endedAt = j.value("ended", "");
    r.success = j.value("result", "") == "success";
    r.removed = j.value("result", "") == "removed";
    r.unreset = j.value("unreset", false);
    r.failedStep = j.value("failed_step", "");
    r.failText = j.value("fail_text", "");
    r.flashId = static_cast<uint32_t>(std::stoul(j.value("flash_id", "0"), nullptr, 16));
    r.chipCount = j.value("chip_count", 0u);
    if (j.contains("chip_variant") && !j["chip_variant"].is_null())
      r.chipVariant = j["chip_variant"].get<uint32_t>();
    r.capacityMib = j.value("capacity_mib", 0u);
    r.fileSystem = j.value("file_system", "");
    r.label = j.value("label", "");
    if (j.contains("files"))
      for (const json& f : j["files"])
        r.files.push_back({f.value("role", ""), f.value("name", ""), f.value("crc32", "")});
    if (j.contains("settings"))
      r.settings = j["settings"].get<std::map<std::string, std::string>>();
    if (j.contains("steps"))
      for (const json& s : j["steps"]) r.steps.push_back({s.at(0).get<std::string>(), s.at(1).get<double>()});
    return r;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return std::nullopt;
  }
}

std::string newRecordId() {
  static std::mutex mu;
  static std::mt19937_64 gen = [] {
    std::random_device rd;
    std::seed_seq seq{rd(), rd(), rd(), rd(),
                      static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
    return std::mt19937_64(seq);
  }();
  uint64_t a, b;
  {
    std::lock_guard<std::mutex> lock(mu);
    a = gen();
    b = gen();
  }
  char buf[33];
  std::snprintf(buf, sizeof buf, "%016llx%016llx", static_cast<unsigned long long>(a),
                static_cast<unsigned long long>(b));
  return buf;
}

std::string utcNow() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  int ms = static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm tm{};
#ifdef _WIN32
  gmtime_s(&tm, &t);
#else
  gmtime_r(&t, &tm);
#endif
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, ms);
  return buf;
}

namespace {

// A text that a spreadsheet would take as a formula (=, +, -, @, or a tab or carriage
// return before one) is given a leading apostrophe, so it is shown, never run.
std::string csvText(const std::string& v) {
  if (!v.empty() && std::string_view("=+-@\t\r").find(v[0]) != std::string_view::npos)
    return "'" + v;
  return v;
}

std::string csvField(const std::string& v) {
  if (v.find_first_of(",\"\r\n") == std::string::npos) return v;
  std::string out = "\"";
  for (char c : v) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::string csvHeader() {
  return "id,station,slot,drive,port,started,ended,result,failed_step,fail_text,flash_id,"
         "chip_count,chip_variant,capacity_mib,file_system,label,files,settings,steps\r\n";
}

std::string csvLine(const ProductionRecord& r) {
  std::string files, settings, steps;
  for (const FileMark& f : r.files)
    files += (files.empty() ? "" : ";") + f.role + "=" + f.name + ":" + f.crc32;
  for (const auto& [k, v] : r.settings) settings += (settings.empty() ? "" : ";") + k + "=" + v;
  for (const StepTime& s : r.steps) {
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.1f", s.ms);
    steps += (steps.empty() ? "" : ";") + s.step + "=" + ms;
  }
  // Numbers and times are the station's own; every text that came from outside is made safe.
  std::vector<std::string> fields = {
      csvText(r.id), csvText(r.station), std::to_string(r.slot), csvText(r.drive),
      csvText(r.port), csvText(r.startedAt), csvText(r.endedAt),
      resultOf(r), csvText(r.failedStep), csvText(r.failText),
      hex8(r.flashId), std::to_string(r.chipCount),
      r.chipVariant ? std::to_string(*r.chipVariant) : "", std::to_string(r.capacityMib),
      csvText(r.fileSystem), csvText(r.label), csvText(files), csvText(settings), csvText(steps)};
  std::string line;
  for (size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + csvField(fields[i]);
  return line + "\r\n";
}

}  // namespace station::records
