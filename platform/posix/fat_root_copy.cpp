#include "platform/posix/fat_root_copy.h"

#include "platform/posix/fat_names.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif

namespace platform {
namespace {

using namespace fatnames;

uint32_t le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t le32(const uint8_t* p) { return le16(p) | (le16(p + 2) << 16); }
void put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

// pread and pwrite may do part of what is asked.
template <typename Io, typename Byte>
bool whole(Io io, int fd, Byte* p, size_t bytes, uint64_t at) {
  while (bytes > 0) {
    ssize_t n = io(fd, p, bytes, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    at += static_cast<uint64_t>(n);
    bytes -= static_cast<size_t>(n);
  }
  return true;
}

bool readAll(int fd, void* buffer, size_t bytes, uint64_t at) {
  return whole(::pread, fd, static_cast<uint8_t*>(buffer), bytes, at);
}

bool writeAll(int fd, const void* buffer, size_t bytes, uint64_t at) {
  return whole(::pwrite, fd, static_cast<const uint8_t*>(buffer), bytes, at);
}

// Where everything is, from the boot sector. A boot sector without a 16-bit FAT size is
// FAT32 (as dosfstools and Linux read it, whatever the number of clusters); otherwise
// fewer than 4085 clusters make FAT12.
struct Layout {
  uint32_t sectorBytes = 0, clusterSectors = 0, reserved = 0, fats = 0, fatSectors = 0;
  uint32_t rootEntries = 0, rootSectors = 0, dataStart = 0, clusters = 0;
  uint32_t rootCluster = 0, fsInfoSector = 0;
  int bits = 0;

  uint64_t clusterBytes() const { return uint64_t{clusterSectors} * sectorBytes; }
  uint64_t clusterOffset(uint32_t c) const {
    return (uint64_t{dataStart} + uint64_t{c - 2} * clusterSectors) * sectorBytes;
  }
  uint64_t fatOffset(uint32_t copy) const {
    return (uint64_t{reserved} + uint64_t{copy} * fatSectors) * sectorBytes;
  }
  uint32_t endOfChain() const { return bits == 12 ? 0xFFF : bits == 16 ? 0xFFFF : 0x0FFFFFFF; }
  bool isCluster(uint32_t c) const { return c >= 2 && c < clusters + 2; }
};

std::optional<Layout> readLayout(const uint8_t* boot, uint64_t volumeBytes) {
  Layout l;
  l.sectorBytes = le16(boot + 11);
  l.clusterSectors = boot[13];
  l.reserved = le16(boot + 14);
  l.fats = boot[16];
  l.rootEntries = le16(boot + 17);
  uint32_t total = le16(boot + 19) ? le16(boot + 19) : le32(boot + 32);
  const bool fat32 = le16(boot + 22) == 0;
  l.fatSectors = fat32 ? le32(boot + 36) : le16(boot + 22);
  const bool powerOfTwo = l.clusterSectors && !(l.clusterSectors & (l.clusterSectors - 1));
  if (boot[510] != 0x55 || boot[511] != 0xAA || !powerOfTwo || l.reserved == 0 || l.fats == 0 ||
      l.fatSectors == 0 ||
      (l.sectorBytes != 512 && l.sectorBytes != 1024 && l.sectorBytes != 2048 &&
       l.sectorBytes != 4096) ||
      uint64_t{total} * l.sectorBytes > volumeBytes)
    return std::nullopt;
  l.rootSectors = (l.rootEntries * 32 + l.sectorBytes - 1) / l.sectorBytes;
  uint64_t data = uint64_t{l.reserved} + uint64_t{l.fats} * l.fatSectors + l.rootSectors;
  if (data >= total) return std::nullopt;
  l.dataStart = static_cast<uint32_t>(data);
  l.clusters = static_cast<uint32_t>((total - data) / l.clusterSectors);
  l.bits = fat32 ? 32 : l.clusters < 4085 ? 12 : 16;
  if (l.bits == 16 && l.clusters >= 65525) return std::nullopt;  // numbers it cannot hold
  if (fat32) {
    l.rootCluster = le32(boot + 44);
    l.fsInfoSector = le16(boot + 48);
    if (l.rootEntries != 0 || !l.isCluster(l.rootCluster)) return std::nullopt;
  } else if (l.rootEntries == 0) {
    return std::nullopt;
  }
  // The FAT must have an entry for every cluster.
  if ((uint64_t{l.clusters} + 2) * l.bits > uint64_t{l.fatSectors} * l.sectorBytes * 8)
    return std::nullopt;
  return l;
}

// The first FAT, read a part at a time as entries are asked for (a large volume's FAT is
// megabytes, most of it never needed); changed sectors go to every copy.
class FatTable {
 public:
  FatTable(int fd, const Layout& l)
      : fd_(fd), l_(l),
        fatBytes_(uint64_t{l.fatSectors} * l.sectorBytes),
        // FAT12 entries straddle any part boundary but the table's end; its table is small.
        partBytes_(l.bits == 12 ? fatBytes_ : 64u << 10) {}

  // A cluster that cannot be read counts as bad: never free, never followed.
  uint32_t get(uint32_t c) {
    uint64_t at = entryOffset(c);
    const uint8_t* p = bytes(at);
    if (!p) return 0x0FFFFFF7;
    if (l_.bits == 12) return c & 1 ? le16(p) >> 4 : le16(p) & 0xFFF;
    if (l_.bits == 16) return le16(p);
    return le32(p) & 0x0FFFFFFF;
  }

  void set(uint32_t c, uint32_t value) {
    uint64_t at = entryOffset(c);
    uint8_t* p = bytes(at);
    if (!p) return;
    if (l_.bits == 12) {
      uint32_t old = le16(p);
      put16(p, c & 1 ? (old & 0x000F) | (value << 4) : (old & 0xF000) | (value & 0xFFF));
    } else if (l_.bits == 16) {
      put16(p, value);
    } else {
      put32(p, (le32(p) & 0xF0000000) | (value & 0x0FFFFFFF));
    }
    for (uint64_t sector : {at / l_.sectorBytes, (at + (l_.bits == 12)) / l_.sectorBytes})
      if (sector != lastDirty_) dirty_.insert(lastDirty_ = sector);
  }

  bool failed() const { return failed_; }

  // Changed sectors, runs of them in one write, to each copy of the table.
  bool flush() {
    for (auto it = dirty_.begin(); it != dirty_.end();) {
      uint64_t first = *it, last = first;
      while (++it != dirty_.end() && *it == last + 1) last = *it;
      uint64_t at = first * l_.sectorBytes, bytes = (last - first + 1) * l_.sectorBytes;
      for (uint32_t copy = 0; copy < l_.fats; ++copy)
        for (uint64_t done = 0; done < bytes;) {
          uint64_t part = (at + done) / partBytes_ * partBytes_;
          uint64_t n = std::min(bytes - done, part + partBytes_ - (at + done));
          if (!writeAll(fd_, parts_[part].data() + (at + done - part), n,
                        l_.fatOffset(copy) + at + done))
            return false;
          done += n;
        }
    }
    dirty_.clear();
    lastDirty_ = UINT64_MAX;
    return true;
  }

 private:
  uint64_t entryOffset(uint32_t c) const {
    return l_.bits == 12 ? c + c / 2 : l_.bits == 16 ? uint64_t{c} * 2 : uint64_t{c} * 4;
  }

  uint8_t* bytes(uint64_t at) {
    uint64_t part = at / partBytes_ * partBytes_;
    if (last_ && part == lastPart_) return last_ + (at - part);
    auto found = parts_.find(part);
    if (found == parts_.end()) {
      std::vector<uint8_t> loaded(std::min(partBytes_, fatBytes_ - part));
      if (!readAll(fd_, loaded.data(), loaded.size(), l_.fatOffset(0) + part)) {
        failed_ = true;
        return nullptr;
      }
      found = parts_.emplace(part, std::move(loaded)).first;
    }
    lastPart_ = part;
    last_ = found->second.data();
    return last_ + (at - part);
  }

  int fd_;
  const Layout& l_;
  uint64_t fatBytes_, partBytes_;
  std::map<uint64_t, std::vector<uint8_t>> parts_;
  std::set<uint64_t> dirty_;
  uint64_t lastDirty_ = UINT64_MAX, lastPart_ = 0;
  uint8_t* last_ = nullptr;  // the part asked for last: files are chained cluster after cluster
  bool failed_ = false;
};

// Clusters taken and given back as files are written; the free count and the hint of
// where to look next are kept for FAT32's information sector.
class Clusters {
 public:
  Clusters(FatTable& fat, const Layout& l, uint32_t hint) : fat_(fat), l_(l) {
    next_ = l.isCluster(hint) ? hint : 2;
  }

  // `count` free clusters chained in order, first fit from where the last allocation
  // ended (so one file after another lies in one run on a fresh volume); empty when the
  // volume has fewer.
  std::vector<uint32_t> take(uint64_t count) {
    std::vector<uint32_t> got;
    if (count == 0) return got;
    if (count > l_.clusters) return got;
    got.reserve(count);
    uint32_t c = next_;
    for (uint32_t looked = 0; looked < l_.clusters && got.size() < count; ++looked) {
      if (fat_.get(c) == 0) got.push_back(c);
      c = c + 1 < l_.clusters + 2 ? c + 1 : 2;
    }
    if (got.size() < count || fat_.failed()) return {};
    chain(got);
    next_ = c;
    return got;
  }

  // The clusters linked in order, the last one ending the chain.
  void chain(const std::vector<uint32_t>& clusters) {
    for (size_t i = 0; i < clusters.size(); ++i)
      fat_.set(clusters[i], i + 1 < clusters.size() ? clusters[i + 1] : l_.endOfChain());
    taken_ += static_cast<int64_t>(clusters.size());
  }

  void giveBack(const std::vector<uint32_t>& chain) {
    for (uint32_t c : chain) fat_.set(c, 0);
    taken_ -= static_cast<int64_t>(chain.size());
  }

  // The clusters of the chain from `first`, in order; a chain that leaves the volume or
  // loops ends there.
  std::vector<uint32_t> chainFrom(uint32_t first) {
    std::vector<uint32_t> chain;
    for (uint32_t c = first; l_.isCluster(c) && chain.size() < l_.clusters;) {
      chain.push_back(c);
      uint32_t next = fat_.get(c);
      if (next >= (l_.endOfChain() & ~7u) || next == c) break;
      c = next;
    }
    return chain;
  }

  uint32_t next() const { return next_; }
  int64_t taken() const { return taken_; }

 private:
  FatTable& fat_;
  const Layout& l_;
  uint32_t next_;
  int64_t taken_ = 0;
};

// The root directory's sectors, wherever they lie: a fixed area on FAT12/16, a chain of
// clusters on FAT32 (which grows by a cluster when it is full).
class RootDirectory {
 public:
  RootDirectory(int fd, const Layout& l, Clusters& clusters, FatTable& fat)
      : fd_(fd), l_(l), clusters_(clusters), fat_(fat) {}

  bool load() {
    if (l_.bits != 32) {
      uint64_t first = uint64_t{l_.reserved} + uint64_t{l_.fats} * l_.fatSectors;
      for (uint32_t s = 0; s < l_.rootSectors; ++s) sectors_.push_back((first + s) * l_.sectorBytes);
    } else {
      chain_ = clusters_.chainFrom(l_.rootCluster);
      if (chain_.size() > maxClusters()) return false;  // a FAT that chains the volume
      for (uint32_t c : chain_) addCluster(c);
    }
    bytes_.resize(sectors_.size() * l_.sectorBytes);
    for (size_t s = 0; s < sectors_.size(); ++s)
      if (!readAll(fd_, bytes_.data() + s * l_.sectorBytes, l_.sectorBytes, sectors_[s]))
        return false;
    return !fat_.failed();
  }

  size_t entries() const { return bytes_.size() / 32; }
  uint8_t* entry(size_t i) { return bytes_.data() + i * 32; }
  void touched(size_t i) { dirty_.insert(i * 32 / l_.sectorBytes); }

  // One more cluster of free entries; false on FAT12/16 or a full volume.
  bool grow() {
    if (l_.bits != 32 || chain_.size() >= maxClusters()) return false;
    std::vector<uint32_t> c = clusters_.take(1);
    if (c.empty()) return false;
    fat_.set(chain_.back(), c[0]);
    chain_.push_back(c[0]);
    size_t before = sectors_.size();
    addCluster(c[0]);
    bytes_.resize(sectors_.size() * l_.sectorBytes, 0);
    for (size_t s = before; s < sectors_.size(); ++s) dirty_.insert(s);
    return true;
  }

  bool flush() {
    for (size_t s : dirty_)
      if (!writeAll(fd_, bytes_.data() + s * l_.sectorBytes, l_.sectorBytes, sectors_[s]))
        return false;
    dirty_.clear();
    return true;
  }

 private:
  // A directory holds at most 65536 entries.
  uint64_t maxClusters() const { return std::max<uint64_t>(1, (65536 * 32) / l_.clusterBytes()); }

  void addCluster(uint32_t c) {
    for (uint32_t s = 0; s < l_.clusterSectors; ++s)
      sectors_.push_back(l_.clusterOffset(c) + uint64_t{s} * l_.sectorBytes);
  }

  int fd_;
  const Layout& l_;
  Clusters& clusters_;
  FatTable& fat_;
  std::vector<uint32_t> chain_;
  std::vector<uint64_t> sectors_;
  std::vector<uint8_t> bytes_;
  std::set<size_t> dirty_;
};

// A moment as a directory entry keeps it: local time, two-second steps (and tenths).
struct DosTime {
  uint16_t date = 0, time = 0;
  uint8_t tenths = 0;
  explicit DosTime(std::time_t when) {
    std::tm t{};
    localtime_r(&when, &t);
    if (t.tm_year < 80 || t.tm_year > 207) {  // outside the years a FAT date can hold
      const bool early = t.tm_year < 80;
      t = std::tm{};
      t.tm_year = early ? 80 : 207;
      t.tm_mon = early ? 0 : 11;
      t.tm_mday = early ? 1 : 31;
      t.tm_hour = early ? 0 : 23;
      t.tm_min = early ? 0 : 59;
      t.tm_sec = early ? 0 : 58;
    }
    date = static_cast<uint16_t>(((t.tm_year - 80) << 9) | ((t.tm_mon + 1) << 5) | t.tm_mday);
    time = static_cast<uint16_t>((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec / 2));
    tenths = static_cast<uint8_t>((t.tm_sec % 2) * 100);
  }
};

// A file already in the root under the name asked for.
struct Existing {
  size_t shortEntry = 0;
  bool folder = false;
};

// --- data ---

// File contents onto their clusters: a megabyte at a time, past the page cache where the
// volume is a block device (the data is not read again, and the cache would cost a copy).
class DataWriter {
 public:
  DataWriter(int fd, const std::string& target, const Layout& l) : fd_(fd), l_(l) {
    buffer_.reset(static_cast<uint8_t*>(std::aligned_alloc(4096, kChunk)));
#ifdef __linux__
    struct stat st;
    int blockBytes = 0;
    if (fstat(fd, &st) == 0 && S_ISBLK(st.st_mode) && ioctl(fd, BLKSSZGET, &blockBytes) == 0 &&
        blockBytes > 0 && blockBytes <= 4096) {
      direct_ = open(target.c_str(), O_WRONLY | O_DIRECT | O_CLOEXEC);
      align_ = static_cast<uint64_t>(blockBytes);
    }
#else
    (void)target;
#endif
  }
  ~DataWriter() {
    if (direct_ >= 0) close(direct_);
  }
  DataWriter(const DataWriter&) = delete;
  DataWriter& operator=(const DataWriter&) = delete;

  bool write(int source, uint64_t size, const std::vector<uint32_t>& chain) {
    if (!buffer_) return false;
    uint64_t done = 0;
    for (size_t i = 0; i < chain.size();) {
      size_t run = 1;
      while (i + run < chain.size() && chain[i + run] == chain[i] + run) ++run;
      uint64_t at = l_.clusterOffset(chain[i]);
      uint64_t room = uint64_t{run} * l_.clusterBytes();
      while (room > 0 && done < size) {
        size_t n = static_cast<size_t>(std::min<uint64_t>({kChunk, room, size - done}));
        if (!readAll(source, buffer_.get(), n, done)) return false;
        if (!put(n, std::min<uint64_t>(room, kChunk), at)) return false;
        at += n;
        room -= n;
        done += n;
      }
      i += run;
    }
    return done == size;
  }

 private:
  static constexpr size_t kChunk = 1u << 20;

  // `n` bytes at `at`; a last part short of the device's block is filled up with zeros
  // within the cluster (`room`) so that it too can go past the cache.
  bool put(size_t n, uint64_t room, uint64_t at) {
    if (direct_ >= 0 && at % align_ == 0) {
      size_t padded = static_cast<size_t>((n + align_ - 1) / align_ * align_);
      if (padded <= room) {
        std::memset(buffer_.get() + n, 0, padded - n);
        if (writeAll(direct_, buffer_.get(), padded, at)) return true;
        if (errno != EINVAL) return false;
        close(direct_);  // the device refuses such writes: the cache, from now on
        direct_ = -1;
      }
    }
    return writeAll(fd_, buffer_.get(), n, at);
  }

  struct Free {
    void operator()(uint8_t* p) const { std::free(p); }
  };
  int fd_, direct_ = -1;
  uint64_t align_ = 512;
  const Layout& l_;
  std::unique_ptr<uint8_t, Free> buffer_;
};

// --- the volume ---

class RootCopier {
 public:
  RootCopier(int fd, const Layout& l, uint32_t hint, const std::string& target)
      : l_(l), fat_(fd, l), clusters_(fat_, l, hint), root_(fd, l, clusters_, fat_),
        data_(fd, target, l) {}

  bool load() { return root_.load(); }

  bool copy(const Volumes::RootCopy& file) {
    std::optional<std::u16string> name = longName(file.name);
    if (!name) return false;
    int source = open(file.source.c_str(), O_RDONLY | O_CLOEXEC);
    if (source < 0) return false;
    bool copied = copyFrom(source, *name);
    close(source);
    return copied;
  }

  int64_t taken() const { return clusters_.taken(); }
  uint32_t nextFree() const { return clusters_.next(); }
  // What a file that failed left changed: a cluster the root grew by.
  bool flush() { return fat_.flush() && root_.flush(); }

 private:
  bool copyFrom(int source, const std::u16string& name) {
    struct stat st;
    if (fstat(source, &st) != 0 || !S_ISREG(st.st_mode) || uint64_t(st.st_size) > 0xFFFFFFFFu)
      return false;
    const uint64_t size = static_cast<uint64_t>(st.st_size);
    std::set<ShortName> shortNames;
    std::optional<Existing> existing = find(name, shortNames);
    if (existing && existing->folder) return false;

    // The replaced file's clusters are free for the new one, as they are once it is gone.
    std::vector<uint32_t> old;
    if (existing) {
      const uint8_t* e = root_.entry(existing->shortEntry);
      uint32_t first = le16(e + 26) | (l_.bits == 32 ? le16(e + 20) << 16 : 0);
      old = clusters_.chainFrom(first);
      clusters_.giveBack(old);
    }
    std::vector<uint32_t> chain = clusters_.take((size + l_.clusterBytes() - 1) / l_.clusterBytes());
    size_t slot = 0;
    std::u16string spelled;
    ShortName raw{};
    bool placed = chain.size() * l_.clusterBytes() >= size && !fat_.failed();
    if (placed && !existing) {
      raw = shortNameFor(name, shortNames);
      spelled = shortDisplay(raw.data()) == name ? u"" : name;
      placed = freeSlots((spelled.size() + 12) / 13 + 1, slot);
    }
    if (!placed || !data_.write(source, size, chain)) {
      // Nothing of it reaches the FAT: its data stays in free clusters.
      clusters_.giveBack(chain);
      clusters_.chain(old);
      return false;
    }

    // Made now, last written when the source was, as the system's file copy keeps it.
    const DosTime now(std::time(nullptr)), written(st.st_mtime);
    uint32_t first = chain.empty() ? 0 : chain[0];
    uint8_t* e;
    if (existing) {
      e = root_.entry(existing->shortEntry);
      e[11] |= 0x20;
      root_.touched(existing->shortEntry);
    } else {
      e = writeNewEntries(slot, spelled, raw);
      std::memset(e + 11, 0, 21);
      e[11] = 0x20;  // archive
      e[13] = now.tenths;
      put16(e + 14, now.time);
      put16(e + 16, now.date);
      put16(e + 18, now.date);
    }
    if (l_.bits == 32) put16(e + 20, first >> 16);
    put16(e + 22, written.time);
    put16(e + 24, written.date);
    put16(e + 26, first & 0xFFFF);
    put32(e + 28, static_cast<uint32_t>(size));
    // The chain before the entry that names it: cut off here, a volume has lost clusters,
    // never a file that points at free ones.
    return fat_.flush() && root_.flush();
  }

  // The file named so (by its long or its short name), and every short name in use.
  std::optional<Existing> find(const std::u16string& name, std::set<ShortName>& shortNames) {
    std::optional<Existing> found;
    std::u16string lfn;
    int expected = 0;
    uint8_t checksum = 0;
    for (size_t i = 0; i < root_.entries(); ++i) {
      const uint8_t* e = root_.entry(i);
      if (e[0] == 0x00) break;
      if (e[0] == 0xE5) {
        expected = 0;
        lfn.clear();
        continue;
      }
      if ((e[11] & 0x3F) == 0x0F) {
        int ord = e[0] & 0x1F;
        if (e[0] & 0x40) {
          lfn.assign(static_cast<size_t>(ord) * 13, u'\0');
          expected = ord;
          checksum = e[13];
        }
        if (ord == 0 || ord != expected || e[13] != checksum) {
          expected = -1;
          continue;
        }
        static constexpr int kAt[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
        for (int k = 0; k < 13; ++k)
          lfn[static_cast<size_t>((ord - 1) * 13 + k)] = static_cast<char16_t>(le16(e + kAt[k]));
        --expected;
        continue;
      }
      bool hasLong = expected == 0 && !lfn.empty() && shortChecksum(e) == checksum;
      expected = 0;
      if (e[11] & 0x08) {  // the volume's label
        lfn.clear();
        continue;
      }
      ShortName raw;
      std::memcpy(raw.data(), e, 11);
      shortNames.insert(raw);
      std::u16string longOne = hasLong ? lfn.substr(0, lfn.find(u'\0')) : u"";
      if (!found && (sameName(shortDisplay(e), name) || (hasLong && sameName(longOne, name))))
        found = Existing{i, (e[11] & 0x10) != 0};
      lfn.clear();
    }
    return found;
  }

  // `count` free entries in a row; the root grows where it can.
  bool freeSlots(size_t count, size_t& slot) {
    for (;;) {
      size_t run = 0;
      for (size_t i = 0; i < root_.entries(); ++i) {
        uint8_t first = root_.entry(i)[0];
        run = first == 0x00 || first == 0xE5 ? run + 1 : 0;
        if (run == count) {
          slot = i + 1 - count;
          return true;
        }
      }
      if (!root_.grow()) return false;
    }
  }

  // The long name's entries (last part first), then the short entry's name; the short
  // entry itself is returned for its fields.
  uint8_t* writeNewEntries(size_t slot, const std::u16string& name, const ShortName& raw) {
    const size_t parts = (name.size() + 12) / 13;
    const uint8_t sum = shortChecksum(raw.data());
    static constexpr int kAt[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (size_t p = 0; p < parts; ++p) {
      size_t ord = parts - p;
      uint8_t* e = root_.entry(slot + p);
      std::memset(e, 0, 32);
      e[0] = static_cast<uint8_t>(ord | (p == 0 ? 0x40 : 0));
      e[11] = 0x0F;
      e[13] = sum;
      for (int k = 0; k < 13; ++k) {
        size_t at = (ord - 1) * 13 + static_cast<size_t>(k);
        put16(e + kAt[k], at < name.size() ? name[at] : at == name.size() ? 0x0000 : 0xFFFF);
      }
      root_.touched(slot + p);
    }
    uint8_t* e = root_.entry(slot + parts);
    std::memcpy(e, raw.data(), 11);
    root_.touched(slot + parts);
    return e;
  }

  const Layout& l_;
  FatTable fat_;
  Clusters clusters_;
  RootDirectory root_;
  DataWriter data_;
};

uint64_t volumeBytes(int fd) {
  struct stat st;
  if (fstat(fd, &st) != 0) return 0;
#ifdef __linux__
  uint64_t bytes = 0;
  if (S_ISBLK(st.st_mode)) return ioctl(fd, BLKGETSIZE64, &bytes) == 0 ? bytes : 0;
#endif
  return S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
}

}  // namespace

size_t copyOntoFatRoot(const std::string& target, const std::vector<Volumes::RootCopy>& files) {
  if (files.empty()) return 0;
  int fd = open(target.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return 0;
  uint8_t boot[512];
  std::optional<Layout> layout;
  if (readAll(fd, boot, sizeof boot, 0)) layout = readLayout(boot, volumeBytes(fd));
  // FAT32 keeps the free count and where the next free cluster may be in a sector of its
  // own; both are brought up to date with the table.
  std::vector<uint8_t> info;
  uint32_t hint = 2;
  if (layout && layout->bits == 32 && layout->fsInfoSector > 0 &&
      layout->fsInfoSector < layout->reserved) {
    info.resize(layout->sectorBytes);
    uint64_t at = uint64_t{layout->fsInfoSector} * layout->sectorBytes;
    if (!readAll(fd, info.data(), info.size(), at) || le32(info.data()) != 0x41615252 ||
        le32(info.data() + 484) != 0x61417272)
      info.clear();
    else
      hint = le32(info.data() + 492);
  }
  size_t copied = 0;
  bool sound = false;
  if (layout) {
    RootCopier copier(fd, *layout, hint, target);
    if (copier.load()) {
      while (copied < files.size() && copier.copy(files[copied])) ++copied;
      sound = copier.flush();
      if (!info.empty() && copier.taken() != 0) {
        uint32_t free = le32(info.data() + 488);
        if (free <= layout->clusters) put32(info.data() + 488, static_cast<uint32_t>(free - copier.taken()));
        put32(info.data() + 492, copier.nextFree());
        sound = writeAll(fd, info.data(), info.size(),
                         uint64_t{layout->fsInfoSector} * layout->sectorBytes);
      }
    }
  }
  // Written is not yet kept: only what the device has taken counts.
  if (fsync(fd) != 0) sound = false;
  close(fd);
  return sound ? copied : 0;
}

}  // namespace platform
