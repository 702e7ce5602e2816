#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <numeric>
#include <sstream>
#include <string>
#include <vector>

#include "sim/device_model.h"
#include "support/memory_player.h"

namespace tarnsim {
namespace {

using Bytes = std::vector<uint8_t>;
using test::hexBytes;
using test::hexText;
using test::MemoryStorage;

Bytes ascii(const char* text) { return Bytes(text, text + std::strlen(text)); }

Bytes concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes padded(Bytes b, size_t n) {
  b.resize(n, 0);
  return b;
}

// One player in memory, spoken to with CDBs written as hex.
struct Player {
  PlayerState state;
  MemoryStorage storage;
  Outcome last;

  explicit Player(Mode mode = Mode::Rom) {
    state.mode = mode;
    state.plugged = 1;
    state.hasFirmware = mode == Mode::Firmware || mode == Mode::Update || mode == Mode::Generic;
  }

  // Data-in (or no-data) request; returns the reply, `length` bytes.
  Bytes in(const std::string& cdbHex, uint32_t length) {
    Bytes cdb = hexBytes(cdbHex);
    Bytes reply(length, 0xCC);
    Request r;
    r.cdb = cdb.data();
    r.cdbLength = uint8_t(cdb.size());
    r.length = length;
    r.reply = reply.data();
    last = DeviceModel(state, storage).apply(r);
    return reply;
  }
  bool out(const std::string& cdbHex, const Bytes& data) {
    Bytes cdb = hexBytes(cdbHex);
    Request r;
    r.cdb = cdb.data();
    r.cdbLength = uint8_t(cdb.size());
    r.out = true;
    r.length = uint32_t(data.size());
    r.data = data.data();
    last = DeviceModel(state, storage).apply(r);
    return last.ok;
  }
  // Status byte of a one-byte status request, or -1 when the transfer failed.
  int status(const std::string& cdbHex) {
    Bytes r = in(cdbHex, 1);
    return last.ok ? r[0] : -1;
  }
  // Sends a file the way the host does: 2048-byte chunks, the last one short (maybe empty).
  bool chunks(const std::string& cdbHex, const Bytes& file) {
    size_t at = 0;
    for (;;) {
      size_t n = std::min<size_t>(2048, file.size() - at);
      if (!out(cdbHex, Bytes(file.begin() + long(at), file.begin() + long(at + n)))) return false;
      at += n;
      if (n < 2048) return true;
    }
  }
};

std::string sizeCdb(const char* op, uint32_t size) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "EF %s %02X %02X %02X %02X", op, size >> 24, (size >> 16) & 255,
                (size >> 8) & 255, size & 255);
  return buf;
}

std::string checksumCdb(uint16_t sum) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "EF 79 %02X %02X 00 00", sum >> 8, sum & 255);
  return buf;
}

Bytes pattern(size_t n, uint8_t seed = 1) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = uint8_t(i * 7 + seed + (i >> 8));
  return b;
}

uint16_t sum16(const Bytes& b) {
  return uint16_t(std::accumulate(b.begin(), b.end(), 0u));
}

// A 100-byte manager announced, sent and checked, as the host loads it into RAM.
void loadManager(Player& p) {
  const Bytes mgr = pattern(100);
  p.status(sizeCdb("77", 100));
  p.chunks("EE 78 00 00 00 00", mgr);
  p.status(checksumCdb(sum16(mgr)));
}

const Bytes kShortId = padded(hexBytes("00 80 02 02 04 00 00 00 47"), 36);
const Bytes kManagerId = concat(hexBytes("00 80 02 02 1F 00 00 00"), ascii("Flash   Setup   Manager v1.0"));
const Bytes kGenericId = concat(hexBytes("00 80 02 02 1F 00 00 00"), ascii("Generic Audio   Product v2.0"));

// ---------------------------------------------------------------------------------------
// What each request answers, mode by mode.

struct AnswerCase {
  Mode mode;
  const char* cdb;
  uint32_t length;
  Bytes reply;
  bool ok;
};

