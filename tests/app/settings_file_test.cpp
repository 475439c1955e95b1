#include "app/settings_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/sim_world.h"

namespace vexa {
namespace {

Settings read(const std::string& text, Settings start = {}) {
  std::istringstream in(text);
  ReadSettingsFields(in, start);
  return start;
}

TEST(SettingsFile, WrittenFormReadsBackToTheSameValues) {
  const Settings cases[] = {
      {1, 888, 0, 27150}, {2, -1, 7, 27100}, {0, 0, 0, 0}, {-32768, 32767, -5, 1}};
  for (const auto& s : cases) {
    const Settings back = read(SettingsFileText(s));
    EXPECT_EQ(back.Interface, s.Interface);
    EXPECT_EQ(back.PortAddress, s.PortAddress);
    EXPECT_EQ(back.Factory, s.Factory);
    EXPECT_EQ(back.Device, s.Device);
  }
}

TEST(SettingsFile, PrintFormHasABlankForTheSignAndATrailingBlank) {
  EXPECT_EQ(SettingsFileText({1, 888, 0, 27150}),
            "Interface =  1 \r\nPort Address =  888 \r\nFactory =  0 \r\nDevice =  27150 \r\n");
  EXPECT_EQ(SettingsFileText({-1, 0, 0, 0}).substr(0, 16), "Interface = -1 \r");
}

struct ReadCase {
  const char* name;
  const char* text;
  Settings expected;
};

TEST(SettingsFile, ReadingRule) {
  const ReadCase cases[] = {
      {"any order, later wins",
       "Device = 27100\r\nInterface = 2\nDevice = 27150\n",
       {2, 0, 0, 27150}},
      {"no blank before = loses last key letter", "Interface= 1\nDevice = 5\n", {0, 0, 0, 5}},
      {"two blanks keep one in the key", "Interface  = 1\nDevice = 5\n", {0, 0, 0, 5}},
      {"keys are case-sensitive", "interface = 1\n", {0, 0, 0, 0}},
      {"bad value skipped", "Interface = 1\nFactory = x\nDevice = 5\n", {1, 0, 0, 5}},
      {"line without = skipped", "Interface = 1\nhello\nDevice = 5\n", {1, 0, 0, 5}},
      {"too big for 16 bits skipped", "Device = 40000\nPort Address = 888\n", {0, 888, 0, 0}},
      {"a comma ends a field", "Interface = 1,Device = 27100\n", {1, 0, 0, 27100}},
      {"leading blanks skipped", "   Port Address = 888\n", {0, 888, 0, 0}},
      {"empty file", "", {0, 0, 0, 0}},
      {"value needs the blank after =", "Interface =1\n", {0, 0, 0, 0}},
      {"fraction rounds half to even", "Interface = 2.5\n", {2, 0, 0, 0}},
      {"unknown key ignored", "Colour = 3\nFactory = 9\n", {0, 0, 9, 0}},
  };
  for (const auto& c : cases) {
    const Settings s = read(c.text);
    EXPECT_EQ(s.Interface, c.expected.Interface) << c.name;
    EXPECT_EQ(s.PortAddress, c.expected.PortAddress) << c.name;
    EXPECT_EQ(s.Factory, c.expected.Factory) << c.name;
    EXPECT_EQ(s.Device, c.expected.Device) << c.name;
  }
}

TEST(SettingsFile, FileInTheWorkingFolderRoundTripsAndMissingFileChangesNothing) {
  testing::SimWorld w;
  w.ctx.settings = {2, 888, 3, 0};
  ReadSettings(w.ctx);  // no file yet
  EXPECT_EQ(w.ctx.settings.Interface, 2);
  WriteSettings(w.ctx);
  w.ctx.settings = {};
  ReadSettings(w.ctx);
  EXPECT_EQ(w.ctx.settings.Interface, 2);
  EXPECT_EQ(w.ctx.settings.PortAddress, 888);
  EXPECT_EQ(w.ctx.settings.Factory, 3);
  EXPECT_EQ(w.ctx.settings.Device, 0);
}

}  // namespace
}  // namespace vexa
