// Simulated players' arrivals and removals: tarnsim appends "<seq> plug E" or
// "<seq> unplug E" to <root>/events; the station follows the file like a log.
#include "platform/volume_events.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>

namespace platform {
namespace {

class SimVolumeEvents : public VolumeEvents {
 public:
  explicit SimVolumeEvents(std::string root) : path_(std::move(root) + "/events") {
    // Followed from the end as it stands; the lines before are counted, since a line's
    // number is judged by its place in the file.
    if (std::FILE* f = std::fopen(path_.c_str(), "rb")) {
      char buf[4096];
      size_t n;
      uint64_t lastEnd = 0;
      while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        for (size_t i = 0; i < n; ++i)
          if (buf[i] == '\n') ++lines_, lastEnd = offset_ + i + 1;
        offset_ += n;
      }
      std::fclose(f);
      offset_ = lastEnd;  // a line still being written is read when it is whole
    }
  }

  std::vector<VolumeNotice> poll() override {
    std::vector<VolumeNotice> out;
    std::FILE* f = std::fopen(path_.c_str(), "rb");
    if (!f) return out;
    std::fseek(f, 0, SEEK_END);
    long size = std::ftell(f);
    if (size >= 0 && static_cast<uint64_t>(size) < offset_) {
      // The simulation was set up anew: its file starts over.
      offset_ = 0;
      partial_.clear();
      lastSeq_ = 0;
      lines_ = 0;
    }
    std::fseek(f, static_cast<long>(offset_), SEEK_SET);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
      partial_.append(buf, n);
      offset_ += n;
    }
    std::fclose(f);
    size_t start = 0, end;
    while ((end = partial_.find('\n', start)) != std::string::npos) {
      ++lines_;
      if (const char* why = parse(partial_.substr(start, end - start), out))
        std::fprintf(stderr, "events: line %lu of %s skipped (%s): %s\n", lines_, path_.c_str(),
                     why, partial_.substr(start, std::min<size_t>(end - start, 80)).c_str());
      start = end + 1;
    }
    partial_.erase(0, start);
    return out;
  }

 private:
  // Null when the line was taken (or told already), else why it was not.
  const char* parse(const std::string& line, std::vector<VolumeNotice>& out) {
    std::istringstream in(line);
    unsigned long seq = 0;
    std::string kind, letter, rest;
    if (!(in >> seq >> kind >> letter) || (in >> rest) || letter.size() != 1)
      return "not <number> plug|unplug <letter>";
    char c = letter[0];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') return "not a drive letter";
    if (kind != "plug" && kind != "unplug") return "neither plug nor unplug";
    // tarnsim numbers a line by its place; a number past it was not written by tarnsim,
    // and taken as the newest it would silence every line after it.
    if (seq > lines_) return "numbered past its place";
    if (seq != 0 && seq <= lastSeq_) return nullptr;  // told already
    out.push_back({kind == "plug" ? VolumeChange::Arrival : VolumeChange::Removal,
                   std::string(1, c)});
    if (seq) lastSeq_ = seq;
    return nullptr;
  }

  std::string path_;
  uint64_t offset_ = 0;
  std::string partial_;
  unsigned long lastSeq_ = 0;
  unsigned long lines_ = 0;  // whole lines in the file so far
};

}  // namespace

std::unique_ptr<VolumeEvents> makeSimVolumeEvents(const std::string& root) {
  return std::make_unique<SimVolumeEvents>(root);
}

}  // namespace platform
