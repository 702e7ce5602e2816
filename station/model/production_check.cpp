#include "station/model/production_check.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "base/overloaded.h"
#include "platform/file_read.h"
#include "platform/program_folder.h"
#include "platform/volume.h"
#include "station/model/copy_list_edit.h"
#include "station/model/station_model.h"
#include "station/ops/device_tool.h"
#include "station/ops/flash_id.h"
#include "station/ops/package_files.h"
#include "station/texts/lang.h"

namespace station {

namespace {

// What the format command refuses in a label besides control characters (mkfs.fat and
// format.com agree on these).
constexpr std::string_view kLabelRefuses = "*?.,;:/\\|+=<>[]\"";

bool named(const std::vector<std::string>& copyList, PackageKind kind, NameMatch match) {
  return std::any_of(copyList.begin(), copyList.end(), [&](const std::string& item) {
    return isPackageFileName(fileNameOf(item), kind, match);
  });
}

// The firmware images the ticked options need: absent ones fail every run at the setup
// stage, ones in a spelling only the setup stage finds fail it at the writing stage.
void packageProblems(const ProductionNeeds& n, std::vector<std::string>& out) {
  if (!n.fwUpgrade) return;
  struct Need {
    PackageKind kind;
    const char* setup;
    const char* writing;
  };
  static const Need kNeeds[] = {
      {PackageKind::Firmware, "Program Write Setup", "Program Writing"},
      {PackageKind::Preferences, "Prefer Write Setup", "Prefer Writing"},
  };
  for (const Need& need : kNeeds) {
    const std::string name = packageFileName(need.kind);
    if (!named(n.copyList, need.kind, NameMatch::AnyCase))
      out.push_back("Firmware Upgrade is ticked but the copy list has no " + name +
                    ": every run fails at \"" + need.setup + "\"");
    else if (!named(n.copyList, need.kind, NameMatch::Spellings))
      out.push_back("the copy list's " + name + " must be spelled " + name + " or in capitals: every run fails at \"" +
                    need.writing + "\"");
  }
  if (n.isoUpgrade && !named(n.copyList, PackageKind::DiskImage, NameMatch::Spellings))
    out.push_back("Virtual CDROM is ticked but the copy list has no Image.ISO (or image.iso, image.ISO, "
                  "IMAGE.ISO): every run fails at \"ISO Write Setup\"");
}

struct CheckConfig {
  bool enabled = false;
  bool headless = false;
};
CheckConfig& config() {
  static CheckConfig c;
  return c;
}

void say(const std::string& line) {
  std::fprintf(stderr, "mpstation: check: %s\n", line.c_str());
  if (config().headless) {
    std::fprintf(stdout, "check: %s\n", line.c_str());
    std::fflush(stdout);
  }
}

// The needs as the model's change records tell them, and what was last said, so that each
// problem is said once, when it appears.
struct Watch {
  ProductionNeeds needs;
  std::vector<std::string> said;

  void look() {
    std::vector<std::string> now = productionProblems(needs);
    for (const std::string& p : now)
      if (std::find(said.begin(), said.end(), p) == said.end()) say(p);
    if (now.empty() && !said.empty()) say("nothing missing any more");
    said = std::move(now);
  }
};

ProductionNeeds needsOf(const StationModel& model) {
  ProductionNeeds n;
  n.programFolder = model.options().programFolder;
  n.copyList = model.files().copyList();
  n.fwUpgrade = model.controls().checked(Check::chkFwUpgrade);
  n.isoUpgrade = model.controls().checked(Check::chkISOupgrade);
  n.label = model.controls().labelText();
  n.sdkBondingId = model.files().sdkBondingId();
  return n;
}

}  // namespace

std::optional<std::string> labelProblem(const std::string& label, bool lengthToo) {
  const std::string quoted = "the volume label \"" + label + "\" ";
  if (lengthToo && label.size() > 11)
    return quoted + "has " + std::to_string(label.size()) + " characters; FAT takes at most 11";
  if (!label.empty() && label[0] == ' ') return quoted + "begins with a blank, which FAT does not take";
  for (char c : label) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte > 0x7E)
      return quoted + "holds a character that FAT does not take (letters, digits, blanks and ! # $ % & ' ( ) - @ ^ _ ` { } ~ are taken)";
    if (kLabelRefuses.find(c) != std::string_view::npos)
      return quoted + "holds '" + std::string(1, c) + "', which FAT does not take (nor any of " +
             std::string(kLabelRefuses) + ")";
  }
  return std::nullopt;
}

