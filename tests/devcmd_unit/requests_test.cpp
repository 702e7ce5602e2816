// What goes to the device: CDB bytes, direction, length and time-out of every request,
// reached through the command line the way the station sends it; and how each result
// form judges an answer.
#include <gtest/gtest.h>

#include <set>

#include "devcmd/transport/requests.h"
#include "fake_device.h"

namespace devcmd::test {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr DataDir In = DataDir::In;
constexpr DataDir Out = DataDir::Out;

struct CdbCase {
  std::vector<std::string> args;
  Bytes cdb;  // all cdbLength bytes
  DataDir dir;
  uint32_t length;
  uint32_t timeout;
};

// clang-format off
const CdbCase kCdbCases[] = {
  {{"E:", "rd_id"},                 {0xEF, 0x70, 0, 0, 0, 0},       In,  5,   6},
  {{"E:", "get_lcd_size"},          {0xEF, 0x86, 0, 0, 0, 0},       In,  4,   6},
  {{"E:", "reset"},                 {0xEF, 0x7F, 0, 0, 0, 0},       In,  5,   6},
  {{"E:", "2st_reset"},             {0xEF, 0x81, 0, 0, 0, 0},       In,  5,   6},
  {{"E:", "q_1st_burn"},            {0xEF, 0x80, 0, 0, 0, 0},       In,  1,   6},
  {{"E:", "get_flash_item"},        {0xEF, 0x84, 0, 0, 0, 0},       In,  1,   6},
  {{"E:", "IS_TARN"},               {0xEF, 0x85, 0, 0, 0, 0},       In,  4,   6},
  {{"E:", "chk_is_updatedisk"},     {0xEF, 0x82, 0, 0, 0, 0},       In,  4,   6},
  {{"E:", "read_bnd_id"},           {0xEF, 0x8B, 0, 0, 0, 0},       In,  1,   6},
  {{"E:", "get_size_MB"},           {0x25, 0x00, 0, 0, 0, 0},       In,  8,   6},
  {{"E:", "chk_bad_p"},             {0xEF, 0x73, 0, 0, 0, 0},       In,  2,   6},
  {{"E:", "blk_chk_p"},             {0xEF, 0x75, 0, 0, 0, 0},       In,  2,   6},
  {{"E:", "erase_nor_flash"},       {0xEF, 0x42, 0, 0, 0, 0},       In,  0,   30},
  {{"E:", "chk_bad_s", "4", "4096"},{0xEF, 0x72, 0, 0, 0, 0},       In,  1,   6},
  {{"E:", "blk_chk_s", "4", "1024"},{0xEF, 0x74, 0x00, 0x04, 0x04, 0x00}, In, 1, 6},
  {{"E:", "era", "1", "65535"},     {0xEF, 0x76, 0x00, 0x01, 0xFF, 0xFF}, In, 1, 6},
  {{"E:", "era", "65537", "-1"},    {0xEF, 0x76, 0x00, 0x01, 0xFF, 0xFF}, In, 1, 6},
  {{"E:", "set_sys_area", "3"},     {0xEF, 0x83, 0x03, 0, 0, 0},    In,  1,   6},
  {{"E:", "set_sys_area", "259"},   {0xEF, 0x83, 0x03, 0, 0, 0},    In,  1,   6},
  {{"E:", "chg_clk", "3", "1", "2", "3", "4", "5", "6"},
                                    {0xEF, 0x7E, 0x03, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x00}, In, 1, 6},
  {{"E:", "chg_clk", "257", "511", "0", "0", "0", "0", "255"},
                                    {0xEF, 0x7E, 0x01, 0xFF, 0, 0, 0, 0, 0xFF, 0x00}, In, 1, 6},
  {{"E:", "chk_update_success"},    {0xEF, 0x87, 0, 0, 0, 0},       In,  2,   6},
  {{"E:", "wt_mgr_s", "40960"},     {0xEF, 0x77, 0x00, 0x00, 0xA0, 0x00}, In, 1, 6},
  {{"E:", "wt_mgr_s", "305419896"}, {0xEF, 0x77, 0x12, 0x34, 0x56, 0x78}, In, 1, 6},
  {{"E:", "wt_mgr_s", "4294967295"},{0xEF, 0x77, 0xFF, 0xFF, 0xFF, 0xFF}, In, 1, 6},
  {{"E:", "wt_mgr_e", "4660"},      {0xEF, 0x79, 0x12, 0x34, 0x00, 0x00}, In, 1, 6},
  {{"E:", "wt_mgr_e", "70000"},     {0xEF, 0x79, 0x11, 0x70, 0x00, 0x00}, In, 1, 6},
  {{"E:", "wt_pgr_s", "40960"},     {0xEF, 0x7A, 0x00, 0x00, 0xA0, 0x00}, In, 1, 6},
  {{"E:", "wt_pgr_e"},              {0xEF, 0x7C, 0, 0, 0, 0},       In,  1,   6},
  {{"E:", "disk_decrypt"},          {0xEF, 0x06, 0, 0, 0, 0},       In,  1,   30},
  {{"E:", "check_passwd", "4660"},  {0xEF, 0x7A, 0x12, 0x34, 0, 0}, In,  1,   6},
  {{"E:", "change_passwd", "4660"}, {0xEF, 0x8A, 0x12, 0x34, 0, 0}, In,  1,   6},
  {{"E:", "rdx", "4660"},           {0xEF, 0x01, 0x34, 0x12, 0, 0}, In,  512, 6},
  {{"E:", "rdc", "65535"},          {0xEF, 0x03, 0xFF, 0xFF, 0, 0}, In,  512, 6},
  {{"E:", "wtx", "4660", "1", "2", "3", "4", "5"},
                                    {0xEE, 0x02, 0x34, 0x12, 0, 0}, Out, 5,   6},
  {{"E:", "rd_id", "extra", "args"},{0xEF, 0x70, 0, 0, 0, 0},       In,  5,   6},
  {{"E:", "wt_mgr_s", " +12abc"},   {0xEF, 0x77, 0, 0, 0, 12},      In,  1,   6},
  {{"E:", "wt_mgr_s", "0x10"},      {0xEF, 0x77, 0, 0, 0, 0},       In,  1,   6},
};
// clang-format on

TEST(Requests, EveryRequestSendsItsBytes) {
  std::set<std::pair<uint8_t, uint8_t>> seen;
  for (const CdbCase& c : kCdbCases) {
    SCOPED_TRACE(c.args[1] + (c.args.size() > 2 ? " " + c.args[2] : ""));
    Script s;
    s.answers.push_back({true, {0x01, 0, 0, 0, 0, 0, 0x02, 0}});
    runTool(c.args, s);
    ASSERT_EQ(s.sent.size(), 1u);
    EXPECT_EQ(s.sent[0].cdb, c.cdb);
    EXPECT_EQ(s.sent[0].dir, c.dir);
    EXPECT_EQ(s.sent[0].length, c.length);
    EXPECT_EQ(s.sent[0].timeout, c.timeout);
    seen.insert({c.cdb[0], c.cdb[1]});
  }
  // The probe's two requests.
  Script s;
  s.answers.push_back({true, {0x01}});
  runTool({"E:"}, s);
  ASSERT_EQ(s.sent.size(), 2u);
  EXPECT_EQ(s.sent[0].cdb, (Bytes{0xEF, 0x04, 0x00, 0x00, 0x80, 0x01}));
  EXPECT_EQ(s.sent[0].length, 1u);
  EXPECT_EQ(s.sent[1].cdb, (Bytes{0x12, 0, 0, 0, 0, 0}));
  EXPECT_EQ(s.sent[1].length, 36u);
  EXPECT_EQ(s.sent[1].timeout, 6u);
  for (const Sent& p : s.sent) seen.insert({p.cdb[0], p.cdb[1]});
  // The file requests (chunk bytes are checked with the downloads).
  seen.insert({0xEE, 0x71});
  seen.insert({0xEE, 0x78});
  seen.insert({0xEE, 0x7B});

  for (const RequestEntry& r : allRequests())
    EXPECT_TRUE(seen.count({r.opcode, r.subOp})) << r.name << " is not covered here";
}

TEST(Requests, WriteXDataCarriesTheLowByteOfEachValue) {
  Script s;
  runTool({"E:", "wtx", "0", "1", "2", "255", "256", "-1"}, s);
  ASSERT_EQ(s.sent.size(), 1u);
  EXPECT_EQ(s.sent[0].data, (Bytes{0x01, 0x02, 0xFF, 0x00, 0xFF}));
}

// One request per result form, with the outcome as the caller sees it.
struct FormCase {
  RequestId id;
  bool transferOk;
  Bytes reply;
  bool replyEvenOnFailure;
  bool expectOk;
  Bytes expectReply;  // what the caller's buffer holds afterwards
};

// clang-format off
const FormCase kFormCases[] = {
  // S: the call and bit 0 of reply byte 0 together.
  {RequestId::WriteFlashMgrStart, true,  {0x03}, false, true,  {0x03}},
  {RequestId::WriteFlashMgrStart, true,  {0x02}, false, false, {0x02}},
  {RequestId::WriteFlashMgrStart, true,  {0x00}, false, false, {0x00}},
  {RequestId::WriteFlashMgrStart, false, {0x01}, true,  false, {0x01}},
  {RequestId::CheckFwParity,      true,  {0x01, 0x00}, false, true, {0x01, 0x00}},
  // T: the call alone, whatever the reply says.
  {RequestId::SetSystemAreaSize,  true,  {0x00}, false, true,  {0x00}},
  {RequestId::SetSystemAreaSize,  false, {0x01}, true,  false, {0x01}},
  // R: the call, and the reply is there even after a failure.
  {RequestId::FlashReadId,        false, {0xEC, 0xD3, 0x51, 0x95, 0x00}, true, false, {0xEC, 0xD3, 0x51, 0x95, 0x00}},
  {RequestId::FlashReadId,        false, {0xEC, 0xD3, 0x51, 0x95, 0x00}, false, false, {0, 0, 0, 0, 0}},
  // C: always "ok"; the caller reads the bytes.
  {RequestId::IsTarn,             false, {'T', 'A', 'R', 'N'}, true, true, {'T', 'A', 'R', 'N'}},
  {RequestId::GetFlashItem,       false, {0x07}, false, true, {0x00}},
};
// clang-format on

TEST(Requests, ResultFormsJudgeTheAnswer) {
  for (const FormCase& c : kFormCases) {
    SCOPED_TRACE(requestEntry(c.id).name);
    Script s;
    s.answers.push_back({c.transferOk, c.reply, 0, c.replyEvenOnFailure});
    FakeDevice dev(s);
    std::vector<uint8_t> buffer(2048, 0xAA);  // stale bytes must not survive
    const Outcome o = sendRequest(dev, c.id, {}, buffer.data());
    EXPECT_EQ(o.ok, c.expectOk);
    EXPECT_EQ(o.transferred, c.transferOk);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + c.expectReply.size()), c.expectReply);
  }
}

// The player recognises every request the host builds as that request (or one it cannot
// tell from it), with the same data direction: both read the one protocol table.
TEST(Requests, EveryBuiltRequestIsRecognisedByThePlayerSide) {
  for (const RequestEntry& r : allRequests()) {
    SCOPED_TRACE(r.name);
    uint8_t buffer[512] = {};
    const Request built = buildRequest(r.id, {}, buffer, 100);
    const RequestEntry* found = tarn::vendor::findRequest(built.cdb, built.cdbLength);
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(tarn::vendor::sameCode(*found, r));
    EXPECT_EQ(found->out, built.dir == DataDir::Out);
    EXPECT_TRUE(tarn::vendor::isNamed(r, r.name));
  }
  const uint8_t unknown[6] = {0xEF, 0x00};
  EXPECT_EQ(tarn::vendor::findRequest(unknown, 6), nullptr);
  const uint8_t shortVendor[1] = {0xEF};
  EXPECT_EQ(tarn::vendor::findRequest(shortVendor, 1), nullptr);
  // A sub-command word sending two requests names neither.
  EXPECT_FALSE(tarn::vendor::isNamed(requestEntry(RequestId::Inquiry), "probe"));
}

}  // namespace
}  // namespace devcmd::test
