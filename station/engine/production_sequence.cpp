#include "station/engine/production_sequence.h"

#include "platform/path_name.h"
#include "platform/program_folder.h"
#include "station/engine/run_observer.h"
#include "station/engine/system_area.h"
#include "station/engine/volume_check.h"
#include "station/ops/flash_id.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

namespace station {
namespace {

// Whether a copy-list entry is a file of the kind a download may have used.
bool isPackageFile(const std::string& entry, PackageKind kind) {
  return isPackageFileName(fileNameOf(entry), kind, NameMatch::AnyCase);
}

class Run {
 public:
  Run(RunReporter& report, RunSettings& settings, ProductionDevice& device, Pauses& pauses,
      char drive, RunObserver& observer)
      : report_(report),
        settings_(settings),
        dev_(device),
        pauses_(pauses),
        obs_(observer),
        drive_(drive),
        x_(1, drive) {}

  RunOutcome go() {
    log(": Start");
    slot_ = findSlot();
    if (slot_ < 0) {
      log(": realidx == DEVICE_COUNT return!!");
      return outcome();
    }
    obs_.runBegan(drive_, slot_);
    obs_.stepBegan("start");
    report_.hidePicture(slot_);

    wait(200);
    report_.setPortCell(slot_, "");
    discover("1");
    report_.runStarted();
    report_.setProgressVisible(slot_, true);
    report_.setProgress(slot_, 5);

    if (devicePart()) successEnd();
    commonEnd();
    return outcome();
  }

 private:
  // Steps 4 to 22: true when the run reaches the success end, false after a failure
  // (whose text is already shown).
  bool devicePart() {
    obs_.stepBegan("manager");
    if (dev_.isTarn(drive_)) {
      std::string current = dev_.readLabel(drive_);
      // An unreadable volume also reads as no label; with an empty label it must not
      // pass for a finished player.
      if (current == settings_.label() && (!current.empty() || dev_.isReadable(drive_))) {
        // Already produced: nothing is written into it.
        unreset_ = true;
        success_ = true;
        return true;
      }
    } else {
      report_.setStatus(slot_, text(LangText::FSMWrite), TextColour::WindowText);
      wait(100);
      if (!dev_.writeManagerStart(drive_)) return fail(text(LangText::FlashWriteSetup));
      wait(100);
      if (!dev_.writeManager(drive_)) return fail(text(LangText::FSMWrite));
    }
    wait(100);
    if (!dev_.writeManagerEnd(drive_)) return fail(text(LangText::FlashEnd));

    report_.hidePicture(slot_);
    step(text(LangText::FILEWriteStr));

    obs_.stepBegan("variant");
    if (!chipVariantMatches()) return false;

    obs_.stepBegan("flash_id");
    wait(100);
    int units = computeSystemArea(report_, settings_);
    obs_.systemArea(units);
    dev_.setSystemArea(drive_, units);
    uint32_t items = dev_.flashItemCount(drive_);
    uint32_t flashId = dev_.readFlashId(drive_);
    if (flashId == 0) return fail(text(LangText::FlashCheckStr));

    std::string table = dev_.identifyFlash(flashId, items, slot_);
    obs_.flashIdentified(flashId, items, table);
    if (table != "0") {
      obs_.stepBegan("config_table");
      if (!dev_.writeConfigTable(drive_, miscPath(table))) return fail(text(LangText::FILEWriteStr));
      progress(10);
    }

    if (!flashTest()) return false;

    wait(200);
    if (report_.portCell(slot_).empty()) discover("2");

    if (!settings_.firmwareUpgrade()) {
      progress(100);
      return true;
    }

    if (!writeImage(PackageKind::Firmware,
                    {LangText::ProgramWriteSetupStr, LangText::ProgramWriteStr, LangText::ProgramWriteEndStr},
                    {40, 50, 60}, {200, 100, 100}))
      return false;
    if (!writeImage(PackageKind::Preferences,
                    {LangText::PreferWriteSetupStr, LangText::PreferWriteStr, LangText::PreferWriteEndStr},
                    {65, 70, 75}, {200, 200, 100}))
      return false;
    if (settings_.isoUpgrade() &&
        !writeImage(PackageKind::DiskImage, {LangText::ISOWriteSetupStr, LangText::ISOWriteStr, LangText::ISOWriteEndStr},
                    {80, 85, 90}, {100, 200, 200}))
      return false;

    if (settings_.parityCheck()) {
      obs_.stepBegan("parity");
      step(text(LangText::FwParityCheckStr));
      if (!dev_.checkUpdateSuccess(drive_)) return fail(text(LangText::FwParityCheckStr));
      progress(92);
    }

    obs_.stepBegan("bad_block_poll");
    if (!dev_.badBlockPoll(drive_)) return fail(text(LangText::BadBlockStr));
    progress(94);
    wait(100);
    if (report_.portCell(slot_).empty()) discover("3");

    obs_.stepBegan("capacity");
    uint32_t capacity = dev_.sizeMB(drive_);
    bool fat32 = capacity > 128;
    obs_.capacity(capacity, fat32);
    bool readable = dev_.isReadable(drive_);
    log(": size =" + std::to_string(capacity) + "MB");

    if (!formatOrLabel(fat32, readable)) return false;
    obs_.stepBegan("copy");
    if (!copyFiles()) return false;
    wait(200);
    return true;
  }

