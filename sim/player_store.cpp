#include "sim/player_store.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "sim/store_file.h"

namespace tarnsim {

namespace fs = std::filesystem;

namespace {

const char* const kStreamFiles[] = {"manager.bin", "package.bin", "config.bin", "xdata.bin"};

bool isFlag(uint8_t v) { return v <= 1; }

std::string hex(const uint8_t* p, size_t n) {
  static const char digits[] = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < n; ++i) s += digits[p[i] >> 4], s += digits[p[i] & 15];
  return s;
}

std::string checkName(const Check& c, uint32_t polls) {
  if (!c.started) return "idle";
  return c.polls >= std::max<uint32_t>(polls, 1) ? "done" : "running";
}

// Opens, locks and loads one player for a change or a look.
struct Session {
  std::unique_ptr<PlayerFiles> files;
  std::unique_ptr<PlayerLock> lock;
  PlayerState state;
  bool open(const std::string& root, char letter, std::string& error) {
    if (!letter) {
      error = "not a drive letter";
      return false;
    }
    files = PlayerFiles::open(root, letter, &error);
    if (!files) return false;
    lock = std::make_unique<PlayerLock>(*files);
    std::string why;
    if (!lock->held() || !files->load(state, &why)) {
      error = why.empty() ? "cannot read the state of player " + std::string(1, letter) + " in " + root
                          : "player " + std::string(1, letter) + " in " + root + " is damaged (" +
                                why + "); remove its folder and create it anew";
      return false;
    }
    return true;
  }
  bool save(std::string& error) {
    if (files->save(state)) return true;
    error = std::string("cannot write the state: ") + std::strerror(errno);
    return false;
  }
};

}  // namespace

char parseLetter(const std::string& text) {
  if (text.empty() || text.size() > 2 || (text.size() == 2 && text[1] != ':')) return 0;
  char c = text[0];
  if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
  return c >= 'A' && c <= 'Z' ? c : 0;
}

std::string decodeState(const uint8_t* bytes, size_t n, PlayerState& s) {
  if (n < sizeof(PlayerState)) return "the state record is short";
  std::memcpy(&s, bytes, sizeof s);
  if (s.magic != kStateMagic) return "not a player's state record";
  if (s.version != kStateVersion || s.size != sizeof(PlayerState))
    return "a state record of another version";
  // Ranges as tarnsim create accepts them: a stray latency would make every request
  // sleep for hours, a stray count would be looped over.
  if (uint8_t(s.mode) > uint8_t(Mode::Generic)) return "unknown mode";
  if (s.capacityMib == 0 || s.capacityMib > kMaxCapacityMib) return "capacity out of range";
  if (s.latencyMs > kMaxLatencyMs) return "latency out of range";
  if (s.checkPolls == 0 || s.checkPolls > kMaxCheckPolls) return "check poll count out of range";
  if (!isFlag(s.plugged) || !isFlag(s.hasFirmware) || !isFlag(s.decrypted) ||
      !isFlag(s.managerWritten) || !isFlag(s.cfgOpen) || !isFlag(s.manager.open) ||
      !isFlag(s.manager.broken) || !isFlag(s.package.open) || !isFlag(s.package.broken) ||
      !isFlag(s.badBlock.started) || !isFlag(s.blanking.started))
    return "a yes/no field holds another value";
  for (const FaultRule& f : s.faults) {
    size_t len = strnlen(f.name, sizeof f.name);
    if (len == sizeof f.name) return "a fault name is not terminated";
    if (len && !isKnownRequestName(std::string_view(f.name, len))) return "unknown fault request";
    if (!isFlag(f.vanish)) return "a yes/no field holds another value";
  }
  return "";
}

std::string playerDir(const std::string& root, char letter) {
  return (fs::path(root) / std::string(1, letter)).string();
}

uint32_t defaultPortCode(char letter) { return uint32_t((letter - 'A') % 8 + 1); }

PlayerFiles::PlayerFiles(std::string root, char letter)
    : root_(std::move(root)), letter_(letter), dir_(playerDir(root_, letter)) {}

PlayerFiles::~PlayerFiles() {
  if (lockDepth_ > 0) {
    lockDepth_ = 1;
    unlock();
  }
  flushTrace();
}

