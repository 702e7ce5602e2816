#include "platform/volume.h"

namespace platform {

size_t copyInOrder(const std::vector<Volumes::RootCopy>& files,
                   const std::function<bool(const Volumes::RootCopy&)>& copyOne) {
  size_t copied = 0;
  while (copied < files.size() && copyOne(files[copied])) ++copied;
  return copied;
}

size_t Volumes::copyAllToRoot(const std::vector<RootCopy>& files, char drive) {
  return copyInOrder(files, [&](const RootCopy& f) { return copyToRoot(f.source, drive, f.name); });
}

std::string commandProcessor(bool ntFamily, const std::string& systemDir,
                             const std::string& windowsDir) {
  return ntFamily ? systemDir + "\\cmd.exe" : windowsDir + "\\Command\\command.com";
}

std::string formatCommandLine(const std::string& processor, char drive, bool quick,
                              const std::string& label, bool fat32) {
  std::string line = processor + " /c format.com ";
  line += drive;
  line += ":";
  if (quick) line += " /Q";
  line += " /V:" + label;
  line += " /FS:FAT";
  if (fat32) line += "32";
  line += " < .\\misc\\response.txt";
  return line;
}

std::string checkCommandLine(const std::string& processor, char drive) {
  std::string line = processor + " /c chkdsk.exe ";
  line += drive;
  line += ": /X";
  return line;
}

}  // namespace platform
