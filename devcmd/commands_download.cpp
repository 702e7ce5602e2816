// File downloads: the file goes to the device in chunks of up to 2048 bytes, one data-out
// request each. The last chunk is sent even when it is empty, which the device takes
// as the end of the data: n bytes always make n / 2048 + 1 chunks.
#include <cstdio>

#include "devcmd/commands.h"

namespace devcmd {
namespace {

uint32_t sendFile(Run& run, RequestId id) {
  std::FILE* file = std::fopen(run.text(0).c_str(), "rb");
  if (file == nullptr) {
    run.out().print("Can not open file\n");
    return run.valueExit(1);
  }
  while (!std::feof(file)) {
    const size_t n = std::fread(run.buffer(), 1, kWorkBufferSize, file);
    // A read error never sets end-of-file; stop instead of sending garbage forever.
    if (std::ferror(file)) {
      std::fclose(file);
      run.out().print("Can not read file\n");
      return run.valueExit(1);
    }
    if (!run.sendChunk(id, static_cast<uint32_t>(n)).ok) {
      std::fclose(file);
      return run.failWith(requestEntry(id).name, 1);
    }
  }
  std::fclose(file);
  return run.completion();
}

}  // namespace

uint32_t cmdWriteCfg(Run& run) { return sendFile(run, RequestId::WriteFlashCfg); }
uint32_t cmdWriteMgr(Run& run) { return sendFile(run, RequestId::WriteFlashMgr); }
uint32_t cmdWriteProgram(Run& run) { return sendFile(run, RequestId::WriteProgram); }

}  // namespace devcmd
