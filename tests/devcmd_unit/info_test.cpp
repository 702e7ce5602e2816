// info.txt sub-commands: what they read, what they write and how they end.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "devcmd/info_file.h"
#include "fake_device.h"
#include "temp_dir.h"

namespace devcmd::test {
namespace {

#ifdef _WIN32
const std::string kNl = "\r\n";  // written in text mode
#else
const std::string kNl = "\n";
#endif

std::string readLines(const char* total, const char* enc, const char* user, const char* pw) {
  return std::string("total_size = ") + total + " Bytes\nencrypted_size = " + enc +
         " Bytes\nuser_name = " + user + "\npassword = " + pw + "\n";
}

std::string describe(const char* file, const std::vector<std::string>& subCommand) {
  std::string trace = file ? file : "(none)";
  for (const std::string& a : subCommand) trace += " " + a;
  return trace;
}

// One sub-command against `dir`'s info.txt (none when `file` is null).
RunResult runInfo(TempDir& dir, const char* file, const std::vector<std::string>& subCommand, Script& s) {
  if (file) dir.write("info.txt", file);
  std::vector<std::string> args = {"E:"};
  args.insert(args.end(), subCommand.begin(), subCommand.end());
  return runTool(args, s, dir.file("info.txt"));
}

struct InfoCase {
  const char* file;  // null: no info.txt
  std::vector<std::string> args;
  uint32_t code;
  std::string out;
};

const char* kUserOnly = "67108864\n33554432\nalice\n\n";
const char* kBoth = "1048576\n0\nbob\nsecret\n";
const char* kNeither = "1048576\n0\n\n\n";

// clang-format off
const InfoCase kReadCases[] = {
  {kUserOnly, {"tsize"}, 64, readLines("67108864", "33554432", "alice", "")},
  {kUserOnly, {"esize"}, 32, readLines("67108864", "33554432", "alice", "")},
  {kUserOnly, {"needup"}, 0, readLines("67108864", "33554432", "alice", "") + kDone},
  {kUserOnly, {"chkup", "alice"}, 0, readLines("67108864", "33554432", "alice", "")},
  {kUserOnly, {"chkup", "alice", ""}, 0, readLines("67108864", "33554432", "alice", "")},
  {kUserOnly, {"chkup", "alice", "x"}, 2, readLines("67108864", "33554432", "alice", "")},
  {kUserOnly, {"chkup", "Alice"}, 2, readLines("67108864", "33554432", "alice", "")},
  {kUserOnly, {"chkup"}, 2, readLines("67108864", "33554432", "alice", "")},
  {kBoth, {"chkup", "bob", "secret"}, 0, readLines("1048576", "0", "bob", "secret")},
  {kBoth, {"chkup", "bob"}, 2, readLines("1048576", "0", "bob", "secret")},
  {kBoth, {"chkup", "bob", "secreT"}, 2, readLines("1048576", "0", "bob", "secret")},
  {kBoth, {"needup"}, 0, readLines("1048576", "0", "bob", "secret") + kDone},
  {kNeither, {"needup"}, 2, readLines("1048576", "0", "", "")},
  {kNeither, {"chkup"}, 0, readLines("1048576", "0", "", "")},
  {kNeither, {"chkup", "a", "b", "c"}, 0, readLines("1048576", "0", "", "")},
  {kNeither, {"chkup", "a"}, 2, readLines("1048576", "0", "", "")},
  {kNeither, {"tsize"}, 1, readLines("1048576", "0", "", "")},
  // Any white space separates the items; CR LF files read the same.
  {"2097152\r\n1048576\r\ncarol\r\npw\r\n", {"chkup", "carol", "pw"}, 0, readLines("2097152", "1048576", "carol", "pw")},
  {"  3145728 4194304 dave", {"esize"}, 4, readLines("3145728", "4194304", "dave", "")},
  // Sizes of 2 GiB and more are stored negative in 32 bits and still read as MiB.
  {"-2147483648\n-1073741824\n\n\n", {"tsize"}, 2048, readLines("-2147483648", "-1073741824", "", "")},
  {"-1\n0\n\n\n", {"tsize"}, 4095, readLines("-1", "0", "", "")},
  // Not a number where one belongs: the rest keeps its defaults.
  {"abc\n5\nx\ny\n", {"needup"}, 2, readLines("0", "0", "", "")},
  // Longer than the 15-character fields: not a file of ours, not read.
  {"1048576\n0\nabcdefghijklmnop\n\n", {"tsize"}, 65535, ""},
  {"1048576\n0\nbob\nabcdefghijklmnop\n", {"chkup", "bob", "abcdefghijklmnop"}, 1, ""},
  {"1048576\n0\nabcdefghijklmno\n\n", {"chkup", "abcdefghijklmno"}, 0, readLines("1048576", "0", "abcdefghijklmno", "")},
  // No file.
  {nullptr, {"needup"}, 1, ""},
  {nullptr, {"chkup"}, 1, ""},
  {nullptr, {"tsize"}, 65535, ""},
  {nullptr, {"esize"}, 65535, ""},
  {nullptr, {"setsize", "4"}, 1, ""},
  {nullptr, {"setinfo", "4"}, 1, ""},
};
// clang-format on

TEST(InfoFile, ReadingSubCommands) {
  for (const InfoCase& c : kReadCases) {
    SCOPED_TRACE(describe(c.file, c.args));
    TempDir dir;
    Script s;
    const RunResult r = runInfo(dir, c.file, c.args, s);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, c.out);
    EXPECT_TRUE(s.sent.empty());
    EXPECT_EQ(dir.read("info.txt"), c.file ? c.file : "");  // reading never changes it
  }
}

struct WriteCase {
  const char* before;
  std::vector<std::string> args;
  uint32_t code;
  std::string out;
  std::vector<std::string> after;  // lines; empty: the file is unchanged
};

// clang-format off
const WriteCase kWriteCases[] = {
  {"67108864\n1\nx\ny\n", {"setinfo", "16"}, 0,
   "encrypted_size = 16777216 Bytes\nuser_name = \npassword = \n" + std::string(kDone),
   {"67108864", "16777216", "", ""}},
  {"67108864\n1\nx\ny\n", {"setinfo", "16", "carol"}, 0,
   "encrypted_size = 16777216 Bytes\nuser_name = carol\npassword = \n" + std::string(kDone),
   {"67108864", "16777216", "carol", ""}},
  {"67108864\n1\nx\ny\n", {"setinfo", "2", "carol", "pw", "ignored"}, 0,
   "encrypted_size = 2097152 Bytes\nuser_name = carol\npassword = pw\n" + std::string(kDone),
   {"67108864", "2097152", "carol", "pw"}},
  {"67108864\n1\nx\ny\n", {"setinfo", "3072"}, 0,
   "encrypted_size = -1073741824 Bytes\nuser_name = \npassword = \n" + std::string(kDone),
   {"67108864", "-1073741824", "", ""}},
  {"5 junk", {"setinfo", "1", "u"}, 0,
   "encrypted_size = 1048576 Bytes\nuser_name = u\npassword = \n" + std::string(kDone),
   {"5", "1048576", "u", ""}},
  {"67108864\n1\nalice\nsecret\n", {"setsize", "8"}, 0,
   readLines("67108864", "1", "alice", "secret") +
   "encrypted_size = 8388608 Bytes\nuser_name = alice\npassword = secret\n" + kDone,
   {"67108864", "8388608", "alice", "secret"}},
  // Fields that would not read back as themselves are refused and nothing is written.
  {"1\n2\nx\ny\n", {"setinfo", "4", "abcdefghijklmnop"}, 1, "Invalid user name or password\n", {}},
  {"1\n2\nx\ny\n", {"setinfo", "4", "bob", "abcdefghijklmnop"}, 1, "Invalid user name or password\n", {}},
  {"1\n2\nx\ny\n", {"setinfo", "4", "two words"}, 1, "Invalid user name or password\n", {}},
  {"1\n2\nx\ny\n", {"setinfo", "4", "", "pw"}, 1, "Invalid user name or password\n", {}},
  {"1\n2\nx\ny\n", {"setinfo", "4", "abcdefghijklmno", "abcdefghijklmno"}, 0,
   "encrypted_size = 4194304 Bytes\nuser_name = abcdefghijklmno\npassword = abcdefghijklmno\n" + std::string(kDone),
   {"1", "4194304", "abcdefghijklmno", "abcdefghijklmno"}},
};
// clang-format on

TEST(InfoFile, WritingSubCommands) {
  for (const WriteCase& c : kWriteCases) {
    SCOPED_TRACE(describe(c.before, c.args));
    TempDir dir;
    Script s;
    const RunResult r = runInfo(dir, c.before, c.args, s);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.out, c.out);
    std::string want = c.before;
    if (!c.after.empty()) {
      want.clear();
      for (const std::string& line : c.after) want += line + kNl;
    }
    EXPECT_EQ(dir.read("info.txt"), want);
    // Nothing is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1);
  }
}

