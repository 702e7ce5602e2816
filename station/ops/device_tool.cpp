#include "station/ops/device_tool.h"

#include "base/ascii.h"
#include "platform/drive_table.h"
#include "platform/file_read.h"
#include "platform/file_search.h"
#include "platform/program_folder.h"

#include <array>
#include <atomic>
#include <cctype>
#include <fstream>
#include <iterator>

namespace station {
namespace {

using M = ExitMapping;

// Sub-command, poll interval, whether the window is served while waiting, result.
constexpr ToolOpInfo kOps[] = {
    {ToolOp::Probe, "", 30, false, M::Is225},
    {ToolOp::ChkIsUpdatedisk, "chk_is_updatedisk", 30, true, M::Is0},
    {ToolOp::SecondReset, "2st_reset", 200, false, M::Code},
    {ToolOp::IsTarn, "IS_TARN", 30, true, M::Not0},
    {ToolOp::WtMgrS, "wt_mgr_s", 30, false, M::Is0},
    {ToolOp::WtMgr, "wt_mgr", 30, false, M::Is0},
    {ToolOp::WtMgrE, "wt_mgr_e", 30, true, M::Is0Or1},
    {ToolOp::ReadBndId, "read_bnd_id", 200, false, M::Low8},
    {ToolOp::SetSysArea, "set_sys_area", 200, false, M::Code},
    {ToolOp::GetFlashItem, "get_flash_item", 200, false, M::Code},
    {ToolOp::RdId, "rd_id", 30, false, M::FlashId},
    {ToolOp::WtCfg, "wt_cfg", 30, false, M::Is0},
    {ToolOp::BlkChkS, "blk_chk_s", 30, false, M::Is0},
    {ToolOp::BlkChkP, "blk_chk_p", 200, true, M::Code},
    {ToolOp::ChkBadS, "chk_bad_s", 30, false, M::Is0},
    {ToolOp::ChkBadP, "chk_bad_p", 1, false, M::Started},
    {ToolOp::WtPgrS, "wt_pgr_s", 30, false, M::Is0},
    {ToolOp::WtPgr, "wt_pgr", 30, false, M::Is0},
    {ToolOp::WtPgrPackage, "wt_pgr", 30, false, M::Is0},
    {ToolOp::WtPgrE, "wt_pgr_e", 30, false, M::Is0},
    {ToolOp::ChkUpdateSuccess, "chk_update_success", 200, false, M::Is0},
    {ToolOp::GetSizeMB, "get_size_MB", 200, false, M::Code},
};

const std::string kToolFile = std::string("devcmd") + platform::kProgramSuffix;
const std::string kPortFinderFile = std::string("usbdos") + platform::kProgramSuffix;


// Blanking-check poll answers: reply byte 1 is the percentage, byte 0 the state.
constexpr uint32_t kBlankCheckDone = 0x6401;
constexpr uint32_t kBlankCheckFailed = 1;

}  // namespace

const ToolOpInfo& toolOpInfo(ToolOp op) {
  for (const auto& s : kOps)
    if (s.op == op) return s;
  return kOps[0];
}

platform::ChildCommand toolCommand(ToolOp op, char drive, const std::string& param) {
  const ToolOpInfo& info = toolOpInfo(op);
  platform::ChildCommand cmd;
  std::string driveArg = std::string(1, drive) + ":";
  std::string line = platform::windowsMiscPath("devcmd.exe") + " " + driveArg;
  cmd.argv = {platform::miscPath(kToolFile), driveArg};
  if (op != ToolOp::Probe) {
    line += std::string(" ") + info.word;
    cmd.argv.push_back(info.word);
  }
  switch (op) {
    case ToolOp::WtMgrS:
    case ToolOp::WtMgrE:
    case ToolOp::SetSysArea:
    case ToolOp::WtPgrS:
      line += " " + param;
      cmd.argv.push_back(param);
      break;
    case ToolOp::WtMgr:
      (line += ' ') += platform::windowsMiscPath("FSM.BIN");
      cmd.argv.push_back(param.empty() ? platform::miscPath("FSM.BIN") : param);
      break;
    case ToolOp::WtCfg:
      line += " \"\"" + param + "\"\"";
      cmd.argv.push_back(param);
      break;
    case ToolOp::BlkChkS:
      line += " 4 1024";
      cmd.argv.insert(cmd.argv.end(), {"4", "1024"});
      break;
    case ToolOp::ChkBadS:
      line += " 4 4096";
      cmd.argv.insert(cmd.argv.end(), {"4", "4096"});
      break;
    case ToolOp::WtPgr:
      line += " \"" + param + "\" ";
      cmd.argv.push_back(param);
      break;
    case ToolOp::WtPgrPackage:
      line += "  \"" + param + "\" ";
      cmd.argv.push_back(param);
      break;
    default:
      break;
  }
  cmd.windowsLine = line;
  cmd.window = platform::ChildWindow::None;
  // A real player on Linux: the node its station letter is bound to.
  cmd.extraEnv = platform::deviceToolEnvironment(drive);
  return cmd;
}

platform::ChildCommand portFinderCommand(int serialIndex) {
  platform::ChildCommand cmd;
  cmd.windowsLine = platform::windowsMiscPath("usbdos.exe") + " " + std::to_string(serialIndex);
  cmd.argv = {platform::miscPath(kPortFinderFile), std::to_string(serialIndex)};
  cmd.window = platform::ChildWindow::None;
  return cmd;
}

bool toolSucceeded(ToolOp op, uint32_t code) {
  switch (toolOpInfo(op).mapping) {
    case M::Is225: return code == 225;
    case M::Is0: return code == 0;
    case M::Not0: return code != 0;
    case M::Is0Or1: return code == 0 || code == 1;
    case M::Started: return true;
    default: return false;
  }
}

uint32_t toolValue(ToolOp op, uint32_t code) {
  switch (toolOpInfo(op).mapping) {
    case M::Low8: return code & 0xFF;
    case M::FlashId: {
      // The tool's failure codes (1, and 65535 for a failed four-byte query) are no
      // identification either: taken as one, a failed read would end "successful".
      if (code == 1 || code == 0xFFFF) return 0;
      uint32_t b = code & 0xFF;
      return code == (b | b << 8 | b << 16 | b << 24) ? 0 : code;
    }
    default: return code;
  }
}

const char* deviceToolFileName() { return kToolFile.c_str(); }

std::string managerFilePath(const std::string& miscDir) {
  if constexpr (platform::kNamesIgnoreCase) return miscDir + platform::kPathSeparator + "fsm.bin";
  std::string found;
  for (const auto& e : platform::listFolder(miscDir)) {
    if (e.directory || !tarn::equalsIgnoringCase(e.name, "fsm.bin")) continue;
    // Several spellings side by side: the download's own name first.
    if (found.empty() || e.name == "FSM.BIN" || (e.name == "fsm.bin" && found != "FSM.BIN"))
      found = e.name;
  }
  return miscDir + platform::kPathSeparator + (found.empty() ? "FSM.BIN" : found);
}

std::optional<uint64_t> fileLength(const std::string& path) {
  return platform::regularFileSize(path);
}

uint16_t managerChecksum(const std::string& path) {
  uint16_t sum = 0;
  std::FILE* f = platform::openRegularFile(path);
  if (!f) return sum;
  unsigned char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
    for (size_t i = 0; i < n; ++i) sum = static_cast<uint16_t>(sum + buf[i]);
  std::fclose(f);
  return sum;
}

std::string fileNameOf(const std::string& path) {
  size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

std::string miscPath(const std::string& name) { return platform::miscPath(name); }

int choosePackageFile(const std::vector<std::string>& copyList, PackageKind kind,
                      bool forStart) {
  int found = -1;
  for (size_t i = 0; i < copyList.size(); ++i) {
    std::string name = fileNameOf(copyList[i]);
    if (isPackageFileName(name, kind, forStart ? NameMatch::AnyCase : NameMatch::Spellings)) found = static_cast<int>(i);
  }
  return found;
}

namespace {
class SystemLauncher : public ToolLauncher {
 public:
  platform::ChildResult run(const platform::ChildCommand& command,
                            const platform::WaitPolicy& policy) override {
    return platform::runChild(command, policy);
  }
};
}  // namespace

ToolLauncher& systemLauncher() {
  static SystemLauncher launcher;
  return launcher;
}

DeviceTool::DeviceTool(ToolLauncher& launcher, RunReporter& report, const RunSettings& settings,
                       std::string miscDir)
    : launcher_(launcher), report_(report), settings_(settings), miscDir_(std::move(miscDir)) {}

std::optional<uint32_t> DeviceTool::run(ToolOp op, char drive, const std::string& param) {
  const ToolOpInfo& info = toolOpInfo(op);
  platform::WaitPolicy policy;
  policy.pollMs = info.pollMs;
  if (info.pump) policy.pump = [this] { report_.pump(); };
  platform::ChildCommand command = toolCommand(op, drive, param);
  if (drive >= 'A' && drive <= 'Z' && arrivals_[drive - 'A'])
    command.extraEnv = platform::deviceToolEnvironment(drive, arrivals_[drive - 'A']);
  platform::ChildResult r = launcher_.run(command, policy);
  if (!r.ended()) return std::nullopt;
  return r.exitCode;
}

bool DeviceTool::yesNo(ToolOp op, char drive, const std::string& param) {
  auto code = run(op, drive, param);
  return code && toolSucceeded(op, *code);
}

uint32_t DeviceTool::number(ToolOp op, char drive, const std::string& param) {
  auto code = run(op, drive, param);
  return code ? toolValue(op, *code) : 0;
}

bool DeviceTool::probe(char d) { return yesNo(ToolOp::Probe, d); }
bool DeviceTool::checkIsUpdateDisk(char d) { return yesNo(ToolOp::ChkIsUpdatedisk, d); }
uint32_t DeviceTool::secondReset(char d) { return number(ToolOp::SecondReset, d); }
bool DeviceTool::isTarn(char d) { return yesNo(ToolOp::IsTarn, d); }

bool DeviceTool::writeManagerStart(char d) {
  // Without the image there is no length to announce; the device gets no bogus size.
  auto length = fileLength(managerFilePath(miscDir_));
  return length && yesNo(ToolOp::WtMgrS, d, std::to_string(*length));
}

bool DeviceTool::writeManager(char d) {
  return yesNo(ToolOp::WtMgr, d, managerFilePath(miscDir_));
}

bool DeviceTool::writeManagerEnd(char d) {
  return yesNo(ToolOp::WtMgrE, d, std::to_string(managerChecksum(managerFilePath(miscDir_))));
}

uint32_t DeviceTool::readBondingId(char d) { return number(ToolOp::ReadBndId, d); }
uint32_t DeviceTool::setSystemArea(char d, int units) {
  return number(ToolOp::SetSysArea, d, std::to_string(units));
}
uint32_t DeviceTool::flashItemCount(char d) { return number(ToolOp::GetFlashItem, d); }
uint32_t DeviceTool::readFlashId(char d) { return number(ToolOp::RdId, d); }
bool DeviceTool::writeConfigTable(char d, const std::string& path) {
  return yesNo(ToolOp::WtCfg, d, path);
}
bool DeviceTool::blankCheckStart(char d) { return yesNo(ToolOp::BlkChkS, d); }
bool DeviceTool::badBlockStart(char d) { return yesNo(ToolOp::ChkBadS, d); }
bool DeviceTool::badBlockPoll(char d) { return yesNo(ToolOp::ChkBadP, d); }
bool DeviceTool::writePackageEnd(char d) { return yesNo(ToolOp::WtPgrE, d); }
bool DeviceTool::checkUpdateSuccess(char d) { return yesNo(ToolOp::ChkUpdateSuccess, d); }
uint32_t DeviceTool::sizeMB(char d) { return number(ToolOp::GetSizeMB, d); }

bool DeviceTool::blankCheckPoll(char drive, const std::function<void(int percent)>& looked) {
  for (;;) {
    auto polled = run(ToolOp::BlkChkP, drive);
    if (!polled) return false;
    uint32_t code = *polled;
    // A poll answer is two reply bytes; anything wider is a tool that did not answer
    // (crashed, killed) and would otherwise keep the loop going for ever.
    if (code > 0xFFFF) return false;
    if (looked) looked(static_cast<int>(code >> 8));
    report_.pump();
    if (code == kBlankCheckFailed) return false;
    if (code == kBlankCheckDone) return true;
  }
}

bool DeviceTool::writePackageStart(char d, PackageKind kind) {
  std::vector<std::string> list = settings_.copyList();
  int index = choosePackageFile(list, kind, true);
  packageIndex_[static_cast<int>(kind) - 1] = index;
  if (index < 0) return false;
  // An entry that cannot be read has no length to announce.
  auto length = fileLength(list[static_cast<size_t>(index)]);
  return length && yesNo(ToolOp::WtPgrS, d, std::to_string(*length));
}

bool DeviceTool::writePackage(char d, PackageKind kind) {
  std::vector<std::string> list = settings_.copyList();
  int index = choosePackageFile(list, kind, false);
  packageIndex_[static_cast<int>(kind) - 1] = index;
  if (index < 0) return false;
  ToolOp op = kind == PackageKind::Firmware ? ToolOp::WtPgr : ToolOp::WtPgrPackage;
  return yesNo(op, d, list[static_cast<size_t>(index)]);
}

uint32_t DeviceTool::portFinder(int serialIndex) {
  platform::ChildResult r = launcher_.run(portFinderCommand(serialIndex), {200, 0, {}});
  return r.ended() ? r.exitCode : 0;
}

}  // namespace station
