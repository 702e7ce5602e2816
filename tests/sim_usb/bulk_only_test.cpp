// The player on the USB wire without a kernel: wrappers in, data and status out, as a
// host's mass-storage driver sees them.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>

#include "base/byte_order.h"
#include "sim/usb/bulk_only.h"
#include "support/memory_player.h"

namespace tarnsim::usb {
namespace {

using Bytes = std::vector<uint8_t>;
using test::hexBytes;

constexpr uint64_t kVolumeBytes = 64 * 512;

Bytes concat(Bytes a, const std::string& text) {
  a.insert(a.end(), text.begin(), text.end());
  return a;
}

class MemoryPlayer final : public PlayerSide {
 public:
  PlayerState state;
  test::MemoryStorage storage;
  Bytes volume = Bytes(kVolumeBytes, 0);

  Answer request(const Request& r) override {
    const Outcome o = DeviceModel(state, storage).apply(r);
    return {o.ok, o.vanished, o.reattached};
  }
  uint64_t volumeBytes() override { return volume.size(); }
  bool read(uint64_t at, uint8_t* out, size_t n) override {
    std::memcpy(out, volume.data() + at, n);
    return true;
  }
  bool write(uint64_t at, const uint8_t* data, size_t n) override {
    std::memcpy(volume.data() + at, data, n);
    return true;
  }
  bool flush() override { return true; }
};

class FakeEndpoints final : public Endpoints {
 public:
  std::deque<Bytes> fromHost;
  std::vector<Bytes> toHost;
  int stalledIn = 0, stalledOut = 0;

  long receive(uint8_t* buf, size_t n) override {
    if (fromHost.empty()) return -1;
    Bytes b = fromHost.front();
    fromHost.pop_front();
    const size_t k = std::min(n, b.size());
    std::memcpy(buf, b.data(), k);
    if (k < b.size()) fromHost.push_front(Bytes(b.begin() + long(k), b.end()));
    return long(k);
  }
  bool send(const uint8_t* data, size_t n) override {
    toHost.emplace_back(data, data + n);
    return true;
  }
  void stallIn() override { ++stalledIn; }
  void stallOut() override { ++stalledOut; }
  size_t maxPacket() const override { return 512; }
};

Bytes cbw(const std::string& cdbHex, bool in, uint32_t length, uint32_t tag = 7) {
  const Bytes cdb = hexBytes(cdbHex);
  Bytes b(kCbwSize, 0);
  tarn::putLe32(b.data(), kCbwSignature);
  tarn::putLe32(b.data() + 4, tag);
  tarn::putLe32(b.data() + 8, length);
  b[12] = in ? 0x80 : 0x00;
  b[14] = uint8_t(cdb.size());
  std::copy(cdb.begin(), cdb.end(), b.begin() + 15);
  return b;
}

struct Wire {
  MemoryPlayer player;
  std::vector<std::string> log;
  ScsiDisk disk{player, "TARNSIME", [this](const std::string& l) { log.push_back(l); }};
  FakeEndpoints ep;
  BulkOnly bot{disk, ep};

