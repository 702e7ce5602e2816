// The version text at byte 8192 of FSM.BIN and the caption it ends.
#include <gtest/gtest.h>

#include "support/scratch.h"
#include "station/texts/fsm_version.h"

namespace station_files_test {
namespace {

std::string image(const std::string& at8192) { return std::string(8192, '\xAA') + at8192; }

TEST(FsmVersion, TextAtByte8192) {
  struct { const char* name; bool exists; std::string content; std::string expected; } cases[] = {
      {"missing file", false, "", "Unknown FSM Ver."},
      {"ends before 8192", true, std::string(100, 'F'), "Unknown FSM Ver."},
      {"two letters only", true, image("FS"), "Unknown FSM Ver."},
      {"exactly FSM", true, image("FSM"), "FSM"},
      {"version and 0", true, image(std::string("FSMv1.2\0junk", 12)), "FSMv1.2"},
      {"no 0 in 255 bytes", true, image("FSM" + std::string(300, 'x')), "FSM" + std::string(252, 'x')},
      {"lower case", true, image(std::string("fsmv1.0\0", 8)), "Unknown FSM Ver."},
      {"other letters", true, image(std::string("XSMv1.0\0", 8)), "Unknown FSM Ver."},
      {"8-bit bytes kept", true, image(std::string("FSM\xB0\xE6\0", 6)), "FSM\xB0\xE6"},
  };
  std::string dir = freshDir();
  for (const auto& c : cases) {
    std::string path = join(dir, std::string(c.name) + ".bin");
    if (c.exists) writeBytes(path, c.content);
    EXPECT_EQ(station::fsmVersionText(path), c.expected) << c.name;
  }
}

TEST(FsmVersion, ShippedImage) {
  std::string path = std::string(TARN_SOURCE_DIR) + "/misc/FSM.BIN";
  EXPECT_EQ(readBytes(path).size(), 16384u);
  EXPECT_EQ(station::fsmVersionText(path), "FSMv1.0");
}

TEST(FsmVersion, Caption) {
  EXPECT_EQ(station::windowCaption("MP3 Mass Production Tool", "Mar 11 2009", "FSMv1.2"),
            "MP3 Mass Production Tool (Mar 11 2009) + FSMv1.2");
  EXPECT_EQ(station::windowCaption("", "Mar 11 2009", "Unknown FSM Ver."),
            " (Mar 11 2009) + Unknown FSM Ver.");
  EXPECT_EQ(station::stationBuildDate().size(), 11u);  // "Mmm dd yyyy"
}

}  // namespace
}  // namespace station_files_test
