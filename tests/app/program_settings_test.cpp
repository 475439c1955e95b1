#include "app/program_settings.h"

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace vexa {
namespace {

class ProgramSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("vexa-prefs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::string folder() const { return folder_.string(); }
  std::filesystem::path folder_;
};

TEST_F(ProgramSettingsTest, ValuesSurviveAWriteAndARead) {
  ProgramSettings written;
  written.setText("ftdi.serial", "FT12 AB");
  written.setNumber("spi.speed", 1000000);
  written.setFlag("read.pipelined", true);
  std::string error;
  ASSERT_TRUE(written.save(folder(), error)) << error;

  ProgramSettings read;
  ASSERT_TRUE(read.load(folder(), error)) << error;
  EXPECT_EQ(read.text("ftdi.serial"), "FT12 AB");
  EXPECT_EQ(read.number("spi.speed", 0), 1000000);
  EXPECT_TRUE(read.flag("read.pipelined", false));
  EXPECT_FALSE(read.changed());
}

TEST_F(ProgramSettingsTest, MissingFileAndMalformedValuesFallBack) {
  std::string error;
  ProgramSettings settings;
  ASSERT_TRUE(settings.load(folder(), error));
  EXPECT_EQ(settings.number("spi.speed", 7), 7);

  std::ofstream(folder_ / ProgramSettings::kFileName) << "spi.speed = 12x\nno equals sign\n"
                                                      << "read.pipelined = maybe\n";
  ASSERT_TRUE(settings.load(folder(), error));
  EXPECT_EQ(settings.number("spi.speed", 7), 7);
  EXPECT_TRUE(settings.flag("read.pipelined", true));
}

TEST_F(ProgramSettingsTest, AFolderInPlaceOfTheFileIsReportedNotRead) {
  std::filesystem::create_directory(folder_ / ProgramSettings::kFileName);
  ProgramSettings settings;
  std::string error;
  EXPECT_FALSE(settings.load(folder(), error));
  EXPECT_NE(error.find("not a regular file"), std::string::npos);
  settings.setFlag("x", true);
  EXPECT_FALSE(settings.save(folder(), error));
}

}  // namespace
}  // namespace vexa