  bool chipVariantMatches() {
    int wanted = settings_.sdkBondingId();
    if (wanted == 255) return true;
    if (wanted == 0) return variantFail(text(LangText::SDKBidErrorStr) + " 0");
    uint32_t chip = dev_.readBondingId(drive_) & 0xFF;
    obs_.chipVariant(chip);
    if (chip == 0 || chip > 15) return variantFail(text(LangText::ChipBidErrorStr) + std::to_string(chip));
    if (static_cast<int>(chip) != wanted)
      return variantFail(text(LangText::SDKBidNoMatchStr) + " " + std::to_string(wanted));
    return true;
  }

  bool flashTest() {
    obs_.stepBegan("flash_test");
    wait(100);
    if (!settings_.blankCheck()) {
      step(text(LangText::BadBlockStr));
      if (!dev_.badBlockStart(drive_)) return fail(text(LangText::BadBlockStr));
      progress(15);
      wait(200);
      step(text(LangText::BadBlockStr));
      report_.setProgress(slot_, 15);
      return true;
    }
    std::string setup = text(LangText::BlankingCheckSetup);
    step(setup);
    if (!dev_.blankCheckStart(drive_)) return fail(setup);
    progress(15);
    wait(200);
    step(text(LangText::BlankingChecking));
    if (!dev_.blankCheckPoll(drive_, slot_)) return fail(text(LangText::BlankingChecking));
    progress(15);
    return true;
  }

  struct Three {
    LangText a, b, c;
  };
  struct Positions {
    int a, b, c;
  };

  // The three stages of one image: start, data, end.
  bool writeImage(PackageKind kind, Three keys, Positions at, Positions waits) {
    obs_.stepBegan(kind == PackageKind::Firmware      ? "program"
                   : kind == PackageKind::Preferences ? "prefer"
                                                      : "iso");
    step(text(keys.a));
    if (!dev_.writePackageStart(drive_, kind)) return fail(text(keys.a));
    progress(at.a);
    wait(static_cast<unsigned>(waits.a));
    step(text(keys.b));
    if (!dev_.writePackage(drive_, kind)) return fail(text(keys.b));
    progress(at.b);
    wait(static_cast<unsigned>(waits.b));
    step(text(keys.c));
    if (!dev_.writePackageEnd(drive_)) return fail(text(keys.c));
    progress(at.c);
    obs_.packageWritten(kind);
    wait(static_cast<unsigned>(waits.c));
    return true;
  }

  bool formatOrLabel(bool fat32, bool readable) {
    if (!readable || settings_.format()) {
      obs_.stepBegan("format");
      wait(100);
      std::string format = text(LangText::FormatStr);
      report_.setStatus(slot_, format + (fat32 ? "FAT32..." : "FAT16..."),
                          TextColour::WindowText);
      if (!dev_.format(drive_, fat32, settings_.label())) {
        report_.setStatus(slot_, format + " Retry", TextColour::WindowText);
        wait(500);
        if (!dev_.format(drive_, fat32, settings_.label())) return fail(format);
      }
      success_ = true;
      return true;
    }
    if (dev_.readLabel(drive_) == settings_.label()) return true;
    obs_.stepBegan("label");
    std::string setLabel = text(LangText::SetLabelStr);
    step(setLabel);
    if (!dev_.setLabel(drive_, settings_.label())) {
      report_.setStatus(slot_, setLabel + " Retry", TextColour::WindowText);
      if (!dev_.setLabel(drive_, settings_.label())) return fail(setLabel);
    }
    return true;
  }

  bool copyFiles() {
    std::vector<std::string> list = settings_.copyList();
    std::vector<platform::Volumes::RootCopy> files;
    for (size_t j = 0; j < list.size(); ++j)
      if (!isFlashImage(list, static_cast<int>(j))) files.push_back({list[j], copiedFileName(list[j])});
    if (dev_.copyAllToRoot(files, drive_) < files.size()) return fail(text(LangText::CopyFileMsg));
    return true;
  }

