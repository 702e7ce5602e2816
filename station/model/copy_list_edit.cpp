#include "station/model/copy_list_edit.h"

#include <cstdio>
#include <filesystem>

#include "platform/file_read.h"
#include "base/byte_order.h"
#include "station/engine/system_area.h"
#include "station/model/production_check.h"
#include "station/ops/device_tool.h"

namespace station {

namespace {

bool namedProgramBin(const std::string& path) {
  return isPackageFileName(fileNameOf(path), PackageKind::Firmware, NameMatch::AnyCase);
}

}  // namespace

int readSdkBondingId(const std::vector<std::string>& copyList) {
  for (const std::string& item : copyList) {
    if (!namedProgramBin(item)) continue;
    std::FILE* f = platform::openRegularFile(item);
    if (!f) return 0;
    unsigned char b[5];
    size_t n = 0;
    if (std::fseek(f, kBondingMarkerOffset, SEEK_SET) == 0) n = std::fread(b, 1, sizeof b, f);
    std::fclose(f);
    if (n == sizeof b && tarn::getLe32(b) == kBondingMarker) return b[4];
  }
  return 0;
}

void AddFilesBtnClick(StationModel& model, const FileChooser& chooser) {
  std::error_code ec;
  std::filesystem::path remembered = std::filesystem::current_path(ec);
  std::optional<std::vector<std::string>> chosen;
  if (chooser) chosen = chooser(model.lang(LangText::SelectFileStr));
  if (chosen) model.files().appendCopyItems(*chosen);
  model.files().setSdkBondingId(readSdkBondingId(model.files().copyList()));
  computeSystemArea(model.reporter(), model.runSettings());
  // The chooser may have moved it, and every .\misc\ path depends on it.
  if (!remembered.empty()) std::filesystem::current_path(remembered, ec);
}

void RemoveBtnClick(StationModel& model) {
  model.files().removeSelectedItems();
  computeSystemArea(model.reporter(), model.runSettings());
}

void CheckManuupgradeClick(StationModel& model) {
  model.controls().setEnabled(Element::Upgradebtn, model.controls().checked(Check::CheckManuupgrade));
}

void UpgradebtnClick(StationModel& model) {
  productionCheckAtStart(model);
  const std::string& registered = model.lang(LangText::DevicePluginStr);
  for (int slot = 0; slot < DEVICE_COUNT; ++slot)
    if (auto drive = model.rows().registeredDrive(slot, registered)) model.startRun(*drive);
}

}  // namespace station
