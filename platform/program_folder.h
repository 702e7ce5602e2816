// The folder that holds the running program file, whatever the current directory is.
// Windows: GetModuleFileNameA; Linux: /proc/self/exe.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Without a trailing separator; empty when the system cannot tell.
std::string programFolder();

// Where a file the operator makes goes: d:\<name> on Windows (the factory's fixed place);
// elsewhere $HOME/<name>, or <name> in the current folder when HOME is not set.
std::string operatorFilePath(std::string_view name);

// The separator of the system's paths ("\\" on Windows, "/" elsewhere).
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// What the system's program files end in.
#ifdef _WIN32
inline constexpr char kProgramSuffix[] = ".exe";
#else
inline constexpr char kProgramSuffix[] = "";
#endif

// The station's data folder, beside its programs.
inline constexpr char kMiscFolder[] = "misc";

// <folder>/misc/<name> with the system's separator; without a name, the folder itself.
inline std::string miscPathIn(const std::string& folder, std::string_view name = {}) {
  std::string path = folder + kPathSeparator + kMiscFolder;
  if (!name.empty()) (path += kPathSeparator) += name;
  return path;
}

// A data file as the station names it, relative to the current directory (which start-up
// makes the program's folder): .\misc\<name> on Windows, ./misc/<name> elsewhere.
inline std::string miscPath(std::string_view name) { return miscPathIn(".", name); }

// The Windows spelling everywhere, for the Windows command lines (rendered on every
// platform so that they can be tested anywhere).
inline std::string windowsMiscPath(std::string_view name) {
  return std::string(".\\") + kMiscFolder + "\\" + std::string(name);
}

}  // namespace platform