  // The positions the downloads recorded are written into the flash, not copied. A
  // position that no longer names a file of its kind (the list was edited since an earlier
  // run recorded it) is an ordinary file and is copied.
  bool isFlashImage(const std::vector<std::string>& list, int j) {
    for (PackageKind kind :
         {PackageKind::Firmware, PackageKind::Preferences, PackageKind::DiskImage}) {
      if (dev_.packageFileIndex(kind) == j && isPackageFile(list[static_cast<size_t>(j)], kind))
        return true;
    }
    return false;
  }

  void successEnd() {
    obs_.stepBegan("volume_check");
    report_.setProgressVisible(slot_, true);
    report_.setStatus(slot_, text(unreset_ ? LangText::UnresetMsg : LangText::SuccessMsg),
                      TextColour::Blue);
    report_.setProgress(slot_, 100);
    report_.showPicture(slot_, StatusPicture::Success);
    log(" success!");
    dev_.checkVolume(drive_);
  }

  void commonEnd() {
    obs_.stepBegan("end");
    if (report_.portCell(slot_).empty()) {
      wait(500);
      discover("end");
    }
    if (!success_) {
      report_.showPicture(slot_, StatusPicture::Fail);
      report_.resetRowIfReleased(slot_, drive_);
      log(" fail!");
    }
    // Recorded before the counters move, so a station that closes on its last tally has
    // every record.
    obs_.runEnding(success_, unreset_);
    report_.runEnded(success_);
  }

  // --- helpers ---

  int findSlot() const {
    for (int i = 0; i < DEVICE_COUNT; ++i)
      if (report_.slotDrive(i) == drive_) return i;
    return -1;
  }

  void discover(const char* which) {
    std::optional<SlotPort> port = dev_.discoverSlot(drive_);
    if (!port) {
      log(std::string(":Get port fail <") + which + ">!!");
      return;
    }
    std::string where = std::to_string(port->hubPort) + "-" + std::to_string(port->port);
    log(" Port:" + where);
    obs_.portFound(port->hubPort, port->port);
    report_.setPortCell(slot_, "Port:" + where);
  }

  std::string text(LangText id) const { return report_.text(id); }
  void log(const std::string& line) { report_.appendPortLog(x_ + line); }
  void wait(unsigned ms) {
    paused_ += ms;
    pauses_.pause(ms);
  }
  void step(const std::string& what) {
    report_.setStatus(slot_, what + "...", TextColour::WindowText);
  }
  void progress(int position) {
    report_.setProgress(slot_, position);
    success_ = true;
  }
  bool fail(const std::string& what) {
    return variantFail(what + " " + text(LangText::FailMsg));
  }
  bool variantFail(const std::string& shown) {
    report_.setStatus(slot_, shown, TextColour::Red);
    obs_.failed(shown);
    success_ = false;
    return false;
  }

  RunOutcome outcome() const { return {slot_ >= 0, success_, slot_, paused_}; }

  RunReporter& report_;
  RunSettings& settings_;
  ProductionDevice& dev_;
  Pauses& pauses_;
  RunObserver& obs_;
  const char drive_;
  const std::string x_;
  int slot_ = -1;
  bool success_ = false;
  bool unreset_ = false;
  uint64_t paused_ = 0;
};

class SystemDevice : public ProductionDevice {
 public:
  SystemDevice(RunReporter& report, const RunSettings& settings, ToolLauncher& launcher,
               std::unique_ptr<platform::Volumes> volumes,
               std::unique_ptr<platform::UsbTopology> topology, std::string miscDir)
      : report_(report),
        settings_(settings),
        tool_(launcher, report, settings),
        volumes_(std::move(volumes)),
        topology_(std::move(topology)),
        miscDir_(std::move(miscDir)) {
    tool_.pinDrives();  // the run's players are those the letters have now
  }

