// The copy phase on real Linux devices: the operator's files copied onto eight loop
// devices at once through the station's volume operations (written to the device nodes),
// against dd writing the same bytes to the same devices at once. Both phases end with the
// devices flushed. Needs root and loop devices; prints the reason and ends otherwise.
//   linux_copy_bench [DEVICE_MIB [FILE_MIB]]   (1024 and 8 by default; FAT32 on 256 MiB has
//   512-byte clusters). Four files a device: with 8 MiB each a side takes a fifth of a
//   second, so a busy machine moves the ratio; larger files show the steady rate.
//   The loop devices' backing files go to TMPDIR: on a disk, both sides' final flush waits
//   for it and its noise; TMPDIR=/dev/shm (8 GiB of memory) leaves only the copy itself.
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
constexpr int kRounds = 3;  // after one warm-up round

// Sectors read and written by the devices, from the kernel's counters.
struct DiskBytes {
  uint64_t read = 0, written = 0, readRequests = 0;
  DiskBytes operator-(const DiskBytes& o) const {
    return {read - o.read, written - o.written, readRequests - o.readRequests};
  }
};

DiskBytes diskBytes(const std::vector<std::unique_ptr<AttachedLoop>>& loops) {
  DiskBytes total;
  for (const auto& l : loops) {
    DiskStat s = diskStat(l->name());
    total.read += s.readBytes;
    total.written += s.writtenBytes;
    total.readRequests += s.readRequests;
  }
  return total;
}

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
  const unsigned fileMib = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 8;
  if (uint64_t{kFiles} * fileMib + 128 > deviceMib) {
    std::printf("linux_copy_bench: %u MiB devices cannot take %d files of %u MiB\n", deviceMib,
                kFiles, fileMib);
    return 2;
  }
  std::string why;
  if (!loopDevicesUsable(why)) {
    std::printf("linux_copy_bench: skipped: %s\n", why.c_str());
    return 0;
  }
  tarn::testing::TempFolder scratch("copybench");
  std::vector<std::string> files;
  for (int f = 0; f < kFiles; ++f) {
    std::string bytes(size_t{fileMib} << 20, '\0');
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
  // As in production the copy follows a fresh format (not timed): the files land on the
  // same clusters every round. Copies over the last round's files would be put on new
  // ones, and the backing file system would charge the first write to each of them.
  auto format = [&] {
    bool formatted = true;
    for (int d = 0; d < kDevices; ++d) {
      formatted = volumes->format(static_cast<char>('E' + d), false, true, "BENCH", [] {}) && formatted;
      flushDevice(loops[d]->node());
    }
    if (!formatted) std::printf("linux_copy_bench: format failed\n");
    return formatted;
  };

  // Each round runs both sides, in turn first: a shared machine's load then falls on both
  // alike. The first round only warms up (page cache, tools in memory).
  std::vector<double> ratios, readShares, readRequests;
  double copyBest = 1e9, ddBest = 1e9;
  for (int round = 0; round <= kRounds; ++round) {
    double copyTime = 0, ddTime = 0;
    DiskBytes copyBytes;
    for (int side = 0; side < 2; ++side) {
      if ((side == 0) == (round % 2 == 0)) {
        ddTime = atOnce([&](int d) {
          // The same bytes, past the volume's start, one dd a file as the copies go.
          for (int f = 0; f < kFiles; ++f)
            runTool({"dd", "if=" + files[f], "of=" + loops[d]->node(), "bs=1M", "conv=notrunc",
                     "seek=" + std::to_string(128 + f * fileMib), "status=none"});
          flushDevice(loops[d]->node());
        });
      } else {
        if (!format()) return 1;
        DiskBytes before = diskBytes(loops);
        bool ok = true;
        copyTime = atOnce([&](int d) {
          char letter = static_cast<char>('E' + d);
          std::vector<platform::Volumes::RootCopy> list;
          for (int f = 0; f < kFiles; ++f) list.push_back({files[f], "song" + std::to_string(f) + ".mp3"});
          if (volumes->copyAllToRoot(list, letter) != list.size()) ok = false;
          flushDevice(loops[d]->node());
        });
        if (!ok) {
          std::printf("linux_copy_bench: a copy failed\n");
          return 1;
        }
        copyBytes = diskBytes(loops) - before;
      }
    }
    if (round == 0) continue;
    ratios.push_back(ddTime / copyTime);  // throughput of copy over throughput of dd
    readShares.push_back(copyBytes.written ? double(copyBytes.read) / double(copyBytes.written) : 0);
    readRequests.push_back(double(copyBytes.readRequests) / kDevices);
    copyBest = std::min(copyBest, copyTime);
    ddBest = std::min(ddBest, ddTime);
  }
  const double mib = double{kDevices} * kFiles * fileMib;
  std::sort(ratios.begin(), ratios.end());
  std::sort(readShares.begin(), readShares.end());
  std::sort(readRequests.begin(), readRequests.end());
  double load[3] = {0, 0, 0};
  getloadavg(load, 3);
  std::printf("copy phase, %d loop devices of %u MiB (FAT32) at once, %d files of %u MiB each,"
              " %d rounds after a warm-up, sides in turn first; load average %.2f %.2f %.2f\n",
              kDevices, deviceMib, kFiles, fileMib, kRounds, load[0], load[1], load[2]);
  std::printf("  station copy (in-process FAT)  : best %.3f s  %.1f MiB/s\n", copyBest, mib / copyBest);
  std::printf("  dd of the same bytes:              best %.3f s  %.1f MiB/s\n", ddBest, mib / ddBest);
  std::printf("  ratio copy/dd throughput:  min %.2f  median %.2f  max %.2f (target min >= 1.0)\n",
              ratios.front(), ratios[ratios.size() / 2], ratios.back());
  std::printf("  device bytes read/written during the copy:  min %.3f  median %.3f  max %.3f"
              " (target < 0.10)\n",
              readShares.front(), readShares[readShares.size() / 2], readShares.back());
  std::printf("  device read requests a device during the copy (each one a wait):  min %.0f  median %.0f"
              "  max %.0f\n",
              readRequests.front(), readRequests[readRequests.size() / 2], readRequests.back());
  return 0;
}
