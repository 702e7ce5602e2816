// Simulated players' arrivals and removals: tarnsim appends "<seq> plug E" or
// "<seq> unplug E" to <root>/events; the station follows the file like a log.
#include "platform/volume_events.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>

namespace platform {
namespace {

class SimVolumeEvents : public VolumeEvents {
 public:
  explicit SimVolumeEvents(std::string root) : path_(std::move(root) + "/events") {
    struct stat st;
    if (::stat(path_.c_str(), &st) == 0) offset_ = static_cast<uint64_t>(st.st_size);
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
      parse(partial_.substr(start, end - start), out);
      start = end + 1;
    }
    partial_.erase(0, start);
    return out;
  }

 private:
  void parse(const std::string& line, std::vector<VolumeNotice>& out) {
    std::istringstream in(line);
    unsigned long seq = 0;
    std::string kind, letter;
    if (!(in >> seq >> kind >> letter) || letter.size() != 1) return;
    char c = letter[0];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') return;
    if (seq != 0 && seq <= lastSeq_) return;  // told already
    if (kind == "plug") out.push_back({VolumeChange::Arrival, std::string(1, c)});
    else if (kind == "unplug") out.push_back({VolumeChange::Removal, std::string(1, c)});
    else return;
    lastSeq_ = seq;
  }

  std::string path_;
  uint64_t offset_ = 0;
  std::string partial_;
  unsigned long lastSeq_ = 0;
};

}  // namespace

std::unique_ptr<VolumeEvents> makeSimVolumeEvents(const std::string& root) {
  return std::make_unique<SimVolumeEvents>(root);
}

}  // namespace platform
