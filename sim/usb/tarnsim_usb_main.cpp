// tarnsim-usb: serves one simulated player as a USB mass-storage device through the
// kernel's FunctionFS, on a USB device controller of this machine (dummy_hcd, usbip-vudc
// or real hardware). The player stays the one in ROOT/LETTER: tarnsim plug, unplug,
// fault and trace work on it, and unplug takes the device off the bus.
#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>

#include "sim/player_store.h"
#include "sim/usb/gadget_linux.h"

namespace {

using namespace tarnsim;
using namespace tarnsim::usb;

const char kUsage[] =
    "usage: tarnsim-usb ROOT LETTER --udc NAME [--mount DIR] [--serial TEXT]\n"
    "                   [--vendor-id HEX] [--product-id HEX] [--after-bind COMMAND]\n"
    "  Serves the player ROOT/LETTER as a USB mass-storage device on the device\n"
    "  controller NAME (see /sys/class/udc) while it is plugged (tarnsim plug), until\n"
    "  SIGTERM or SIGINT. COMMAND runs (sh -c) after each binding, for instance to\n"
    "  attach a usbip-vudc device to the host side. Needs root, configfs and usb_f_fs.\n";

std::atomic<bool> gStop{false};
std::mutex gLog;

void say(const std::string& line) {
  std::lock_guard<std::mutex> hold(gLog);
  std::fprintf(stderr, "tarnsim-usb: %s\n", line.c_str());
}

// The player's folder: its model for the player's own requests, volume.img for the rest.
class FolderPlayer final : public PlayerSide {
 public:
  FolderPlayer(std::unique_ptr<PlayerFiles> files, int volume, std::mutex& turn)
      : files_(std::move(files)), volume_(volume), turn_(turn) {}

  Answer request(const Request& r) override {
    std::lock_guard<std::mutex> hold(turn_);
    uint32_t error = 0;
    Outcome detail;
    Answer a;
    a.ok = serve(*files_, r, error, &detail);
    a.vanished = detail.vanished || error == kErrorNotConnected;
    a.reattached = detail.reattached;
    return a;
  }
  uint64_t volumeBytes() override {
    struct stat st {};
    return ::fstat(volume_, &st) == 0 ? uint64_t(st.st_size) : 0;
  }
  bool read(uint64_t at, uint8_t* out, size_t n) override {
    return ::pread(volume_, out, n, off_t(at)) == ssize_t(n);
  }
  bool write(uint64_t at, const uint8_t* data, size_t n) override {
    return ::pwrite(volume_, data, n, off_t(at)) == ssize_t(n);
  }
  bool flush() override { return ::fdatasync(volume_) == 0; }

 private:
  std::unique_ptr<PlayerFiles> files_;
  int volume_;
  std::mutex& turn_;
};

// The two bulk endpoint files. A transfer in the wrong direction halts an endpoint.
class FfsEndpoints final : public Endpoints {
 public:
  FfsEndpoints(int in, int out) : in_(in), out_(out) {}
  long receive(uint8_t* buf, size_t n) override {
    const ssize_t r = ::read(out_, buf, n);
    return r < 0 ? -1 : long(r);
  }
  bool send(const uint8_t* data, size_t n) override { return ::write(in_, data, n) == ssize_t(n); }
  void stallIn() override {
    uint8_t b;
    (void)!::read(in_, &b, 1);
  }
  void stallOut() override {
    const uint8_t b = 0;
    (void)!::write(out_, &b, 1);
  }
  size_t maxPacket() const override {
    usb_endpoint_descriptor d{};
    if (::ioctl(in_, FUNCTIONFS_ENDPOINT_DESC, &d) == 0 && d.wMaxPacketSize) return d.wMaxPacketSize;
    return 512;
  }

