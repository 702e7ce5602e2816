// The station's command line, shared by the Qt and Windows programs: what it takes, what
// it refuses, and a front end's own options beside the common ones.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/program/station_program.h"

namespace station {
namespace {

std::vector<std::string> line(std::vector<std::string> args) {
  args.insert(args.begin(), "mpstation");
  return args;
}

TEST(StationOptions, CommonOptionsAreTaken) {
  StationOptions o;
  ASSERT_TRUE(parseStationOptions(line({"--headless", "--sim", "/tmp/s", "--runs", "8", "--timeout", "60",
                                        "--station", "L3", "--no-records", "--allow-device", "/dev/loop1",
                                        "--allow-device", "/dev/loop2", "--real-devices"}),
                                  o));
  EXPECT_TRUE(o.headless);
  EXPECT_EQ(o.sim, "/tmp/s");
  EXPECT_EQ(o.runs, 8);
  EXPECT_EQ(o.timeout, 60);
  EXPECT_EQ(o.station, "L3");
  EXPECT_FALSE(o.records);
  EXPECT_TRUE(o.realDevices);
  EXPECT_EQ(o.allowed, (std::vector<std::string>{"/dev/loop1", "/dev/loop2"}));
}

TEST(StationOptions, BadLinesAreRefused) {
  const std::vector<std::vector<std::string>> bad = {
      {"--runs"},              {"--runs", "-1"},        {"--runs", "8x"},   {"--runs", ""},
      {"--timeout", "9999999"}, {"--sim"},              {"--station"},      {"--unknown"},
      {"--self-check", "r.txt"},  // a window's option, unknown without its front end
  };
  for (const auto& args : bad) {
    StationOptions o;
    EXPECT_FALSE(parseStationOptions(line(args), o)) << args[0] << " " << (args.size() > 1 ? args[1] : "");
  }
}

TEST(StationOptions, AFrontEndsOwnOptionsSitAmongTheCommonOnes) {
  std::vector<std::string> seen;
  ExtraOptions extra{[&](const std::vector<std::string>& args, size_t at) {
                       if (args[at] != "--self-check" || at + 1 >= args.size()) return 0;
                       seen.push_back(args[at + 1]);
                       return 2;
                     },
                     "  --self-check REPORT\n"};
  StationOptions o;
  ASSERT_TRUE(parseStationOptions(line({"--sim", "r", "--self-check", "a.txt", "--runs", "3"}), o, extra));
  EXPECT_EQ(seen, std::vector<std::string>{"a.txt"});
  EXPECT_EQ(o.sim, "r");
  EXPECT_EQ(o.runs, 3) << "the option after the front end's own is read as usual";
  EXPECT_FALSE(parseStationOptions(line({"--self-check"}), o, extra)) << "its value missing";
  EXPECT_NE(stationUsage(extra).find("--self-check REPORT"), std::string::npos);
  EXPECT_NE(stationUsage().find("Exit codes"), std::string::npos);
}

}  // namespace
}  // namespace station
