// What each of our own tools does with its command line beyond its own options: --help on
// standard output, --version from the build's one version, and a bad line said in one line
// with a pointer to --help, exit 2.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "tarn_version.h"

namespace tarn {

inline constexpr int kBadCommandLine = 2;

inline std::string versionLine(const char* program) { return std::string(program) + " " TARN_VERSION; }

// --help or -h: the usage on standard output; --version: the version line. Their exit
// code (0), or nothing for any other argument.
inline std::optional<int> helpOrVersion(const std::string& arg, const char* program, const std::string& usage) {
  if (arg == "--help" || arg == "-h") {
    std::fputs(usage.c_str(), stdout);
    return 0;
  }
  if (arg == "--version") {
    std::printf("%s\n", versionLine(program).c_str());
    return 0;
  }
  return std::nullopt;
}

// "<program>: <why> (<program> --help lists the options)" on standard error; exit code 2.
inline int badCommandLine(const char* program, const std::string& why) {
  std::fprintf(stderr, "%s: %s (%s --help lists the options)\n", program, why.c_str(), program);
  return kBadCommandLine;
}

}  // namespace tarn
