// The copy phase on real Linux devices: the operator's files copied onto eight loop
// devices at once through the station's volume operations (mtools on the device nodes),
// against dd writing the same bytes to the same devices at once. Both phases end with the
// devices flushed. Needs root and loop devices; prints the reason and ends otherwise.
//   linux_copy_bench [DEVICE_MIB]   (1024 by default; FAT32 on 256 MiB has 512-byte clusters)
#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "loop_devices.h"
#include "platform/drive_table.h"
#include "platform/linux/real_devices.h"

namespace {

using namespace tarn::test;
using Clock = std::chrono::steady_clock;

constexpr int kDevices = 8;
constexpr int kFiles = 4;
constexpr unsigned kFileMib = 8;
constexpr int kRounds = 3;

double seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

template <typename Work>
double atOnce(Work work) {
  auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int d = 0; d < kDevices; ++d) threads.emplace_back(work, d);
  for (auto& t : threads) t.join();
  return seconds(start);
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned deviceMib = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 1024;
  std::string why;
  if (!loopDevicesUsable(why)) {
    std::printf("linux_copy_bench: skipped: %s\n", why.c_str());
    return 0;
  }
  tarn::testing::TempFolder scratch("copybench");
  std::vector<std::string> files;
  for (int f = 0; f < kFiles; ++f) {
    std::string bytes(size_t{kFileMib} << 20, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 31 + f) >> 3);
    files.push_back(scratch.write("song" + std::to_string(f) + ".mp3", bytes));
  }
  std::vector<std::unique_ptr<AttachedLoop>> loops;
  platform::DriveTable table;
  for (int d = 0; d < kDevices; ++d) {
    // Backing files fully allocated, as a player's flash is: a sparse file would make
    // whichever phase writes to new places pay for the file system's allocation.
    std::string backing = scratch.sized("dev" + std::to_string(d) + ".img", uint64_t{deviceMib} << 20);
    int fd = open(backing.c_str(), O_RDWR);
    if (fd < 0 || posix_fallocate(fd, 0, static_cast<off_t>(uint64_t{deviceMib} << 20)) != 0) {
      std::printf("linux_copy_bench: skipped: no room for %u MiB devices\n", deviceMib);
      return 0;
    }
    close(fd);
    loops.push_back(std::make_unique<AttachedLoop>(backing, false));
    if (!loops.back()->ok()) {
      std::printf("linux_copy_bench: skipped: %s\n", loops.back()->error().c_str());
      return 0;
    }
    table.bind({loops.back()->name(), loops.back()->node(), "", 0});
  }
  auto volumes = platform::makeLinuxVolumes("/sys", table);
  for (int d = 0; d < kDevices; ++d)
    if (!volumes->format(static_cast<char>('E' + d), false, true, "BENCH", [] {})) {
      std::printf("linux_copy_bench: format failed\n");
      return 1;
    }

  const double mib = double{kDevices} * kFiles * kFileMib;
  std::vector<double> copyTimes, ddTimes;
  bool ok = true;
  for (int round = 0; round < kRounds; ++round) {
    ddTimes.push_back(atOnce([&](int d) {
      // The same bytes, past the volume's start, one dd a file as the copies go.
      for (int f = 0; f < kFiles; ++f)
        runTool({"dd", "if=" + files[f], "of=" + loops[d]->node(), "bs=1M", "conv=notrunc",
                 "seek=" + std::to_string(128 + f * kFileMib), "status=none"});
      flushDevice(loops[d]->node());
    }));
    copyTimes.push_back(atOnce([&](int d) {
      char letter = static_cast<char>('E' + d);
      for (int f = 0; f < kFiles; ++f)
        ok = volumes->copyToRoot(files[f], letter, "song" + std::to_string(f) + ".mp3") && ok;
      flushDevice(loops[d]->node());
    }));
  }
  if (!ok) {
    std::printf("linux_copy_bench: a copy failed\n");
    return 1;
  }
  std::sort(copyTimes.begin(), copyTimes.end());
  std::sort(ddTimes.begin(), ddTimes.end());
  const double copyRate = mib / copyTimes[kRounds / 2], ddRate = mib / ddTimes[kRounds / 2];
  std::printf("copy phase, %d loop devices of %u MiB (FAT32) at once, %d files of %u MiB each"
              " (median of %d):\n", kDevices, deviceMib, kFiles, kFileMib, kRounds);
  std::printf("  station copy (mcopy): %.3f s  %.1f MiB/s\n", copyTimes[kRounds / 2], copyRate);
  std::printf("  dd of the same bytes: %.3f s  %.1f MiB/s\n", ddTimes[kRounds / 2], ddRate);
  std::printf("  ratio copy/dd: %.2f\n", copyRate / ddRate);
  return 0;
}
