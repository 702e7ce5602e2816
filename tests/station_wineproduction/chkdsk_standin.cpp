// Stands in for the system's chkdsk.exe, which Wine does not have, in the Windows
// production test: a drive that is a folder has no file system to check, so the check
// passes when the system can read the drive's free space and fails (3, "could not check")
// otherwise.   chkdsk.exe E: /X
#include <windows.h>

#include <cctype>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) return 3;
  std::string drive = argv[1];
  if (drive.size() != 2 || drive[1] != ':' || !std::isalpha(static_cast<unsigned char>(drive[0])))
    return 3;
  DWORD spc, bps, freeClusters, clusters;
  return GetDiskFreeSpaceA((drive + "\\").c_str(), &spc, &bps, &freeClusters, &clusters) ? 0 : 3;
}
