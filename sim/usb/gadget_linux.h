// The kernel side of a player on USB: a configfs gadget with the player's identity whose
// one function is FunctionFS, served from this process, and its binding to a device
// controller (plugged) or not (unplugged).
#pragma once

#include <cstdint>
#include <string>

#include "sim/usb/bulk_only.h"

namespace tarnsim::usb {

struct Identity {
  uint16_t vendorId = 0x1D6B;
  uint16_t productId = 0x0104;
  std::string manufacturer = "Tarn";
  std::string product = "Tarn MP3 Player";
  std::string serial;
};

// The function's descriptors (full and high speed: one interface of class 08, subclass 06,
// protocol 50 with a bulk-in and a bulk-out endpoint) and strings, as ep0 takes them.
std::string functionDescriptors();
std::string functionStrings();

class Gadget {
 public:
  // configfs root (/sys/kernel/config/usb_gadget), gadget name, device controller name.
  Gadget(std::string configRoot, std::string name, std::string udc)
      : root_(std::move(configRoot)), name_(std::move(name)), udc_(std::move(udc)) {}
  ~Gadget() { remove(); }

  // Makes the gadget and mounts its function at `mountDir`; false with `error` set.
  bool create(const Identity& id, const std::string& mountDir, std::string& error);
  bool bind(bool on);
  bool bound() const { return bound_; }
  // Undoes create (unbinds first); the function's files must be closed by then.
  void remove();

 private:
  std::string dir() const { return root_ + "/" + name_; }
  std::string root_, name_, udc_, mount_;
  bool created_ = false, bound_ = false;
};

}  // namespace tarnsim::usb