TEST(DeviceModelAnswers, EveryRequestAnswersAsAPlayerDoes) {
  const AnswerCase cases[] = {
      {Mode::Rom, "12 00 00 00 00 00", 36, kShortId, true},
      {Mode::Firmware, "12 00 00 00 00 00", 36, kShortId, true},
      {Mode::Update, "12 00 00 00 00 00", 36, kShortId, true},
      {Mode::Fsm, "12 00 00 00 00 00", 36, kManagerId, true},
      {Mode::Generic, "12 00 00 00 00 00", 36, kGenericId, true},
      {Mode::Fsm, "12 00 00 00 00 00", 9, Bytes(kManagerId.begin(), kManagerId.begin() + 9), true},
      {Mode::Rom, "EF 04 00 00 80 01", 1, hexBytes("01"), true},
      {Mode::Rom, "EF 85 00 00 00 00", 4, hexBytes("00 00 00 00"), true},
      {Mode::Fsm, "EF 85 00 00 00 00", 4, ascii("TARN"), true},
      {Mode::Firmware, "EF 85 00 00 00 00", 4, ascii("TARN"), true},
      {Mode::Update, "EF 85 00 00 00 00", 4, ascii("TARN"), true},
      {Mode::Update, "EF 82 00 00 00 00", 4, ascii("TARN"), true},
      {Mode::Firmware, "EF 82 00 00 00 00", 4, hexBytes("00 00 00 00"), true},
      {Mode::Fsm, "EF 82 00 00 00 00", 4, hexBytes("00 00 00 00"), true},
      {Mode::Fsm, "EF 70 00 00 00 00", 5, hexBytes("EC D3 51 95 00"), true},
      {Mode::Fsm, "EF 84 00 00 00 00", 1, hexBytes("01"), true},
      {Mode::Fsm, "EF 8B 00 00 00 00", 1, hexBytes("01"), true},
      {Mode::Fsm, "25 00 00 00 00 00", 8, hexBytes("00 08 00 00 00 00 02 00"), true},
      {Mode::Fsm, "EF 86 00 00 00 00", 4, hexBytes("00 80 00 40"), true},
      {Mode::Rom, "EF 80 00 00 00 00", 1, hexBytes("01"), true},
      {Mode::Fsm, "EF 87 00 00 00 00", 2, hexBytes("00 00"), true},
      {Mode::Fsm, "EF 83 03 00 00 00", 1, hexBytes("01"), true},
      {Mode::Fsm, "EF 72 00 00 00 00", 1, hexBytes("01"), true},
      {Mode::Fsm, "EF 74 00 04 04 00", 1, hexBytes("01"), true},
      {Mode::Fsm, "EF 74 04 00 00 04", 1, hexBytes("00"), true},
      {Mode::Fsm, "EF 76 00 04 04 00", 1, hexBytes("01"), true},
      {Mode::Fsm, "EF 76 00 05 00 04", 1, hexBytes("00"), true},
      {Mode::Fsm, "EF 77 00 00 A0 00", 1, hexBytes("01"), true},
      {Mode::Fsm, "EF 7A 00 00 10 00", 1, hexBytes("01"), true},
      {Mode::Fsm, "EF 7C 00 00 00 00", 1, hexBytes("00"), true},
      {Mode::Rom, "EF 79 12 34 00 00", 1, hexBytes("00"), true},
      {Mode::Firmware, "EF 79 12 34 00 00", 1, hexBytes("01"), true},
      {Mode::Fsm, "EF 7E 03 01 02 03 04 05 06 00", 1, hexBytes("01"), true},
      {Mode::Fsm, "EF 7F 00 00 00 00", 5, hexBytes("EC D3 51 95 00"), true},
      {Mode::Fsm, "EF 81 00 00 00 00", 5, hexBytes("EC D3 51 95 00"), true},
      {Mode::Fsm, "EF 06 00 00 00 00", 1, hexBytes("01"), true},
      {Mode::Fsm, "EF 8A 12 34 00 00", 1, hexBytes("00"), true},
      {Mode::Fsm, "EF 42 00 00 00 00", 0, {}, true},
      {Mode::Fsm, "EF 73 00 00 00 00", 2, hexBytes("01 00"), true},  // no check running
      {Mode::Fsm, "EF 75 00 00 00 00", 2, hexBytes("01 00"), true},
      // Refused: unknown code, wrong direction, a reply the player leaves zero.
      {Mode::Fsm, "EF 99 00 00 00 00", 4, hexBytes("00 00 00 00"), false},
      {Mode::Fsm, "EE 70 00 00 00 00", 5, hexBytes("00 00 00 00 00"), false},
      {Mode::Fsm, "28 00 00 00 00 00", 4, hexBytes("00 00 00 00"), false},
  };
  for (const AnswerCase& c : cases) {
    SCOPED_TRACE(std::string(modeName(c.mode)) + ": " + c.cdb);
    Player p(c.mode);
    EXPECT_EQ(hexText(p.in(c.cdb, c.length)), hexText(c.reply));
    EXPECT_EQ(p.last.ok, c.ok);
  }
}

