// A USB card pulled out after any frame while a window reads: the window says why, and shows no
// value read after the lost frame.
#include <QPlainTextEdit>

#include <optional>

#include "sim/unplug_fault.h"
#include "ui/config_windows_fixture.h"

namespace vexa::ui::testing {
namespace {

// The register window's world on the USB card, the card pulled out after `unplugAfter` frames
// counted from the main window's load on.
class UsbRegisterWorld : public ConfigWindowsTest {
 public:
  explicit UsbRegisterWorld(std::optional<uint64_t> unplugAfter) {
    world.ctx.settings.Interface = kInterfaceUsb;
    load();
    if (unplugAfter) {
      fault = std::make_unique<sim::UnplugAfterFrames>(monitor, *unplugAfter,
                                                       [this] { usb.unplug(0); });
      card->attach(fault.get());
    }
  }
  void TestBody() override {}

  QStringList dump() {
    QStringList lines;
    open("mnuRegisters", [&lines](QDialog& d) {
      lines = in<QPlainTextEdit>(d, "Text1")->toPlainText().split('\n');
    });
    return lines;
  }
  bool saidWhy() const { return !world.messages.shown.empty(); }
  std::unique_ptr<sim::UnplugAfterFrames> fault;
};

TEST(UnpluggedWindows, RegisterDumpStopsAtTheLostFrameAndSaysWhy) {
  UsbRegisterWorld whole(std::nullopt);
  const QStringList expected = whole.dump();
  ASSERT_EQ(expected.size(), 48);
  ASSERT_FALSE(whole.saidWhy());
  uint64_t n = 0;
  for (;; ++n) {
    ASSERT_LT(n, 1000u) << "the dump never completes";
    UsbRegisterWorld cut(n);
    const QStringList lines = cut.dump();
    if (!cut.saidWhy()) {
      EXPECT_EQ(lines, expected) << "N=" << n;
      break;
    }
    // Only the headings and the rows read before the lost frame, each as the whole dump has it.
    EXPECT_LT(lines.size(), expected.size()) << "N=" << n;
    EXPECT_EQ(lines, expected.mid(0, lines.size())) << "N=" << n;
  }
  EXPECT_GT(n, 40u) << "every row took frames";
}

}  // namespace
}  // namespace vexa::ui::testing
