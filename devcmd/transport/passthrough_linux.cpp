// Linux SCSI generic (SG_IO) on a device node, and the choice of what a drive argument
// opens on this platform: a simulated player, a mapped device node or a path.
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "devcmd/transport/passthrough.h"
#include "base/ascii.h"
#include "base/tool_environment.h"

namespace devcmd {
namespace {

constexpr uint8_t kSenseSize = 32;
constexpr unsigned kHostTimeOut = 0x03;     // DID_TIME_OUT
constexpr unsigned kDriverErrorMask = 0x07;  // driver status without the sense flag

class LinuxPassThrough final : public PassThrough {
 public:
  explicit LinuxPassThrough(int fd) : fd_(fd) {}
  ~LinuxPassThrough() override { ::close(fd_); }
  LinuxPassThrough(const LinuxPassThrough&) = delete;
  LinuxPassThrough& operator=(const LinuxPassThrough&) = delete;

  bool send(const Request& req) override {
    const bool in = req.dir == DataDir::In;
    if (in && req.data != nullptr && req.length > 0) std::memset(req.data, 0, req.length);

    uint8_t cdb[16];
    std::memcpy(cdb, req.cdb, sizeof cdb);
    uint8_t sense[kSenseSize] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.cmd_len = req.cdbLength;
    io.cmdp = cdb;
    io.mx_sb_len = kSenseSize;
    io.sbp = sense;
    io.dxfer_len = req.length;
    io.dxferp = req.data;
    io.dxfer_direction =
        req.length == 0 ? SG_DXFER_NONE : (in ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV);
    io.timeout = req.timeoutSeconds * 1000u;

    // Like the Windows call, success means the transfer went through; the SCSI status
    // and sense data are not judged here.
    bool ok = ::ioctl(fd_, SG_IO, &io) == 0;
    if (!ok) {
      lastError_ = static_cast<uint32_t>(errno);
    } else if (io.host_status != 0 || (io.driver_status & kDriverErrorMask) != 0) {
      ok = false;
      lastError_ = io.host_status == kHostTimeOut ? ETIMEDOUT : EIO;
    } else {
      lastError_ = 0;
    }
    if (!ok && in && req.data != nullptr && req.length > 0) std::memset(req.data, 0, req.length);
    return ok;
  }

  uint32_t lastError() const override { return lastError_; }

 private:
  int fd_;
  uint32_t lastError_ = 0;
};

bool isDriveLetter(const std::string& arg) {
  return arg.size() == 2 && std::isalpha(static_cast<unsigned char>(arg[0])) && arg[1] == ':';
}

std::unique_ptr<PassThrough> openPath(const std::string& path, uint32_t& error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = static_cast<uint32_t>(errno);
    return nullptr;
  }
  error = 0;
  return std::make_unique<LinuxPassThrough>(fd);
}

}  // namespace

std::unique_ptr<PassThrough> openDrive(const std::string& driveArg, uint32_t& error) {
  if (!driveArg.empty() && driveArg[0] == '/') return openPath(driveArg, error);
  if (isDriveLetter(driveArg)) {
    const char letter = tarn::asciiUpper(driveArg[0]);
#ifdef TARN_HAVE_SIM
    if (const std::string root = tarn::simRootFromEnvironment(); !root.empty())
      return openSimulatedDrive(root, letter, error);
#endif
    const std::string var = std::string("DEVCMD_DRIVE_") + letter;
    if (const char* path = std::getenv(var.c_str()); path != nullptr && *path != '\0')
      return openPath(path, error);
  }
  error = ENOENT;  // what Windows reports for a drive that is not there (2)
  return nullptr;
}

}  // namespace devcmd