TEST(DeviceModelAnswers, EveryRequestIsRecordedInOrderFailuresIncluded) {
  Player p(Mode::Fsm);
  p.in("12 00 00 00 00 00", 36);
  p.out("EE 7B 00 00 00 00", pattern(5));  // no package open: refused
  p.in("EF 99 00 00 00 00", 1);
  p.in("EF 7E 03 01 02 03 04 05 06 00", 1);
  EXPECT_EQ(p.storage.trace, (std::vector<std::string>{
                                 "12 00 00 00 00 00 in 36",
                                 "EE 7B 00 00 00 00 out 5",
                                 "EF 99 00 00 00 00 in 1",
                                 "EF 7E 03 01 02 03 04 05 06 00 in 1",
                             }));
  EXPECT_EQ(p.state.requests, 4u);
}

// ---------------------------------------------------------------------------------------
// The flash setup manager download.

struct ManagerCase {
  const char* name;
  size_t fileSize;
  int64_t announced;  // -1: no start request
  int checksumDelta;  // added to the right checksum
  size_t dropLast;    // bytes left out of the data
  int endStatus;
  Mode modeAfter;
};

TEST(DeviceModelManager, EndChecksSizeAndChecksum) {
  const ManagerCase cases[] = {
      {"whole file", 40960, 40960, 0, 0, 1, Mode::Fsm},
      {"odd size", 5000, 5000, 0, 0, 1, Mode::Fsm},
      {"empty file", 0, 0, 0, 0, 1, Mode::Fsm},
      {"checksum off by one", 5000, 5000, 1, 0, 0, Mode::Rom},
      {"fewer bytes than announced", 5000, 5000, 0, 904, 0, Mode::Rom},
      {"announced too small", 5000, 4096, 0, 0, 0, Mode::Rom},
      {"no start", 5000, -1, 0, 0, 0, Mode::Rom},
  };
  for (const ManagerCase& c : cases) {
    SCOPED_TRACE(c.name);
    Player p(Mode::Rom);
    Bytes file = pattern(c.fileSize);
    if (c.announced >= 0) {
      ASSERT_EQ(p.status(sizeCdb("77", uint32_t(c.announced))), 1);
    }
    Bytes sent(file.begin(), file.end() - long(c.dropLast));
    bool chunksOk = p.chunks("EE 78 00 00 00 00", sent);
    EXPECT_EQ(chunksOk, c.announced >= 0 && size_t(c.announced) >= sent.size());
    EXPECT_EQ(p.status(checksumCdb(uint16_t(sum16(file) + c.checksumDelta))), c.endStatus);
    EXPECT_EQ(p.state.mode, c.modeAfter);
    EXPECT_EQ(p.state.managerWritten, c.endStatus == 1);
    EXPECT_EQ(hexText(p.in("12 00 00 00 00 00", 9)).substr(24),
              c.modeAfter == Mode::Fsm ? "46" : "47");
    EXPECT_EQ(hexText(p.in("EF 85 00 00 00 00", 4)),
              c.modeAfter == Mode::Fsm ? "54 41 52 4E" : "00 00 00 00");
  }
}

TEST(DeviceModelManager, RecordsSizeChecksumAndBytes) {
  Player p(Mode::Rom);
  Bytes file = pattern(5000, 9);
  p.status(sizeCdb("77", 5000));
  ASSERT_TRUE(p.chunks("EE 78 00 00 00 00", file));
  ASSERT_EQ(p.status(checksumCdb(sum16(file))), 1);
  EXPECT_EQ(p.state.managerSize, 5000u);
  EXPECT_EQ(p.state.managerChecksum, sum16(file));
  EXPECT_EQ(p.storage.streams[Stream::Manager], file);
  // The manager runs from code memory.
  Bytes code = p.in("EF 03 00 01 00 00", 512);
  EXPECT_EQ(code, Bytes(file.begin() + 256, file.begin() + 768));
}

