// An adapter pulled out after any frame while a window reads: the window says why, and shows or
// logs no value read after the lost frame.
#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cerrno>
#include <map>
#include <optional>

#include "registers/register_pipeline.h"
#include "sim/sim_ftdi_io.h"
#include "sim/sim_spidev.h"
#include "sim/unplug_fault.h"
#include "support/file_lines.h"
#include "transport/adapter/adapter_spi.h"
#include "ui/config_windows_fixture.h"
#include "ui/main/strip_chart.h"

namespace vexa::ui::testing {
namespace {

// Sits in front of the sensor and answers every completed read of the stamped registers with a
// value of its own, 100 more on each read of that register, so that each value a window shows
// or logs tells which read it came from, and a value left over from a failed read shows as a
// repeat. A read's word crosses in the frame after its request (the sensor's documented
// protocol), so a read counts once that frame has ended.
class ReadStamps : public sim::SpiSlave {
 public:
  ReadStamps(sim::SpiSlave& next, std::vector<uint8_t> addresses) : next_(next) {
    for (uint8_t a : addresses) reads[a] = 0;
  }
  uint16_t frameStart() override {
    const uint16_t word = next_.frameStart();
    if (asked_ < 0) return word;
    return static_cast<uint16_t>(100 * (reads[static_cast<uint8_t>(asked_)] + 1));
  }
  void frameEnd(uint16_t mosi, int bitCount) override {
    next_.frameEnd(mosi, bitCount);
    ++frames;
    const uint8_t address = (mosi >> 8) & 0x7F;
    const bool request = (mosi & 0x8000) == 0 && reads.count(address) != 0;
    if (asked_ >= 0) {
      ++reads[static_cast<uint8_t>(asked_)];
      // A read sent one register at a time repeats its request while its word crosses; the
      // repeat's word is not taken, so it is no read of its own.
      if (request && address == asked_) {
        asked_ = -1;
        return;
      }
    }
    asked_ = request ? address : -1;
  }

  std::map<uint8_t, int> reads;  // completed reads by address
  uint64_t frames = 0;

 private:
  sim::SpiSlave& next_;
  int asked_ = -1;
};

// The main window with every window attached over a still sensor, on the USB card, an FTDI
// board or a spidev node, pulled out after `unplugAfter` frames counted from the end of the
// main window's load on (never, without it).
class UnpluggedWorld : public ConfigWindowsTest {
 public:
  using ConfigWindowsTest::form;
  using ConfigWindowsTest::open;
  using ConfigWindowsTest::world;
  UnpluggedWorld(int16_t interface, std::optional<uint64_t> unplugAfter, bool pipelined = false) {
    board = &ftdi.plug(sim::SimFtdiIo::ft232h());
    world.ctx.platform.ftdi = &ftdi;
    world.ctx.platform.spidev = &spidev;
    world.ctx.settings.Interface = interface;
    world.ctx.preferences.setFlag(kPipelinedReadsKey, pipelined);
    const uint8_t stamped[] = {static_cast<uint8_t>(world.ctx.registers.BaseAddr[AUX_ADC] & 0x7F),
                               static_cast<uint8_t>(world.ctx.registers.BaseAddr[STATUS] & 0x7F)};
    stamps = std::make_unique<ReadStamps>(monitor, std::vector<uint8_t>(stamped, stamped + 2));
    sim::SpiSlave* bus = &monitor;
    attachAll(bus);
    load();
    bus = stamps.get();
    if (unplugAfter) {
      fault = std::make_unique<sim::UnplugAfterFrames>(*stamps, *unplugAfter, [this] {
        usb.unplug(0);
        board->plugged = false;
        spidev.messageError = ENODEV;
        for (const std::string& node : spidev.nodes()) spidev.openErrors[node] = ENOENT;
      });
      bus = fault.get();
    }
    attachAll(bus);
  }
  ~UnpluggedWorld() override {
    form.reset();
    CloseAdapter(world.ctx);
  }
  void TestBody() override {}

  bool saidWhy() const { return !world.messages.shown.empty(); }
  int reads(int16_t index) const {
    return stamps->reads.at(static_cast<uint8_t>(world.ctx.registers.BaseAddr[index] & 0x7F));
  }

  sim::SimFtdiIo ftdi;
  sim::SimFtdiIo::Board* board = nullptr;
  sim::SimSpidev spidev;
  std::unique_ptr<ReadStamps> stamps;
  std::unique_ptr<sim::UnplugAfterFrames> fault;

