#include "station/model/station_rows.h"

#include <algorithm>
#include <filesystem>

#include "station/ops/device_tool.h"

namespace station {

StationRows::StationRows(ModelCore& core, SettingControls& controls, const LanguageTable& lang)
    : core_(core), controls_(controls), lang_(lang) {
  for (int i = 0; i < DEVICE_COUNT; ++i) binding_[i] = i;
  for (RowState& r : rows_) r.text = lang_.text(LangText::WaitDeviceMsg);
}

void StationRows::publishSlot(int slot) const {
  core_.publish(RowChanged{slot, binding_[slot], rows_[binding_[slot]]});
}

void StationRows::publishCounters() const { core_.publish(CountersChanged{counters_}); }

template <class F>
void StationRows::changeRow(int slot, F&& f) {
  if (!validSlot(slot)) return;
  auto held = core_.lock();
  f(rowOf(slot));
  publishSlot(slot);
}

// --- snapshots ---

RowState StationRows::row(int r) const {
  auto held = core_.lock();
  return validSlot(r) ? rows_[r] : RowState{};
}

RowState StationRows::slotRow(int slot) const {
  auto held = core_.lock();
  return validSlot(slot) ? rowOf(slot) : RowState{};
}

int StationRows::rowOfSlot(int slot) const {
  auto held = core_.lock();
  return validSlot(slot) ? binding_[slot] : -1;
}

Counters StationRows::counters() const {
  auto held = core_.lock();
  return counters_;
}

char StationRows::slotDriveLetter(int slot) const {
  auto held = core_.lock();
  return validSlot(slot) ? drive_[slot] : 0;
}

int StationRows::findSlot(char drive) const {
  auto held = core_.lock();
  for (int i = 0; i < DEVICE_COUNT; ++i)
    if (drive != 0 && drive_[i] == drive) return i;
  return -1;
}

bool StationRows::runMarked(int slot) const {
  auto held = core_.lock();
  return validSlot(slot) && runMark_[slot];
}

// --- the slot table ---

int StationRows::occupySlot(char drive) {
  auto held = core_.lock();
  for (int i = 0; i < DEVICE_COUNT; ++i) {
    if (drive_[i] != 0) continue;
    drive_[i] = drive;
    runMark_[i] = false;
    rowOf(i).progressVisible = true;
    publishSlot(i);
    return i;
  }
  return -1;
}

void StationRows::slotTaken() {
  auto held = core_.lock();
  for (Element e : {Element::chkBarFixed, Element::CheckManuupgrade}) controls_.setEnabledHeld(e, false);
  ++counters_.occupied;
  publishCounters();
}

bool StationRows::releaseDrive(char drive) {
  auto held = core_.lock();
  int slot = -1;
  for (int i = 0; i < DEVICE_COUNT && slot < 0; ++i)
    if (drive != 0 && drive_[i] == drive) slot = i;
  if (slot < 0) return false;
  const std::string& waiting = lang_.text(LangText::WaitDeviceMsg);
  RowState& r = rowOf(slot);
  r.colour = TextColour::WindowText;
  r.progressVisible = false;
  r.progress = 0;
  r.pictureVisible = false;
  r.port.clear();
  r.spare.clear();
  r.text = waiting;
  publishSlot(slot);
  if (std::all_of(rows_.begin(), rows_.end(), [&](const RowState& s) { return s.text == waiting; })) {
    for (Element e : {Element::chkBarFixed, Element::CheckManuupgrade})
      controls_.setEnabledHeld(e, true);
  }
  for (int i = 0; i < DEVICE_COUNT; ++i) {
    if (drive_[i] != drive) continue;
    drive_[i] = 0;
    runMark_[i] = false;
  }
  --counters_.occupied;
  publishCounters();
  if (counters_.occupied == 0) {
    for (int i = 0; i < DEVICE_COUNT; ++i) {
      rows_[i].pictureVisible = false;
      rows_[i].spare.clear();
      core_.publish(RowChanged{i, i, rows_[i]});
    }
  }
  return true;
}

bool StationRows::markRunStarted(int slot) {
  auto held = core_.lock();
  if (!validSlot(slot) || drive_[slot] == 0 || runMark_[slot]) return false;
  runMark_[slot] = true;
  return true;
}

void StationRows::registerSlot(int slot, const std::string& text) {
  changeRow(slot, [&](RowState& r) { r.text = text; });
}

std::optional<char> StationRows::registeredDrive(int slot, const std::string& registeredText) {
  auto held = core_.lock();
  if (!validSlot(slot) || drive_[slot] == 0 || runMark_[slot]) return std::nullopt;
  if (rowOf(slot).text != registeredText) return std::nullopt;
  runMark_[slot] = true;
  return drive_[slot];
}

void StationRows::bindSlotsToRows() {
  auto held = core_.lock();
  for (int i = 0; i < DEVICE_COUNT; ++i) binding_[i] = i;
  core_.publish(SlotsRebound{});
}

void StationRows::freeAllSlots() {
  auto held = core_.lock();
  drive_.fill(0);
  runMark_.fill(false);
}

void StationRows::setAllStatusTexts(const std::string& text) {
  auto held = core_.lock();
  for (int r = 0; r < DEVICE_COUNT; ++r) {
    rows_[r].text = text;
    core_.publish(RowChanged{r, r, rows_[r]});
  }
}

// --- a run's row ---

void StationRows::setStatusText(int slot, const std::string& text, TextColour colour) {
  changeRow(slot, [&](RowState& r) {
    r.text = text;
    r.colour = colour;
  });
}

void StationRows::setStatusColour(int slot, TextColour colour) {
  changeRow(slot, [&](RowState& r) { r.colour = colour; });
}

void StationRows::setProgress(int slot, int position) {
  changeRow(slot, [&](RowState& r) { r.progress = std::clamp(position, 0, 100); });
}

void StationRows::setProgressVisible(int slot, bool visible) {
  changeRow(slot, [&](RowState& r) { r.progressVisible = visible; });
}

void StationRows::setPortCell(int slot, const std::string& text) {
  changeRow(slot, [&](RowState& r) { r.port = text; });
}

void StationRows::setSpareCell(int slot, const std::string& text) {
  changeRow(slot, [&](RowState& r) { r.spare = text; });
}

void StationRows::showPicture(int slot, StatusPicture picture) {
  if (!validSlot(slot)) return;
  std::error_code ec;
  bool present = std::filesystem::is_regular_file(
      miscPath(picture == StatusPicture::Success ? "success.bmp" : "fail.bmp"), ec);
  auto held = core_.lock();
  if (!present || drive_[slot] == 0) return;
  rowOf(slot).picture = picture;
  rowOf(slot).pictureVisible = true;
  publishSlot(slot);
}

void StationRows::hidePicture(int slot) {
  changeRow(slot, [&](RowState& r) { r.pictureVisible = false; });
}

void StationRows::runStarted() {
  auto held = core_.lock();
  ++counters_.running;
  publishCounters();
  for (Element e : {Element::grpFileList, Element::grpMPSetting})
    if (controls_.enabledHeld(e)) controls_.setEnabledHeld(e, false);
}

void StationRows::runEnded(bool success) {
  auto held = core_.lock();
  if (--counters_.running <= 0) {
    counters_.running = 0;
    for (Element e : {Element::grpFileList, Element::grpMPSetting}) controls_.setEnabledHeld(e, true);
  }
  ++counters_.total;
  if (success) ++counters_.success;
  counters_.fail = counters_.total - counters_.success;
  publishCounters();
}

void StationRows::resetRowIfReleased(int slot, char drive) {
  if (!validSlot(slot)) return;
  auto held = core_.lock();
  RowState& r = rowOf(slot);
  if (drive_[slot] == drive || r.colour != TextColour::Red) return;
  r.text = lang_.text(LangText::WaitDeviceMsg);
  r.colour = TextColour::WindowText;
  publishSlot(slot);
}

}  // namespace station
