// The preferences package prefer.dat: a 32-byte little-endian header, then 12 start-up
// and 8 shutdown frames of big-endian RGB 5-6-5 words. Reading never goes past the end of
// the file: a header or frame that does not fit is reported, not trusted.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace station {

inline constexpr int kStartupFrames = 12;
inline constexpr int kShutdownFrames = 8;
inline constexpr std::uint32_t kHeaderSize = 32;

enum class Animation { Startup, Shutdown };

struct PreferHeader {
  std::uint32_t StartupOffset = 0;
  std::uint32_t StartupSize = 0;
  std::uint32_t ShutdownOffset = 0;
  std::uint32_t ShutdownSize = 0;
  std::uint16_t Width = 0;
  std::uint16_t Height = 0;
  std::uint16_t StartupCount = 0;
  std::uint16_t ShutdownCount = 0;
  std::uint16_t FmSelection = 0;
  std::uint16_t Language = 0;
  std::uint16_t Contrast = 0;
  std::uint16_t Reserved = 0;
  bool operator==(const PreferHeader&) const = default;
};

// The header Apply writes for frames of w x h; item indexes of -1 become 0xFFFF.
PreferHeader makeHeader(std::uint16_t w, std::uint16_t h, int fm, int language, int contrast);
std::array<std::uint8_t, kHeaderSize> encodeHeader(const PreferHeader& header);
PreferHeader decodeHeader(const std::uint8_t* bytes);

// The header's fields as "Name=value" pairs, in file order.
std::vector<std::pair<std::string, std::uint32_t>> headerFields(const PreferHeader& header);

// Colour words: bits are dropped, not rounded; back-conversion leaves the low bits 0.
constexpr std::uint16_t rgbTo565(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<std::uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}
constexpr std::uint32_t rgb565ToRgb(std::uint16_t w) {
  const std::uint32_t r = ((w >> 11) & 0x1F) * 8, g = ((w >> 5) & 0x3F) * 4, b = (w & 0x1F) * 8;
  return (r << 16) | (g << 8) | b;
}

// A decoded picture, 0xRRGGBB per point, row by row from the top.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> rgb;
  std::uint32_t at(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
  bool operator==(const Picture&) const = default;
};

// Decodes a bitmap file; nullopt when it is no readable picture.
using PictureLoader = std::function<std::optional<Picture>(const std::string& path)>;

// One frame of w x h as package bytes; points outside the picture are white (FF FF).
std::vector<std::uint8_t> frameBytes(const Picture& picture, int w, int h);
// Package bytes of one w x h frame back to a picture.
Picture decodeFrame(const std::uint8_t* bytes, int w, int h);

struct PackageInfo {
  PreferHeader header;
  std::uint64_t fileLength = 0;
  // The choice's two layout tests: the start-up block ends at ShutdownOffset, and the
  // shutdown block ends at the end of the file.
  bool startupLayoutOk() const;
  bool shutdownLayoutOk() const;
};

// Reads the header of a package; an error text when the file does not open or is
// shorter than the header.
std::optional<std::string> readPackageInfo(const std::string& path, PackageInfo& info);

// Frame n (from 0) of an animation, read only when it lies wholly inside the file.
std::optional<std::string> readPackageFrame(const std::string& path, Animation animation, int n,
                                            Picture& out);

// Apply's inputs: the page's controls at the moment of the click.
struct ApplyRequest {
  std::string startupFolder;   // Edit2, empty: keep (update) or refuse (new)
  std::string shutdownFolder;  // Edit4
  std::string widthText;       // Edit1
  std::string heightText;      // Edit6
  int fm = 0;                  // ComboBox1 item, -1 none
  int language = 0;            // ComboBox3 item, -1 none
  int contrast = 0;            // TrackBar1
  std::string chosenPackage;   // Edit9
  std::string newPackagePath;  // where a new package goes
};

struct ApplyResult {
  bool written = false;
  std::string path;     // the file written
  std::string message;  // why nothing was written (UTF-8)
  std::string caption;  // caption of that message
};

inline constexpr char kPictureShortCaption[] = "圖片不足";
inline constexpr char kChooseThumbnailMsg[] = "請選擇thumbnail 路徑";

// Builds a new package or updates the chosen one. Every picture is decoded before a byte
// is written, and the result goes into a temporary file that then replaces the target,
// so a failure leaves the old file (or none) as it was.
ApplyResult applyPackage(const ApplyRequest& request, const PictureLoader& loader);

// Where Apply puts a new package: "d:\prefer.dat" on Windows; elsewhere prefer.dat in
// the user's home folder (the current folder when there is none).
std::string defaultNewPackagePath();

// A decimal integer text as the frame size fields hold it; nullopt for anything else.
std::optional<long> parseDecimal(const std::string& text);

// The frame size texts as Apply takes them: whole numbers from 1 to 65535 whose package
// fits 32-bit offsets; otherwise the message that says so.
std::optional<std::string> checkFrameSize(const std::string& widthText,
                                          const std::string& heightText, long& w, long& h);

}  // namespace station
