// The system's own volume services; format.com and chkdsk.exe run through the command
// processor, hidden, each watched for a bounded number of looks.
#include "platform/volume.h"

#include "platform/process.h"

#include <windows.h>

namespace platform {
namespace {

std::string processorPath() {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  bool nt = GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  char systemDir[MAX_PATH + 1] = {};
  char windowsDir[MAX_PATH + 1] = {};
  if (nt) GetSystemDirectoryA(systemDir, MAX_PATH);
  else GetWindowsDirectoryA(windowsDir, MAX_PATH);
  return commandProcessor(nt, systemDir, windowsDir);
}

std::string rootOf(char drive) {
  std::string root(1, drive);
  return root + ":\\";
}

class WindowsVolumes : public Volumes {
 public:
  bool format(char drive, bool quick, bool fat32, const std::string& label,
              const std::function<void()>& pump) override {
    ChildCommand cmd;
    cmd.windowsLine = formatCommandLine(processorPath(), drive, quick, label, fat32);
    cmd.window = ChildWindow::Hidden;
    ChildResult r = runChild(cmd, {kFormatPollMs, kFormatMaxPolls, pump});
    return r.ended() && r.exitCode == 0;
  }

  bool setLabel(char drive, const std::string& label) override {
    return SetVolumeLabelA(rootOf(drive).c_str(), label.c_str()) != 0;
  }

  std::string readLabel(char drive) override {
    char name[256] = {};
    if (!GetVolumeInformationA(rootOf(drive).c_str(), name, 255, nullptr, nullptr, nullptr,
                               nullptr, 0))
      return "";
    return name;
  }

  bool isReadable(char drive) override {
    DWORD spc, bps, freeClusters, clusters;
    return GetDiskFreeSpaceA(rootOf(drive).c_str(), &spc, &bps, &freeClusters, &clusters) != 0;
  }

  bool copyToRoot(const std::string& source, char drive, const std::string& name) override {
    return CopyFileA(source.c_str(), (rootOf(drive) + name).c_str(), FALSE) != 0;
  }

  bool check(char drive) override {
    ChildCommand cmd;
    cmd.windowsLine = checkCommandLine(processorPath(), drive);
    cmd.window = ChildWindow::Hidden;
    // Still running after the last look counts as exit code 1: not a success.
    ChildResult r = runChild(cmd, {kCheckPollMs, kCheckMaxPolls, {}});
    return r.ended() && r.exitCode == 0;
  }
};

}  // namespace

std::unique_ptr<Volumes> makeVolumes() { return std::make_unique<WindowsVolumes>(); }

}  // namespace platform
