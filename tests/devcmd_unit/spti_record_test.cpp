// The Windows pass-through records, byte for byte, in both pointer widths; on the
// Windows build also read back through the platform's own structures.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <vector>

#include "devcmd/transport/requests.h"
#include "devcmd/transport/spti_record.h"

#ifdef _WIN32
#include <windows.h>
#include <ntddscsi.h>
#endif

namespace devcmd::spti {
namespace {

using Bytes = std::vector<uint8_t>;
using Sparse = std::map<size_t, Bytes>;  // offset -> bytes; every other byte is 0

template <size_t N>
Bytes expand(const Sparse& parts) {
  Bytes out(N, 0);
  for (const auto& [at, bytes] : parts)
    for (size_t i = 0; i < bytes.size(); ++i) out.at(at + i) = bytes[i];
  return out;
}

Request requestFor(RequestId id, std::vector<uint32_t> params, uint8_t* data = nullptr,
                   uint32_t chunk = 0) {
  return buildRequest(id, params, data, chunk);
}

struct BufferedCase {
  const char* what;
  Request req;
  PointerWidth width;
  Sparse expected;
  uint32_t inputLength;
  uint32_t outputLength;
};

TEST(SptiRecord, BufferedRecordLayout) {
  const Bytes rdIdCdb = {0xEF, 0x70};
  const Bytes clockCdb = {0xEF, 0x7E, 3, 1, 2, 3, 4, 5, 6};
  // clang-format off
  const BufferedCase cases[] = {
    {"rd_id, 32-bit", requestFor(RequestId::FlashReadId, {}), PointerWidth::Bits32,
     {{0, {44, 0}}, {6, {6, 0, 1}}, {12, {5, 0, 0, 0}}, {16, {6, 0, 0, 0}},
      {20, {80, 0, 0, 0}}, {24, {48, 0, 0, 0}}, {28, rdIdCdb}}, 44, 85},
    {"rd_id, 64-bit", requestFor(RequestId::FlashReadId, {}), PointerWidth::Bits64,
     {{0, {56, 0}}, {6, {6, 0, 1}}, {12, {5, 0, 0, 0}}, {16, {6, 0, 0, 0}},
      {24, {80, 0, 0, 0, 0, 0, 0, 0}}, {32, {56, 0, 0, 0}}, {36, rdIdCdb}}, 56, 85},
    {"chg_clk, 10-byte CDB, 32-bit", requestFor(RequestId::Change8051ClockDiv, {3, 1, 2, 3, 4, 5, 6}),
     PointerWidth::Bits32,
     {{0, {44, 0}}, {6, {10, 0, 1}}, {12, {1, 0, 0, 0}}, {16, {6, 0, 0, 0}},
      {20, {80, 0, 0, 0}}, {24, {48, 0, 0, 0}}, {28, clockCdb}}, 44, 81},
    {"erase_nor_flash, no data, 30 s, 64-bit", requestFor(RequestId::EraseNorFlash, {}),
     PointerWidth::Bits64,
     {{0, {56, 0}}, {6, {6, 0, 1}}, {16, {30, 0, 0, 0}},
      {24, {80, 0, 0, 0, 0, 0, 0, 0}}, {32, {56, 0, 0, 0}}, {36, {0xEF, 0x42}}}, 56, 80},
    {"rdx 512 bytes, 32-bit", requestFor(RequestId::ReadXData, {0x1234}), PointerWidth::Bits32,
     {{0, {44, 0}}, {6, {6, 0, 1}}, {12, {0x00, 0x02, 0, 0}}, {16, {6, 0, 0, 0}},
      {20, {80, 0, 0, 0}}, {24, {48, 0, 0, 0}}, {28, {0xEF, 0x01, 0x34, 0x12}}}, 44, 592},
  };
  // clang-format on
  for (const BufferedCase& c : cases) {
    SCOPED_TRACE(c.what);
    const BufferedRecord rec = buildBufferedRecord(c.req, c.width);
    EXPECT_EQ(Bytes(rec.begin(), rec.end()), expand<kBufferedRecordSize>(c.expected));
    EXPECT_EQ(bufferedInputLength(c.width), c.inputLength);
    EXPECT_EQ(bufferedOutputLength(c.req), c.outputLength);
  }
}

struct DirectCase {
  const char* what;
  Request req;
  PointerWidth width;
  uint64_t address;
  Sparse expected;
};

TEST(SptiRecord, DirectRecordLayout) {
  // clang-format off
  const DirectCase cases[] = {
    {"wt_mgr chunk 2048, 32-bit", requestFor(RequestId::WriteFlashMgr, {}, nullptr, 2048),
     PointerWidth::Bits32, 0x12345678,
     {{0, {44, 0}}, {6, {6, 24, 0}}, {12, {0x00, 0x08, 0, 0}}, {16, {6, 0, 0, 0}},
      {20, {0x78, 0x56, 0x34, 0x12}}, {24, {48, 0, 0, 0}}, {28, {0xEE, 0x78}}}},
    {"wt_pgr chunk 904, 64-bit", requestFor(RequestId::WriteProgram, {}, nullptr, 904),
     PointerWidth::Bits64, 0x0000123456789ABCull,
     {{0, {56, 0}}, {6, {6, 24, 0}}, {12, {0x88, 0x03, 0, 0}}, {16, {6, 0, 0, 0}},
      {24, {0xBC, 0x9A, 0x78, 0x56, 0x34, 0x12, 0, 0}}, {32, {56, 0, 0, 0}}, {36, {0xEE, 0x7B}}}},
    {"empty last chunk, 64-bit", requestFor(RequestId::WriteFlashCfg, {}, nullptr, 0),
     PointerWidth::Bits64, 0x1000,
     {{0, {56, 0}}, {6, {6, 24, 0}}, {16, {6, 0, 0, 0}},
      {24, {0x00, 0x10, 0, 0, 0, 0, 0, 0}}, {32, {56, 0, 0, 0}}, {36, {0xEE, 0x71}}}},
    {"wtx 5 bytes, 32-bit", requestFor(RequestId::WriteXData, {0x1234}, nullptr),
     PointerWidth::Bits32, 0xCAFE0000,
     {{0, {44, 0}}, {6, {6, 24, 0}}, {12, {5, 0, 0, 0}}, {16, {6, 0, 0, 0}},
      {20, {0x00, 0x00, 0xFE, 0xCA}}, {24, {48, 0, 0, 0}}, {28, {0xEE, 0x02, 0x34, 0x12}}}},
  };
  // clang-format on
  for (const DirectCase& c : cases) {
    SCOPED_TRACE(c.what);
    const DirectRecord rec = buildDirectRecord(c.req, c.width, c.address);
    EXPECT_EQ(Bytes(rec.begin(), rec.end()), expand<kDirectRecordSize>(c.expected));
  }
}

TEST(SptiRecord, SenseAreaFitsBehindTheHeader) {
  for (PointerWidth w : {PointerWidth::Bits32, PointerWidth::Bits64}) {
    const HeaderLayout h = headerLayout(w);
    EXPECT_GE(h.senseArea, h.size);
    EXPECT_LE(h.senseArea + kDirectSenseLength, kDirectRecordSize);
    EXPECT_LE(h.senseArea, kDataOffset);
  }
}

#ifdef _WIN32
// The native form read back through the platform's own declarations.
TEST(SptiRecord, NativeFormMatchesThePlatformHeaders) {
  uint8_t chunk[16] = {};
  const Request in = requestFor(RequestId::ReadCode, {0xBEEF});
  alignas(8) BufferedRecord b = buildBufferedRecord(in, kNativeWidth);
  SCSI_PASS_THROUGH spt;
  std::memcpy(&spt, b.data(), sizeof spt);
  EXPECT_EQ(spt.Length, sizeof(SCSI_PASS_THROUGH));
  EXPECT_EQ(bufferedInputLength(kNativeWidth), sizeof(SCSI_PASS_THROUGH));
  EXPECT_EQ(spt.CdbLength, 6);
  EXPECT_EQ(spt.SenseInfoLength, 0);
  EXPECT_EQ(spt.DataIn, SCSI_IOCTL_DATA_IN);
  EXPECT_EQ(spt.DataTransferLength, 512u);
  EXPECT_EQ(spt.TimeOutValue, 6u);
  EXPECT_EQ(spt.DataBufferOffset, 80u);
  EXPECT_GE(spt.SenseInfoOffset, sizeof(SCSI_PASS_THROUGH));
  EXPECT_EQ(Bytes(spt.Cdb, spt.Cdb + 6), (Bytes{0xEF, 0x03, 0xEF, 0xBE, 0, 0}));

  const Request out = requestFor(RequestId::WriteProgram, {}, chunk, 16);
  alignas(8) DirectRecord d =
      buildDirectRecord(out, kNativeWidth, reinterpret_cast<uintptr_t>(chunk));
  SCSI_PASS_THROUGH_DIRECT sptd;
  std::memcpy(&sptd, d.data(), sizeof sptd);
  EXPECT_EQ(sptd.Length, sizeof(SCSI_PASS_THROUGH_DIRECT));
  EXPECT_EQ(sptd.SenseInfoLength, 24);
  EXPECT_EQ(sptd.DataIn, SCSI_IOCTL_DATA_OUT);
  EXPECT_EQ(sptd.DataTransferLength, 16u);
  EXPECT_EQ(sptd.DataBuffer, static_cast<void*>(chunk));
  EXPECT_GE(sptd.SenseInfoOffset, sizeof(SCSI_PASS_THROUGH_DIRECT));
  EXPECT_LE(sptd.SenseInfoOffset + sptd.SenseInfoLength, kDirectRecordSize);
  EXPECT_EQ(sptd.Cdb[0], 0xEE);
  EXPECT_EQ(sptd.Cdb[1], 0x7B);
  EXPECT_EQ(static_cast<uint32_t>(IOCTL_SCSI_PASS_THROUGH), kIoctlScsiPassThrough);
  EXPECT_EQ(static_cast<uint32_t>(IOCTL_SCSI_PASS_THROUGH_DIRECT), kIoctlScsiPassThroughDirect);
}
#endif

}  // namespace
}  // namespace devcmd::spti
