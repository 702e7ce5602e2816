#include "station/settings/prefer_package.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "platform/file_read.h"
#include "platform/file_replace.h"
#include "platform/program_folder.h"
#include "base/byte_order.h"
#include "station/settings/frame_set.h"

namespace station {

namespace {

using tarn::getLe16;
using tarn::getLe32;
using tarn::putLe16;
using tarn::putLe32;

std::optional<std::uint64_t> fileLength(const std::string& path) {
  return platform::regularFileSize(path);
}

bool readAt(const std::string& path, std::uint64_t offset, std::uint8_t* out, std::size_t size) {
  std::FILE* f = platform::openRegularFile(path);
  if (!f) return false;
  std::size_t n = 0;
  if (offset <= std::uint64_t(std::numeric_limits<long>::max()) &&
      std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0)
    n = std::fread(out, 1, size, f);
  std::fclose(f);
  return n == size;
}

bool readWhole(const std::string& path, std::vector<std::uint8_t>& out) {
  std::FILE* f = platform::openRegularFile(path);
  if (!f) return false;
  out.clear();
  std::uint8_t buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool opensForReading(const std::string& path) {
  std::FILE* f = path.empty() ? nullptr : platform::openRegularFile(path);
  if (f) std::fclose(f);
  return f != nullptr;
}

}  // namespace

PreferHeader makeHeader(std::uint16_t w, std::uint16_t h, int fm, int language, int contrast) {
  const std::uint32_t frame = std::uint32_t(w) * h * 2;
  PreferHeader hd;
  hd.StartupOffset = kHeaderSize;
  hd.StartupSize = frame * kStartupFrames;
  hd.ShutdownOffset = kHeaderSize + frame * kStartupFrames;
  hd.ShutdownSize = frame * kShutdownFrames;
  hd.Width = w;
  hd.Height = h;
  hd.StartupCount = kStartupFrames;
  hd.ShutdownCount = kShutdownFrames;
  hd.FmSelection = static_cast<std::uint16_t>(fm);
  hd.Language = static_cast<std::uint16_t>(language);
  hd.Contrast = static_cast<std::uint16_t>(contrast);
  return hd;
}

std::array<std::uint8_t, kHeaderSize> encodeHeader(const PreferHeader& h) {
  std::array<std::uint8_t, kHeaderSize> b{};
  putLe32(&b[0], h.StartupOffset);
  putLe32(&b[4], h.StartupSize);
  putLe32(&b[8], h.ShutdownOffset);
  putLe32(&b[12], h.ShutdownSize);
  const std::uint16_t shorts[8] = {h.Width,       h.Height,   h.StartupCount, h.ShutdownCount,
                                   h.FmSelection, h.Language, h.Contrast,     h.Reserved};
  for (int i = 0; i < 8; ++i) putLe16(&b[16 + 2 * i], shorts[i]);
  return b;
}

PreferHeader decodeHeader(const std::uint8_t* b) {
  PreferHeader h;
  h.StartupOffset = getLe32(b);
  h.StartupSize = getLe32(b + 4);
  h.ShutdownOffset = getLe32(b + 8);
  h.ShutdownSize = getLe32(b + 12);
  h.Width = getLe16(b + 16);
  h.Height = getLe16(b + 18);
  h.StartupCount = getLe16(b + 20);
  h.ShutdownCount = getLe16(b + 22);
  h.FmSelection = getLe16(b + 24);
  h.Language = getLe16(b + 26);
  h.Contrast = getLe16(b + 28);
  h.Reserved = getLe16(b + 30);
  return h;
}

std::vector<std::pair<std::string, std::uint32_t>> headerFields(const PreferHeader& h) {
  return {{"StartupOffset", h.StartupOffset}, {"StartupSize", h.StartupSize},
          {"ShutdownOffset", h.ShutdownOffset}, {"ShutdownSize", h.ShutdownSize},
          {"Width", h.Width},                 {"Height", h.Height},
          {"StartupCount", h.StartupCount},   {"ShutdownCount", h.ShutdownCount},
          {"FmSelection", h.FmSelection},     {"Language", h.Language},
          {"Contrast", h.Contrast},           {"Reserved", h.Reserved}};
}

std::vector<std::uint8_t> frameBytes(const Picture& p, int w, int h) {
  std::vector<std::uint8_t> out(static_cast<size_t>(w) * h * 2);
  size_t k = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::uint32_t c = (x < p.width && y < p.height) ? p.at(x, y) : 0xFFFFFFu;
      const std::uint16_t word = rgbTo565(static_cast<std::uint8_t>(c >> 16),
                                          static_cast<std::uint8_t>(c >> 8),
                                          static_cast<std::uint8_t>(c));
      out[k++] = static_cast<std::uint8_t>(word >> 8);
      out[k++] = static_cast<std::uint8_t>(word);
    }
  return out;
}

Picture decodeFrame(const std::uint8_t* bytes, int w, int h) {
  Picture p;
  p.width = w;
  p.height = h;
  p.rgb.resize(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < p.rgb.size(); ++i)
    p.rgb[i] = rgb565ToRgb(static_cast<std::uint16_t>((bytes[2 * i] << 8) | bytes[2 * i + 1]));
  return p;
}

bool PackageInfo::startupLayoutOk() const {
  const std::uint64_t area = std::uint64_t(header.Width) * header.Height;
  return std::uint64_t(header.StartupOffset) + 24 * area == header.ShutdownOffset;
}

bool PackageInfo::shutdownLayoutOk() const {
  const std::uint64_t area = std::uint64_t(header.Width) * header.Height;
  return std::uint64_t(header.ShutdownOffset) + 16 * area == fileLength;
}

std::optional<std::string> readPackageInfo(const std::string& path, PackageInfo& info) {
  if (path.empty()) return std::string("No package chosen");
  const auto length = fileLength(path);
  std::uint8_t bytes[kHeaderSize];
  if (!length || !opensForReading(path)) return "Cannot open " + path;
  if (*length < kHeaderSize)
    return path + " is " + std::to_string(*length) + " bytes long, shorter than the 32-byte header";
  if (!readAt(path, 0, bytes, kHeaderSize)) return "Cannot read the header of " + path;
  info.header = decodeHeader(bytes);
  info.fileLength = *length;
  return std::nullopt;
}

std::optional<std::string> readPackageFrame(const std::string& path, Animation animation, int n,
                                            Picture& out) {
  PackageInfo info;
  if (auto error = readPackageInfo(path, info)) return error;
  const int w = info.header.Width, h = info.header.Height;
  if (w == 0 || h == 0) return path + ": the header gives an empty frame size";
  const std::uint64_t frame = std::uint64_t(w) * h * 2;
  const std::uint64_t offset =
      (animation == Animation::Startup ? info.header.StartupOffset : info.header.ShutdownOffset) +
      std::uint64_t(n) * frame;
  if (offset + frame > info.fileLength)
    return path + ": frame " + std::to_string(n + 1) + " lies past the end of the file";
  std::vector<std::uint8_t> bytes(frame);
  if (!readAt(path, offset, bytes.data(), bytes.size()))
    return "Cannot read frame " + std::to_string(n + 1) + " of " + path;
  out = decodeFrame(bytes.data(), w, h);
  return std::nullopt;
}

std::optional<long> parseDecimal(const std::string& text) {
  if (text.empty()) return std::nullopt;
  size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
  if (i == text.size()) return std::nullopt;
  for (size_t k = i; k < text.size(); ++k)
    if (text[k] < '0' || text[k] > '9') return std::nullopt;
  errno = 0;
  const long v = std::strtol(text.c_str(), nullptr, 10);
  if (errno == ERANGE) return std::nullopt;
  return v;
}

std::optional<std::string> checkFrameSize(const std::string& widthText,
                                          const std::string& heightText, long& w, long& h) {
  const auto pw = parseDecimal(widthText), ph = parseDecimal(heightText);
  // The header holds 16-bit sizes and 32-bit block lengths: anything else would describe
  // frames other than the ones written.
  if (!pw || !ph || *pw < 1 || *ph < 1 || *pw > 0xFFFF || *ph > 0xFFFF ||
      std::uint64_t(*pw) * std::uint64_t(*ph) * 2 * kStartupFrames + kHeaderSize >
          std::numeric_limits<std::uint32_t>::max())
    return "The frame width \"" + widthText + "\" and height \"" + heightText +
           "\" must be whole numbers from 1 to 65535";
  w = *pw;
  h = *ph;
  return std::nullopt;
}

std::string defaultNewPackagePath() { return platform::operatorFilePath("prefer.dat"); }

ApplyResult applyPackage(const ApplyRequest& rq, const PictureLoader& loader) {
  ApplyResult result;
  const bool update = opensForReading(rq.chosenPackage);
  const std::string target = update ? rq.chosenPackage : rq.newPackagePath;
  // A build that was killed while writing left its temporary behind.
  std::error_code stale;
  std::filesystem::remove(platform::temporaryFor(target), stale);
  if ((rq.startupFolder.empty() || rq.shutdownFolder.empty()) && !update) {
    result.message = kChooseThumbnailMsg;
    result.caption = kPictureShortCaption;
    return result;
  }
  result.caption = "Apply";
  long w = 0, h = 0;
  if (auto error = checkFrameSize(rq.widthText, rq.heightText, w, h)) {
    result.message = *error + "; nothing was written.";
    return result;
  }
  const PreferHeader header = makeHeader(static_cast<std::uint16_t>(w),
                                         static_cast<std::uint16_t>(h), rq.fm, rq.language,
                                         rq.contrast);

  // Every picture first: a frame that cannot be read must not leave a half-built package.
  struct Block {
    Animation animation;
    const std::string* folder;
    std::uint32_t offset;
  };
  const Block blocks[2] = {{Animation::Startup, &rq.startupFolder, header.StartupOffset},
                           {Animation::Shutdown, &rq.shutdownFolder, header.ShutdownOffset}};
  std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> frames;
  const std::uint32_t frameSize = std::uint32_t(w) * std::uint32_t(h) * 2;
  for (const Block& b : blocks) {
    if (b.folder->empty()) continue;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(frameSize) * frameCount(b.animation));
    for (int n = 1; n <= frameCount(b.animation); ++n) {
      const std::string path = resolvePicture(*b.folder, pictureName(b.animation, n));
      std::optional<Picture> picture = loader ? loader(path) : std::nullopt;
      if (!picture) {
        result.message = "Cannot read the picture " + path + "; nothing was written.";
        return result;
      }
      auto f = frameBytes(*picture, static_cast<int>(w), static_cast<int>(h));
      bytes.insert(bytes.end(), f.begin(), f.end());
    }
    frames.emplace_back(b.offset, std::move(bytes));
  }

  std::vector<std::uint8_t> file;
  if (update && !readWhole(target, file)) {
    result.message = "Cannot read " + target + "; nothing was written.";
    return result;
  }
  const auto head = encodeHeader(header);
  if (file.size() < kHeaderSize) file.resize(kHeaderSize);
  std::copy(head.begin(), head.end(), file.begin());
  for (const auto& [offset, bytes] : frames) {
    if (file.size() < offset + bytes.size()) file.resize(offset + bytes.size());
    std::copy(bytes.begin(), bytes.end(), file.begin() + offset);
  }

  if (!platform::writeFileReplacing(
          target, std::string_view(reinterpret_cast<const char*>(file.data()), file.size()))) {
    result.message = "Unable to write to " + target;
    return result;
  }
  result.written = true;
  result.path = target;
  result.caption.clear();
  return result;
}

}  // namespace station