  // One command; the data the host got (everything before the status) and the status.
  BulkOnly::Step command(const std::string& cdb, bool in, uint32_t length, const Bytes& out = {}) {
    ep.toHost.clear();
    ep.fromHost.push_back(cbw(cdb, in, length));
    if (!out.empty()) ep.fromHost.push_back(out);
    return bot.serveOne();
  }
  Bytes data() const {
    Bytes d;
    for (size_t i = 0; i + 1 < ep.toHost.size(); ++i) d.insert(d.end(), ep.toHost[i].begin(), ep.toHost[i].end());
    return d;
  }
  CswStatus status() const { return CswStatus(ep.toHost.back()[12]); }
  uint32_t residue() const { return tarn::getLe32(ep.toHost.back().data() + 8); }
  Bytes sense() {
    command("03 00 00 00 12 00", true, 18);
    return data();
  }
};

struct PhaseCase {
  const char* what;
  const char* cdb;
  bool in;
  uint32_t hostLength;
  size_t sent;
  CswStatus status;
  uint32_t residue;
  int stallIn, stallOut;
};

// clang-format off
const PhaseCase kPhaseCases[] = {
  {"no data, none expected",          "00 00 00 00 00 00",             false, 0,    0,   CswStatus::Passed,     0,    0, 0},
  {"in, as long as expected",         "28 00 00 00 00 01 00 00 01 00", true,  512,  512, CswStatus::Passed,     0,    0, 0},
  {"in, shorter, off a packet end",   "12 00 00 00 60 00",             true,  96,   36,  CswStatus::Passed,     60,   0, 0},
  {"in, shorter, on a packet end",    "28 00 00 00 00 01 00 00 01 00", true,  1024, 512, CswStatus::Passed,     512,  1, 0},
  {"in, longer than expected",        "28 00 00 00 00 01 00 00 02 00", true,  512,  512, CswStatus::PhaseError, 0,    0, 0},
  {"in wanted, host sends out",       "28 00 00 00 00 01 00 00 01 00", false, 512,  0,   CswStatus::PhaseError, 512,  0, 1},
  {"in wanted, host expects nothing", "28 00 00 00 00 01 00 00 01 00", true,  0,    0,   CswStatus::PhaseError, 0,    0, 0},
  {"out wanted, host expects in",     "2A 00 00 00 00 01 00 00 01 00", true,  512,  0,   CswStatus::PhaseError, 512,  1, 0},
  {"no data, host expects in",        "00 00 00 00 00 00",             true,  8,    0,   CswStatus::Passed,     8,    1, 0},
  {"unknown command, host expects in","A0 00 00 00 00 00 00 00 00 00", true,  8,    0,   CswStatus::Failed,     8,    1, 0},
  {"failing in command",              "28 00 00 00 00 40 00 00 01 00", true,  512,  0,   CswStatus::Failed,     512,  1, 0},
};
// clang-format on

TEST(BulkOnly, DataPhasesAndStatus) {
  for (const PhaseCase& c : kPhaseCases) {
    SCOPED_TRACE(c.what);
    Wire w;
    Bytes out;
    if (!c.in && c.hostLength) out.assign(c.hostLength, 0x5A);
    ASSERT_EQ(w.command(c.cdb, c.in, c.hostLength, out), BulkOnly::Step::Served);
    EXPECT_EQ(w.data().size(), c.sent);
    EXPECT_EQ(w.status(), c.status);
    EXPECT_EQ(w.residue(), c.residue);
    EXPECT_EQ(w.ep.stalledIn, c.stallIn);
    EXPECT_EQ(w.ep.stalledOut, c.stallOut);
    EXPECT_EQ(tarn::getLe32(w.ep.toHost.back().data() + 4), 7u) << "the status carries the tag";
  }
}

TEST(BulkOnly, InvalidWrapperStallsBothUntilReset) {
  for (Bytes bad : {Bytes(30, 0), cbw("00 00 00 00 00 00", false, 0)}) {
    Wire w;
    if (bad.size() == kCbwSize) bad[0] = 'X';  // wrong signature
    w.ep.fromHost.push_back(bad);
    EXPECT_EQ(w.bot.serveOne(), BulkOnly::Step::Invalid);
    EXPECT_EQ(w.ep.stalledIn, 1);
    EXPECT_EQ(w.ep.stalledOut, 1);
    EXPECT_TRUE(w.ep.toHost.empty());
    EXPECT_TRUE(w.bot.waitingForReset());
    w.bot.resetRecovery();
    EXPECT_FALSE(w.bot.waitingForReset());
  }
  Wire w;
  EXPECT_EQ(w.bot.serveOne(), BulkOnly::Step::Gone) << "no host";
}

TEST(BulkOnly, WrittenBlocksReadBack) {
  Wire w;
  Bytes block(1024);
  for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 7);
  ASSERT_EQ(w.command("2A 00 00 00 00 3E 00 00 02 00", false, 1024, block), BulkOnly::Step::Served);
  EXPECT_EQ(w.status(), CswStatus::Passed);
  EXPECT_EQ(Bytes(w.player.volume.end() - 1024, w.player.volume.end()), block);
  w.command("28 00 00 00 00 3E 00 00 02 00", true, 1024);
  EXPECT_EQ(w.data(), block);
}

struct SenseCase {
  const char* cdb;
  uint32_t length;
  uint8_t key, asc;
};

TEST(ScsiDisk, FailuresLeaveTheirSense) {
  // clang-format off
  const SenseCase cases[] = {
    {"A0 00 00 00 00 00 00 00 00 00", 0,   0x05, 0x20},  // unknown command
    {"28 00 00 00 00 40 00 00 01 00", 512, 0x05, 0x21},  // past the last block
    {"1A 00 1C 00 C0 00",             192, 0x05, 0x24},  // a mode page it lacks
    {"12 01 B0 00 40 00",             64,  0x05, 0x24},  // a product-data page it lacks
  };
  // clang-format on
  for (const SenseCase& c : cases) {
    SCOPED_TRACE(c.cdb);
    Wire w;
    w.command(c.cdb, true, c.length);
    EXPECT_EQ(w.status(), CswStatus::Failed);
    const Bytes s = w.sense();
    ASSERT_EQ(s.size(), 18u);
    EXPECT_EQ(s[0], 0x70);
    EXPECT_EQ(s[2], c.key);
    EXPECT_EQ(s[12], c.asc);
    EXPECT_EQ(w.sense()[2], 0) << "sense is read once";
  }
  Wire w;
  w.command("A0 00 00 00 00 00 00 00 00 00", false, 0);
  EXPECT_EQ(w.log.back(), "unknown command A0 answered as such");
}

TEST(ScsiDisk, AnswersOfADisk) {
  Wire w;
  w.command("25 00 00 00 00 00 00 00 00 00", true, 8);
  EXPECT_EQ(w.data(), hexBytes("00 00 00 3F 00 00 02 00")) << "last block 63 of 512 bytes";
  w.command("9E 10 00 00 00 00 00 00 00 00 00 00 00 20 00 00", true, 32);
  const Bytes long16 = w.data();
  EXPECT_EQ(Bytes(long16.begin(), long16.begin() + 12), hexBytes("00 00 00 00 00 00 00 3F 00 00 02 00"));
  w.command("1A 00 3F 00 C0 00", true, 192);
  EXPECT_EQ(w.data().size(), 24u);
  EXPECT_EQ(w.data()[0], 23) << "mode data length";
  EXPECT_EQ(w.data()[2] & 0x80, 0) << "not write-protected";
  EXPECT_EQ(w.data()[4], 0x08) << "caching page";
  w.command("5A 00 08 00 00 00 00 00 FF 00", true, 255);
  EXPECT_EQ(w.data().size(), 28u);
  EXPECT_EQ(tarn::getBe16(w.data().data()), 26);
  w.command("12 01 00 00 FF 00", true, 255);
  EXPECT_EQ(w.data(), hexBytes("00 00 00 02 00 80"));
  w.command("12 01 80 00 FF 00", true, 255);
  EXPECT_EQ(w.data(), concat(hexBytes("00 80 00 08"), "TARNSIME"));
  for (const char* ok : {"00 00 00 00 00 00", "1E 00 00 00 01 00", "1B 00 00 00 01 00", "35 00 00 00 00 00 00 00 00 00"}) {
    w.command(ok, false, 0);
    EXPECT_EQ(w.status(), CswStatus::Passed) << ok;
  }
}

TEST(ScsiDisk, TheModelAnswersThePlayersOwnRequests) {
  Wire w;
  w.player.state.mode = Mode::Fsm;
  // devcmd's probe leaves the allocation length 0: the player answers all the same.
  w.command("12 00 00 00 00 00", true, 36);
  const Bytes inquiry = w.data();
  ASSERT_EQ(inquiry.size(), 36u);
  EXPECT_EQ(std::string(inquiry.begin() + 8, inquiry.end()), "Flash   Setup   Manager v1.0");
  w.command("EF 85 00 00 00 00", true, 4);
  EXPECT_EQ(w.data(), hexBytes("54 41 52 4E")) << "IS_TARN";
  // A request without data reaches the model in the table's direction, whatever the
  // wrapper's direction bit says.
  w.command("EF 42 00 00 00 00", false, 0);
  EXPECT_EQ(w.status(), CswStatus::Passed);
  // A download chunk arrives as sent.
  w.command("EF 7A 00 00 03 00", true, 1);
  ASSERT_EQ(w.data(), hexBytes("01"));
  const Bytes chunk(768, 0xA5);
  w.command("EE 7B 00 00 00 00", false, 768, chunk);
  EXPECT_EQ(w.status(), CswStatus::Passed);
  EXPECT_EQ(w.player.storage.streams[Stream::Package], chunk);
  EXPECT_EQ(w.player.storage.trace.back(), "EE 7B 00 00 00 00 out 768");
}

TEST(ScsiDisk, ARefusedRequestBreaksTheTransferAndAVanishedPlayerSendsNothing) {
  Wire w;
  w.player.state.mode = Mode::Firmware;
  std::strcpy(w.player.state.faults[0].name, "IS_TARN");
  w.command("EF 85 00 00 00 00", true, 4);
  EXPECT_EQ(w.status(), CswStatus::PhaseError) << "the host must see a failed transfer";
  EXPECT_EQ(w.ep.stalledIn, 1);
  w.player.state.faults[0].vanish = 1;
  w.player.state.plugged = 1;
  EXPECT_EQ(w.command("EF 85 00 00 00 00", true, 4), BulkOnly::Step::Vanished);
  EXPECT_TRUE(w.ep.toHost.empty());
  w.player.state.mode = Mode::Update;
  EXPECT_EQ(w.command("EF 81 00 00 00 00", true, 5), BulkOnly::Step::Reattached);
  EXPECT_EQ(w.status(), CswStatus::Passed) << "the answer goes out before the player drops off";
}

}  // namespace
}  // namespace tarnsim::usb