TEST(DeviceModelManager, NewStartDiscardsTheOpenDownload) {
  Player p(Mode::Rom);
  p.status(sizeCdb("77", 100));
  p.out("EE 78 00 00 00 00", pattern(60));
  Bytes file = pattern(100, 3);
  p.status(sizeCdb("77", 100));
  ASSERT_TRUE(p.chunks("EE 78 00 00 00 00", file));
  EXPECT_EQ(p.status(checksumCdb(sum16(file))), 1);
  EXPECT_EQ(p.storage.streams[Stream::Manager], file);
}

TEST(DeviceModelManager, ChecksumWrapsAt65536) {
  struct Case {
    Bytes file;
    uint16_t sum;
  } cases[] = {{hexBytes("FF FF 01"), 511}, {Bytes(257, 0xFF), 65535}, {Bytes(258, 0xFF), 254}};
  for (const Case& c : cases) {
    Player p(Mode::Rom);
    p.status(sizeCdb("77", uint32_t(c.file.size())));
    p.chunks("EE 78 00 00 00 00", c.file);
    EXPECT_EQ(p.status(checksumCdb(c.sum)), 1) << c.sum;
    EXPECT_EQ(p.state.managerChecksum, c.sum);
  }
}

// ---------------------------------------------------------------------------------------
// Program packages.

TEST(DeviceModelPackages, KeepsEveryPackageInOrder) {
  Player p(Mode::Fsm);
  const Bytes files[] = {pattern(200000, 1), pattern(4096, 2), pattern(0), pattern(2047, 4)};
  for (const Bytes& f : files) {
    ASSERT_EQ(p.status(sizeCdb("7A", uint32_t(f.size()))), 1);
    ASSERT_TRUE(p.chunks("EE 7B 00 00 00 00", f));
    ASSERT_EQ(p.status("EF 7C 00 00 00 00"), 1);
  }
  ASSERT_EQ(p.state.packageCount, 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(p.state.keptPackage(i).size, files[i].size()) << i;
    EXPECT_EQ(p.state.keptPackage(i).checksum, sum16(files[i])) << i;
  }
  EXPECT_EQ(p.storage.streams[Stream::Package], files[3]);
}

struct PackageCase {
  const char* name;
  size_t announced;
  size_t sent;
  bool start;
  bool chunksOk;
  int endStatus;
};

TEST(DeviceModelPackages, EndFailsUnlessEveryAnnouncedByteCame) {
  const PackageCase cases[] = {
      {"complete", 5000, 5000, true, true, 1},
      {"short", 5000, 4999, true, true, 0},
      {"nothing sent", 5000, 0, true, true, 0},
      {"too long", 4096, 5000, true, false, 0},
      {"no start", 5000, 5000, false, false, 0},
  };
  for (const PackageCase& c : cases) {
    SCOPED_TRACE(c.name);
    Player p(Mode::Fsm);
    if (c.start) p.status(sizeCdb("7A", uint32_t(c.announced)));
    EXPECT_EQ(p.chunks("EE 7B 00 00 00 00", pattern(c.sent)), c.chunksOk);
    EXPECT_EQ(p.status("EF 7C 00 00 00 00"), c.endStatus);
    EXPECT_EQ(p.state.packageCount, c.endStatus == 1 ? 1u : 0u);
    // A second end finds no open download.
    EXPECT_EQ(p.status("EF 7C 00 00 00 00"), 0);
  }
}

