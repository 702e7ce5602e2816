// The port log: exact bytes, clearing, its place beside the program, nine writers at once,
// and a file held by another program.
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "support/scratch.h"
#include "platform/program_folder.h"
#include "station/portlog/port_log.h"

namespace station_files_test {
namespace {

using station::PortLog;

TEST(PortLog, LinesEndInCrLfAndClearEmpties) {
  std::string dir = freshDir();
  PortLog log(join(dir, "port.log"));
  log.clear();  // nothing to delete
  EXPECT_TRUE(log.append("E:<--"));
  EXPECT_TRUE(log.append("E: -->"));
  EXPECT_TRUE(log.append(""));
  EXPECT_TRUE(log.append("Fbcheck\xB0\xE6"));
  EXPECT_EQ(readBytes(log.path()), "E:<--\r\nE: -->\r\n\r\nFbcheck\xB0\xE6\r\n");
  log.clear();
  EXPECT_FALSE(std::filesystem::exists(log.path()));
  EXPECT_TRUE(log.append("F:<--"));
  EXPECT_EQ(readBytes(log.path()), "F:<--\r\n");
}

TEST(PortLog, UnwritablePlaceDropsTheLine) {
  std::string dir = freshDir();
  EXPECT_FALSE(PortLog(join(dir, "no/such/port.log")).append("E:<--"));
  EXPECT_FALSE(PortLog(dir).append("E:<--"));  // a folder
}

TEST(PortLog, PathBesideTheProgramWhateverTheCurrentDirectory) {
  std::string dir = freshDir();
  auto before = std::filesystem::current_path();
  std::string expected = platform::programFolder() + platform::kPathSeparator + "misc" +
                         platform::kPathSeparator + "port.log";
  std::filesystem::current_path(dir);
  std::string path = station::portLogPath();
  std::filesystem::current_path(before);
  EXPECT_EQ(path, expected);
  // The test program lives in its own build folder.
  EXPECT_TRUE(std::filesystem::equivalent(
      platform::programFolder(),
      std::filesystem::path(TARN_BINARY_DIR) / "tests" / "station_portlog"));
}

TEST(PortLog, NineThreadsLoseAndInterleaveNothing) {
  constexpr int kThreads = 9;
  constexpr int kLines = 2000;
  std::string dir = freshDir();
  PortLog log(join(dir, "port.log"));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&log, t] {
      // Lines of different lengths, so that a torn write would show.
      std::string pad(static_cast<size_t>(t * 7), static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) {
        log.append(std::string(1, static_cast<char>('A' + t)) + ": line " + std::to_string(i) +
                   " " + pad);
      }
    });
  }
  for (auto& th : threads) th.join();

  std::string bytes = readBytes(log.path());
  std::map<int, int> next;  // per thread, the line number expected next
  size_t pos = 0, count = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find("\r\n", pos);
    ASSERT_NE(end, std::string::npos) << "unterminated tail at " << pos;
    std::string line = bytes.substr(pos, end - pos);
    pos = end + 2;
    ++count;
    ASSERT_GE(line.size(), 9u) << line;
    int t = line[0] - 'A';
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    std::string expected = std::string(1, line[0]) + ": line " + std::to_string(next[t]) + " " +
                           std::string(static_cast<size_t>(t * 7), static_cast<char>('a' + t));
    ASSERT_EQ(line, expected);
    ++next[t];
  }
  EXPECT_EQ(count, static_cast<size_t>(kThreads * kLines));
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kLines) << t;
}

// Another program holding the log the way a writer does.
class Holder {
 public:
  explicit Holder(const std::string& path) {
#ifdef _WIN32
    h_ = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                     nullptr);
    held_ = h_ != INVALID_HANDLE_VALUE;
#else
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    held_ = fd_ >= 0 && flock(fd_, LOCK_EX) == 0;
#endif
  }
  ~Holder() { release(); }
  bool held() const { return held_; }
  void release() {
#ifdef _WIN32
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
#else
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
#endif
  }

 private:
  bool held_ = false;
#ifdef _WIN32
  HANDLE h_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
};

TEST(PortLog, BusyFileIsRetriedThenGivenUp) {
  std::string dir = freshDir();
  std::string path = join(dir, "port.log");
  {
    // Held for good: the line is dropped once the tries run out.
    Holder holder(path);
    ASSERT_TRUE(holder.held());
    EXPECT_FALSE(PortLog(path, {3, std::chrono::milliseconds(1)}).append("lost"));
  }
  EXPECT_EQ(readBytes(path), "");
  {
    // Held for a moment: the writer waits its turn instead of dropping the line. The tries
    // last far longer than the hold, however slow the machine.
    Holder holder(path);
    ASSERT_TRUE(holder.held());
    bool written = false;
    std::thread writer([&] {
      written = PortLog(path, {20000, std::chrono::milliseconds(1)}).append("E:<--");
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    holder.release();
    writer.join();
    EXPECT_TRUE(written);
  }
  EXPECT_EQ(readBytes(path), "E:<--\r\n");
}

}  // namespace
}  // namespace station_files_test
