// The station's own FAT writer on image files (no root needed), judged by dosfstools and
// mtools: names as the system gives them, every byte back, a FAT that fsck.fat passes.
#include "platform/posix/fat_root_copy.h"
#include "platform/posix/fat_names.h"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <ctime>

#include "loop_devices.h"

namespace {

using namespace tarn::test;
using platform::copyOntoFatRoot;
using platform::Volumes;

std::string image(const tarn::testing::TempFolder& scratch, const std::string& bits, unsigned kib) {
  std::string file = scratch.file("fat" + bits + ".img");
  fs::remove(file);
  EXPECT_EQ(runTool({"mkfs.fat", "-C", "-F", bits, "-n", "PLAYER", file, std::to_string(kib)}), 0);
  return file;
}

bool sound(const std::string& file) { return runTool({"fsck.fat", "-n", file}) == 0; }

TEST(FatRootCopy, NamesAndBytesOnEveryFatType) {
  tarn::testing::TempFolder scratch("fatcopy");
  struct Source {
    const char* name;
    size_t bytes;
  } sources[] = {
      {"SONG.MP3", 3000}, {"lower.mp3", 2048}, {"A Long Name With Spaces.flac", 70000},
      {"A Long Name With Spaces 2.flac", 0}, {"Ünïcødé 歌.mp3", 5000}, {".hidden", 10},
  };
  std::vector<Volumes::RootCopy> list;
  for (size_t i = 0; i < std::size(sources); ++i)
    list.push_back({scratch.write("src" + std::to_string(i), pattern(sources[i].bytes, int(i))),
                    sources[i].name});
  struct tm made{};  // local time, as FAT keeps it
  made.tm_year = 101, made.tm_mon = 1, made.tm_mday = 3, made.tm_hour = 4, made.tm_min = 5;
  struct timeval times[2] = {{mktime(&made), 0}, {mktime(&made), 0}};
  ASSERT_EQ(utimes(list[0].source.c_str(), times), 0);
  // Another case of a name on the volume: the file is replaced where it stands, its name kept.
  list.push_back({scratch.write("replacement", pattern(9000, 99)), "LOWER.MP3"});

  for (auto [bits, kib] : {std::pair<std::string, unsigned>{"12", 2048}, {"16", 16384}, {"32", 40960}}) {
    SCOPED_TRACE("FAT" + bits);
    std::string file = image(scratch, bits, kib);
    EXPECT_EQ(copyOntoFatRoot(file, list), list.size());
    EXPECT_TRUE(sound(file));
    EXPECT_EQ(rootListing(file),
              "SONG.MP3\nlower.mp3\nA Long Name With Spaces.flac\nA Long Name With Spaces 2.flac\n"
              "Ünïcødé 歌.mp3\n.hidden\n");
    for (size_t i = 0; i < std::size(sources); ++i)
      EXPECT_TRUE(fileOnVolume(file, sources[i].name, scratch) ==
                  (i == 1 ? pattern(9000, 99) : pattern(sources[i].bytes, int(i))))
          << sources[i].name;
    std::string listing;
    runTool({"mdir", "-i", file, "::/"}, &listing);
    EXPECT_NE(listing.find("SONG     MP3      3000 2001-02-03   4:05"), std::string::npos)
        << "last written when the source was";
    for (const char* shortName : {"SONG     MP3", "LOWER    MP3", "ALONGN~1 FLA", "ALONGN~2 FLA",
                                  "_N_C_D~1 MP3", "HIDDEN~1"})
      EXPECT_NE(listing.find(shortName), std::string::npos) << shortName << " in\n" << listing;
  }
}

// Names no FAT volume can hold, and the short names the system gives, tails counted past
// the ones taken.
TEST(FatRootCopy, Names) {
  using namespace platform::fatnames;
  for (const char* bad : {"", ".", "..", "a.", "a ", "a:b", "a\\b", "a*", "tab\t", "\xC3",
                          "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"})
    EXPECT_FALSE(longName(bad)) << bad;
  EXPECT_EQ(longName("\xF0\x9F\x8E\xB5 x"), std::u16string(u"\U0001F3B5 x"));
  auto spelled = [](const ShortName& n) { return std::string(n.begin(), n.end()); };
  const std::set<ShortName> taken = {shortNameFor(u"MUSIC.MP3", {}), shortNameFor(u"My Music.mp3", {})};
  struct Case {
    std::u16string name;
    const char* shortName;
  } cases[] = {
      {u"music.mp3", "MUSIC~1 MP3"},     {u"Readme", "README     "},
      {u"my music.mp3", "MYMUSI~2MP3"},  {u"a+b=c.text", "A_B_C~1 TEX"},
      {u"archive.tar.gz", "ARCHIV~1GZ "}, {u"...dots", "DOTS~1     "},
  };
  for (const Case& c : cases) EXPECT_EQ(spelled(shortNameFor(c.name, taken)), c.shortName);
  EXPECT_EQ(spelled(*taken.begin()), "MUSIC   MP3");
}

// Where the list stops: a name no FAT volume can hold, a fixed root that is full (a FAT32
// root grows instead), a source that is not a file, a volume that is not FAT. What came
// before stays, and the FAT stays sound.
TEST(FatRootCopy, ListStopsAtTheFirstFileThatCannotBeCopied) {
  tarn::testing::TempFolder scratch("fatstop");
  std::string small = scratch.write("small", pattern(100, 1));
  std::vector<Volumes::RootCopy> many;
  for (int i = 0; i < 600; ++i) many.push_back({small, "F" + std::to_string(1000 + i) + ".BIN"});
  struct Case {
    const char* what;
    std::string bits;
    std::vector<Volumes::RootCopy> list;
    size_t copied;
  } cases[] = {
      {"a name with a colon", "16", {{small, "a.bin"}, {small, "a:b.bin"}, {small, "c.bin"}}, 1},
      {"a name ending in a dot", "16", {{small, "a.bin"}, {small, "b."}}, 1},
      {"a folder as the source", "16", {{small, "a.bin"}, {scratch.file(""), "b.bin"}}, 1},
      {"a missing source", "16", {{scratch.file("none"), "a.bin"}}, 0},
      // 512 entries, one of them the label's.
      {"a full root", "16", many, 511},
      {"a root that grows", "32", many, 600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string file = image(scratch, c.bits, c.bits == "32" ? 40960 : 16384);
    EXPECT_EQ(copyOntoFatRoot(file, c.list), c.copied);
    EXPECT_TRUE(sound(file));
    std::string listing = rootListing(file);
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), long(c.copied));
  }
  std::string notFat = scratch.write("zero.img", std::string(1 << 20, '\0'));
  EXPECT_EQ(copyOntoFatRoot(notFat, {{small, "a.bin"}}), 0u);
  EXPECT_EQ(scratch.read("zero.img"), std::string(1 << 20, '\0')) << "nothing written";
}

