#include "platform/drive_table.h"

namespace platform {

std::optional<char> DriveTable::bind(BoundDrive drive) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (char c = kFirstLetter; c <= 'Z'; ++c) {
    auto& slot = letters_[c - 'A'];
    if (slot) continue;
    drive.arrival = ++arrivals_;
    slot = std::move(drive);
    return c;
  }
  return std::nullopt;
}

std::optional<char> DriveTable::release(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0; i < 26; ++i) {
    if (letters_[i] && letters_[i]->name == name) {
      letters_[i].reset();
      return static_cast<char>('A' + i);
    }
  }
  return std::nullopt;
}

std::optional<BoundDrive> DriveTable::find(char letter) const {
  if (letter < 'A' || letter > 'Z') return std::nullopt;
  std::lock_guard<std::mutex> lock(mutex_);
  return letters_[letter - 'A'];
}

std::optional<char> DriveTable::letterOf(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (int i = 0; i < 26; ++i)
    if (letters_[i] && letters_[i]->name == name) return static_cast<char>('A' + i);
  return std::nullopt;
}

DriveTable& DriveTable::station() {
  static DriveTable table;
  return table;
}

std::vector<std::pair<std::string, std::string>> deviceToolEnvironment(char letter, uint64_t arrival) {
  std::optional<BoundDrive> d = DriveTable::station().find(letter);
  if (arrival && (!d || d->arrival != arrival)) return {{std::string("DEVCMD_DRIVE_") + letter, ""}};
  return deviceToolEnvironment(letter);
}

std::array<uint64_t, 26> stationArrivals() {
  std::array<uint64_t, 26> out{};
  for (char c = 'A'; c <= 'Z'; ++c)
    if (std::optional<BoundDrive> d = DriveTable::station().find(c)) out[c - 'A'] = d->arrival;
  return out;
}

std::vector<std::pair<std::string, std::string>> deviceToolEnvironment(char letter) {
  std::optional<BoundDrive> d = DriveTable::station().find(letter);
  if (!d) return {};
  const std::string& node = d->genericNode.empty() ? d->blockDevice : d->genericNode;
  return {{std::string("DEVCMD_DRIVE_") + letter, node}};
}

}  // namespace platform
