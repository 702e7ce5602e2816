// preferpack: builds, reads and unpacks preferences packages (prefer.dat) on the code of
// the Setting page, for operators whose window keeps that page disabled.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/ascii.h"
#include "base/command_line.h"
#include "station/settings/frame_set.h"
#include "station/settings/picture.h"
#include "station/settings/prefer_package.h"

namespace {

const char kUsage[] =
    "usage: preferpack build --startup DIR --shutdown DIR [--width W] [--height H]\n"
    "                        [--fm N] [--language N] [--contrast N] -o FILE\n"
    "       preferpack info FILE\n"
    "       preferpack extract FILE DIR\n"
    "       preferpack --help | --version\n"
    "  build    checks the two frame folders (boot1.bmp..boot12.bmp at W x H, End1.bmp..\n"
    "           End8.bmp) and writes the package; W x H defaults to 160 x 128, --fm is\n"
    "           0 (FM) or 1 (no FM) or -1, --language 0..3 or -1, --contrast 0..10\n"
    "  info     prints the header fields as Name=value lines and the two layout checks\n"
    "  extract  writes the frames as boot1.bmp..boot12.bmp and End1.bmp..End8.bmp\n"
    "Exit codes: 0 done, 1 failed (message on standard error), 2 bad command line.\n";

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

int usage(const char* why) {
  if (why) return tarn::badCommandLine("preferpack", why);
  std::fputs(kUsage, stderr);
  return kUsageError;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "preferpack: %s\n", message.c_str());
  return kFailed;
}

// Why a frame set failed its check, in the operator's words: the first frame that is not
// as wanted and what is wrong with it.
std::string frameSetCause(station::Animation animation, const std::string& folder,
                          const std::vector<std::string>& list, int w, int h, unsigned mask) {
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) return "no folder " + folder;
  for (int n = 1; n <= station::frameCount(animation); ++n) {
    if (mask & (1u << (n - 1))) continue;
    const std::string want = station::frameName(animation, n);
    std::string exact, other;
    for (const std::string& path : list) {
      const std::string name = station::namePart(path);
      if (name == want) exact = path;
      else if (tarn::equalsIgnoringCase(name, want)) other = name;
    }
    const std::string frame = "frame " + std::to_string(n) + " ";
    if (exact.empty())
      return other.empty() ? "missing " + frame + "(" + want + ")"
                           : frame + "is named " + other + "; it must be named " + want;
    std::optional<station::Picture> p = station::loadPicture(exact);
    if (!p) return frame + "(" + want + ") is not a picture that can be read";
    return frame + "(" + want + ") is " + std::to_string(p->width) + "x" + std::to_string(p->height) +
           ", not " + std::to_string(w) + "x" + std::to_string(h);
  }
  return "the frames are not as wanted";
}

bool integer(const std::string& text, long low, long high, int& out) {
  auto v = station::parseDecimal(text);
  if (!v || *v < low || *v > high) return false;
  out = static_cast<int>(*v);
  return true;
}

int build(const std::vector<std::string>& args) {
  std::string startup, shutdown, output, width = "160", height = "128";
  int fm = 0, language = 0, contrast = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    static const char* const kValued[] = {"--startup", "--shutdown", "--width", "--height", "-o",
                                          "--fm", "--language", "--contrast"};
    if (std::find(std::begin(kValued), std::end(kValued), a) == std::end(kValued))
      return usage(("unknown option " + a).c_str());
    if (i + 1 >= args.size()) return usage(("missing value after " + a).c_str());
    const std::string& v = args[++i];
    if (a == "--startup") startup = v;
    else if (a == "--shutdown") shutdown = v;
    else if (a == "--width") width = v;
    else if (a == "--height") height = v;
    else if (a == "-o") output = v;
    else if (a == "--fm") { if (!integer(v, -1, 1, fm)) return usage("--fm takes -1, 0 or 1"); }
    else if (a == "--language") { if (!integer(v, -1, 3, language)) return usage("--language takes -1 to 3"); }
    else if (!integer(v, 0, 10, contrast)) return usage("--contrast takes 0 to 10");
  }
  if (startup.empty() || shutdown.empty() || output.empty())
    return usage("build needs --startup, --shutdown and -o");
  long w = 0, h = 0;
  if (auto error = station::checkFrameSize(width, height, w, h)) return fail(*error);

  const std::pair<station::Animation, std::string*> sets[2] = {
      {station::Animation::Startup, &startup}, {station::Animation::Shutdown, &shutdown}};
  for (auto [animation, folder] : sets) {
    std::vector<std::string> list;
    station::LoadFavorite(*folder, list);
    const unsigned mask = station::checkFrameSet(animation, list, static_cast<int>(w),
                                                 static_cast<int>(h), station::loadPicture);
    if (mask != station::fullMask(animation))
      return fail(*folder + ": " + frameSetCause(animation, *folder, list, static_cast<int>(w),
                                                 static_cast<int>(h), mask));
  }

  station::ApplyRequest rq;
  rq.startupFolder = startup;
  rq.shutdownFolder = shutdown;
  rq.widthText = width;
  rq.heightText = height;
  rq.fm = fm;
  rq.language = language;
  rq.contrast = contrast;
  rq.newPackagePath = output;
  station::ApplyResult r = station::applyPackage(rq, station::loadPicture);
  if (!r.written) return fail(r.message);
  std::printf("%s written\n", r.path.c_str());
  return 0;
}

int info(const std::string& path) {
  station::PackageInfo pi;
  if (auto error = station::readPackageInfo(path, pi)) return fail(*error);
  for (const auto& [name, value] : station::headerFields(pi.header))
    std::printf("%s=%u\n", name.c_str(), static_cast<unsigned>(value));
  std::printf("FileLength=%llu\n", static_cast<unsigned long long>(pi.fileLength));
  std::printf("StartupLayout=%s\n", pi.startupLayoutOk() ? "ok" : "mismatch");
  std::printf("ShutdownLayout=%s\n", pi.shutdownLayoutOk() ? "ok" : "mismatch");
  return 0;
}

int extract(const std::string& path, const std::string& folder) {
  station::PackageInfo pi;
  if (auto error = station::readPackageInfo(path, pi)) return fail(*error);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  for (station::Animation animation : {station::Animation::Startup, station::Animation::Shutdown}) {
    for (int n = 1; n <= station::frameCount(animation); ++n) {
      station::Picture picture;
      if (auto error = station::readPackageFrame(path, animation, n - 1, picture)) return fail(*error);
      const std::string out = station::withSeparator(folder) + station::frameName(animation, n);
      const std::vector<std::uint8_t> bytes = station::encodeBmp24(picture);
      std::ofstream file(out, std::ios::binary | std::ios::trunc);
      file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      if (!file.flush()) return fail("Unable to write to " + out);
    }
  }
  std::printf("%d frames written to %s\n", station::kStartupFrames + station::kShutdownFrames,
              folder.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return usage(nullptr);
  if (auto code = tarn::helpOrVersion(args[0], "preferpack", kUsage)) return *code;
  const std::string command = args[0];
  args.erase(args.begin());
  if (command == "build") return build(args);
  if (command == "info") return args.size() == 1 ? info(args[0]) : usage("info takes one FILE");
  if (command == "extract")
    return args.size() == 2 ? extract(args[0], args[1]) : usage("extract takes FILE and DIR");
  return usage(("unknown command " + command).c_str());
}
