// Our INI store against the Windows profile-file services themselves: the MinGW probe
// answers the corpus under Wine, our store answers it here, and both must agree on every
// read and on every file's content. The services rewrite a file in their own layout where
// ours keeps every untouched line as it was, so files are compared line for line after
// both are brought to the same layout.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "support/scratch.h"
#include "ini_corpus.h"

namespace station_files_test {
namespace {

std::string hex(const std::string& s) {
  static const char digits[] = "0123456789abcdef";
  std::string out = "x";
  for (unsigned char b : s) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::string unhex(const std::string& token) {
  std::string out;
  for (size_t i = 1; i + 1 < token.size(); i += 2) {
    out += static_cast<char>(std::stoi(token.substr(i, 2), nullptr, 16));
  }
  return out;
}

std::string shellQuoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Where the probe is missing, CI must notice; a developer without the Windows build
// just does not get this comparison.
#define REQUIRE_OR_SKIP(cond, what)                                      \
  do {                                                                   \
    if (!(cond)) {                                                       \
      if (std::getenv("CI")) FAIL() << what;                             \
      GTEST_SKIP() << what;                                              \
    }                                                                    \
  } while (0)

TEST(IniStoreAgainstWindows, CorpusAnswersAndFilesMatchTheServices) {
  const char* override = std::getenv("TARN_INIPROBE");
  std::string probe = override && *override ? override : TARN_INIPROBE_EXE;
  REQUIRE_OR_SKIP(std::filesystem::exists(probe),
                  "no Windows INI probe at " + probe + " (build the mingw preset first)");
  REQUIRE_OR_SKIP(std::system("command -v wine >/dev/null 2>&1") == 0, "wine is not installed");

  std::string root = freshDir();
  std::string wineDir = join(root, "wine"), ourDir = join(root, "ours");
  std::filesystem::create_directories(wineDir);
  std::filesystem::create_directories(ourDir);
  layOutCorpus(wineDir);
  layOutCorpus(ourDir);

  {
    std::ofstream script(join(wineDir, "script.txt"), std::ios::binary);
    for (const IniCase& c : iniCorpus()) {
      std::string file = ".\\" + c.name + ".ini";
      for (const IniOp& op : c.ops) {
        script << op.kind << ' ' << hex(file) << ' ' << hex(op.section) << ' ' << hex(op.key)
               << ' ' << hex(op.text) << '\n';
      }
    }
  }
  const char* prefix = std::getenv("WINEPREFIX");
  std::string winePrefix =
      prefix && *prefix ? prefix : std::string(TARN_SOURCE_DIR) + "/build/wineprefix";
  // A fixed single-byte code page, so that high bytes pass through the services unchanged.
  std::string command = "cd " + shellQuoted(wineDir) +
                        " && WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' LC_ALL=C WINEPREFIX=" +
                        shellQuoted(winePrefix) + " wine " + shellQuoted(probe) +
                        " script.txt answers.txt >probe.log 2>&1";
  int rc = std::system(command.c_str());
  ASSERT_EQ(rc, 0) << command << "\n" << readBytes(join(wineDir, "probe.log"));

  std::vector<std::vector<std::string>> wine;
  {
    std::ifstream answers(join(wineDir, "answers.txt"), std::ios::binary);
    std::string kind, token;
    for (const IniCase& c : iniCorpus()) {
      std::vector<std::string> a;
      for (size_t i = 0; i < c.ops.size(); ++i) {
        ASSERT_TRUE(answers >> kind >> token) << "probe answered too little, at " << c.name;
        a.push_back(kind == "R" ? unhex(token) : token);
      }
      wine.push_back(std::move(a));
    }
  }

  std::vector<std::vector<std::string>> ours = runOurCorpus(ourDir);

  for (size_t i = 0; i < iniCorpus().size(); ++i) {
    const IniCase& c = iniCorpus()[i];
    SCOPED_TRACE(c.name);
    for (size_t j = 0; j < c.ops.size(); ++j) {
      const IniOp& op = c.ops[j];
      EXPECT_EQ(ours[i][j], wine[i][j]) << "op " << j << ": " << op.kind << " [" << op.section
                                        << "] " << op.key << " / " << op.text.substr(0, 40);
    }
    std::string wineFile = join(wineDir, c.name + ".ini"), ourFile = join(ourDir, c.name + ".ini");
    ASSERT_EQ(std::filesystem::exists(ourFile), std::filesystem::exists(wineFile));
    EXPECT_EQ(iniLogicalView(readBytes(ourFile)), iniLogicalView(readBytes(wineFile)));
  }
}

}  // namespace
}  // namespace station_files_test