std::vector<std::string> productionProblems(const ProductionNeeds& n) {
  std::vector<std::string> out;
  const std::string misc = platform::miscPathIn(n.programFolder);
  const std::string tool = platform::miscPathIn(n.programFolder, deviceToolFileName());
  if (!platform::regularFileSize(tool)) out.push_back(tool + " is missing: no player can be probed or produced");
  const std::string manager = managerFilePath(misc);
  if (!platform::regularFileSize(manager))
    out.push_back(manager + " is missing: a player without the flash setup manager fails at \"" +
                  std::string(langEnglish(LangText::FlashWriteSetup)) + "\"");
  if (!haveConfigTables(misc))
    out.push_back("no flash configuration table (*.txt) in " + misc + ": players get none");
  if constexpr (platform::kFormatReadsAnswers) {
    const std::string answers = platform::miscPathIn(n.programFolder, platform::kFormatAnswersFile);
    if (!platform::regularFileSize(answers)) out.push_back(answers + " is missing: every format fails");
  }
  if (n.sdkBondingId.value_or(readSdkBondingId(n.copyList)) == 0)
    out.push_back("the copy list has no program.bin that names its chip variant: every run fails with "
                  "\"SDK bonding ID check fail 0\"");
  packageProblems(n, out);
  if (auto label = labelProblem(n.label)) out.push_back(*label + ": every format fails");
  return out;
}

std::vector<std::string> missingStationFolders(const std::string& programFolder) {
  if (programFolder.empty()) return {};
  const std::string misc = platform::miscPathIn(programFolder);
  std::error_code ec;
  if (std::filesystem::is_directory(misc, ec)) return {};
  return {misc};
}

void enableProductionCheck(bool headless) { config() = CheckConfig{true, headless}; }

void startProductionCheck(StationModel& model) {
  if (!config().enabled) return;
  auto watch = std::make_shared<Watch>();
  watch->needs = needsOf(model);
  watch->look();
  // Called under the model's lock: the records carry the values, nothing asks the model.
  model.addListener([watch](const Change& change) {
    std::visit(tarn::Overloaded{
                   [&](const CopyListChanged& c) {
                     if (c.items == watch->needs.copyList) return;
                     // As the window does: the chip variant is read again when files are
                     // added, not when some are removed.
                     if (c.items.size() > watch->needs.copyList.size())
                       watch->needs.sdkBondingId = readSdkBondingId(c.items);
                     watch->needs.copyList = c.items;
                     watch->look();
                   },
                   [&](const LabelChanged& c) {
                     watch->needs.label = c.text;
                     watch->look();
                   },
                   [&](const CheckedChanged& c) {
                     if (c.check == Check::chkFwUpgrade) watch->needs.fwUpgrade = c.checked;
                     else if (c.check == Check::chkISOupgrade) watch->needs.isoUpgrade = c.checked;
                     else return;
                     watch->look();
                   },
                   [](const auto&) {},
               },
               change);
  });
}

void productionCheckAtStart(StationModel& model) {
  if (!config().enabled || config().headless) return;
  std::string text;
  for (const std::string& p : productionProblems(needsOf(model))) text += p + "\n";
  if (!text.empty()) model.showMessage("Before production:\n" + text, model.controls().appTitle(), MessageIcon::Warning);
}

}  // namespace station
