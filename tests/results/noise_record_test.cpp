#include <gtest/gtest.h>

#include "results/recording.h"
#include "support/sim_world.h"

namespace vexa::results {
namespace {

analysis::ChannelNoise Channel(const std::string& title, std::vector<std::string> notStill) {
  analysis::ChannelNoise c;
  c.title = title;
  c.units = "deg/sec";
  c.kind = analysis::SensorKind::Gyro;
  c.notStill = std::move(notStill);
  return c;
}

// The store keeps the files and, for a forced analysis, which channel's figures are not the
// sensor's own and why; a still record's source is its files alone.
TEST(NoiseRecordSource, NamesEveryChannelOfARecordThatIsNotStillWithItsReasons) {
  const struct {
    const char* name;
    std::vector<analysis::ChannelNoise> channels;
    std::string source;
  } cases[] = {
      {"still", {Channel("X Gyro", {})}, "/logs/A_1.csv\n/logs/A_2.csv"},
      {"one channel turning",
       {Channel("X Gyro", {}), Channel("Z Gyro", {"the mean 30 deg/s is far from any gyro bias"})},
       "/logs/A_1.csv\n/logs/A_2.csv\n"
       "record not still: Z Gyro: the mean 30 deg/s is far from any gyro bias"},
      {"a gap and a step",
       {Channel("X Gyro", {"a gap of 3600 s", "the mean steps by 2"})},
       "/logs/A_1.csv\n/logs/A_2.csv\nrecord not still: X Gyro: a gap of 3600 s; the mean steps "
       "by 2"},
  };
  vexa::testing::SimWorld world;
  for (const auto& c : cases) {
    const NoiseRecord r =
        NoiseRecordOf(world.ctx, "U1", {"/logs/A_1.csv", "/logs/A_2.csv"}, c.channels);
    EXPECT_EQ(r.source, c.source) << c.name;
    EXPECT_EQ(r.channels.size(), c.channels.size()) << c.name;
  }
}

}  // namespace
}  // namespace vexa::results
