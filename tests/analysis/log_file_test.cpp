#include "analysis/log_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "analysis/log_text.h"
#include "support/sim_world.h"

namespace vexa::analysis {
namespace {

using testing::LogColumn;
using testing::LogText;
using testing::WriteText;

class LogFileTest : public ::testing::Test {
 protected:
  std::string path(const std::string& name) const { return world.folder() + "/" + name; }
  testing::SimWorld world;
};

TEST_F(LogFileTest, ReadsOurFilesInBothRegionalForms) {
  const std::vector<LogColumn> columns = {
      {"XgND", "X Gryo", {0.3499734, -0.2999772, 1e-05}, {1, 0, 1}},
      {"TND", "Temp", {24.5, 24.625, 24.75}, {}}};
  for (bool comma : {false, true}) {
    SCOPED_TRACE(comma ? "decimal comma, tabs" : "decimal point, commas");
    WriteText(path("D_1.csv"), LogText("D_1.csv", columns, 47859.12, 47859.72, comma));
    LogRecord r;
    LogError e;
    ASSERT_TRUE(ReadLogFile(path("D_1.csv"), r, e)) << e.message();
    ASSERT_EQ(r.channels.size(), 2u);
    EXPECT_EQ(r.files[0].separator, comma ? '\t' : ',');
    EXPECT_EQ(r.channels[0].title, "X Gryo");
    EXPECT_EQ(r.channels[0].units, "deg/sec");
    EXPECT_EQ(r.channels[1].units, "C");
    EXPECT_EQ(r.channels[0].values, (std::vector<double>{0.3499734, -0.2999772, 1e-05}));
    EXPECT_EQ(r.channels[0].newData, (std::vector<uint8_t>{1, 0, 1}));
    EXPECT_FALSE(r.lsb);
    EXPECT_NEAR(r.sampleInterval, 0.2, 1e-4);
    EXPECT_EQ(r.findChannel("x gyro"), 0);  // by the caption
    EXPECT_EQ(r.findChannel("Temp"), 1);
    EXPECT_EQ(r.findChannel("Z Gyro"), -1);
  }
}

TEST_F(LogFileTest, JoinsASessionInFileOrderAcrossMidnight) {
  // File 10 after file 9; file 9 runs over midnight.
  WriteText(path("S_10.csv"), LogText("S_10.csv", {{"XaND", "X acc", {3, 4}, {}}}, 10.0, 12.0));
  WriteText(path("S_9.csv"), LogText("S_9.csv", {{"XaND", "X acc", {1, 2.5}, {}}}, 86399.0, 1.0));
  LogRecord r;
  LogError e;
  ASSERT_TRUE(ReadLogFiles({path("S_10.csv"), path("S_9.csv")}, r, e)) << e.message();
  EXPECT_EQ(r.channels[0].values, (std::vector<double>{1, 2.5, 3, 4}));
  EXPECT_FALSE(r.lsb);  // one file of whole numbers does not make the session raw
  EXPECT_DOUBLE_EQ(r.sampleInterval, 1.0);
  EXPECT_EQ(r.files[0].path, path("S_9.csv"));
}

TEST_F(LogFileTest, RawValuesAreTakenForLsbs) {
  WriteText(path("R_1.csv"), LogText("R_1.csv", {{"XgND", "X Gryo", {-1, 3, 8191}, {}}}, 0, 1));
  LogRecord r;
  LogError e;
  ASSERT_TRUE(ReadLogFile(path("R_1.csv"), r, e));
  EXPECT_TRUE(r.lsb);
  EXPECT_EQ(r.channels[0].units, "LSB");
}

TEST_F(LogFileTest, EachDamageNamesItsLine) {
  const std::string good = LogText("G_1.csv", {{"XgND", "X Gryo", {0.5, 0.25, 0.125}, {}}}, 1, 2);
  const auto replace = [&](const std::string& from, const std::string& to) {
    std::string t = good;
    t.replace(t.find(from), from.size(), to);
    return t;
  };
  struct Case {
    const char* name;
    std::string text;
    int64_t line;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"empty", "", 0, "empty"},
      {"not ours", "a,b,c\r\n1,2,3\r\n", 1, "not a log file"},
      {"binary", std::string("File Name,x\0y", 13), 1, "NUL byte"},
      {"NUL among the samples", replace("0.25", std::string("0.2\0", 4)), 9, "NUL byte"},
      {"line without end", good + std::string(100000, '9'), 11, "longer than"},
      {"cut in the header", good.substr(0, good.find("Begin")), 4, "truncated"},
      {"bad begin", replace("Begin Seconds,1", "Begin Seconds,x1"), 4, "time of day"},
      {"no blank line", replace(" \r\n", "x\r\n"), 6, "blank line"},
      {"titles unpaired", replace("XgND,X Gryo,", "XgND,"), 7, "pairs"},
      {"no samples", good.substr(0, good.find("1,1,")), 8, "no samples"},
      {"cut in a line", good.substr(0, good.size() - 5), 10, "truncated"},
      {"line deleted", replace("2,1,0.25,\r\n", ""), 9, "sample number"},
      {"bad flag", replace("2,1,", "2,7,"), 9, "new-data flag"},
      {"bad value", replace("0.25", "0.2x5"), 9, "not a number"},
      {"decimal comma in a comma file", replace("0.25", "0,25"), 9, "fields"},
      {"blank line inside", replace("2,1,0.25,\r\n", "\r\n2,1,0.25,\r\n"), 9, "fields"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(path("B_1.csv"), c.text);
    LogRecord r;
    LogError e;
    EXPECT_FALSE(ReadLogFile(path("B_1.csv"), r, e));
    EXPECT_EQ(e.file, path("B_1.csv"));
    EXPECT_EQ(e.line, c.line) << e.message();
    EXPECT_NE(e.what.find(c.says), std::string::npos) << e.message();
  }
  LogRecord r;
  LogError e;
  EXPECT_FALSE(ReadLogFile(path("missing.csv"), r, e));
  EXPECT_NE(e.message().find("cannot open"), std::string::npos);
}

TEST_F(LogFileTest, ASessionOfUnlikeFilesIsRefused) {
  WriteText(path("U_1.csv"), LogText("U_1.csv", {{"XgND", "X Gryo", {0.5, 1.5}, {}}}, 0, 1));
  WriteText(path("U_2.csv"), LogText("U_2.csv", {{"YgND", "Y Gyro", {0.5, 1.5}, {}}}, 0, 1));
  LogRecord r;
  LogError e;
  EXPECT_FALSE(ReadLogFiles({path("U_1.csv"), path("U_2.csv")}, r, e));
  EXPECT_EQ(e.file, path("U_2.csv"));
}

TEST_F(LogFileTest, WhatIsNotARegularFileIsRefusedWithoutWaiting) {
  // A FIFO without a writer would block an ordinary open forever; a device never ends; a sparse
  // file of zeros would be taken whole into memory.
  ASSERT_EQ(mkfifo(path("fifo.csv").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(path("folder.csv").c_str(), 0700), 0);
  {
    std::FILE* sparse = std::fopen(path("sparse.csv").c_str(), "w");
    ASSERT_NE(sparse, nullptr);
    ASSERT_EQ(ftruncate(fileno(sparse), int64_t(2) << 30), 0);
    std::fclose(sparse);
  }
  struct Case {
    std::string file;
    const char* says;
  };
  for (const Case& c : std::vector<Case>{{path("fifo.csv"), "not a regular file (a FIFO)"},
                                         {path("folder.csv"), "not a regular file (a folder)"},
                                         {"/dev/zero", "not a regular file (a device)"},
                                         {"/dev/urandom", "not a regular file (a device)"},
                                         {path("sparse.csv"), "line 1: a NUL byte"}}) {
    SCOPED_TRACE(c.file);
    LogRecord r;
    LogError e;
    EXPECT_FALSE(ReadLogFiles({c.file}, r, e));
    EXPECT_NE(e.message().find(c.says), std::string::npos) << e.message();
  }
}

// A power cut can leave a partial file's last blocks as NUL bytes: it is read up to them, and
// says where they begin. NUL bytes followed by text, or in a finished file, are damage.
TEST_F(LogFileTest, APartialEndingInNulBytesIsReadUpToThem) {
  const std::vector<LogColumn> columns = {{"XgND", "X Gryo", {0.5, 0.25, 0.125}, {}}};
  const std::string whole = LogText("P_1.csv", columns, 100, 103);
  const std::string zeros(10000, '\0');
  const struct {
    const char* name;
    std::string text;
    const char* file;
    int64_t samples;  // -1: refused
    int64_t at;
    int64_t line;
  } cases[] = {
      {"after whole lines", whole + zeros, "P_1.csv.partial", 3, int64_t(whole.size()), 11},
      {"inside a line", whole.substr(0, whole.size() - 4) + zeros, "P_1.csv.partial", 2,
       int64_t(whole.size() - 4), 10},
      {"text after them", whole + zeros + "4,0,1,\r\n", "P_1.csv.partial", -1, 0, 0},
      {"in a finished file", whole + zeros, "P_1.csv", -1, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(path(c.file), c.text);
    LogRecord r;
    LogError e;
    ASSERT_EQ(ReadLogFile(path(c.file), r, e), c.samples >= 0) << e.message();
    if (c.samples < 0) {
      EXPECT_NE(e.message().find("a NUL byte"), std::string::npos) << e.message();
      continue;
    }
    EXPECT_EQ(r.samples(), c.samples);
    EXPECT_EQ(r.files[0].zeroTailAt, c.at);
    EXPECT_EQ(r.files[0].zeroTailLine, c.line);
  }
}

TEST_F(LogFileTest, AStoppedRunsPartialFileIsReadWithoutItsCutLine) {
  const std::vector<LogColumn> columns = {{"XgND", "X Gryo", {0.5, 0.25, 0.125}, {}},
                                          {"YgND", "Y Gyro", {1.5, 1.25, 1.125}, {}}};
  const std::string whole = LogText("P_2.csv", columns, 100, 103);
  const auto endless = [&](std::string text) {
    return text.replace(text.find("End Seconds,103"), 15, "End Seconds,");
  };
  // A run still going writes its begin as its end.
  const std::string unended = LogText("P_2.csv", columns, 100, 100);
  struct Case {
    const char* name;
    std::string text;
    std::vector<double> x;
    double interval;
    bool cut;
  };
  const std::vector<Case> cases = {
      {"cut inside a value", whole.substr(0, whole.size() - 8), {0.5, 0.25}, 1.5, true},
      {"cut after a channel", whole.substr(0, whole.size() - 6), {0.5, 0.25}, 1.5, true},
      {"cut before its line break",
       whole.substr(0, whole.size() - 1),
       {0.5, 0.25, 0.125},
       1,
       false},
      {"whole lines", whole, {0.5, 0.25, 0.125}, 1.0, false},
      {"no end seconds", endless(whole.substr(0, whole.size() - 8)), {0.5, 0.25}, 0.0, true},
      {"end seconds not yet known", unended, {0.5, 0.25, 0.125}, 0.0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(path("P_2.csv.partial"), c.text);
    LogRecord r;
    LogError e;
    ASSERT_TRUE(ReadLogFile(path("P_2.csv.partial"), r, e)) << e.message();
    EXPECT_TRUE(r.partial());
    EXPECT_EQ(r.files[0].cutLineDropped, c.cut);
    EXPECT_EQ(r.channels[0].values, c.x);
    EXPECT_DOUBLE_EQ(r.sampleInterval, c.interval);
    // The same damage under a finished file's name stays damage.
    WriteText(path("P_2.csv"), c.text);
    EXPECT_EQ(ReadLogFile(path("P_2.csv"), r, e), !c.cut) << e.message();
    if (!c.cut) {
      EXPECT_FALSE(r.partial());
    }
  }
  // Only the end may be missing: damage elsewhere is damage in a partial file too.
  std::string damaged = whole;
  damaged.replace(damaged.find("End Seconds"), 3, "Fin");
  WriteText(path("P_2.csv.partial"), damaged);
  {
    LogRecord r;
    LogError e;
    EXPECT_FALSE(ReadLogFile(path("P_2.csv.partial"), r, e));
    EXPECT_EQ(e.line, 5);
  }
  // The stopped run's file takes its place in the session.
  WriteText(path("P_1.csv"), LogText("P_1.csv", columns, 90, 93));
  WriteText(path("P_2.csv.partial"), unended);
  LogRecord r;
  LogError e;
  ASSERT_TRUE(ReadLogFiles({path("P_2.csv.partial"), path("P_1.csv")}, r, e)) << e.message();
  EXPECT_EQ(r.files[0].path, path("P_1.csv"));
  EXPECT_EQ(r.samples(), 6);
  EXPECT_DOUBLE_EQ(r.sampleInterval, 1.0);  // from the file that knows its end
}

TEST_F(LogFileTest, ASessionWithAGapOrARepeatIsRefused) {
  for (const char* name : {"S_1.csv", "S_2.csv", "S_3.csv", "T.csv"})
    WriteText(path(name), LogText(name, {{"XgND", "X Gryo", {0.5, 1.5}, {}}}, 0, 1));
  ASSERT_EQ(link(path("T.csv").c_str(), path("T2.csv").c_str()), 0);
  struct Case {
    std::vector<std::string> files;
    std::string says;
  };
  for (const Case& c : std::vector<Case>{
           {{path("S_1.csv"), path("S_3.csv")}, "gap: file 2 is not given"},
           {{path("S_3.csv"), path("S_2.csv"), path("S_2.csv")},
            "file 2 of the session is given twice"},
           {{path("T.csv"), path("T2.csv")}, "the same file as " + path("T.csv") + ", given twice"},
           {{path("T.csv"), path("S_1.csv"), path("/./T.csv")}, "given twice"}}) {
    LogRecord r;
    LogError e;
    EXPECT_FALSE(ReadLogFiles(c.files, r, e));
    EXPECT_NE(e.message().find(c.says), std::string::npos) << e.message();
  }
}

TEST(LogNumber, ReadsBothDecimalFormsAndExponents) {
  struct Case {
    const char* text;
    bool comma;
    bool ok;
    double value;
  };
  for (const Case& c : std::vector<Case>{{"-0.0499962", false, true, -0.0499962},
                                         {"1E-05", false, true, 1e-05},
                                         {"1,234568E+07", true, true, 1.234568e7},
                                         {"0.5", true, true, 0.5},
                                         {"0,5", false, false, 0},
                                         {"1.2.3", false, false, 0},
                                         {" 1", false, false, 0},
                                         {"nan", false, false, 0},
                                         {"1e999", false, false, 0}}) {
    double v = 0;
    EXPECT_EQ(ParseLogNumber(c.text, c.comma, v), c.ok) << c.text;
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
}

}  // namespace
}  // namespace vexa::analysis
