#include "sim/usb/bulk_only.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/byte_order.h"
#include "base/vendor_requests.h"

namespace tarnsim::usb {
namespace {

// SCSI operation codes a host sends to a USB disk.
constexpr uint8_t kTestUnitReady = 0x00;
constexpr uint8_t kRequestSense = 0x03;
constexpr uint8_t kInquiry = 0x12;
constexpr uint8_t kModeSense6 = 0x1A;
constexpr uint8_t kStartStopUnit = 0x1B;
constexpr uint8_t kPreventAllow = 0x1E;
constexpr uint8_t kReadCapacity10 = 0x25;
constexpr uint8_t kRead10 = 0x28;
constexpr uint8_t kWrite10 = 0x2A;
constexpr uint8_t kSynchronizeCache = 0x35;
constexpr uint8_t kModeSense10 = 0x5A;
constexpr uint8_t kServiceActionIn16 = 0x9E;
constexpr uint8_t kReadCapacity16 = 0x10;  // its service action

// Sense keys and additional sense codes.
constexpr uint8_t kNotReady = 0x02, kMediumError = 0x03, kIllegalRequest = 0x05;
constexpr uint8_t kNoMedium = 0x3A, kReadError = 0x11, kWriteError = 0x0C;
constexpr uint8_t kInvalidOpcode = 0x20, kLbaOutOfRange = 0x21, kInvalidField = 0x24;

// The player's answer to INQUIRY is at most this long (the longer of its two forms).
constexpr uint32_t kInquiryLength = 36;
constexpr uint8_t kCachingPage = 0x08, kAllPages = 0x3F;
constexpr uint8_t kSerialPage = 0x80;

uint32_t blockCount(const Cbw& c) { return tarn::getBe16(c.cdb + 7); }

std::vector<uint8_t> cachingPage() {
  std::vector<uint8_t> p(20, 0);
  p[0] = kCachingPage;
  p[1] = 18;  // write cache off: every write goes to the volume at once
  return p;
}

}  // namespace

bool parseCbw(const uint8_t* b, size_t n, Cbw& out) {
  if (n != kCbwSize || tarn::getLe32(b) != kCbwSignature) return false;
  out.tag = tarn::getLe32(b + 4);
  out.length = tarn::getLe32(b + 8);
  out.in = (b[12] & 0x80) != 0;
  out.lun = b[13] & 0x0F;
  out.cdbLength = b[14] & 0x1F;
  if (out.lun != 0 || out.cdbLength < 1 || out.cdbLength > 16) return false;
  std::memset(out.cdb, 0, sizeof out.cdb);
  std::memcpy(out.cdb, b + 15, out.cdbLength);
  return true;
}

std::vector<uint8_t> makeCsw(uint32_t tag, uint32_t residue, CswStatus status) {
  std::vector<uint8_t> c(kCswSize, 0);
  tarn::putLe32(c.data(), kCswSignature);
  tarn::putLe32(c.data() + 4, tag);
  tarn::putLe32(c.data() + 8, residue);
  c[12] = uint8_t(status);
  return c;
}

Plan ScsiDisk::plan(const Cbw& c) {
  const uint8_t* cdb = c.cdb;
  switch (cdb[0]) {
    case kTestUnitReady:
    case kStartStopUnit:
    case kPreventAllow:
    case kSynchronizeCache:
      return {};
    case kRequestSense:
      return {Plan::In, std::min<uint32_t>(cdb[4], 18)};
    case kInquiry:
      // The player answers its identification by the wrapper's length and does not look
      // at the allocation length, which devcmd's probe leaves 0.
      if (!(cdb[1] & 0x01)) return {Plan::In, std::min(c.length, kInquiryLength)};
      return {Plan::In, tarn::getBe16(cdb + 3)};
    case kReadCapacity10:
      return {Plan::In, 8};
    case kServiceActionIn16:
      if ((cdb[1] & 0x1F) != kReadCapacity16) return {};
      return {Plan::In, std::min<uint32_t>(tarn::getBe32(cdb + 10), 32)};
    case kModeSense6:
      return {Plan::In, cdb[4]};
    case kModeSense10:
      return {Plan::In, tarn::getBe16(cdb + 7)};
    case kRead10:
      return {Plan::In, blockCount(c) * kBlockSize};
    case kWrite10:
      return {Plan::Out, blockCount(c) * kBlockSize};
    default:
      break;
  }
  if (tarn::vendor::isVendorOpcode(cdb[0]) && c.length > 0)
    return {c.in ? Plan::In : Plan::Out, c.length};
  return {};
}

bool ScsiDisk::fail(uint8_t key, uint8_t asc, uint8_t ascq) {
  sense_ = {key, asc, ascq};
  return false;
}

bool ScsiDisk::run(const Cbw& c, std::vector<uint8_t>& data) {
  const uint8_t* cdb = c.cdb;
  broken_ = vanished_ = reattached_ = false;
  if (cdb[0] != kRequestSense) sense_ = {};
  if (log_ && !seen_[cdb[0]]) {
    seen_[cdb[0]] = true;
    char line[48];
    std::snprintf(line, sizeof line, "first command %02X", cdb[0]);
    log_(line);
  }
  switch (cdb[0]) {
    case kTestUnitReady:
      return player_.volumeBytes() > 0 || fail(kNotReady, kNoMedium);
    case kStartStopUnit:
    case kPreventAllow:
      return true;
    case kSynchronizeCache:
      return player_.flush() || fail(kMediumError, kWriteError);
    case kRequestSense: {
      const uint8_t fixed[18] = {0x70, 0, sense_.key, 0, 0, 0, 0, 10, 0, 0, 0, 0, sense_.asc, sense_.ascq};
      std::copy(fixed, fixed + std::min<size_t>(data.size(), 18), data.begin());
      sense_ = {};
      return true;
    }
    case kInquiry:
      if (cdb[1] & 0x01) return inquiryPage(cdb[2], data);
      if (cdb[2] != 0) return fail(kIllegalRequest, kInvalidField);
      return playerRequest(c, data);
    case kReadCapacity10: {
      // The player's own request: the model sees it, then the standard answer goes out
      // (the last block's address, which a host's disk driver sizes the disk by).
      if (!playerRequest(c, data)) return false;
      const uint64_t blocks = player_.volumeBytes() / kBlockSize;
      if (blocks == 0) return fail(kNotReady, kNoMedium);
      tarn::putBe32(data.data(), uint32_t(std::min<uint64_t>(blocks - 1, 0xFFFFFFFF)));
      tarn::putBe32(data.data() + 4, kBlockSize);
      return true;
    }
    case kServiceActionIn16: {
      if ((cdb[1] & 0x1F) != kReadCapacity16) break;
      const uint64_t blocks = player_.volumeBytes() / kBlockSize;
      if (blocks == 0) return fail(kNotReady, kNoMedium);
      uint8_t full[32] = {};
      tarn::putBe32(full, uint32_t((blocks - 1) >> 32));
      tarn::putBe32(full + 4, uint32_t(blocks - 1));
      tarn::putBe32(full + 8, kBlockSize);
      std::copy(full, full + std::min<size_t>(data.size(), 32), data.begin());
      return true;
    }
    case kModeSense6:
      return modeSense(c, data, false);
    case kModeSense10:
      return modeSense(c, data, true);
    case kRead10:
      return blocks(c, data, false);
    case kWrite10:
      return blocks(c, data, true);
    default:
      if (tarn::vendor::isVendorOpcode(cdb[0])) return playerRequest(c, data);
      break;
  }
  if (log_) {
    char line[64];
    std::snprintf(line, sizeof line, "unknown command %02X answered as such", cdb[0]);
    log_(line);
  }
  return fail(kIllegalRequest, kInvalidOpcode);
}

bool ScsiDisk::playerRequest(const Cbw& c, std::vector<uint8_t>& data) {
  Request r;
  r.cdb = c.cdb;
  r.cdbLength = c.cdbLength;
  r.length = uint32_t(data.size());
  // A request without data carries no direction on the wire: it has the table's.
  const tarn::vendor::RequestEntry* entry = tarn::vendor::findRequest(c.cdb, c.cdbLength);
  r.out = data.empty() ? entry && entry->out : !c.in;
  if (r.out)
    r.data = data.data();
  else
    r.reply = data.data();
  const PlayerSide::Answer a = player_.request(r);
  vanished_ = a.vanished;
  reattached_ = a.reattached;
  broken_ = !a.ok;
  return a.ok;
}

bool ScsiDisk::blocks(const Cbw& c, std::vector<uint8_t>& data, bool write) {
  const uint64_t lba = tarn::getBe32(c.cdb + 2);
  const uint64_t count = blockCount(c);
  if (lba + count > player_.volumeBytes() / kBlockSize) return fail(kIllegalRequest, kLbaOutOfRange);
  if (count == 0) return true;
  if (write)
    return player_.write(lba * kBlockSize, data.data(), data.size()) || fail(kMediumError, kWriteError);
  return player_.read(lba * kBlockSize, data.data(), data.size()) || fail(kMediumError, kReadError);
}

bool ScsiDisk::modeSense(const Cbw& c, std::vector<uint8_t>& data, bool ten) {
  const uint8_t page = c.cdb[2] & 0x3F;
  if (page != kCachingPage && page != kAllPages) return fail(kIllegalRequest, kInvalidField);
  std::vector<uint8_t> r(ten ? 8 : 4, 0);  // no block descriptor, not write-protected
  const std::vector<uint8_t> p = cachingPage();
  r.insert(r.end(), p.begin(), p.end());
  if (ten)
    tarn::putBe16(r.data(), uint32_t(r.size() - 2));
  else
    r[0] = uint8_t(r.size() - 1);
  data.resize(std::min(data.size(), r.size()));
  std::copy(r.begin(), r.begin() + long(data.size()), data.begin());
  return true;
}

bool ScsiDisk::inquiryPage(uint8_t page, std::vector<uint8_t>& data) {
  std::vector<uint8_t> r = {0x00, page, 0x00, 0x00};
  if (page == 0x00) {
    r.push_back(0x00);
    r.push_back(kSerialPage);
  } else if (page == kSerialPage) {
    r.insert(r.end(), serial_.begin(), serial_.end());
  } else {
    return fail(kIllegalRequest, kInvalidField);
  }
  r[3] = uint8_t(r.size() - 4);
  data.resize(std::min(data.size(), r.size()));
  std::copy(r.begin(), r.begin() + long(data.size()), data.begin());
  return true;
}

BulkOnly::Step BulkOnly::serveOne() {
  std::vector<uint8_t> wrapper(std::max<size_t>(ep_.maxPacket(), kCbwSize + 1));
  const long got = ep_.receive(wrapper.data(), wrapper.size());
  if (got < 0) return Step::Gone;
  Cbw c;
  if (!parseCbw(wrapper.data(), size_t(got), c)) {
    // Not a command: nothing more until the host resets the function.
    ep_.stallIn();
    ep_.stallOut();
    needReset_ = true;
    return Step::Invalid;
  }
  const Plan p = disk_.plan(c);
  const Plan::Dir host = c.length == 0 ? Plan::None : c.in ? Plan::In : Plan::Out;
  auto status = [&](uint32_t residue, CswStatus s) {
    const std::vector<uint8_t> csw = makeCsw(c.tag, residue, s);
    return ep_.send(csw.data(), csw.size()) ? Step::Served : Step::Gone;
  };
  // The host and the device disagree about the data phase: the phase error, after
  // clearing whatever the host meant to move.
  auto phaseError = [&] {
    if (host == Plan::In) ep_.stallIn();
    if (host == Plan::Out) ep_.stallOut();
    return status(c.length, CswStatus::PhaseError);
  };
  // After the command ran: how the host learns of a player that broke the transfer.
  auto after = [&](bool ok, uint32_t residue, CswStatus good) {
    if (disk_.vanished()) return Step::Vanished;
    if (disk_.transferBroken()) return status(residue, CswStatus::PhaseError);
    const Step s = status(residue, ok ? good : CswStatus::Failed);
    return s == Step::Served && disk_.reattached() ? Step::Reattached : s;
  };

  std::vector<uint8_t> data;
  if (p.dir == Plan::Out) {
    if (host != Plan::Out || p.length > c.length) return phaseError();
    data.resize(c.length);
    size_t have = 0;
    while (have < c.length) {
      const long n = ep_.receive(data.data() + have, c.length - have);
      if (n <= 0) return Step::Gone;
      have += size_t(n);
    }
    data.resize(p.length);  // bytes past what the command takes are dropped
    const bool ok = disk_.run(c, data);
    return after(ok, c.length - p.length, CswStatus::Passed);
  }
  if (p.dir == Plan::In) {
    if (host != Plan::In) return phaseError();
    data.assign(p.length, 0);
    const bool ok = disk_.run(c, data);
    if (disk_.vanished()) return Step::Vanished;
    if (!ok || disk_.transferBroken()) {
      ep_.stallIn();
      return after(ok, c.length, CswStatus::Passed);
    }
    if (data.size() > c.length) {
      ep_.send(data.data(), c.length);
      return status(0, CswStatus::PhaseError);
    }
    if (!data.empty() && !ep_.send(data.data(), data.size())) return Step::Gone;
    const uint32_t residue = c.length - uint32_t(data.size());
    // A short answer that ends on a packet boundary would leave the host waiting.
    if (residue > 0 && data.size() % ep_.maxPacket() == 0) ep_.stallIn();
    return after(true, residue, CswStatus::Passed);
  }
  const bool ok = disk_.run(c, data);
  if (host == Plan::In) ep_.stallIn();
  if (host == Plan::Out) ep_.stallOut();
  return after(ok, c.length, CswStatus::Passed);
}

}  // namespace tarnsim::usb
