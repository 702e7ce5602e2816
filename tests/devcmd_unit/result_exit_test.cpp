// The result channel for exit values wider than a POSIX exit status.
#include <gtest/gtest.h>

#include "devcmd/result_exit.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace devcmd {
namespace {

class Pipe {
 public:
  Pipe() { EXPECT_EQ(::pipe(fds_), 0); }
  ~Pipe() {
    closeWrite();
    ::close(fds_[0]);
  }
  int writeEnd() const { return fds_[1]; }
  void closeWrite() {
    if (fds_[1] >= 0) ::close(fds_[1]);
    fds_[1] = -1;
  }
  std::string drain() {
    closeWrite();
    std::string text;
    char buf[64];
    for (ssize_t n; (n = ::read(fds_[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
    return text;
  }

 private:
  int fds_[2] = {-1, -1};
};

TEST(ResultExit, WritesTheWholeValueAsDecimalText) {
  const uint32_t values[] = {0, 1, 255, 256, 25601, 65535, 3973271957u, 0xFFFFFFFFu};
  for (uint32_t v : values) {
    Pipe p;
    EXPECT_TRUE(reportResult(std::to_string(p.writeEnd()).c_str(), v));
    EXPECT_EQ(p.drain(), std::to_string(v) + "\n");
  }
}

TEST(ResultExit, IgnoresWhatNamesNoOpenDescriptor) {
  Pipe closed;
  const std::string closedFd = std::to_string(closed.writeEnd());
  closed.closeWrite();
  for (const char* text : {static_cast<const char*>(nullptr), "", "abc", "3x", "-1",
                           "99999999999", closedFd.c_str()}) {
    EXPECT_FALSE(reportResult(text, 7)) << (text ? text : "(null)");
  }
}

TEST(ResultExit, FinishReportsAndKeepsTheLowByte) {
  struct Case {
    uint32_t value;
    int status;
  };
  for (const Case c : {Case{3973271957u, 0x95}, Case{25601, 0x01}, Case{65535, 0xFF}, Case{1, 1},
                       Case{0, 0}}) {
    Pipe p;
    ASSERT_EQ(::setenv(kResultFdVariable, std::to_string(p.writeEnd()).c_str(), 1), 0);
    EXPECT_EQ(finish(c.value), c.status);
    ::unsetenv(kResultFdVariable);
    EXPECT_EQ(p.drain(), std::to_string(c.value) + "\n");
  }
  EXPECT_EQ(finish(259), 3);  // without the variable: only the status
}

}  // namespace
}  // namespace devcmd
#endif