 private:
  void attachAll(sim::SpiSlave* bus) {
    card->attach(bus);
    board->engine.attach(bus);
    spidev.attach(bus);
  }
};

constexpr int16_t kAdapters[] = {kInterfaceUsb, kInterfaceFtdi, kInterfaceSpidev};

TEST(UnpluggedWindows, RegisterDumpStopsAtTheLostFrameAndSaysWhy) {
  for (const int16_t interface : kAdapters) {
    const auto dump = [](UnpluggedWorld& w) {
      QStringList lines;
      w.open("mnuRegisters", [&lines](QDialog& d) {
        lines = DialogProbe::in<QPlainTextEdit>(d, "Text1")->toPlainText().split('\n');
      });
      return lines;
    };
    const std::string label = InterfaceName(interface);
    UnpluggedWorld whole(interface, std::nullopt);
    const QStringList expected = dump(whole);
    ASSERT_EQ(expected.size(), 48) << label;
    ASSERT_FALSE(whole.saidWhy()) << label;
    uint64_t n = 0;
    for (;; ++n) {
      ASSERT_LT(n, 1000u) << label << ": the dump never completes";
      UnpluggedWorld cut(interface, n);
      const QStringList lines = dump(cut);
      if (!cut.saidWhy()) {
        EXPECT_EQ(lines, expected) << label << " N=" << n;
        break;
      }
      // Only the headings and the rows read before the lost frame, each as the whole dump has it.
      EXPECT_LT(lines.size(), expected.size()) << label << " N=" << n;
      EXPECT_EQ(lines, expected.mid(0, lines.size())) << label << " N=" << n;
    }
    EXPECT_GT(n, 40u) << label << ": every row took frames";
  }
}

// What the main window shows of its read passes: the twelve read-outs, the status register,
// and how many samples the gyro chart took.
struct Shown {
  QStringList readOuts;
  QString status;
  int plotted = 0;
  bool operator==(const Shown& o) const {
    return readOuts == o.readOuts && status == o.status && plotted == o.plotted;
  }
};
std::ostream& operator<<(std::ostream& out, const Shown& s) {
  return out << s.readOuts.join(' ').toStdString() << " | " << s.status.toStdString() << " | "
             << s.plotted;
}

constexpr const char* kUnread = "unread";

class ReadPassWorld : public UnpluggedWorld {
 public:
  ReadPassWorld(int16_t interface, std::optional<uint64_t> unplugAfter, bool pipelined, bool loop)
      : UnpluggedWorld(interface, unplugAfter, pipelined) {
    // Every read-out shows a text no pass can give, so that anything a pass shows is seen.
    for (int i = 1; i <= frmForm1::kReadOuts; ++i) readOut(i)->setText(kUnread);
    status()->setText(kUnread);
    plottedBefore = chart()->cursor();
    form->findChild<QCheckBox*>("ckLoop")->setChecked(loop);
    if (loop) {
      // Long enough for every pass's read-outs to be shown; the loop is stopped in its second
      // pass, so that a whole run has two. Events pass once as Read is pressed, then once in
      // each pass after its read-outs are shown and before its status is read.
      form->findChild<QLineEdit*>("txtLoopDelay")->setText("300");
      world.ui.onProcessEvents = [this] {
        passes.push_back(shown());
        if (passes.size() == 3) form->findChild<QCheckBox*>("ckLoop")->setChecked(false);
      };
    }
    world.clock.advance(1);  // the read-outs shown at load are old enough to be replaced
  }
  void press() {
    form->findChild<QPushButton*>("cmdReadData")->click();
    passes.push_back(shown());
  }
  QLineEdit* readOut(int i) const {
    return form->findChild<QLineEdit*>(QString("txtReadReg_%1").arg(i));
  }
  QLabel* status() const { return form->findChild<QLabel*>("lblStatus"); }
  StripChart* chart() const { return form->findChildren<StripChart*>().front(); }
  Shown shown() const {
    Shown s;
    for (int i = 1; i <= frmForm1::kReadOuts; ++i) s.readOuts << readOut(i)->text();
    s.status = status()->text();
    s.plotted = chart()->cursor() - plottedBefore;
    return s;
  }
  std::vector<Shown> passes;  // at each pass of the events (the loop's), then after the press
  int plottedBefore = 0;
};

// Read, one pass or the loop, with the adapter pulled out after every frame the passes take: the
// window says why, ends the loop, and shows only what completed reads gave - a pass's read-outs
// and chart sample once its twelve registers were read, the status once it was read.
TEST(UnpluggedWindows, ReadPassShowsOnlyWhatCompletedReadsGave) {
  for (const int16_t interface : kAdapters) {
    for (const bool pipelined : {false, true}) {
      for (const bool loop : {false, true}) {
        const std::string label = InterfaceName(interface) + std::string(pipelined ? " fast" : "") +
                                  (loop ? " loop" : " once");
        ReadPassWorld whole(interface, std::nullopt, pipelined, loop);
        whole.press();
        ASSERT_FALSE(whole.saidWhy()) << label;
        const int passes = loop ? 2 : 1;
        ASSERT_EQ(whole.reads(AUX_ADC), passes) << label;
        ASSERT_EQ(whole.reads(STATUS), passes) << label;
        // What the whole run showed after r passes' registers and s status reads.
        const auto& seen = whole.passes;
        const auto afterPass = [&](int r, int s) {
          Shown shown;
          shown.readOuts = r == 0 ? QStringList(frmForm1::kReadOuts, kUnread)
                                  : seen[loop ? size_t(r) : 0].readOuts;
          shown.status = s == 0 ? QString(kUnread) : seen[loop ? size_t(s) + 1 : 0].status;
          shown.plotted = r;
          return shown;
        };
        ASSERT_EQ(seen.size(), loop ? 4u : 1u) << label;
        EXPECT_EQ(whole.passes.back(), afterPass(passes, passes)) << label;
        for (uint64_t n = 0; n <= whole.stamps->frames; ++n) {
          ReadPassWorld cut(interface, n, pipelined, loop);
          cut.press();
          EXPECT_EQ(cut.saidWhy(), n < whole.stamps->frames) << label << " N=" << n;
          EXPECT_EQ(cut.form->findChild<QPushButton*>("cmdReadData")->text(), "Read")
              << label << " N=" << n;
          // The read-outs and the chart only for passes whose twelve registers were all read
          // (AUX_ADC is the last of them), the status only as last read whole.
          EXPECT_EQ(cut.passes.back(), afterPass(cut.reads(AUX_ADC), cut.reads(STATUS)))
              << label << " N=" << n;
        }
      }
    }
  }
}

// A log run from the datalog window with the adapter pulled out after every frame it takes: the
// window says why, and the file holds exactly the samples whose every channel was read, each as
// the whole run wrote it.
TEST(UnpluggedWindows, DatalogRunLogsOnlyTheSamplesReadWhole) {
  for (const int16_t interface : kAdapters) {
    for (const bool pipelined : {false, true}) {
      const std::string label = InterfaceName(interface) + std::string(pipelined ? " fast" : "");
      struct Run {
        QString result;
        std::vector<std::string> lines;
      };
      const auto log = [](UnpluggedWorld& w) {
        Run run;
        w.open("mnuDatalog", [&run](QDialog& d) {
          DialogProbe::in<QLineEdit>(d, "txtSamplesPerFile")->setText("4");
          DialogProbe::in<QAbstractButton>(d, "OpLSB")->click();
          // X Gyro is checked when the window opens; AUX_ADC is the last channel of a sample.
          DialogProbe::in<QAbstractButton>(d, "CheckReg_12")->click();
          DialogProbe::in<QAbstractButton>(d, "cmdStartDatalog")->click();
          run.result = DialogProbe::text(d, "lblResult");
        });
        run.lines = vexa::testing::fileLines(w.world.folder() + "/DATALOG_1.csv");
        return run;
      };
      UnpluggedWorld whole(interface, std::nullopt, pipelined);
      const Run expected = log(whole);
      ASSERT_FALSE(whole.saidWhy()) << label;
      ASSERT_EQ(expected.lines.size(), 7u + 4u) << label << " " << expected.result.toStdString();
      ASSERT_EQ(whole.reads(AUX_ADC), 4) << label;
      for (uint64_t n = 0; n <= whole.stamps->frames; ++n) {
        UnpluggedWorld cut(interface, n, pipelined);
        const Run run = log(cut);
        const bool lost = n < whole.stamps->frames;
        EXPECT_EQ(cut.saidWhy(), lost) << label << " N=" << n;
        EXPECT_EQ(run.result.contains("ended early"), lost)
            << label << " N=" << n << ": " << run.result.toStdString();
        const size_t samples = static_cast<size_t>(cut.reads(AUX_ADC));
        // A run that took no sample publishes no file at all.
        ASSERT_EQ(run.lines.size(), samples == 0 ? 0u : 7u + samples) << label << " N=" << n;
        if (samples == 0) continue;
        // The header's first lines and every sample line as the whole run has them.
        EXPECT_EQ(run.lines[0], expected.lines[0]) << label << " N=" << n;
        for (size_t k = 6; k < run.lines.size(); ++k)
          EXPECT_EQ(run.lines[k], expected.lines[k]) << label << " N=" << n;
      }
    }
  }
}

}  // namespace
}  // namespace vexa::ui::testing