TEST(DeviceModelPackages, ParityAndFirstBurnFollowTheWrittenProgram) {
  Player p(Mode::Fsm);
  EXPECT_EQ(hexText(p.in("EF 87 00 00 00 00", 2)), "00 00");
  EXPECT_EQ(p.status("EF 80 00 00 00 00"), 1);
  p.status(sizeCdb("7A", 3000));
  p.chunks("EE 7B 00 00 00 00", pattern(2999));
  p.status("EF 7C 00 00 00 00");
  EXPECT_EQ(hexText(p.in("EF 87 00 00 00 00", 2)), "00 00") << "short package";
  p.status(sizeCdb("7A", 3000));
  p.chunks("EE 7B 00 00 00 00", pattern(3000));
  EXPECT_EQ(hexText(p.in("EF 87 00 00 00 00", 2)), "00 00") << "package still open";
  p.status("EF 7C 00 00 00 00");
  EXPECT_EQ(hexText(p.in("EF 87 00 00 00 00", 2)), "01 00");
  EXPECT_EQ(p.status("EF 80 00 00 00 00"), 0);
}

TEST(DeviceModelPackages, KeepsTheLatestWhenTheListIsFull) {
  Player p(Mode::Fsm);
  for (uint32_t i = 0; i < kMaxPackages + 3; ++i) {
    p.status(sizeCdb("7A", i));
    p.chunks("EE 7B 00 00 00 00", pattern(i));
    ASSERT_EQ(p.status("EF 7C 00 00 00 00"), 1);
  }
  EXPECT_EQ(p.state.packageCount, kMaxPackages + 3);
  EXPECT_EQ(p.state.keptPackages(), kMaxPackages);
  EXPECT_EQ(p.state.firstKeptPackage(), 4u);
  EXPECT_EQ(p.state.keptPackage(0).size, 3u);
  EXPECT_EQ(p.state.keptPackage(kMaxPackages - 1).size, kMaxPackages + 2);
}

// ---------------------------------------------------------------------------------------
// Configuration tables: chunks only, the short last chunk ends one.

TEST(DeviceModelConfig, RecordsEachTableSize) {
  struct Case {
    std::vector<size_t> files;
    uint32_t lastSize;
  } cases[] = {
      {{5000}, 5000}, {{4096}, 4096}, {{0}, 0}, {{2048}, 2048}, {{5000, 300}, 300}, {{300, 5000}, 5000},
  };
  for (const Case& c : cases) {
    Player p(Mode::Fsm);
    Bytes last;
    for (size_t n : c.files) {
      last = pattern(n, uint8_t(n));
      ASSERT_TRUE(p.chunks("EE 71 00 00 00 00", last));
    }
    EXPECT_EQ(p.state.cfgSize, c.lastSize);
    EXPECT_EQ(p.state.cfgChecksum, sum16(last));
    EXPECT_EQ(p.state.cfgTables, c.files.size());
    EXPECT_EQ(p.storage.streams[Stream::Config], last);
    EXPECT_FALSE(p.state.cfgOpen);
  }
}

// ---------------------------------------------------------------------------------------
// Flash checks: progress over polls, ending at 01 64.

TEST(DeviceModelChecks, ProgressAdvancesPollByPoll) {
  struct Case {
    const char* start;
    const char* poll;
    uint32_t polls;
    std::vector<std::string> replies;
  } cases[] = {
      {"EF 72 00 00 00 00", "EF 73 00 00 00 00", 4, {"00 19", "00 32", "00 4B", "01 64", "01 64"}},
      {"EF 74 00 04 04 00", "EF 75 00 00 00 00", 4, {"00 19", "00 32", "00 4B", "01 64", "01 64"}},
      {"EF 74 00 04 04 00", "EF 75 00 00 00 00", 3, {"00 21", "00 42", "01 64"}},
      {"EF 74 00 04 04 00", "EF 75 00 00 00 00", 1, {"01 64", "01 64"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.start) + " polls " + std::to_string(c.polls));
    Player p(Mode::Fsm);
    p.state.checkPolls = c.polls;
    ASSERT_EQ(p.status(c.start), 1);
    for (const std::string& want : c.replies) EXPECT_EQ(hexText(p.in(c.poll, 2)), want);
  }
}

TEST(DeviceModelChecks, StartRestartsAndChecksAreIndependent) {
  Player p(Mode::Fsm);
  p.status("EF 72 00 00 00 00");
  p.in("EF 73 00 00 00 00", 2);
  p.in("EF 73 00 00 00 00", 2);
  EXPECT_EQ(hexText(p.in("EF 75 00 00 00 00", 2)), "01 00") << "blanking never started";
  p.status("EF 72 00 00 00 00");
  EXPECT_EQ(hexText(p.in("EF 73 00 00 00 00", 2)), "00 19");
  EXPECT_EQ(p.status("EF 74 04 00 00 04"), 0) << "range upside down";
  EXPECT_EQ(hexText(p.in("EF 75 00 00 00 00", 2)), "01 00");
  p.status("EF 74 00 04 04 00");
  EXPECT_EQ(p.state.blanking.begin, 4);
  EXPECT_EQ(p.state.blanking.end, 1024);
}

