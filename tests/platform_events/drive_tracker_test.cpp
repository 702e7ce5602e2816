// Notifications and looks at the drives merged: never an arrival twice, never a removal lost.
#include <gtest/gtest.h>

#include "platform/drive_tracker.h"

namespace platform {
namespace {

using V = VolumeChange;

TEST(DriveDiff, ArrivedAndRemoved) {
  struct { uint32_t before, after; DriveDiff want; } cases[] = {
      {0, 0, {0, 0}},
      {lettersMask("CZ"), lettersMask("CEZ"), {lettersMask("E"), 0}},
      {lettersMask("CEF"), lettersMask("CF"), {0, lettersMask("E")}},
      {lettersMask("CE"), lettersMask("CF"), {lettersMask("F"), lettersMask("E")}},
      {0xFC000000u | lettersMask("C"), lettersMask("C"), {0, 0}},  // bits past Z mean nothing
  };
  for (const auto& c : cases) EXPECT_EQ(diffDrives(c.before, c.after), c.want) << c.before << "->" << c.after;
  EXPECT_EQ(lettersMask("Aez?"), 1u | (1u << 4) | (1u << 25));
}

// One step: a notification (change + letters) or a look (letters present).
struct Step {
  enum { Notice, Look } kind;
  V change;
  const char* letters;
  std::vector<VolumeNotice> want;
};

TEST(DriveTracker, Sequences) {
  struct Case {
    const char* name;
    const char* atStart;
    std::vector<Step> steps;
  };
  const Case cases[] = {
      {"notified arrival, then the look sees it: once", "CZ",
       {{Step::Notice, V::Arrival, "E", {{V::Arrival, "E"}}}, {Step::Look, V::Arrival, "CEZ", {}}}},
      {"look first, late notification: once", "C",
       {{Step::Look, V::Arrival, "CE", {{V::Arrival, "E"}}}, {Step::Notice, V::Arrival, "E", {}},
        {Step::Look, V::Arrival, "CE", {}}}},
      {"removal notification missed: the look removes", "C",
       {{Step::Notice, V::Arrival, "F", {{V::Arrival, "F"}}}, {Step::Look, V::Arrival, "C", {{V::Removal, "F"}}},
        {Step::Notice, V::Removal, "F", {}}}},
      {"removal notified before the look: once", "C",
       {{Step::Notice, V::Arrival, "F", {{V::Arrival, "F"}}}, {Step::Notice, V::Removal, "F", {{V::Removal, "F"}}},
        {Step::Look, V::Arrival, "C", {}}}},
      {"replugged between looks, removal missed: removal then arrival", "C",
       {{Step::Notice, V::Arrival, "E", {{V::Arrival, "E"}}}, {Step::Look, V::Arrival, "CE", {}},
        {Step::Notice, V::Arrival, "EG", {{V::Removal, "E"}, {V::Arrival, "EG"}}}}},
      {"drives present at start are no arrivals", "CDE",
       {{Step::Look, V::Arrival, "CDE", {}}, {Step::Notice, V::Arrival, "D", {}},
        {Step::Look, V::Arrival, "CE", {{V::Removal, "D"}}}}},
      {"removal of a drive never reported: nothing", "C",
       {{Step::Notice, V::Removal, "Q", {}}}},
      {"several at once, letters in order", "",
       {{Step::Look, V::Arrival, "HE", {{V::Arrival, "EH"}}},
        {Step::Look, V::Arrival, "F", {{V::Removal, "EH"}, {V::Arrival, "F"}}}}},
  };
  for (const Case& c : cases) {
    DriveTracker t(lettersMask(c.atStart));
    int i = 0;
    for (const Step& s : c.steps) {
      auto got = s.kind == Step::Look ? t.looked(lettersMask(s.letters))
                                      : t.notified({s.change, s.letters});
      EXPECT_EQ(got, s.want) << c.name << ", step " << i++;
    }
  }
}

}  // namespace
}  // namespace platform
