// Windows storage pass-through (SPTI) on a drive opened as \\.\E:, and the choice of
// what a drive argument opens: a simulated player when TARN_SIM is set, else the drive.
#include <windows.h>
#include <ntddscsi.h>

#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "devcmd/transport/passthrough.h"
#include "devcmd/transport/spti_record.h"
#include "base/tool_environment.h"

namespace devcmd {
namespace {

using spti::kNativeWidth;

// The byte builder must agree with this platform's own header, or the driver refuses it.
constexpr spti::HeaderLayout kLayout = spti::headerLayout(kNativeWidth);
static_assert(sizeof(SCSI_PASS_THROUGH) == kLayout.size);
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == kLayout.size);
static_assert(offsetof(SCSI_PASS_THROUGH, DataBufferOffset) == kLayout.dataBuffer);
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == kLayout.dataBuffer);
static_assert(offsetof(SCSI_PASS_THROUGH, SenseInfoOffset) == kLayout.senseInfoOffset);
static_assert(offsetof(SCSI_PASS_THROUGH, Cdb) == kLayout.cdb);
static_assert(IOCTL_SCSI_PASS_THROUGH == spti::kIoctlScsiPassThrough);
static_assert(IOCTL_SCSI_PASS_THROUGH_DIRECT == spti::kIoctlScsiPassThroughDirect);

class Win32PassThrough final : public PassThrough {
 public:
  explicit Win32PassThrough(HANDLE h) : handle_(h) {}
  ~Win32PassThrough() override { CloseHandle(handle_); }
  Win32PassThrough(const Win32PassThrough&) = delete;
  Win32PassThrough& operator=(const Win32PassThrough&) = delete;

  bool send(const Request& req) override {
    DWORD returned = 0;  // not looked at
    BOOL ok = FALSE;
    if (req.dir == DataDir::In) {
      if (req.length > spti::kDataAreaSize) {
        lastError_ = ERROR_INVALID_PARAMETER;
        return false;
      }
      alignas(8) spti::BufferedRecord rec = spti::buildBufferedRecord(req, kNativeWidth);
      ok = DeviceIoControl(handle_, IOCTL_SCSI_PASS_THROUGH, rec.data(),
                           spti::bufferedInputLength(kNativeWidth), rec.data(),
                           spti::bufferedOutputLength(req), &returned, nullptr);
      lastError_ = GetLastError();
      // Copied whether or not the call succeeded: a failed call leaves the zeros.
      if (req.data != nullptr && req.length > 0)
        std::memcpy(req.data, rec.data() + spti::kDataOffset, req.length);
    } else {
      alignas(8) spti::DirectRecord rec = spti::buildDirectRecord(
          req, kNativeWidth, static_cast<uint64_t>(reinterpret_cast<uintptr_t>(req.data)));
      ok = DeviceIoControl(handle_, IOCTL_SCSI_PASS_THROUGH_DIRECT, rec.data(),
                           static_cast<DWORD>(rec.size()), rec.data(),
                           static_cast<DWORD>(rec.size()), &returned, nullptr);
      lastError_ = GetLastError();
    }
    return ok != FALSE;
  }

  uint32_t lastError() const override { return lastError_; }

 private:
  HANDLE handle_;
  DWORD lastError_ = 0;
};

}  // namespace

std::unique_ptr<PassThrough> openDrive(const std::string& driveArg, uint32_t& error) {
#ifdef TARN_HAVE_SIM
  const bool letter = driveArg.size() == 2 && driveArg[1] == ':' &&
                      std::isalpha(static_cast<unsigned char>(driveArg[0]));
  if (const std::string root = tarn::simRootFromEnvironment(); letter && !root.empty())
    return openSimulatedDrive(root, driveArg[0], error);
#endif
  const std::string path = "\\\\.\\" + driveArg;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return nullptr;
  }
  error = 0;
  return std::make_unique<Win32PassThrough>(h);
}

}  // namespace devcmd
