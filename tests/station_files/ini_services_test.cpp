// On Windows getProfileString and writeProfileString are the system's services; our own
// store must answer the corpus as they do (files compared once both are in one layout,
// since the services may rewrite a whole file in theirs).
#include <filesystem>

#include <gtest/gtest.h>

#include "support/scratch.h"
#include "ini_corpus.h"
#include "station/settings/profile.h"

namespace station_files_test {
namespace {

TEST(IniStoreAgainstWindows, CorpusAnswersAndFilesMatchTheServices) {
  std::string root = freshDir();
  std::string sysDir = join(root, "services"), ourDir = join(root, "ours");
  std::filesystem::create_directories(sysDir);
  std::filesystem::create_directories(ourDir);
  layOutCorpus(sysDir);
  layOutCorpus(ourDir);
  auto sys = runCorpus(sysDir, station::getProfileString, station::writeProfileString);
  auto ours = runOurCorpus(ourDir);
  for (size_t i = 0; i < iniCorpus().size(); ++i) {
    const IniCase& c = iniCorpus()[i];
    SCOPED_TRACE(c.name);
    for (size_t j = 0; j < c.ops.size(); ++j) EXPECT_EQ(ours[i][j], sys[i][j]) << "op " << j;
    std::string sysFile = join(sysDir, c.name + ".ini"), ourFile = join(ourDir, c.name + ".ini");
    ASSERT_EQ(std::filesystem::exists(ourFile), std::filesystem::exists(sysFile));
    EXPECT_EQ(iniLogicalView(readBytes(ourFile)), iniLogicalView(readBytes(sysFile)));
  }
}

}  // namespace
}  // namespace station_files_test