// ---------------------------------------------------------------------------------------
// Capacity from the user area.

TEST(DeviceModelCapacity, HostFormulaGivesTheCreatedCapacity) {
  for (uint64_t mib : {1ull, 128ull, 129ull, 256ull, 1928ull, 4096ull, 8192ull}) {
    Player p(Mode::Fsm);
    p.storage.userArea = mib << 20;
    Bytes r = p.in("25 00 00 00 00 00", 8);
    ASSERT_TRUE(p.last.ok);
    uint64_t last = uint64_t(r[0]) << 24 | r[1] << 16 | r[2] << 8 | r[3];
    uint32_t length = uint32_t(r[4]) << 24 | r[5] << 16 | r[6] << 8 | r[7];
    EXPECT_EQ(length, 512u);
    EXPECT_EQ((last * length) >> 20, mib);
  }
}

TEST(DeviceModelCapacity, MissingUserAreaFailsTheTransfer) {
  Player p(Mode::Fsm);
  p.storage.userArea.reset();
  EXPECT_EQ(hexText(p.in("25 00 00 00 00 00", 8)), "00 00 00 00 00 00 00 00");
  EXPECT_FALSE(p.last.ok);
}

// ---------------------------------------------------------------------------------------
// Controller memory.

TEST(DeviceModelMemory, XdataKeepsWhatIsWrittenAndWraps) {
  Player p(Mode::Fsm);
  ASSERT_TRUE(p.out("EE 02 34 12 00 00", hexBytes("11 22 33 44 55")));
  ASSERT_TRUE(p.out("EE 02 FE FF 00 00", hexBytes("A1 A2 A3 A4 A5")));
  Bytes r = p.in("EF 01 34 12 00 00", 512);
  EXPECT_EQ(hexText(Bytes(r.begin(), r.begin() + 6)), "11 22 33 44 55 00");
  r = p.in("EF 01 FE FF 00 00", 512);
  EXPECT_EQ(hexText(Bytes(r.begin(), r.begin() + 6)), "A1 A2 A3 A4 A5 00");
  r = p.in("EF 01 00 00 00 00", 512);
  EXPECT_EQ(hexText(Bytes(r.begin(), r.begin() + 4)), "A3 A4 A5 00");
}

TEST(DeviceModelMemory, CodeIsEmptyWithoutAManager) {
  Player p(Mode::Rom);
  EXPECT_EQ(p.in("EF 03 00 00 00 00", 512), Bytes(512, 0));
}

// ---------------------------------------------------------------------------------------
// Resets and modes.

TEST(DeviceModelModes, SecondResetLeavesTheUpdateDisk) {
  struct Case {
    Mode before;
    Mode after;
    bool reattached;
  } cases[] = {
      {Mode::Update, Mode::Firmware, true},
      {Mode::Firmware, Mode::Firmware, false},
      {Mode::Fsm, Mode::Fsm, false},
      {Mode::Rom, Mode::Rom, false},
  };
  for (const Case& c : cases) {
    Player p(c.before);
    p.in("EF 81 00 00 00 00", 5);
    EXPECT_EQ(p.state.mode, c.after) << modeName(c.before);
    EXPECT_EQ(p.last.reattached, c.reattached) << modeName(c.before);
    EXPECT_EQ(hexText(p.in("EF 82 00 00 00 00", 4)), "00 00 00 00");
  }
}

