// Stands in for the system's format.com, which Wine does not have, in the Windows
// production test: the drives there are folders, so "formatting" empties the drive's root
// folder and gives it the label of /V: through the system's own SetVolumeLabelA.
//   format.com E: [/Q] /V:LABEL /FS:FAT|FAT32   (answers on standard input are read and
//   ignored, as the station redirects its response file there)
// Exit code 0 when done, 1 when the drive is missing or could not be emptied, 2 on a
// command line that the station would never give.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <string>

namespace {

bool emptyFolder(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((folder + "*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  bool ok = true;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    std::string path = folder + name;
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ok = emptyFolder(path + "\\") && RemoveDirectoryA(path.c_str()) && ok;
    else
      ok = DeleteFileA(path.c_str()) && ok;
  } while (FindNextFileA(h, &found));
  FindClose(h);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string drive, label, fs;
  bool sawLabel = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.size() == 2 && a[1] == ':' && std::isalpha(static_cast<unsigned char>(a[0]))) drive = a;
    else if (a.rfind("/V:", 0) == 0) label = a.substr(3), sawLabel = true;
    else if (a.rfind("/FS:", 0) == 0) fs = a.substr(4);
    else if (a != "/Q") return 2;
  }
  if (drive.empty() || !sawLabel || (fs != "FAT" && fs != "FAT32")) return 2;
  char answers[256];
  while (std::fread(answers, 1, sizeof answers, stdin) > 0) {
  }
  std::string root = drive + "\\";
  if (GetDriveTypeA(root.c_str()) <= DRIVE_NO_ROOT_DIR) return 1;
  if (!emptyFolder(root)) return 1;
  if (!SetVolumeLabelA(root.c_str(), label.empty() ? nullptr : label.c_str())) return 1;
  std::printf("Format complete.\n");
  return 0;
}