 private:
  int in_, out_;
};

// Control endpoint: the function's events and the class requests addressed to it.
void controlLoop(int ep0, BulkOnly& bot) {
  usb_functionfs_event events[4];
  while (!gStop) {
    const ssize_t n = ::read(ep0, events, sizeof events);
    if (n < 0) {
      if (errno != EINTR && errno != EAGAIN) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      continue;
    }
    for (size_t i = 0; i < size_t(n) / sizeof events[0]; ++i) {
      if (events[i].type != FUNCTIONFS_SETUP) continue;
      const usb_ctrlrequest& s = events[i].u.setup;
      const bool in = (s.bRequestType & USB_DIR_IN) != 0;
      const bool classRequest = (s.bRequestType & USB_TYPE_MASK) == USB_TYPE_CLASS;
      if (classRequest && !in && s.bRequest == kRequestReset && s.wLength == 0) {
        bot.resetRecovery();
        (void)!::read(ep0, nullptr, 0);  // status stage
      } else if (classRequest && in && s.bRequest == kRequestGetMaxLun && s.wLength >= 1) {
        const uint8_t lun = 0;
        (void)!::write(ep0, &lun, 1);
      } else if (in) {
        uint8_t b;
        (void)!::read(ep0, &b, 0);  // wrong direction: stall
      } else {
        (void)!::write(ep0, nullptr, 0);
      }
    }
  }
}

struct Flags {
  std::string udc, mount, serial, afterBind;
  uint16_t vid = 0, pid = 0;
};

void onSignal(int) { gStop = true; }
void wake(int) {}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 3) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string root = argv[1];
  const char letter = parseLetter(argv[2]);
  if (!letter) {
    std::fprintf(stderr, "tarnsim-usb: not a drive letter: %s\n", argv[2]);
    return 2;
  }
  Identity id;
  Flags f;
  for (int i = 3; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) {
      std::fprintf(stderr, "tarnsim-usb: %s wants a value\n", a.c_str());
      return 2;
    }
    const std::string v = argv[++i];
    if (a == "--udc") f.udc = v;
    else if (a == "--mount") f.mount = v;
    else if (a == "--serial") id.serial = v;
    else if (a == "--after-bind") f.afterBind = v;
    else if (a == "--vendor-id") id.vendorId = uint16_t(std::strtoul(v.c_str(), nullptr, 16));
    else if (a == "--product-id") id.productId = uint16_t(std::strtoul(v.c_str(), nullptr, 16));
    else {
      std::fprintf(stderr, "tarnsim-usb: unknown option %s\n", a.c_str());
      return 2;
    }
  }
  if (f.udc.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string name = std::string("tarn_") + letter;
  if (id.serial.empty()) id.serial = std::string("TARNSIM") + letter;
  if (f.mount.empty()) f.mount = "/dev/ffs-" + name;

  std::string error;
  auto files = PlayerFiles::open(root, letter, &error);
  if (!files) {
    std::fprintf(stderr, "tarnsim-usb: %s\n", error.c_str());
    return 1;
  }
  const std::string volumePath = playerDir(root, letter) + "/volume.img";
  const int volume = ::open(volumePath.c_str(), O_RDWR | O_CLOEXEC);
  if (volume < 0) {
    std::fprintf(stderr, "tarnsim-usb: cannot open %s: %s\n", volumePath.c_str(), std::strerror(errno));
    return 1;
  }

  struct sigaction sa {};
  sa.sa_handler = onSignal;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  sa.sa_handler = wake;  // interrupts a blocked endpoint read, no restart
  sigaction(SIGUSR1, &sa, nullptr);

  Gadget gadget("/sys/kernel/config/usb_gadget", name, f.udc);
  if (!gadget.create(id, f.mount, error)) {
    std::fprintf(stderr, "tarnsim-usb: %s\n", error.c_str());
    return 1;
  }
  const int ep0 = ::open((f.mount + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
  const std::string descriptors = functionDescriptors(), strings = functionStrings();
  if (ep0 < 0 || ::write(ep0, descriptors.data(), descriptors.size()) != ssize_t(descriptors.size()) ||
      ::write(ep0, strings.data(), strings.size()) != ssize_t(strings.size())) {
    std::fprintf(stderr, "tarnsim-usb: cannot write the function's descriptors: %s\n", std::strerror(errno));
    return 1;
  }
  const int epIn = ::open((f.mount + "/ep1").c_str(), O_RDWR | O_CLOEXEC);
  const int epOut = ::open((f.mount + "/ep2").c_str(), O_RDWR | O_CLOEXEC);
  if (epIn < 0 || epOut < 0) {
    std::fprintf(stderr, "tarnsim-usb: cannot open the endpoints: %s\n", std::strerror(errno));
    return 1;
  }

  std::mutex turn;
  FolderPlayer player(std::move(files), volume, turn);
  ScsiDisk disk(player, id.serial, [&](const std::string& line) { say(std::string(1, letter) + ": " + line); });
  FfsEndpoints endpoints(epIn, epOut);
  BulkOnly bot(disk, endpoints);
  std::atomic<bool> cycle{false};

  std::atomic<int> running{2};
  std::thread control([&] {
    controlLoop(ep0, bot);
    --running;
  });
  std::thread data([&] {
    while (!gStop) {
      switch (bot.serveOne()) {
        case BulkOnly::Step::Gone:
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          break;
        case BulkOnly::Step::Reattached:
          cycle = true;
          break;
        default:
          break;
      }
    }
    --running;
  });

  // Plugged follows the player's state; a player that left the update disk drops off
  // and comes straight back.
  say(std::string("serving ") + letter + " on " + f.udc);
  while (!gStop) {
    PlayerState state;
    bool plugged = false;
    {
      std::lock_guard<std::mutex> hold(turn);
      plugged = readState(root, letter, state, error) && state.plugged;
    }
    if (cycle.exchange(false) && gadget.bound()) {
      gadget.bind(false);
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    if (plugged != gadget.bound()) {
      if (!gadget.bind(plugged)) say("cannot change the binding of " + f.udc);
      else if (plugged && !f.afterBind.empty() && std::system(f.afterBind.c_str()) != 0)
        say("after-bind command failed: " + f.afterBind);
      say(std::string(1, letter) + (plugged ? " plugged" : " unplugged"));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }

  gadget.bind(false);
  // Endpoint reads wait for the host; a signal breaks each wait until both threads end.
  while (running > 0) {
    pthread_kill(control.native_handle(), SIGUSR1);
    pthread_kill(data.native_handle(), SIGUSR1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  control.join();
  data.join();
  ::close(epIn);
  ::close(epOut);
  ::close(ep0);
  ::close(volume);
  gadget.remove();
  return 0;
}
