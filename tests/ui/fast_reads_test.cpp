// "Fast Reads" in the Interface menu: pipelined reads for the read loop, kept in the program's
// own settings file.

#include <QMenu>

#include "app/preferences.h"
#include "registers/register_pipeline.h"
#include "ui/main_window_fixture.h"

namespace vexa::ui::testing {
namespace {

class FastReads : public MainWindowTest {
 protected:
  // One press of Read with Loop off; the frames it cost and the twelve read-outs.
  std::pair<int, std::vector<QString>> onePass() {
    check("ckLoop")->setChecked(false);
    sensor.frames = 0;
    button("cmdReadData")->click();
    std::vector<QString> shown;
    for (int i = 1; i <= 12; ++i) shown.push_back(readOut(i)->text());
    return {sensor.frames, shown};
  }
};

TEST_F(FastReads, ComesAfterTheInterfacesAndIsOffUnlessChosen) {
  load();
  const QList<QAction*> items = child<QMenu>("mnuInterface")->actions();
  QStringList names;
  for (QAction* a : items)
    if (!a->isSeparator()) names << a->objectName();
  EXPECT_EQ(names, (QStringList{"mnuPort", "mnuUsb", "mnuFtdi", "mnuSpidev", "mnuFastReads"}));
  EXPECT_EQ(menu("mnuFastReads")->text(), "Fast Reads");
  EXPECT_TRUE(menu("mnuFastReads")->isCheckable());
  EXPECT_FALSE(menu("mnuFastReads")->isChecked());
}

TEST_F(FastReads, TheReadPassShowsTheSameValuesInFewerFrames) {
  for (int16_t i = 1; i <= 12; ++i) sensor.set(i, 0x0123 * i);
  for (int16_t interface : {kInterfaceParallel, kInterfaceUsb}) {
    settings().Interface = interface;
    if (interface == kInterfaceUsb) plugCard();
    load();
    menu("mnuFastReads")->setChecked(false);
    const auto [singleFrames, singleShown] = onePass();
    menu("mnuFastReads")->trigger();
    ASSERT_TRUE(menu("mnuFastReads")->isChecked());
    const auto [fastFrames, fastShown] = onePass();
    EXPECT_EQ(fastShown, singleShown) << interface;
    // Twelve registers in 13 frames instead of 24; the status read (2 frames) is unchanged.
    EXPECT_EQ(singleFrames, 24 + 2) << interface;
    EXPECT_EQ(fastFrames, 13 + 2) << interface;
    EXPECT_TRUE(messages().empty());
  }
}

TEST_F(FastReads, TheChoiceIsKeptInTheProgramsOwnSettingsFile) {
  load();
  menu("mnuFastReads")->trigger();
  EXPECT_TRUE(PipelinedReadsChosen(ctx()));
  WritePreferences(ctx());

  // The next run reads it back and shows the item checked.
  form.reset();
  ctx().preferences = ProgramSettings();
  ReadPreferences(ctx());
  load();
  EXPECT_TRUE(menu("mnuFastReads")->isChecked());
  menu("mnuFastReads")->trigger();
  EXPECT_FALSE(PipelinedReadsChosen(ctx()));
}

}  // namespace
}  // namespace vexa::ui::testing