  std::optional<SlotPort> discoverSlot(char d) override {
    return station::discoverSlot(d, *topology_, tool_, report_);
  }
  bool isTarn(char d) override { return tool_.isTarn(d); }
  bool writeManagerStart(char d) override { return tool_.writeManagerStart(d); }
  bool writeManager(char d) override { return tool_.writeManager(d); }
  bool writeManagerEnd(char d) override { return tool_.writeManagerEnd(d); }
  uint32_t readBondingId(char d) override { return tool_.readBondingId(d); }
  uint32_t setSystemArea(char d, int units) override { return tool_.setSystemArea(d, units); }
  uint32_t flashItemCount(char d) override { return tool_.flashItemCount(d); }
  uint32_t readFlashId(char d) override { return tool_.readFlashId(d); }
  std::string identifyFlash(uint32_t flashId, uint32_t chipCount, int slot) override {
    return station::identifyFlash(report_, miscDir_, flashId, chipCount, slot);
  }
  bool writeConfigTable(char d, const std::string& path) override {
    return tool_.writeConfigTable(d, path);
  }
  bool badBlockStart(char d) override { return tool_.badBlockStart(d); }
  bool blankCheckStart(char d) override { return tool_.blankCheckStart(d); }
  bool blankCheckPoll(char d, int slot) override {
    int looks = 0;
    bool done = tool_.blankCheckPoll(d, [&](int percent) {
      ++looks;
      // Blinks in groups of four looks: red, then the window-text colour.
      TextColour colour = (looks / 4) % 2 == 1 ? TextColour::WindowText : TextColour::Red;
      std::string shown = report_.text(LangText::BlankingCheckStr) + " " + std::to_string(percent) + "%";
      report_.setStatus(slot, shown, colour);
      int span = settings_.blankCheck() ? 100 : 40;
      report_.setProgress(slot, (span - 15) * percent / 100 + 15);
    });
    if (done) report_.setStatusColour(slot, TextColour::WindowText);
    return done;
  }
  bool badBlockPoll(char d) override { return tool_.badBlockPoll(d); }
  bool writePackageStart(char d, PackageKind k) override { return tool_.writePackageStart(d, k); }
  bool writePackage(char d, PackageKind k) override { return tool_.writePackage(d, k); }
  bool writePackageEnd(char d) override { return tool_.writePackageEnd(d); }
  bool checkUpdateSuccess(char d) override { return tool_.checkUpdateSuccess(d); }
  uint32_t sizeMB(char d) override { return tool_.sizeMB(d); }
  int packageFileIndex(PackageKind k) override { return tool_.packageFileIndex(k); }

  std::string readLabel(char d) override { return volumes_->readLabel(d); }
  bool isReadable(char d) override { return volumes_->isReadable(d); }
  bool format(char d, bool fat32, const std::string& label) override {
    // Never the quick format: the whole user area is laid out anew.
    return volumes_->format(d, false, fat32, label, [this] { report_.pump(); });
  }
  bool setLabel(char d, const std::string& label) override {
    return volumes_->setLabel(d, label);
  }
  bool copyToRoot(const std::string& source, char d, const std::string& name) override {
    return volumes_->copyToRoot(source, d, name);
  }
  size_t copyAllToRoot(const std::vector<platform::Volumes::RootCopy>& files, char d) override {
    return volumes_->copyAllToRoot(files, d);
  }
  void checkVolume(char d) override { station::checkVolume(*volumes_, d); }

 private:
  RunReporter& report_;
  const RunSettings& settings_;
  DeviceTool tool_;
  std::unique_ptr<platform::Volumes> volumes_;
  std::unique_ptr<platform::UsbTopology> topology_;
  std::string miscDir_;
};

}  // namespace

std::unique_ptr<ProductionDevice> makeProductionDevice(
    RunReporter& report, const RunSettings& settings, ToolLauncher& launcher,
    std::unique_ptr<platform::Volumes> volumes, std::unique_ptr<platform::UsbTopology> topology,
    std::string miscDir) {
  return std::make_unique<SystemDevice>(report, settings, launcher, std::move(volumes),
                                        std::move(topology),
                                        std::move(miscDir));
}

std::unique_ptr<ProductionDevice> makeSystemProductionDevice(RunReporter& report,
                                                             const RunSettings& settings,
                                                             const platform::Players& players) {
  std::string folder = platform::programFolder();
  std::string misc = platform::miscPathIn(folder.empty() ? std::string(".") : folder);
  return makeProductionDevice(report, settings, systemLauncher(), players.volumes(),
                              players.topology(), misc);
}

void SleepingPauses::pause(unsigned ms) {
  prescribed_ += ms;
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

SleepingPauses& systemPauses() {
  static SleepingPauses pauses;
  return pauses;
}

RunOutcome runProduction(RunReporter& report, RunSettings& settings, ProductionDevice& device,
                         Pauses& pauses, char drive, RunObserver* observer) {
  RunObserver none;
  return Run(report, settings, device, pauses, drive, observer ? *observer : none).go();
}

size_t ProductionDevice::copyAllToRoot(const std::vector<platform::Volumes::RootCopy>& files,
                                       char drive) {
  return platform::copyInOrder(files, [&](const platform::Volumes::RootCopy& f) {
    return copyToRoot(f.source, drive, f.name);
  });
}

std::string copiedFileName(const std::string& entry) { return platform::fileNameOf(entry); }

}  // namespace station