TEST(DeviceModelModes, ResetRestartsIntoWhatTheFlashHolds) {
  Player blank(Mode::Rom);
  loadManager(blank);
  blank.status("EF 72 00 00 00 00");
  blank.status(sizeCdb("7A", 10));
  ASSERT_EQ(blank.state.mode, Mode::Fsm);
  blank.in("EF 7F 00 00 00 00", 5);
  EXPECT_EQ(blank.state.mode, Mode::Rom);
  EXPECT_EQ(hexText(blank.in("EF 73 00 00 00 00", 2)), "01 00") << "check lost";
  EXPECT_EQ(blank.status("EF 7C 00 00 00 00"), 0) << "download lost";

  Player produced(Mode::Fsm);
  produced.status(sizeCdb("7A", 10));
  produced.chunks("EE 7B 00 00 00 00", pattern(10));
  produced.status("EF 7C 00 00 00 00");
  produced.in("EF 7F 00 00 00 00", 5);
  EXPECT_EQ(produced.state.mode, Mode::Firmware);
}

// ---------------------------------------------------------------------------------------
// Faults.

struct FaultCase {
  const char* rule;
  uint32_t after;
  const char* cdb;
  std::vector<bool> results;  // of successive identical requests
};

TEST(DeviceModelFaults, NamedRequestFailsAfterNSuccesses) {
  const FaultCase cases[] = {
      {"rd_id", 0, "EF 70 00 00 00 00", {false, false}},
      {"cmd_bFlashReadID", 2, "EF 70 00 00 00 00", {true, true, false, false}},
      {"IS_TARN", 1, "EF 85 00 00 00 00", {true, false}},
      {"cmd_bInquiry", 0, "12 00 00 00 00 00", {false}},
      {"get_size_MB", 1, "25 00 00 00 00 00", {true, false}},
      {"cmd_bCheckBadPolling==> start mass-sotrage", 0, "EF 73 00 00 00 00", {false}},
      {"cmd_bCheckBadPolling", 1, "EF 73 00 00 00 00", {true, false}},
      {"blk_chk_p", 3, "EF 75 00 00 00 00", {true, true, true, false}},
      {"rd_id", 0, "EF 84 00 00 00 00", {true, true}},  // other requests are untouched
  };
  for (const FaultCase& c : cases) {
    SCOPED_TRACE(std::string(c.rule) + " after " + std::to_string(c.after) + " on " + c.cdb);
    Player p(Mode::Fsm);
    std::strcpy(p.state.faults[0].name, c.rule);
    p.state.faults[0].after = c.after;
    for (bool want : c.results) {
      p.in(c.cdb, 8);
      EXPECT_EQ(p.last.ok, want);
    }
  }
}

TEST(DeviceModelFaults, FailedChunkIsNotTakenSoTheEndFails) {
  Player p(Mode::Fsm);
  std::strcpy(p.state.faults[0].name, "wt_pgr");
  p.state.faults[0].after = 1;
  p.status(sizeCdb("7A", 5000));
  EXPECT_FALSE(p.chunks("EE 7B 00 00 00 00", pattern(5000)));
  EXPECT_EQ(p.state.package.received, 2048u);
  EXPECT_EQ(p.status("EF 7C 00 00 00 00"), 0);
}

TEST(DeviceModelFaults, VanishUnplugsOnceAndPowersOff) {
  Player p(Mode::Rom);
  loadManager(p);
  std::strcpy(p.state.faults[0].name, "cmd_bWriteProgramStart");
  p.state.faults[0].after = 1;
  p.state.faults[0].vanish = 1;
  EXPECT_EQ(p.status(sizeCdb("7A", 10)), 1);
  EXPECT_FALSE(p.last.vanished);
  EXPECT_EQ(p.status(sizeCdb("7A", 10)), -1);
  EXPECT_TRUE(p.last.vanished);
  EXPECT_EQ(p.state.plugged, 0);
  EXPECT_EQ(p.state.mode, Mode::Rom) << "the manager was only in memory";
  EXPECT_EQ(p.state.faults[0].name[0], 0) << "a vanish happens once";
}

TEST(DeviceModelFaults, KnownNames) {
  for (const char* name : {"cmd_bWriteProgram", "wt_pgr", "IS_TARN", "2st_reset", "cmd_bInquiry",
                           "cmd_bSetDelayCount", "get_size_MB", "check_passwd", "q_1st_burn"})
    EXPECT_TRUE(isKnownRequestName(name)) << name;
  for (const char* name : {"", "WT_PGR", "wt_pgr ", "probe", "nosuch"})
    EXPECT_FALSE(isKnownRequestName(name)) << name;
}

}  // namespace
}  // namespace tarnsim