std::unique_ptr<PlayerFiles> PlayerFiles::open(const std::string& root, char letter,
                                               std::string* error) {
  std::unique_ptr<PlayerFiles> f(new PlayerFiles(root, letter));
  bool opened = f->lock_.open(f->dir_ + "/lock", OpenMode::Existing);
  opened = f->state_.open(f->dir_ + "/state", OpenMode::Existing) && opened;
  opened = f->trace_.open(f->dir_ + "/trace", OpenMode::Append) && opened;
  if (!opened) {
    if (error) *error = "no player " + std::string(1, letter) + " in " + root;
    return nullptr;
  }
  // The record is read and written for every request: through a shared mapping, where
  // there is one, that costs no system call, and every process sees the same pages.
  f->mapped_ = f->state_.map(sizeof(PlayerState));
  return f;
}

bool PlayerFiles::lock() {
  if (lockDepth_ > 0 || lock_.lock()) {
    ++lockDepth_;
    return true;
  }
  return false;
}

void PlayerFiles::unlock() {
  if (lockDepth_ == 0 || --lockDepth_ > 0) return;
  flushTrace();
  lock_.unlock();
}

void PlayerFiles::pauseUnlocked(uint32_t ms) {
  if (lockDepth_ > 0) {
    flushTrace();
    lock_.unlock();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  if (lockDepth_ > 0 && !lock_.lock()) lockDepth_ = 0;
}

void PlayerFiles::flushTrace() {
  if (traceBuffer_.empty()) return;
  trace_.append(traceBuffer_.data(), traceBuffer_.size());
  traceBuffer_.clear();
}

bool PlayerFiles::load(PlayerState& state, std::string* why) {
  uint8_t raw[sizeof(PlayerState)];
  size_t got = mapped_ ? sizeof raw : state_.readAt(0, raw, sizeof raw);
  if (mapped_) std::memcpy(raw, mapped_, sizeof raw);
  std::string damage = decodeState(raw, got, state);
  if (why) *why = damage;
  return damage.empty();
}

bool PlayerFiles::save(const PlayerState& state) {
  if (!mapped_) return state_.writeAt(0, &state, sizeof state);
  std::memcpy(mapped_, &state, sizeof state);
  return true;
}

void PlayerFiles::record(const uint8_t* cdb, size_t cdbLength, bool out, uint32_t length) {
  static const char digits[] = "0123456789ABCDEF";
  char line[96];
  size_t n = 0;
  for (size_t i = 0; i < cdbLength && i < 16; ++i) {
    line[n++] = digits[cdb[i] >> 4];
    line[n++] = digits[cdb[i] & 15];
    line[n++] = ' ';
  }
  n += size_t(std::snprintf(line + n, sizeof line - n, "%s %u\n", out ? "out" : "in", length));
  traceBuffer_.append(line, n);
  if (lockDepth_ == 0 || traceBuffer_.size() >= 64 * 1024) flushTrace();
}

StoreFile* PlayerFiles::streamFile(Stream stream) {
  StoreFile& f = streams_[size_t(stream)];
  if (!f.isOpen()) f.open(dir_ + "/" + kStreamFiles[size_t(stream)], OpenMode::Create);
  return f.isOpen() ? &f : nullptr;
}

bool PlayerFiles::clear(Stream stream) {
  StoreFile* f = streamFile(stream);
  return f && f->truncate(0);
}

bool PlayerFiles::write(Stream stream, uint64_t offset, const uint8_t* data, size_t n) {
  StoreFile* f = streamFile(stream);
  return f && (n == 0 || f->writeAt(offset, data, n));
}

void PlayerFiles::read(Stream stream, uint64_t offset, uint8_t* out, size_t n) {
  StoreFile* f = streamFile(stream);
  size_t got = f ? f->readAt(offset, out, n) : 0;
  std::memset(out + got, 0, n - got);
}

std::optional<uint64_t> PlayerFiles::userAreaBytes() {
  std::error_code ec;
  uint64_t n = fs::file_size(dir_ + "/volume.img", ec);
  if (ec) return std::nullopt;
  return n;
}

uint32_t effectiveLatencyMs(const PlayerState& state) {
  static const long override = [] {
    const char* v = std::getenv("TARNSIM_LATENCY_MS");
    return v && *v ? std::strtol(v, nullptr, 10) : -1L;
  }();
  return override >= 0 ? uint32_t(override) : state.latencyMs;
}

bool serve(PlayerFiles& files, const Request& request, uint32_t& error, Outcome* detail) {
  if (request.reply && !request.out) std::memset(request.reply, 0, request.length);
  PlayerState state;
  Outcome outcome;
  {
    PlayerLock lock(files);
    if (!lock.held() || !files.load(state)) {
      error = kErrorNotConnected;
      return false;
    }
    if (!state.plugged) {
      error = kErrorNotConnected;  // pulled out while the drive was open
      return false;
    }
    DeviceModel model(state, files);
    outcome = model.apply(request);
    if (!files.save(state)) outcome.ok = false;
    if (outcome.vanished) appendEvent(files.root(), "unplug", files.letter());
    if (outcome.reattached) {
      appendEvent(files.root(), "unplug", files.letter());
      appendEvent(files.root(), "plug", files.letter());
    }
  }
  if (uint32_t ms = effectiveLatencyMs(state)) files.pauseUnlocked(ms);
  error = outcome.ok ? 0 : outcome.vanished ? kErrorNotConnected : kErrorIoDevice;
  if (detail) *detail = outcome;
  return outcome.ok;
}

bool appendEvent(const std::string& root, const char* kind, char letter) {
  StoreFile f;
  if (!f.open((fs::path(root) / "events").string(), OpenMode::Append)) return false;
  f.lock();
  unsigned long lines = 0;
  char buf[4096];
  size_t r;
  uint64_t at = 0;
  while ((r = f.readAt(at, buf, sizeof buf)) > 0) {
    for (size_t i = 0; i < r; ++i) lines += buf[i] == '\n';
    at += r;
  }
  char line[64];
  int n = std::snprintf(line, sizeof line, "%lu %s %c\n", lines + 1, kind, letter);
  bool ok = f.append(line, size_t(n));
  f.unlock();
  return ok;
}

bool createPlayer(const std::string& root, char letter, const PlayerSpec& want, std::string& error) {
  std::error_code ec;
  fs::create_directories(root, ec);
  if (ec) {
    error = "cannot create " + root + ": " + ec.message();
    return false;
  }
  std::string dir = playerDir(root, letter);
  if (fs::exists(dir, ec)) {
    error = "player " + std::string(1, letter) + " already exists in " + root;
    return false;
  }
  // Built aside and renamed into place, so a half-made player is never seen.
  std::string tmp = (fs::path(root) / ("." + std::string(1, letter) + ".new." +
                                       std::to_string(currentProcessId()))).string();
  fs::remove_all(tmp, ec);
  if (!fs::create_directory(tmp, ec)) {
    error = "cannot create " + tmp + ": " + ec.message();
    return false;
  }
  PlayerState s;
  std::memcpy(s.flashId, want.flashId, 4);
  s.flashId[4] = 0;
  s.items = want.items;
  s.bonding = want.bonding;
  s.mode = want.mode;
  s.capacityMib = want.capacityMib;
  s.portCode = want.portCode >= 0 ? uint32_t(want.portCode) : defaultPortCode(letter);
  s.latencyMs = want.latencyMs;
  s.checkPolls = want.checkPolls;
  s.hasFirmware = want.mode != Mode::Rom && want.mode != Mode::Fsm;

  bool ok = true;
  for (const char* name : {"lock", "trace"}) ok = StoreFile().open(tmp + "/" + name, OpenMode::Fresh) && ok;
  {
    StoreFile f;
    ok = f.open(tmp + "/state", OpenMode::Fresh) && f.writeAt(0, &s, sizeof s) && ok;
  }
  {
    StoreFile f;
    ok = f.open(tmp + "/volume.img", OpenMode::Fresh) &&
         f.truncate(uint64_t(want.capacityMib) << 20) && ok;
  }
  if (ok) {
    fs::rename(tmp, dir, ec);
    ok = !ec;
  }
  if (!ok) {
    error = "cannot create player " + std::string(1, letter) + " in " + root + ": " +
            (ec ? ec.message() : std::strerror(errno));
    fs::remove_all(tmp, ec);
  }
  return ok;
}

bool setPlugged(const std::string& root, char letter, bool plugged, std::string& error) {
  Session s;
  if (!s.open(root, letter, error)) return false;
  if (bool(s.state.plugged) == plugged) return true;  // nothing happens, nothing to tell
  s.state.plugged = plugged;
  if (!plugged) powerCycle(s.state);  // pulled out: power is gone
  if (!s.save(error)) return false;
  if (!appendEvent(root, plugged ? "plug" : "unplug", letter)) {
    error = "cannot append to " + (fs::path(root) / "events").string();
    return false;
  }
  return true;
}

bool setFault(const std::string& root, char letter, const FaultSpec& fault, std::string& error) {
  if (!isKnownRequestName(fault.request)) {
    error = "unknown request: " + fault.request;
    return false;
  }
  if (fault.request.size() >= sizeof(FaultRule::name)) {
    error = "request name too long: " + fault.request;
    return false;
  }
  Session s;
  if (!s.open(root, letter, error)) return false;
  FaultRule* slot = nullptr;
  for (FaultRule& f : s.state.faults)
    if (f.name[0] && fault.request == f.name) slot = &f;
  if (fault.clear) {
    if (slot) *slot = FaultRule{};
    return s.save(error);
  }
  for (FaultRule& f : s.state.faults)
    if (!slot && !f.name[0]) slot = &f;
  if (!slot) {
    error = "too many faults on player " + std::string(1, letter);
    return false;
  }
  *slot = FaultRule{};
  std::memcpy(slot->name, fault.request.data(), fault.request.size());
  slot->after = fault.after;
  slot->vanish = fault.vanish;
  return s.save(error);
}

bool readState(const std::string& root, char letter, PlayerState& state, std::string& error) {
  Session s;
  if (!s.open(root, letter, error)) return false;
  state = s.state;
  return true;
}

bool showPlayer(const std::string& root, char letter, std::vector<std::string>& lines,
                std::string& error) {
  PlayerState s;
  if (!readState(root, letter, s, error)) return false;
  auto add = [&](const std::string& key, const std::string& value) {
    lines.push_back(key + "=" + value);
  };
  auto num = [](uint64_t v) { return std::to_string(v); };
  add("letter", std::string(1, letter));
  add("mode", std::string(modeName(s.mode)));
  add("plugged", num(s.plugged));
  add("flash_id", hex(s.flashId, 4));
  add("items", num(s.items));
  add("bonding", num(s.bonding));
  add("capacity_mib", num(s.capacityMib));
  add("port_code", num(s.portCode));
  add("latency_ms", num(s.latencyMs));
  add("check_polls", num(s.checkPolls));
  add("sys_area", num(s.sysArea));
  add("cfg_size", num(s.cfgSize));
  add("cfg_checksum", num(s.cfgChecksum));
  add("cfg_tables", num(s.cfgTables));
  add("mgr_written", num(s.managerWritten));
  add("mgr_size", num(s.managerWritten ? s.managerSize : 0));
  add("mgr_checksum", num(s.managerWritten ? s.managerChecksum : 0));
  add("packages", num(s.packageCount));
  for (size_t i = 0; i < s.keptPackages(); ++i) {
    std::string k = "package" + num(s.firstKeptPackage() + i);
    add(k + "_size", num(s.keptPackage(i).size));
    add(k + "_checksum", num(s.keptPackage(i).checksum));
  }
  const Download* open = s.manager.open ? &s.manager : s.package.open ? &s.package : nullptr;
  add("download", s.manager.open ? "manager" : s.package.open ? "package" : "none");
  add("download_size", num(open ? open->announced : 0));
  add("download_received", num(open ? open->received : 0));
  add("bad_check", checkName(s.badBlock, s.checkPolls));
  add("blanking_check", checkName(s.blanking, s.checkPolls));
  add("has_firmware", num(s.hasFirmware));
  add("delay_count", num(s.delayFirst) + "," + num(s.delaySecond));
  add("password", num(s.password));
  add("decrypted", num(s.decrypted));
  add("requests", num(s.requests));
  int k = 0;
  for (const FaultRule& f : s.faults) {
    if (!f.name[0]) continue;
    std::string key = "fault" + num(++k);
    add(key + "_request", std::string(f.name, strnlen(f.name, sizeof f.name)));
    add(key + "_after", num(f.after));
    add(key + "_seen", num(f.seen));
    add(key + "_vanish", num(f.vanish));
  }
  return true;
}

bool readTrace(const std::string& root, char letter, std::string& text, std::string& error) {
  Session s;
  if (!s.open(root, letter, error)) return false;
  StoreFile f;
  if (!f.open(playerDir(root, letter) + "/trace", OpenMode::Reading)) {
    error = "cannot read the trace of player " + std::string(1, letter);
    return false;
  }
  char buf[65536];
  size_t r;
  while ((r = f.readAt(text.size(), buf, sizeof buf)) > 0) text.append(buf, r);
  return true;
}

}  // namespace tarnsim
