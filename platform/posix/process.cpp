// POSIX launch-and-wait: posix_spawn without a shell, the full 32-bit result through a pipe
// named by DEVCMD_RESULT_FD, the child's end observed with waitpid.
#include "platform/process.h"

#include "base/tool_environment.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace platform {
namespace {

// The system tools (mkfs.fat, fsck.fat) live in sbin folders that an operator's PATH may
// lack.
std::string resolveProgram(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  std::string path = getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin";
  path += ":/usr/sbin:/sbin:/usr/local/sbin";
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    if (!dir.empty()) {
      std::string candidate = dir + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    start = end + 1;
  }
  return name;
}

struct Fd {
  int fd = -1;
  ~Fd() { reset(); }
  void reset() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
};

// Reads what is available without blocking; false at end of stream.
bool drain(int fd, std::string& into) {
  char buf[512];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n > 0) {
      into.append(buf, static_cast<size_t>(n));
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

constexpr unsigned kSliceMs = 2;

void sleepMs(unsigned ms) {
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace

ChildResult runChild(const ChildCommand& command, const WaitPolicy& policy) {
  ChildResult result;
  if (command.argv.empty()) return result;

  Fd chanRead, chanWrite, outRead, outWrite;
  int p[2];
  if (pipe2(p, O_CLOEXEC) != 0) return result;
  chanRead.fd = p[0];
  chanWrite.fd = p[1];
  if (command.output) {
    if (pipe2(p, O_CLOEXEC) != 0) return result;
    outRead.fd = p[0];
    outWrite.fd = p[1];
  }
  Fd devNull;
  devNull.fd = open("/dev/null", O_RDWR | O_CLOEXEC);

  std::string program = resolveProgram(command.argv[0]);
  std::vector<char*> argv;
  for (const auto& a : command.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  std::vector<std::string> envStore;
  const std::string chanVar = tarn::kResultChannelVariable;
  for (char** e = environ; e && *e; ++e) {
    std::string entry = *e;
    std::string key = entry.substr(0, entry.find('='));
    bool replaced = key == chanVar;
    for (const auto& kv : command.extraEnv) replaced = replaced || key == kv.first;
    if (!replaced) envStore.push_back(entry);
  }
  for (const auto& kv : command.extraEnv) envStore.push_back(kv.first + "=" + kv.second);
  envStore.push_back(chanVar + "=" + std::to_string(chanWrite.fd));
  std::vector<char*> envp;
  for (auto& e : envStore) envp.push_back(e.data());
  envp.push_back(nullptr);

  // posix_spawn shares the address space until exec (vfork semantics): no copy of a
  // threaded station's memory per child, and a failed exec is its return value.
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return result;
  // Dup onto itself clears close-on-exec: the one descriptor the child inherits.
  posix_spawn_file_actions_adddup2(&actions, chanWrite.fd, chanWrite.fd);
  if (outWrite.fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outWrite.fd, 1);
    // a caller that reads the output wants no chatter
    if (devNull.fd >= 0) posix_spawn_file_actions_adddup2(&actions, devNull.fd, 2);
  } else if (devNull.fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, devNull.fd, 1);
  }
  if (devNull.fd >= 0) posix_spawn_file_actions_adddup2(&actions, devNull.fd, 0);
  pid_t pid = -1;
  int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return result;
  chanWrite.reset();
  outWrite.reset();
  fcntl(chanRead.fd, F_SETFL, O_NONBLOCK);
  if (outRead.fd >= 0) fcntl(outRead.fd, F_SETFL, O_NONBLOCK);

  std::string channel, output;
  bool chanOpen = true, outOpen = outRead.fd >= 0;
  int status = 0;
  unsigned polls = 0;
  for (;;) {
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0 && errno != EINTR) return result;  // not our child any more
    pollfd fds[2];
    nfds_t n = 0;
    if (chanOpen) fds[n++] = {chanRead.fd, POLLIN, 0};
    if (outOpen) fds[n++] = {outRead.fd, POLLIN, 0};
    int ready = 0;
    if (n > 0) {
      ready = poll(fds, n, static_cast<int>(policy.pollMs));
      if (ready < 0 && errno != EINTR) ready = 0;
    } else if (!policy.pump && policy.maxPolls == 0) {
      // Nothing to read and nobody to serve: block in the OS wait itself.
      if (waitpid(pid, &status, 0) == pid) break;
      continue;
    } else {
      // The poll interval in short slices, so that the child's end is seen at once and
      // not only when the interval is over (a 500 ms format poll would cost 500 ms).
      bool ended = false;
      for (unsigned waited = 0; waited < policy.pollMs && !ended; waited += kSliceMs) {
        if (waitpid(pid, &status, WNOHANG) == pid) ended = true;
        else sleepMs(std::min(kSliceMs, policy.pollMs - waited));
      }
      if (ended) break;
    }
    if (ready > 0) {
      if (chanOpen) chanOpen = drain(chanRead.fd, channel);
      if (outOpen) outOpen = drain(outRead.fd, output);
      continue;  // data or end of stream, not a poll interval gone by
    }
    if (policy.pump) policy.pump();
    if (policy.maxPolls != 0 && ++polls >= policy.maxPolls) {
      // Left running as on Windows; a helper reaps it so no zombie stays behind.
      std::thread([pid] { int s; waitpid(pid, &s, 0); }).detach();
      result.outcome = ChildOutcome::StillRunning;
      return result;
    }
  }
  if (chanOpen) drain(chanRead.fd, channel);
  if (outOpen) drain(outRead.fd, output);
  if (command.output) *command.output = output;

  result.outcome = ChildOutcome::Ended;
  uint32_t value = 0;
  if (parseResultChannel(channel, value)) result.exitCode = value;
  else if (WIFEXITED(status)) result.exitCode = static_cast<uint32_t>(WEXITSTATUS(status));
  else result.exitCode = kChildKilled;
  return result;
}

void setEnvironment(const std::string& name, const std::string& value) {
  ::setenv(name.c_str(), value.c_str(), 1);
}

void keepStopSignalsAway() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);
}

}  // namespace platform
