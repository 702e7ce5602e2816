#include "sim/device_model.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "base/byte_order.h"
#include "base/vendor_requests.h"

namespace tarnsim {

namespace {

using tarn::vendor::RequestId;
using tarn::vendor::RequestEntry;
constexpr size_t kChunkSize = 2048;
constexpr size_t kMemorySize = 65536;

// The reply a handler builds; the model copies `length` bytes of it to the host.
struct Reply {
  std::array<uint8_t, 512> bytes{};
  void set(std::initializer_list<uint8_t> b) { std::copy(b.begin(), b.end(), bytes.begin()); }
};

struct Context {
  PlayerState& state;
  DeviceStorage& storage;
  const Request& request;
  Reply& reply;
  Outcome& outcome;
  uint8_t cdb(size_t i) const { return i < request.cdbLength ? request.cdb[i] : 0; }
  // Four bytes from i on, 0 past the CDB's end.
  std::array<uint8_t, 4> at(size_t i) const { return {cdb(i), cdb(i + 1), cdb(i + 2), cdb(i + 3)}; }
  uint16_t be16(size_t i) const { return tarn::getBe16(at(i).data()); }
  uint16_t le16(size_t i) const { return tarn::getLe16(at(i).data()); }
  uint32_t be32(size_t i) const { return tarn::getBe32(at(i).data()); }
};

// Handlers return the transfer's success; status bytes go into the reply.
using Handler = bool (*)(Context&);

bool status(Context& c, bool accepted) {
  c.reply.bytes[0] = accepted ? 1 : 0;
  return true;
}

void copyFlashId(Context& c) { std::memcpy(c.reply.bytes.data(), c.state.flashId, 5); }

// Controller memory is 64 KiB and wraps around.
void readMemory(Context& c, Stream stream, uint16_t addr, uint8_t* out, size_t n) {
  size_t first = std::min(n, kMemorySize - addr);
  c.storage.read(stream, addr, out, first);
  if (first < n) c.storage.read(stream, 0, out + first, n - first);
}

bool inquiry(Context& c) {
  static constexpr uint8_t kShort[9] = {0x00, 0x80, 0x02, 0x02, 0x04, 0x00, 0x00, 0x00, 'G'};
  static constexpr uint8_t kLong[8] = {0x00, 0x80, 0x02, 0x02, 0x1F, 0x00, 0x00, 0x00};
  uint8_t* r = c.reply.bytes.data();
  switch (c.state.mode) {
    case Mode::Fsm:
      std::memcpy(r, kLong, 8);
      std::memcpy(r + 8, "Flash   Setup   Manager v1.0", 28);
      break;
    case Mode::Generic:
      std::memcpy(r, kLong, 8);
      std::memcpy(r + 8, "Generic Audio   Product v2.0", 28);
      break;
    default:
      std::memcpy(r, kShort, 9);  // the boot ROM and the firmware give the short form
      break;
  }
  return true;
}

bool setDelayCount(Context& c) {
  c.state.delayFirst = c.le16(2);
  c.state.delaySecond = c.le16(4);
  return status(c, true);
}

bool readCapacity(Context& c) {
  auto bytes = c.storage.userAreaBytes();
  if (!bytes) return false;
  // The host multiplies the last block address by the block length, so the block count
  // goes in that field: it reads back exactly the capacity the user area holds.
  uint64_t blocks = std::min<uint64_t>(*bytes / 512, 0xFFFFFFFF);
  tarn::putBe32(c.reply.bytes.data(), uint32_t(blocks));
  tarn::putBe32(c.reply.bytes.data() + 4, 512);
  return true;
}

bool readXdata(Context& c) {
  readMemory(c, Stream::Xdata, c.le16(2), c.reply.bytes.data(), 512);
  return true;
}

bool readCode(Context& c) {
  // Code memory holds the flash setup manager once it has been loaded.
  if (c.state.managerWritten) readMemory(c, Stream::Manager, c.le16(2), c.reply.bytes.data(), 512);
  return true;
}

bool writeXdata(Context& c) {
  size_t n = c.request.length;
  if (n && !c.request.data) return false;
  uint16_t addr = c.le16(2);
  size_t first = std::min(n, kMemorySize - addr);
  if (!c.storage.write(Stream::Xdata, addr, c.request.data, first)) return false;
  return first == n || c.storage.write(Stream::Xdata, 0, c.request.data + first, n - first);
}

bool diskDecrypt(Context& c) {
  c.state.decrypted = 1;
  return status(c, true);
}

bool eraseNorFlash(Context&) { return true; }

bool readFlashId(Context& c) {
  copyFlashId(c);
  return true;
}

bool writeConfig(Context& c) {
  auto& s = c.state;
  size_t n = c.request.length;
  if (n && !c.request.data) return false;
  if (!s.cfgOpen) {
    if (!c.storage.clear(Stream::Config)) return false;
    s.cfgOpen = 1;
    s.cfgSize = 0;
    s.cfgChecksum = 0;
  }
  if (!c.storage.write(Stream::Config, s.cfgSize, c.request.data, n)) return false;
  s.cfgSize += uint32_t(n);
  s.cfgChecksum = byteSum(c.request.data, n, s.cfgChecksum);
  // Tables come without start or end request: the short last chunk closes one.
  if (n < kChunkSize) {
    s.cfgOpen = 0;
    ++s.cfgTables;
  }
  return true;
}

void startCheck(Check& check, uint16_t begin, uint16_t end) {
  check = Check{};
  check.started = 1;
  check.begin = begin;
  check.end = end;
}

// Progress grows with every poll and ends at 01 64; polling with no check started
// answers 01 00, which the host reads as a failed check.
bool pollCheck(Context& c, Check& check) {
  if (!check.started) {
    c.reply.set({1, 0});
    return true;
  }
  uint32_t polls = std::max<uint32_t>(c.state.checkPolls, 1);
  if (check.polls < polls) ++check.polls;
  uint32_t percent = check.polls * 100 / polls;
  if (percent >= 100)
    c.reply.set({1, 100});
  else
    c.reply.set({0, uint8_t(percent)});
  return true;
}

bool checkBadStart(Context& c) {
  startCheck(c.state.badBlock, c.be16(2), c.be16(4));
  return status(c, true);
}
bool checkBadPoll(Context& c) { return pollCheck(c, c.state.badBlock); }

bool blankingStart(Context& c) {
  uint16_t begin = c.be16(2), end = c.be16(4);
  if (begin > end) return status(c, false);
  startCheck(c.state.blanking, begin, end);
  return status(c, true);
}
bool blankingPoll(Context& c) { return pollCheck(c, c.state.blanking); }

bool eraseBlocks(Context& c) { return status(c, c.be16(2) <= c.be16(4)); }

bool startDownload(Context& c, Download& d, Stream stream) {
  if (!c.storage.clear(stream)) return status(c, false);
  d = Download{};
  d.open = 1;
  d.announced = c.be32(2);
  return status(c, true);
}

// A chunk belongs to the download the last start opened; more bytes than announced
// are refused, and the download can then no longer end well.
bool downloadChunk(Context& c, Download& d, Stream stream) {
  size_t n = c.request.length;
  if (!d.open || (n && !c.request.data)) return false;
  if (uint64_t(d.received) + n > d.announced) {
    d.broken = 1;
    return false;
  }
  if (!c.storage.write(stream, d.received, c.request.data, n)) return false;
  d.received += uint32_t(n);
  d.sum = byteSum(c.request.data, n, d.sum);
  return true;
}

bool managerStart(Context& c) {
  c.state.managerWritten = 0;  // its bytes are being replaced
  return startDownload(c, c.state.manager, Stream::Manager);
}
bool managerChunk(Context& c) { return downloadChunk(c, c.state.manager, Stream::Manager); }

bool managerEnd(Context& c) {
  auto& s = c.state;
  Download& d = s.manager;
  if (!d.open) {
    // Nothing downloaded: fine when the manager comes with the firmware already on it.
    return status(c, s.mode != Mode::Rom);
  }
  bool good = !d.broken && d.received == d.announced && d.sum == c.be16(2);
  d.open = 0;
  if (good) {
    s.managerWritten = 1;
    s.managerSize = d.received;
    s.managerChecksum = d.sum;
    s.mode = Mode::Fsm;
  }
  return status(c, good);
}

bool packageStart(Context& c) { return startDownload(c, c.state.package, Stream::Package); }
bool packageChunk(Context& c) { return downloadChunk(c, c.state.package, Stream::Package); }

bool packageEnd(Context& c) {
  auto& s = c.state;
  Download& d = s.package;
  bool good = d.open && !d.broken && d.received == d.announced;
  if (good) {
    s.addPackage({d.received, d.sum});
    s.hasFirmware = 1;
  }
  d.open = 0;
  return status(c, good);
}

bool changeClock(Context& c) {
  c.state.clockDiv = c.cdb(2);
  return status(c, true);
}

bool reset(Context& c) {
  copyFlashId(c);
  powerCycle(c.state);
  return true;
}

bool queryFirstBurn(Context& c) {
  c.reply.bytes[0] = c.state.packageCount == 0 ? 1 : 0;
  return true;
}

bool secondReset(Context& c) {
  copyFlashId(c);
  if (c.state.mode == Mode::Update) {
    // Leaving the update disk: the player drops off and comes back with its firmware.
    c.state.mode = Mode::Firmware;
    c.outcome.reattached = true;
  }
  return true;
}

void answerTarn(Context& c, bool yes) {
  if (yes) std::memcpy(c.reply.bytes.data(), "TARN", 4);
}

bool checkUpdateDisk(Context& c) {
  answerTarn(c, c.state.mode == Mode::Update);
  return true;
}

bool isTarn(Context& c) {
  answerTarn(c, c.state.mode != Mode::Rom);
  return true;
}

bool setSystemArea(Context& c) {
  c.state.sysArea = c.cdb(2);
  return status(c, true);
}

bool flashItems(Context& c) {
  c.reply.bytes[0] = c.state.items;
  return true;
}

bool lcdSize(Context& c) {
  c.reply.set({0x00, 0x80, 0x00, 0x40});  // 128 x 64 pixels
  return true;
}

bool firmwareParity(Context& c) {
  const auto& s = c.state;
  return status(c, s.packageCount > 0 && !s.package.open);
}

bool changePassword(Context& c) {
  c.state.password = c.be16(2);
  c.reply.bytes[0] = 0;  // 0 means changed
  return true;
}

bool bondingId(Context& c) {
  c.reply.bytes[0] = c.state.bonding;
  return true;
}

// One handler a request of the protocol table, in its order. The password check shares
// its code with the package start: the player cannot tell them apart, so both are a
// package start.
struct Answer {
  RequestId id;
  Handler handler;
};

constexpr Answer kHandlers[] = {
    {RequestId::SetDelayCount, setDelayCount},
    {RequestId::Inquiry, inquiry},
    {RequestId::ReadCapacity, readCapacity},
    {RequestId::ReadXData, readXdata},
    {RequestId::WriteXData, writeXdata},
    {RequestId::ReadCode, readCode},
    {RequestId::DiskDecrypt, diskDecrypt},
    {RequestId::EraseNorFlash, eraseNorFlash},
    {RequestId::FlashReadId, readFlashId},
    {RequestId::WriteFlashCfg, writeConfig},
    {RequestId::CheckBadStart, checkBadStart},
    {RequestId::CheckBadPolling, checkBadPoll},
    {RequestId::BlankingCheckStart, blankingStart},
    {RequestId::BlankingCheckPolling, blankingPoll},
    {RequestId::FlashEraseBlk, eraseBlocks},
    {RequestId::WriteFlashMgrStart, managerStart},
    {RequestId::WriteFlashMgr, managerChunk},
    {RequestId::WriteFlashMgrEnd, managerEnd},
    {RequestId::WriteProgramStart, packageStart},
    {RequestId::CheckPasswd, packageStart},
    {RequestId::WriteProgram, packageChunk},
    {RequestId::WriteProgramEnd, packageEnd},
    {RequestId::Change8051ClockDiv, changeClock},
    {RequestId::Reset, reset},
    {RequestId::QueryFirstBurn, queryFirstBurn},
    {RequestId::SecondReset, secondReset},
    {RequestId::CheckIsUpdateDisk, checkUpdateDisk},
    {RequestId::SetSystemAreaSize, setSystemArea},
    {RequestId::GetFlashItem, flashItems},
    {RequestId::IsTarn, isTarn},
    {RequestId::GetLcdSize, lcdSize},
    {RequestId::CheckFwParity, firmwareParity},
    {RequestId::ChangePasswd, changePassword},
    {RequestId::ReadBondingId, bondingId},
};

constexpr bool oneAnswerEachRequest() {
  if (std::size(kHandlers) != size_t(RequestId::Count)) return false;
  for (size_t i = 0; i < std::size(kHandlers); ++i)
    if (size_t(kHandlers[i].id) != i) return false;
  return true;
}
static_assert(oneAnswerEachRequest(), "one handler per request, in the table's order");

// A fault set by the name of any request the player cannot tell from this one.
bool entryNamed(const RequestEntry& e, std::string_view name) {
  for (const RequestEntry& r : tarn::vendor::allRequests())
    if (tarn::vendor::sameCode(r, e) && tarn::vendor::isNamed(r, name)) return true;
  return false;
}

// Applies the fault rules to one request; true when the request must fail.
bool faultStrikes(PlayerState& s, const RequestEntry& e, Outcome& outcome) {
  bool fail = false;
  for (FaultRule& f : s.faults) {
    if (!f.name[0] || !entryNamed(e, std::string_view(f.name, strnlen(f.name, sizeof f.name))))
      continue;
    if (f.seen < f.after) {
      ++f.seen;
      continue;
    }
    fail = true;
    if (f.vanish) {
      // Gone once: a player plugged in again is a new arrival.
      f = FaultRule{};
      s.plugged = 0;
      powerCycle(s);
      outcome.vanished = true;
    }
  }
  return fail;
}

}  // namespace

std::string_view modeName(Mode mode) {
  switch (mode) {
    case Mode::Rom: return "rom";
    case Mode::Fsm: return "fsm";
    case Mode::Firmware: return "firmware";
    case Mode::Update: return "update";
    case Mode::Generic: return "generic";
  }
  return "?";
}

std::optional<Mode> parseMode(std::string_view text) {
  for (Mode m : {Mode::Rom, Mode::Fsm, Mode::Firmware, Mode::Update, Mode::Generic})
    if (modeName(m) == text) return m;
  return std::nullopt;
}

size_t PlayerState::keptPackages() const { return std::min<size_t>(packageCount, kMaxPackages); }

uint32_t PlayerState::firstKeptPackage() const {
  return packageCount - uint32_t(keptPackages()) + 1;
}

const PackageRecord& PlayerState::keptPackage(size_t i) const {
  size_t first = packageCount > kMaxPackages ? packageCount % kMaxPackages : 0;
  return packages[(first + i) % kMaxPackages];
}

void PlayerState::addPackage(PackageRecord record) {
  packages[packageCount % kMaxPackages] = record;
  ++packageCount;
}

void powerCycle(PlayerState& s) {
  if (s.mode == Mode::Fsm) s.mode = s.hasFirmware ? Mode::Firmware : Mode::Rom;
  s.manager.open = 0;
  s.package.open = 0;
  s.cfgOpen = 0;
  s.badBlock = Check{};
  s.blanking = Check{};
}

uint16_t byteSum(const uint8_t* data, size_t n, uint16_t start) {
  // Blocks of a fixed length, which the compiler turns into vector adds: every chunk of
  // a download goes through here.
  uint32_t sum = start;
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    uint32_t part = 0;
    for (size_t j = 0; j < 16; ++j) part += data[i + j];
    sum += part;
  }
  for (; i < n; ++i) sum += data[i];
  return uint16_t(sum);
}

bool isKnownRequestName(std::string_view name) {
  for (const RequestEntry& e : tarn::vendor::allRequests())
    if (tarn::vendor::isNamed(e, name)) return true;
  return false;
}

Outcome DeviceModel::apply(const Request& request) {
  Outcome outcome;
  if (request.reply && !request.out) std::memset(request.reply, 0, request.length);
  if (!request.cdb) return outcome;
  storage_.record(request.cdb, request.cdbLength, request.out, request.length);
  ++state_.requests;

  const RequestEntry* entry = tarn::vendor::findRequest(request.cdb, request.cdbLength);
  if (!entry || entry->out != request.out) return outcome;  // the player refuses it
  if (faultStrikes(state_, *entry, outcome)) return outcome;

  Reply reply;
  Context context{state_, storage_, request, reply, outcome};
  outcome.ok = kHandlers[size_t(entry->id)].handler(context);
  if (request.reply && !request.out) {
    size_t n = std::min<size_t>(request.length, reply.bytes.size());
    std::memcpy(request.reply, reply.bytes.data(), n);
  }
  return outcome;
}

}  // namespace tarnsim
