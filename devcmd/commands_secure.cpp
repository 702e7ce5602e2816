// Controller memory, the encrypted partition's requests, and the info.txt sub-commands
// (which send nothing, but still need a drive that opens).
#include <array>

#include "devcmd/commands.h"
#include "devcmd/info_file.h"

namespace devcmd {
namespace {

constexpr uint32_t kMiB = 1048576;
constexpr uint32_t kInfoUnreadable = 65535;

uint32_t readMemory(Run& run, RequestId id) {
  if (!run.send(id, {run.number(0)}).ok) run.errorLine(requestEntry(id).name);
  run.out().write(memoryTable(run.buffer()));
  return run.completion();  // exit 0 whatever the device said
}

std::optional<PartitionInfo> readInfo(Run& run) {
  std::optional<PartitionInfo> info = readPartitionInfo(run.env().infoPath);
  if (info) {
    run.out().print("total_size = %d Bytes\n", static_cast<int>(info->totalSize));
    run.out().print("encrypted_size = %d Bytes\n", static_cast<int>(info->encryptedSize));
    run.out().print("user_name = %s\n", info->user.c_str());
    run.out().print("password = %s\n", info->password.c_str());
  }
  return info;
}

// Keeps the total size of the file as it stands and replaces the rest.
uint32_t writeInfo(Run& run, uint32_t encryptedMiB, const std::string& user,
                   const std::string& password) {
  const std::optional<int32_t> total = readTotalSize(run.env().infoPath);
  if (!total) return run.valueExit(1);
  PartitionInfo info{*total, static_cast<int32_t>(encryptedMiB * kMiB), user, password};
  if (!writePartitionInfo(run.env().infoPath, info)) return run.valueExit(1);
  run.out().print("encrypted_size = %d Bytes\n", static_cast<int>(info.encryptedSize));
  run.out().print("user_name = %s\n", info.user.c_str());
  run.out().print("password = %s\n", info.password.c_str());
  return run.completion();
}

// Sizes are kept as 32-bit values; read back as unsigned so 2 GiB and more stay positive.
uint32_t sizeInMiB(int32_t bytes) { return static_cast<uint32_t>(bytes) >> 20; }

}  // namespace

uint32_t cmdReadXData(Run& run) { return readMemory(run, RequestId::ReadXData); }
uint32_t cmdReadCode(Run& run) { return readMemory(run, RequestId::ReadCode); }

uint32_t cmdWriteXData(Run& run) {
  std::array<uint8_t, 5> bytes{};
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(run.number(1 + i));
  if (!run.sendOut(RequestId::WriteXData, {run.number(0)}, bytes.data()).ok)
    run.errorLine(requestEntry(RequestId::WriteXData).name);
  return run.completion();  // exit 0 whatever the device said
}

// Status byte 0 means changed, bit 0 set means refused. A transfer that did not go
// through changed nothing, so it fails too rather than passing for a change.
uint32_t cmdChangePasswd(Run& run) {
  const Outcome o = run.send(RequestId::ChangePasswd, {run.number(0)});
  if (!o.transferred || (run.buffer()[0] & 1) != 0)
    return run.failWith(requestEntry(RequestId::ChangePasswd).name, 1);
  return run.completion();
}

uint32_t cmdNeedUp(Run& run) {
  const std::optional<PartitionInfo> info = readInfo(run);
  if (!info) return run.valueExit(1);
  if (!info->user.empty() || !info->password.empty()) return run.completion();
  return run.valueExit(2);
}

uint32_t cmdCheckUp(Run& run) {
  const std::optional<PartitionInfo> info = readInfo(run);
  if (!info) return run.valueExit(1);
  bool match = false;
  switch (run.paramCount()) {
    case 1:
      match = run.text(0) == info->user && info->password.empty();
      break;
    case 2:
      match = run.text(0) == info->user && run.text(1) == info->password;
      break;
    default:
      match = info->user.empty() && info->password.empty();
      break;
  }
  return run.valueExit(match ? 0 : 2);
}

uint32_t cmdTotalSize(Run& run) {
  const std::optional<PartitionInfo> info = readInfo(run);
  return run.valueExit(info ? sizeInMiB(info->totalSize) : kInfoUnreadable);
}

uint32_t cmdEncryptedSize(Run& run) {
  const std::optional<PartitionInfo> info = readInfo(run);
  return run.valueExit(info ? sizeInMiB(info->encryptedSize) : kInfoUnreadable);
}

uint32_t cmdSetInfo(Run& run) {
  const std::string user = run.paramCount() > 1 ? run.text(1) : std::string();
  const std::string password = run.paramCount() > 2 ? run.text(2) : std::string();
  // Only what reads back as itself is stored: one word of at most 15 characters each,
  // and no password without a user name (it would read back as the user name).
  if (!fitsField(user) || !fitsField(password) || (user.empty() && !password.empty())) {
    run.out().print("Invalid user name or password\n");
    return run.valueExit(1);
  }
  return writeInfo(run, run.number(0), user, password);
}

uint32_t cmdSetSize(Run& run) {
  const std::optional<PartitionInfo> info = readInfo(run);
  if (!info) return run.valueExit(1);
  return writeInfo(run, run.number(0), info->user, info->password);
}

uint32_t cmdUnlock(Run& run) {
  run.out().print("Unlock the Encrypted Disk!!\n");
  return run.completion();
}

}  // namespace devcmd