// Free space in pieces (a file deleted between two others, a file replaced by a larger
// one): the new data spans the gaps, the old clusters are given back, nothing is lost.
TEST(FatRootCopy, FreeSpaceInPieces) {
  tarn::testing::TempFolder scratch("fatgaps");
  std::string file = image(scratch, "16", 16384);
  std::vector<Volumes::RootCopy> three;
  for (int i = 0; i < 3; ++i)
    three.push_back({scratch.write("s" + std::to_string(i), pattern(20000, i)), "f" + std::to_string(i)});
  ASSERT_EQ(copyOntoFatRoot(file, three), 3u);
  ASSERT_EQ(runTool({"mdel", "-i", file, "::/f1"}), 0);
  std::string big = scratch.write("big", pattern(300000, 7));
  EXPECT_EQ(copyOntoFatRoot(file, {{big, "big"}, {big, "f0"}}), 2u);
  EXPECT_TRUE(sound(file));
  EXPECT_EQ(rootListing(file), "f0\nbig\nf2\n") << "the deleted file's entries taken again";
  for (const char* name : {"f0", "big"}) EXPECT_TRUE(fileOnVolume(file, name, scratch) == pattern(300000, 7));
  EXPECT_TRUE(fileOnVolume(file, "f2", scratch) == pattern(20000, 2));
}

}  // namespace
