// The settings file against what a user's folder may hold: special files, endless or over-long
// text, an editor's byte-order mark, and a disk that refuses the write.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "app/preferences.h"
#include "app/settings_file.h"
#include "support/faulty_file_ops.h"
#include "support/sim_world.h"

namespace vexa {
namespace {

std::string cfgPath(testing::SimWorld& w) {
  return w.folder() + "/" + kSettingsFileName;
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(SettingsFileSafety, SpecialFilesAreNotReadAndTheCauseIsReported) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> make;
  };
  const Case cases[] = {
      // A FIFO would block the start for ever; an endless stream would fill the memory.
      {"fifo", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
      {"endless stream",
       [](const std::string& p) { ASSERT_EQ(::symlink("/dev/zero", p.c_str()), 0); }},
      {"folder", [](const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0700), 0); }},
      {"too large",
       [](const std::string& p) {
         writeFile(p, "Interface = 1\r\n" + std::string(kMaxSettingsFileBytes, ' '));
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::SimWorld w;
    c.make(cfgPath(w));
    w.ctx.settings.Interface = 2;
    ReadSettings(w.ctx);
    EXPECT_EQ(w.ctx.settings.Interface, 2);
    ASSERT_EQ(w.diagnostics.causes.size(), 1u);
    EXPECT_NE(w.diagnostics.causes[0].find(kSettingsFileName), std::string::npos);
  }
}

TEST(SettingsFileSafety, MissingFileIsNoError) {
  testing::SimWorld w;
  ReadSettings(w.ctx);
  EXPECT_TRUE(w.diagnostics.causes.empty());
}

TEST(SettingsFileSafety, OverLongFieldIsABadLineAndByteOrderMarkIsSkipped) {
  const std::string blanks(kMaxSettingsFieldLength, ' ');
  struct Case {
    const char* name;
    std::string text;
    Settings expected;
  };
  const Case cases[] = {
      {"over-long field ends the read",
       "Interface = 1\nDevice = " + blanks + "5\nFactory = 2\n",
       {1, 0, 0, 0}},
      {"long field within the bound",
       "Interface = 1\nDevice =" + blanks.substr(20) + "5\n",
       {1, 0, 0, 5}},
      {"byte-order mark", "\xEF\xBB\xBFInterface = 2\r\nDevice = 27100\r\n", {2, 0, 0, 27100}},
      {"lone first byte of a mark", "\xEFInterface = 2\r\n", {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::SimWorld w;
    writeFile(cfgPath(w), c.text);
    ReadSettings(w.ctx);
    EXPECT_EQ(w.ctx.settings.Interface, c.expected.Interface);
    EXPECT_EQ(w.ctx.settings.PortAddress, c.expected.PortAddress);
    EXPECT_EQ(w.ctx.settings.Factory, c.expected.Factory);
    EXPECT_EQ(w.ctx.settings.Device, c.expected.Device);
  }
}

// A file-size limit stands for a full disk: the write fails part of the way through.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = nullptr;
};

TEST(SettingsFileSafety, FailedWriteKeepsTheOldFileAndSaysWhy) {
  testing::SimWorld w;
  w.ctx.settings = {1, 888, 3, 27100};
  ASSERT_TRUE(WriteSettings(w.ctx));
  const std::string before = fileText(cfgPath(w));
  w.ctx.settings = {2, 0, 3, 27150};
  {
    FileSizeLimit limit(20);
    EXPECT_FALSE(WriteSettings(w.ctx));
  }
  EXPECT_EQ(fileText(cfgPath(w)), before);
  ASSERT_EQ(w.diagnostics.causes.size(), 1u);
  EXPECT_NE(w.diagnostics.causes[0].find("old settings are kept"), std::string::npos);
  // Nothing is left behind beside it.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(w.folder())) ++entries;
  EXPECT_EQ(entries, 1);
}

// The new file takes the permission bits of the file at the name, never those of a link's
// target, and never the set-user-ID, set-group-ID or sticky bit.
TEST(SettingsFileSafety, WriteKeepsThePermissionsOfTheFileItselfWithoutSpecialBits) {
  const struct {
    const char* name;
    mode_t mode;
    bool throughLink;
    mode_t expected;
  } cases[] = {
      {"plain", 0640, false, 0640},
      {"set-user-ID", 04755, false, 0755},
      {"set-group-ID and sticky", 03750, false, 0750},
      {"link to a set-user-ID file", 04755, true, 0644},
  };
  const mode_t umask = ::umask(0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::SimWorld w;
    const std::string target = c.throughLink ? w.folder() + "/program" : cfgPath(w);
    writeFile(target, "Interface = 1\r\n");
    ASSERT_EQ(::chmod(target.c_str(), c.mode), 0);
    if (c.throughLink) {
      ASSERT_EQ(::symlink(target.c_str(), cfgPath(w).c_str()), 0);
    }
    w.ctx.settings = {2, 0, 0, 27150};
    ASSERT_TRUE(WriteSettings(w.ctx));
    EXPECT_EQ(fileText(cfgPath(w)), SettingsFileText(w.ctx.settings));
    struct stat st {};
    ASSERT_EQ(::lstat(cfgPath(w).c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, c.expected);
    if (c.throughLink) {
      EXPECT_EQ(fileText(target), "Interface = 1\r\n") << "the target is kept";
    }
  }
  ::umask(umask);
}

// One bad line costs only that line: the values after it are read, kept at the next write, and
// the line that was not read is named.
TEST(SettingsFileSafety, ABadLineKeepsTheValuesAroundItAndIsNamed) {
  testing::SimWorld w;
  writeFile(cfgPath(w), "Interface = 1\r\nFactory = x\r\nPort Address = 888\r\nDevice = 27150\r\n");
  ReadSettings(w.ctx);
  ASSERT_EQ(w.diagnostics.causes.size(), 1u);
  EXPECT_NE(w.diagnostics.causes[0].find("line 2 "), std::string::npos) << w.diagnostics.causes[0];
  ASSERT_TRUE(WriteSettings(w.ctx));
  EXPECT_EQ(fileText(cfgPath(w)), SettingsFileText({1, 888, 0, 27150}));
}

// Both files of settings go through the file operations: whichever step fails is reported and
// the old file stays as it was, nothing left beside it; a folder that cannot be synced is
// reported once the new file is in place.
TEST(SettingsFileSafety, EachFailingFileOperationIsReportedAndKeepsTheOldFile) {
  using Op = testing::FaultyFileOps::Op;
  const struct {
    Op op;
    bool replaced;
  } cases[] = {{Op::Create, false}, {Op::Write, false},  {Op::Sync, false},
               {Op::Close, false},  {Op::Rename, false}, {Op::SyncFolder, true}};
  for (const bool preferences : {false, true}) {
    for (const auto& c : cases) {
      const std::string label =
          std::string(preferences ? "VexaEval.cfg " : "CommPort.cfg ") + std::to_string(c.op);
      testing::SimWorld w;
      testing::FaultyFileOps files;
      w.ctx.platform.files = &files;
      const auto write = [&] {
        if (!preferences) return WriteSettings(w.ctx);
        WritePreferences(w.ctx);
        return w.diagnostics.causes.empty();
      };
      const std::string path =
          preferences ? w.folder() + "/" + ProgramSettings::kFileName : cfgPath(w);
      w.ctx.settings = {1, 888, 3, 27100};
      w.ctx.preferences.setText("spi.device", "/dev/spidev0.0");
      ASSERT_TRUE(write()) << label;
      const std::string before = fileText(path);
      w.ctx.settings = {2, 0, 3, 27150};
      w.ctx.preferences.setText("spi.device", "/dev/spidev1.0");
      files.failAt(c.op, 1);
      EXPECT_FALSE(write()) << label;
      ASSERT_EQ(w.diagnostics.causes.size(), 1u) << label;
      EXPECT_NE(w.diagnostics.causes[0].find("Input/output error"), std::string::npos)
          << label << w.diagnostics.causes[0];
      EXPECT_EQ(fileText(path) == before, !c.replaced) << label;
      int entries = 0;
      for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(w.folder()))
        ++entries;
      EXPECT_EQ(entries, 1) << label << ": nothing left beside it";
    }
  }
}

}  // namespace
}  // namespace vexa
