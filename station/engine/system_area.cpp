#include "station/engine/system_area.h"

#include "station/ops/device_tool.h"

#include <algorithm>

namespace station {
namespace {

int64_t roundUp(int64_t value, int64_t unit) {
  if (value <= 0) return 0;
  return (value + unit - 1) / unit * unit;
}

int64_t sizeOf(const std::vector<std::string>& list, int index) {
  if (index < 0) return 0;
  auto length = fileLength(list[static_cast<size_t>(index)]);
  return length ? static_cast<int64_t>(*length) : -1;
}

std::string sizeText(const RunReporter& report, int64_t megabytes) {
  return report.text(LangText::SystemAreaSizeStr) + ": " + std::to_string(megabytes) + "MB";
}

}  // namespace

SystemAreaImages findSystemAreaImages(const std::vector<std::string>& copyList) {
  SystemAreaImages found;
  for (size_t i = 0; i < copyList.size(); ++i) {
    std::string name = fileNameOf(copyList[i]);
    for (int kind = 0; kind < 3; ++kind)
      if (isPackageFileName(name, static_cast<PackageKind>(kind + 1), NameMatch::Spellings))
        found.index[kind] = static_cast<int>(i);
  }
  return found;
}

int64_t neededSystemAreaBytes(int64_t programSize, int64_t preferSize, int64_t isoSize,
                              bool withIso) {
  int64_t sum = roundUp(programSize, 512) + roundUp(preferSize, 512);
  if (withIso) sum += roundUp(isoSize, 512);
  sum += 2097152;
  return roundUp(sum * 2, kSystemAreaStep);
}

int computeSystemArea(RunReporter& report, RunSettings& settings) {
  std::vector<std::string> list = settings.copyList();
  SystemAreaImages images = findSystemAreaImages(list);
  int64_t needed = neededSystemAreaBytes(sizeOf(list, images.index[0]),
                                         sizeOf(list, images.index[1]),
                                         sizeOf(list, images.index[2]), settings.isoUpgrade());
  report.setSystemAreaSize(sizeText(report, needed / 1048576));
  int neededSteps = static_cast<int>(std::max<int64_t>(1, needed / kSystemAreaStep));
  if (!settings.systemAreaFixed()) return neededSteps;

  int fixedMb = (settings.systemAreaIndex() + 1) * 4;
  fixedMb = static_cast<int>(roundUp(fixedMb, 4));
  fixedMb = std::clamp(fixedMb, 1, 64);
  report.setSystemAreaSize(sizeText(report, fixedMb));
  int fixedSteps = fixedMb / 4;
  if (fixedSteps >= neededSteps) return fixedSteps;

  report.showMessage("The system area size you set is too small, system set to proper size!",
                   "size is too small", MessageIcon::None);
  // Sizes beyond the last choice ("64MB") leave it on that choice.
  settings.setSystemAreaIndex(std::min(neededSteps, 16) - 1);
  report.setSystemAreaSize(sizeText(report, int64_t{neededSteps} * 4));
  return neededSteps;
}

}  // namespace station
