// Awkward INI files and the reads and writes to try on them, shared by the comparisons of
// our store with the Windows services (under Wine, or in-process on Windows).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace station_files_test {

struct IniOp {
  char kind;  // 'R' read with `text` as the default, 'W' write `text`
  std::string section, key, text;
};

struct IniCase {
  std::string name;  // also the file's name, with ".ini"
  bool exists;       // false: no file at the start
  std::string initial;
  std::vector<IniOp> ops;
};

const std::vector<IniCase>& iniCorpus();

// A file as the services see it, one line per section or entry, blanks trimmed, blank
// lines dropped, CR LF after each: what is left to compare once a service has rewritten
// a file in its own layout.
std::string iniLogicalView(std::string_view content);

// Answers of one store for every op of every case, in order: the text read, or "1" / "0"
// for a write. `fileOf` names the case's file.
using ReadFn = std::function<std::string(const std::string& file, const std::string& section,
                                         const std::string& key, const std::string& dflt)>;
using WriteFn = std::function<bool(const std::string& file, const std::string& section,
                                   const std::string& key, const std::string& value)>;
std::vector<std::vector<std::string>> runCorpus(const std::string& dir, const ReadFn& read,
                                                const WriteFn& write);
// The same through the station's own profile store.
std::vector<std::vector<std::string>> runOurCorpus(const std::string& dir);

// Puts every case's starting file into `dir` (and removes the files of cases without one).
void layOutCorpus(const std::string& dir);

}  // namespace station_files_test
