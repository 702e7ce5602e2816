// Our store's own promises beyond what the services can be compared on: the exact bytes
// a write leaves, every untouched line kept as it was.
#include <filesystem>

#include <gtest/gtest.h>

#include "support/scratch.h"
#include "station/settings/profile.h"
#include "station/settings/profile_store.h"

namespace station_files_test {
namespace {

namespace store = station::profile_store;

struct WriteCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

TEST(ProfileStoreWrite, LeavesExactlyTheseBytes) {
  const WriteCase cases[] = {
      {"new file", "", "MP_Setting", "Format", "1", "[MP_Setting]\r\nFormat=1\r\n"},
      {"value replaced, blanks before = and the line break kept", "[S]\r\n  Key \t= old  \r\nn=1\r\n",
       "s", "KEY", "new", "[S]\r\n  Key \t=new\r\nn=1\r\n"},
      {"LF line stays LF", "[S]\nk=1\n", "S", "k", "2", "[S]\nk=2\n"},
      {"bare name gets its value", "[S]\r\n  flag  \r\n", "S", "flag", "on",
       "[S]\r\n  flag=on\r\n"},
      {"same value: nothing moves", "[S]\r\nk =  1 \r\n", "S", "k", "1", "[S]\r\nk =  1 \r\n"},
      {"key appended after the section's last entry, before its blank lines",
       "[A]\r\nx=1\r\n\r\n; note\r\n\r\n[B]\r\ny=2\r\n", "A", "z", "3",
       "[A]\r\nx=1\r\n\r\n; note\r\nz=3\r\n\r\n[B]\r\ny=2\r\n"},
      {"key into a header-only section", "[A]\r\n[B]\r\n", "a", "k", "v", "[A]\r\nk=v\r\n[B]\r\n"},
      {"key after a last line without break", "[S]\r\nk=v", "S", "k2", "v2",
       "[S]\r\nk=v\r\nk2=v2\r\n"},
      {"section after a last line without break", "[S]\r\nk=v", "T", "t", "1",
       "[S]\r\nk=v\r\n[T]\r\nt=1\r\n"},
      {"first of duplicate sections and keys", "[A]\r\nx=1\r\nx=2\r\n[a]\r\nx=3\r\n", "A", "x", "9",
       "[A]\r\nx=9\r\nx=2\r\n[a]\r\nx=3\r\n"},
      {"entry before any section", "[S]\r\nk=1\r\n", "", "top", "t", "top=t\r\n[S]\r\nk=1\r\n"},
      {"blanks around names dropped, value kept", "", " S ", " k ", " v ", "[S]\r\nk= v \r\n"},
      {"comments and other lines untouched", "; c\r\n#x\r\n[S]\r\n;k=1\r\n", "S", "k", "2",
       "; c\r\n#x\r\n[S]\r\n;k=1\r\nk=2\r\n"},
  };
  for (const WriteCase& c : cases) {
    EXPECT_EQ(store::write(c.before, c.section, c.key, c.value), c.after) << c.name;
  }
}

struct ReadCase {
  const char* name;
  std::string content;
  const char* section;
  const char* key;
  const char* dflt;
  std::string expected;
};

TEST(ProfileStoreRead, FindsTrimsAndFallsBack) {
  const std::string limit(store::kReadLimit, 'a');
  const ReadCase cases[] = {
      {"names in any case", "[mp_SETTING]\r\nformat=1\r\n", "MP_Setting", "Format", "0", "1"},
      {"blanks around value", "[S]\r\nk =\t v w \t\r\n", "S", "k", "", "v w"},
      {"absent section", "[S]\r\nk=1\r\n", "T", "k", "dflt", "dflt"},
      {"absent key", "[S]\r\nk=1\r\n", "S", "j", "dflt", "dflt"},
      {"empty value is no absence", "[S]\r\nk=\r\n", "S", "k", "dflt", ""},
      {"quotes dropped", "[S]\r\nk=\" v \"\r\n", "S", "k", "", " v "},
      {"default loses trailing spaces", "", "S", "k", "d  ", "d"},
      {"limit", "[S]\r\nk=" + limit + "tail\r\n", "S", "k", "", limit},
      {"first duplicate section only", "[S]\r\n[s]\r\nk=1\r\n", "S", "k", "d", "d"},
  };
  for (const ReadCase& c : cases) {
    EXPECT_EQ(store::read(c.content, c.section, c.key, c.dflt), c.expected) << c.name;
  }
}

TEST(ProfileFile, MissingFileAndUnwritablePlaces) {
  std::string dir = freshDir();
  std::string path = join(dir, "p.ini");
  EXPECT_EQ(station::getProfileString(path, "S", "k", "d"), "d");
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(station::writeProfileString(path, "S", "k", "v"));
  EXPECT_EQ(station::getProfileString(path, "s", "K", "d"), "v");
  EXPECT_FALSE(station::writeProfileString(join(dir, "no/such/folder.ini"), "S", "k", "v"));
  EXPECT_FALSE(station::writeProfileString(dir, "S", "k", "v"));  // a folder
}

}  // namespace
}  // namespace station_files_test
