// The datalog window's sampling choices: Fast Reads and Wait for New Data.

#include <QGroupBox>

#include <fstream>

#include "registers/register_pipeline.h"
#include "ui/datalog/frm_datalog.h"
#include "ui/main_window_fixture.h"

namespace vexa::ui::testing {
namespace {

class DatalogSampling : public MainWindowTest {
 protected:
  void open() {
    window = std::make_unique<frmDatalog>(world.ctx);
    window->Form_Load();
    window->show();
  }
  ~DatalogSampling() override { window.reset(); }

  template <typename T>
  T* w(const QString& name) const {
    T* found = window->findChild<T*>(name);
    EXPECT_NE(found, nullptr) << name.toStdString();
    return found;
  }
  QCheckBox* fast() const { return w<QCheckBox>("ckFastReads"); }
  QCheckBox* dataReady() const { return w<QCheckBox>("ckDataReady"); }

  std::unique_ptr<frmDatalog> window;
};

TEST_F(DatalogSampling, BoxesStartFromTheProgramsChoiceAndLockDuringARun) {
  open();
  EXPECT_EQ(fast()->text(), "Fast Reads");
  EXPECT_EQ(dataReady()->text(), "Wait for New Data");
  EXPECT_EQ(fast()->parent(), w<QGroupBox>("FraSampling"));
  EXPECT_FALSE(fast()->isChecked());
  EXPECT_FALSE(dataReady()->isChecked());

  world.ctx.preferences.setFlag(kPipelinedReadsKey, true);
  open();
  EXPECT_TRUE(fast()->isChecked()) << "Fast Reads chosen in the main window";
  bool seen = false;
  atEventPass(2, [&] {
    seen = true;
    EXPECT_FALSE(fast()->isEnabled());
    EXPECT_FALSE(dataReady()->isEnabled());
  });
  w<QPushButton>("cmdStartDatalog")->click();
  EXPECT_TRUE(seen);
  EXPECT_TRUE(fast()->isEnabled());
  EXPECT_TRUE(dataReady()->isEnabled());
}

// The word sensor answers the same words whatever the frames: a run with Fast Reads writes the
// same lines in 13 frames a sample instead of 24.
TEST_F(DatalogSampling, FastReadsLogTheSameLinesInFewerFrames) {
  for (int16_t i = 1; i <= 12; ++i) sensor.set(i, 0x8000 | (0x0101 * i));
  std::vector<std::vector<std::string>> files;
  std::vector<int> frames;
  for (bool on : {false, true}) {
    open();
    world.messages.answer = true;  // the second run replaces the first one's file
    for (int i = 1; i <= 12; ++i) w<QCheckBox>(QString("CheckReg_%1").arg(i))->setChecked(true);
    w<QLineEdit>("txtSamplesPerFile")->setText("5");
    fast()->setChecked(on);
    sensor.frames = 0;
    w<QPushButton>("cmdStartDatalog")->click();
    frames.push_back(sensor.frames);
    std::ifstream in(world.folder() + "/DATALOG_1.csv", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 12u);
    files.emplace_back(lines.begin() + 7, lines.end());
  }
  EXPECT_EQ(files[1], files[0]);
  EXPECT_EQ(frames[0], 5 * 24);
  EXPECT_EQ(frames[1], 5 * 13);
  EXPECT_TRUE(messages().empty());
}

// The word sensor never sets a new-data bit again once read: the wait runs out and says so.
TEST_F(DatalogSampling, WaitForNewDataEndsARunWhenNoSampleComes) {
  sensor.set(XGYRO_OUT, 0x0123);
  open();
  dataReady()->setChecked(true);
  w<QPushButton>("cmdStartDatalog")->click();
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_NE(messages()[0].find("NO NEW DATA"), std::string::npos) << messages()[0];
  EXPECT_NE(messages()[0].find("X Gyro"), std::string::npos) << messages()[0];
  EXPECT_EQ(w<QPushButton>("cmdStartDatalog")->text(), "Start Datalog");
}

}  // namespace
}  // namespace vexa::ui::testing
