// One station per machine on POSIX: an flock held on <folder>/<name>.lock for the
// program's life (the system drops it if the program dies), and a local socket beside it
// on which a later start asks the running station to come forward.
#include "platform/single_instance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace platform {
namespace {

bool socketAddress(const std::string& path, sockaddr_un& addr) {
  std::memset(&addr, 0, sizeof addr);
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.data(), path.size());
  return true;
}

class PosixInstanceLock : public InstanceLock {
 public:
  PosixInstanceLock(int lockFd, std::string socketPath)
      : lockFd_(lockFd), socketPath_(std::move(socketPath)) {
    if (::pipe(wake_) != 0) wake_[0] = wake_[1] = -1;
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr;
    if (listenFd_ >= 0 && socketAddress(socketPath_, addr)) {
      ::unlink(socketPath_.c_str());  // left by a station that died: the lock is ours now
      if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
          ::listen(listenFd_, 4) == 0 && wake_[0] >= 0) {
        listener_ = std::thread([this] { listen(); });
        return;
      }
    }
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
  }

  ~PosixInstanceLock() override { release(); }

  void release() override {
    if (!held_) return;
    held_ = false;
    if (listener_.joinable()) {
      char c = 0;
      (void)!::write(wake_[1], &c, 1);
      listener_.join();
    }
    if (listenFd_ >= 0) {
      ::close(listenFd_);
      ::unlink(socketPath_.c_str());
    }
    for (int fd : wake_)
      if (fd >= 0) ::close(fd);
    if (lockFd_ >= 0) {
      ::flock(lockFd_, LOCK_UN);
      ::close(lockFd_);
    }
    lockFd_ = -1;
  }

  bool held() const override { return held_; }
  void setWindow(void*) override {}

  void onRaiseRequest(std::function<void()> raise) override {
    bool pending;
    {
      std::lock_guard<std::mutex> lock(mu_);
      raise_ = std::move(raise);
      pending = pending_ && raise_;
      pending_ = false;
    }
    if (pending) raise_();
  }

 private:
  void listen() {
    for (;;) {
      pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) continue;
      if (fds[1].revents) return;
      if (!(fds[0].revents & POLLIN)) continue;
      int c = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      char buf[16];
      ssize_t n = ::read(c, buf, sizeof buf);
      ::close(c);
      if (n <= 0) continue;
      std::function<void()> raise;
      {
        std::lock_guard<std::mutex> lock(mu_);
        if (!raise_) pending_ = true;
        raise = raise_;
      }
      if (raise) raise();
    }
  }

  int lockFd_;
  bool held_ = true;
  std::string socketPath_;
  int listenFd_ = -1;
  int wake_[2] = {-1, -1};
  std::thread listener_;
  std::mutex mu_;
  std::function<void()> raise_;
  bool pending_ = false;
};

bool askRunningToRaise(const std::string& socketPath) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un addr;
  bool ok = socketAddress(socketPath, addr) &&
            ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
            ::write(fd, "raise\n", 6) == 6;
  ::close(fd);
  return ok;
}

}  // namespace

InstanceCheck checkSingleInstance(const std::string& name, const std::string& folder) {
  InstanceCheck result;
  std::string base = folder + "/" + name;
  int fd = ::open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  // A folder where no lock can be made must not keep the station from working: it runs
  // unguarded.
  if (fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    result.lock = std::make_unique<PosixInstanceLock>(fd, base + ".sock");
    return result;
  }
  ::close(fd);
  result.reachedRunning = askRunningToRaise(base + ".sock");
  return result;
}

namespace {
class FlockClaim : public DeviceClaim {
 public:
  explicit FlockClaim(int fd) : fd_(fd) {}
  ~FlockClaim() override {
    if (fd_ >= 0) ::close(fd_);  // drops the lock
  }

 private:
  int fd_;
};
}  // namespace

std::unique_ptr<DeviceClaim> claimDevice(const std::string& name, const std::string& folder) {
  std::string path = folder + "/tarn-device-" + name + ".lock";
  // Any user's station must be able to lock the file another user's station made.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd >= 0) (void)::fchmod(fd, 0666);
  else fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<FlockClaim>(fd);
}

std::string machineLockFolder() {
  const char* v = std::getenv("TARN_DEVICE_LOCK_DIR");
  if (v && *v) return v;
  struct stat st;
  return ::stat("/run/lock", &st) == 0 && S_ISDIR(st.st_mode) ? "/run/lock" : "/tmp";
}

std::string defaultInstanceFolder() {
  for (const char* var : {"TARN_INSTANCE_DIR", "XDG_RUNTIME_DIR"}) {
    const char* v = std::getenv(var);
    if (v && *v) return v;
  }
  return "/tmp";
}

}  // namespace platform
