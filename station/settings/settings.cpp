#include "station/settings/settings.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <system_error>
#include <variant>

#include "platform/file_replace.h"
#include "station/settings/profile.h"
#include "station/settings/profile_store.h"

namespace station {

namespace {

// A key holds either text, an integer (item index or position) or a check box.
struct TextField { std::string Settings::*field; };
// A list's index outside low..high leaves the list without a selection (-1); the track
// bar instead holds its position at the nearer end.
enum class Outside { NoSelection, Clamp };
struct IntField { int Settings::*field; int low, high; Outside outside; };
struct BoxField { bool Settings::*field; };
using Field = std::variant<TextField, IntField, BoxField>;

struct Key {
  const char* section;
  const char* name;
  Field field;
};

// In the order of loading. A key's default is the field's own in Settings{}.
constexpr Outside kNone = Outside::NoSelection;
const Key kKeys[] = {
    {"Animation", "Startup", TextField{&Settings::startupFolder}},
    {"Animation", "Shutdown", TextField{&Settings::shutdownFolder}},
    {"FM", "selection", IntField{&Settings::fmSelection, -1, 1, kNone}},
    {"LCD", "Contrast", IntField{&Settings::contrast, 0, 10, Outside::Clamp}},
    {"Language", "Lang", IntField{&Settings::playerLanguage, -1, 3, kNone}},
    {"Animation", "Width", TextField{&Settings::frameWidth}},
    {"Animation", "Height", TextField{&Settings::frameHeight}},
    {"MP_Setting", "Format", BoxField{&Settings::chkFormat}},
    {"MP_Setting", "Blanking check", BoxField{&Settings::chkBlankCheck}},
    {"MP_Setting", "FwUpgrade", BoxField{&Settings::chkFwUpgrade}},
    {"MP_Setting", "ISO upgrade", BoxField{&Settings::chkISOupgrade}},
    {"MP_Setting", "Manual Upgrade", BoxField{&Settings::CheckManuupgrade}},
    {"MP_Setting", "Bar Fixed", BoxField{&Settings::chkBarFixed}},
    {"MP_Setting", "System Area check", BoxField{&Settings::SystemAreachk}},
    {"MP_Setting", "System Area Size", IntField{&Settings::SystemAreaComBo, -1, 15, kNone}},
    {"MP_Setting", "Label", TextField{&Settings::LabelEdit}},
    {"MP_Setting", "FwParityCheck", BoxField{&Settings::chkParityCheck}},
};

// Saving takes the keys in the same order except the last two, which change places.
const int kSaveOrder[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 15};
static_assert(std::size(kSaveOrder) == std::size(kKeys));

int readInt(const std::string& path, const Key& k, int fallback) {
  std::optional<int> v = parseSettingInteger(getProfileString(path, k.section, k.name, ""));
  return v ? *v : fallback;
}

}  // namespace

std::optional<int> parseSettingInteger(const std::string& text) {
  const char* first = text.data();
  const char* last = first + text.size();
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::uint32_t v = 0;
    auto [end, ec] = std::from_chars(first + 2, last, v, 16);
    if (ec != std::errc() || end != last) return std::nullopt;
    return static_cast<int>(v);  // 32 bits as stored: 0xFFFFFFFF is -1
  }
  bool negative = false;
  if (first != last && (*first == '+' || *first == '-')) negative = *first++ == '-';
  if (first == last || *first < '0' || *first > '9') return std::nullopt;
  std::int64_t v = 0;
  auto [end, ec] = std::from_chars(first, last, v, 10);
  if (ec != std::errc() || end != last) return std::nullopt;
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return std::nullopt;
  return static_cast<int>(v);
}

void Settings::load(const std::string& path) {
  static const Settings defaults;
  for (const Key& k : kKeys) {
    if (auto* t = std::get_if<TextField>(&k.field)) {
      this->*(t->field) = getProfileString(path, k.section, k.name, defaults.*(t->field));
    } else if (auto* i = std::get_if<IntField>(&k.field)) {
      int v = readInt(path, k, defaults.*(i->field));
      if (v < i->low || v > i->high) {
        v = i->outside == Outside::Clamp ? (v < i->low ? i->low : i->high) : -1;
      }
      this->*(i->field) = v;
    } else if (auto* b = std::get_if<BoxField>(&k.field)) {
      this->*(b->field) = readInt(path, k, defaults.*(b->field) ? 1 : 0) != 0;
    }
  }
}

namespace {

// A value that a read would change (blanks at its ends, quotes around it) is saved in
// quotes, which a read takes off again: what is saved is what loads.
std::string asRead(const std::string& text) {
  if (profile_store::read("[s]\nk=" + text, "s", "k", "") == text) return text;
  return "\"" + text + "\"";
}

}  // namespace

std::optional<std::string> Settings::save(const std::string& path) const {
  const bool saved = platform::replaceThroughTemporary(path, [&](const std::string& temp) {
    // Start from the current file so that lines we do not own survive the save.
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
      std::filesystem::copy_file(path, temp, ec);
      if (ec) return false;
    }
    for (int index : kSaveOrder) {
      const Key& k = kKeys[index];
      std::string text;
      if (auto* t = std::get_if<TextField>(&k.field)) {
        text = asRead(this->*(t->field));
      } else if (auto* i = std::get_if<IntField>(&k.field)) {
        text = std::to_string(this->*(i->field));
      } else if (auto* b = std::get_if<BoxField>(&k.field)) {
        text.assign(1, this->*(b->field) ? '1' : '0');
      }
      if (!writeProfileString(temp, k.section, k.name, text)) return false;
    }
    return true;
  });
  if (!saved) return "Unable to write to " + path;
  return std::nullopt;
}

}  // namespace station
