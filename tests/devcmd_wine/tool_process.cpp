#include "tool_process.h"

#include <filesystem>

#ifdef _WIN32
#include <windows.h>

#include <cstring>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
extern char** environ;
#endif

namespace devcmd::test {
namespace {

const char* kCleared[] = {"TARN_SIM", "DEVCMD_RESULT_FD", "DEVCMD_DRIVE_E", "DEVCMD_DRIVE_Q"};

std::filesystem::path testProgram() {
#ifdef _WIN32
  char buf[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  return std::filesystem::path(std::string(buf, n));
#else
  return std::filesystem::read_symlink("/proc/self/exe");
#endif
}

}  // namespace

std::string devcmdPath() {
  return (testProgram().parent_path() / DEVCMD_FROM_TEST).lexically_normal().string();
}

#ifdef _WIN32

bool underWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

ToolRun runDevcmd(const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env, bool) {
  ToolRun r;
  std::string cmd(1, '"');
  cmd.append(devcmdPath()).append(1, '"');
  for (const std::string& a : args) cmd.append(" \"").append(a).append(1, '"');

  // The child gets this process's environment with the changes applied.
  std::map<std::string, std::string> vars;
  if (LPCH block = GetEnvironmentStringsA()) {
    for (const char* p = block; *p; p += std::strlen(p) + 1) {
      const std::string entry(p);
      const size_t eq = entry.find('=', 1);
      if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    FreeEnvironmentStringsA(block);
  }
  for (const char* name : kCleared) vars.erase(name);
  for (const auto& [k, v] : env) {
    if (v.empty()) vars.erase(k);
    else vars[k] = v;
  }
  std::string block;
  for (const auto& [k, v] : vars) block += k + "=" + v + '\0';
  block += '\0';

  SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return r;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = writeEnd;
  si.hStdError = writeEnd;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi{};
  std::vector<char> line(cmd.begin(), cmd.end());
  line.push_back('\0');
  r.started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, block.data(),
                             nullptr, &si, &pi) != FALSE;
  CloseHandle(writeEnd);
  if (r.started) {
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) r.out.append(buf, n);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    r.exitCode = code;
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
  }
  CloseHandle(readEnd);
  return r;
}

#else

bool underWine() { return false; }

namespace {
std::string drain(int fd) {
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
  return text;
}
}  // namespace

ToolRun runDevcmd(const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env, bool withResultFd) {
  ToolRun r;
  constexpr int kResultFd = 3;
  int out[2], result[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return r;
  if (::pipe2(result, O_CLOEXEC) != 0) return r;

  std::map<std::string, std::string> vars;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    const size_t eq = entry.find('=');
    if (eq != std::string::npos) vars[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  for (const char* name : kCleared) vars.erase(name);
  for (const auto& [k, v] : env) {
    if (v.empty()) vars.erase(k);
    else vars[k] = v;
  }
  if (withResultFd) vars["DEVCMD_RESULT_FD"] = std::to_string(kResultFd);
  std::vector<std::string> envText;
  for (const auto& [k, v] : vars) envText.push_back(k + "=" + v);
  std::vector<char*> envp;
  for (std::string& s : envText) envp.push_back(s.data());
  envp.push_back(nullptr);

  const std::string path = devcmdPath();
  std::vector<std::string> argText = {path};
  argText.insert(argText.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argText) argv.push_back(s.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], 1);
  if (withResultFd) posix_spawn_file_actions_adddup2(&fa, result[1], kResultFd);
  pid_t pid = 0;
  r.started = posix_spawn(&pid, path.c_str(), &fa, nullptr, argv.data(), envp.data()) == 0;
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  ::close(result[1]);
  if (r.started) {
    r.out = drain(out[0]);
    r.resultText = drain(result[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status)) : 0xDEADu;
  }
  ::close(out[0]);
  ::close(result[0]);
  return r;
}

#endif

}  // namespace devcmd::test