#ifndef _WIN32
// Several runs share info.txt; a reader sees one whole file or another, never a mix.
TEST(InfoFile, ConcurrentWritersNeverLeaveATornFile) {
  TempDir dir;
  dir.write("info.txt", "67108864\n0\n\n\n");
  const std::string path = dir.file("info.txt");
  std::vector<std::thread> threads;
  std::atomic<int> bad{0};
  for (int w = 0; w < 4; ++w) {
    threads.emplace_back([&, w] {
      const std::string user = "user" + std::to_string(w);
      for (int i = 0; i < 50; ++i) {
        Script s;
        if (runTool({"E:", "setinfo", std::to_string(w + 1), user, user}, s, path).code != 0) ++bad;
      }
    });
  }
  for (int reader = 0; reader < 2; ++reader) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        const std::optional<PartitionInfo> info = readPartitionInfo(path);
        if (!info) {
          ++bad;
          continue;
        }
        const int w = static_cast<int>(info->encryptedSize / 1048576) - 1;
        const bool initial = info->encryptedSize == 0 && info->user.empty();
        const bool whole = w >= 0 && w < 4 && info->user == "user" + std::to_string(w) &&
                           info->password == info->user;
        if (info->totalSize != 67108864 || !(initial || whole)) ++bad;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}
#endif

}  // namespace
}  // namespace devcmd::test
