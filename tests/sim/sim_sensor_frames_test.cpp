// The simulated sensor seen as registers on the bus: frame protocol, storage, identification,
// malformed frames, sleep, flash and power cycle.
#include <gtest/gtest.h>

#include "sim_sensor_rig.h"

namespace vexa::testing {
namespace {

using sim::SimSensor;

TEST(SimSensorFrames, ReadIsAnsweredInTheFollowingFrame) {
  SensorRig rig;
  rig.sensor.exchange(0x0000);                     // read ENDURANCE
  EXPECT_EQ(rig.sensor.exchange(0x5600), 0x0000);  // its answer; asks for PROD_ID
  EXPECT_EQ(rig.sensor.exchange(0x8000 | 0x1A05), 27150);
  EXPECT_EQ(rig.sensor.exchange(0x0000), 0x0000);  // after a write: nothing
}

TEST(SimSensorFrames, IdentificationFollowsTheConfiguredModel) {
  for (uint16_t product : {27150, 27100}) {
    sim::SimSensorConfig c = StillSensor();
    c.productId = product;
    SensorRig rig(c);
    EXPECT_EQ(rig.bus.read(PROD_ID), product);
    EXPECT_GT(rig.bus.read(REV), 0);
    EXPECT_GE(rig.bus.read(MONTH), 1);
    EXPECT_LE(rig.bus.read(MONTH), 12);
    EXPECT_GE(rig.bus.read(DATE), 1);
    EXPECT_LE(rig.bus.read(DATE), 31);
  }
}

TEST(SimSensorFrames, RegistersKeepOnlyTheirOwnBits) {
  struct Case {
    int16_t index;
    int32_t written;
    uint16_t wordRead;
  };
  const Case cases[] = {
      {SMPL_PRD, 0xFFFF, 0x00FF},  {XGYRO_OFF, 0xF447, 0x1447}, {XACCL_OFF, 0xFFFF, 0x0FFF},
      {XMAGN_HIF, 0x2000, 0x2000}, {XMAGN_SIF, 0xF123, 0x0123}, {AUX_DAC, 0xFFFF, 0x0FFF},
      {GPIO_CTRL, 0xFFFF, 0x0F0F}, {ALM_SMPL1, 0x1234, 0x0034}, {ALM_MAG2, 0xC00F, 0xC00F},
      {ALM_CTRL, 0xA5C3, 0xA5C3},  {SENS_AVG, 0x0206, 0x0206},
  };
  for (const Case& c : cases) {
    SensorRig rig;
    rig.bus.write(c.index, c.written);
    EXPECT_EQ(rig.bus.word(c.index), c.wordRead) << rig.bus.table().Label[c.index];
  }
}

TEST(SimSensorFrames, EachWriteFrameChangesOneByte) {
  SensorRig rig;
  rig.bus.write(XACCL_OFF, 0x0123);
  rig.bus.writeByte(0x20, 0x45);  // low byte of XACCL_OFF only
  EXPECT_EQ(rig.bus.word(XACCL_OFF), 0x0145);
  rig.bus.writeByte(0x21, 0x07);
  EXPECT_EQ(rig.bus.word(XACCL_OFF), 0x0745);
}

TEST(SimSensorFrames, ReadOnlyAndUnusedAddressesIgnoreWrites) {
  SensorRig rig;
  const int16_t fixed[] = {ENDURANCE, REV, DATE, MONTH, YEAR, PROD_ID, Cont_Slp, STATUS};
  uint16_t before[8];
  for (int i = 0; i < 8; ++i) before[i] = rig.bus.word(fixed[i]);
  for (int address : {0x00, 0x01, 0x3B, 0x3C, 0x3D, 0x3F, 0x4C, 0x4E, 0x50, 0x52, 0x53, 0x54, 0x55,
                      0x56, 0x57, 0x5A, 0x7F}) {
    rig.bus.writeByte(address, 0x5A);
  }
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(rig.bus.word(fixed[i]), before[i]) << rig.bus.table().Label[fixed[i]];
  }
  for (int address : {0x01, 0x3D, 0x3E, 0x3F, 0x4C, 0x4E, 0x50, 0x5A, 0x7F}) {
    rig.sensor.exchange(static_cast<uint16_t>(address << 8));
    EXPECT_EQ(rig.sensor.exchange(0), 0) << "address " << address;
  }
}

TEST(SimSensorFrames, OutputRegistersIgnoreWrites) {
  SensorRig rig;
  rig.waitSample();
  const int32_t gyro = rig.bus.read(XGYRO_OUT);
  rig.bus.write(XGYRO_OUT, 0x1234);
  EXPECT_EQ(rig.bus.read(XGYRO_OUT), gyro);
}

TEST(SimSensorFrames, MalformedFrameIsFlaggedAndIgnored) {
  for (int bits : {0, 8, 15, 17, 32}) {
    SensorRig rig;
    rig.waitSample();
    rig.sensor.exchange(0x5600);  // read PROD_ID, answer pending
    rig.sensor.frameStart();
    rig.sensor.frameEnd(0x8000 | 0x3612, bits);  // would write SMPL_PRD
    EXPECT_EQ(rig.sensor.exchange(0x0000), 0) << bits << " bits: the reply was lost";
    EXPECT_EQ(rig.bus.read(SMPL_PRD), 0x01);
    EXPECT_EQ(rig.bus.word(XGYRO_OUT) & 0x4000, 0x4000);
    EXPECT_EQ(rig.bus.word(STATUS), SimSensor::kStatusSpiFrame);
    EXPECT_EQ(rig.bus.word(STATUS), 0) << "cleared by reading STATUS";
    EXPECT_EQ(rig.bus.word(XGYRO_OUT) & 0x4000, 0);
  }
}

TEST(SimSensorFrames, GyroRangeOtherThanOneHotIsRefused) {
  for (int range : {0, 3, 5, 6, 7}) {
    SensorRig rig;
    rig.bus.write(SENS_AVG, range << 8 | 3);
    EXPECT_EQ(rig.bus.read(SENS_AVG), 0x0403) << range << ": range kept, taps written";
    EXPECT_EQ(rig.bus.word(STATUS), SimSensor::kStatusControlWrite);
  }
}

TEST(SimSensorSleep, SilentForTheCountInHalfSeconds) {
  struct Case {
    int count;
    double seconds;
  };
  for (const Case& c : {Case{1, 0.5}, Case{3, 1.5}, Case{255, 127.5}}) {
    SensorRig rig;
    rig.bus.write(SLP_CNT, c.count);
    EXPECT_TRUE(rig.sensor.asleep());
    rig.wait(c.seconds - 0.01);
    EXPECT_EQ(rig.bus.word(PROD_ID), 0) << c.count;
    rig.bus.write(XGYRO_OFF, 100);  // ignored
    rig.sensor.frameStart();
    rig.sensor.frameEnd(0x1234, 7);  // not even flagged
    rig.wait(0.02);
    EXPECT_FALSE(rig.sensor.asleep());
    EXPECT_EQ(rig.bus.read(PROD_ID), 27150);
    EXPECT_EQ(rig.bus.read(XGYRO_OFF), 0);
    EXPECT_EQ(rig.bus.read(SLP_CNT), 0);
    EXPECT_EQ(rig.bus.read(STATUS), 0);
  }
}

TEST(SimSensorSleep, NoSamplesWhileAsleep) {
  SensorRig rig;
  rig.waitSample();
  rig.bus.word(XGYRO_OUT);  // clears new data
  rig.bus.write(SLP_CNT, 2);
  rig.wait(0.999);
  rig.bus.write(SLP_CNT, 0);  // ignored while asleep
  rig.wait(0.002);
  EXPECT_EQ(rig.bus.word(XGYRO_OUT) & 0x8000, 0) << "no sample yet since waking";
  rig.waitSample();
  EXPECT_EQ(rig.bus.word(XGYRO_OUT) & 0x8000, 0x8000);
}

TEST(SimSensorFlash, PowerCycleKeepsOnlyWhatWasFlashed) {
  SensorRig rig;
  const int32_t endurance = rig.bus.read(ENDURANCE);
  rig.bus.write(XGYRO_OFF, -3001);
  rig.bus.write(SMPL_PRD, 0x0F);
  rig.bus.write(ALM_CTRL, 0x2105);
  rig.bus.write(MSC_CTRL, 0x0104);  // self-test on, data ready on
  rig.bus.command(8);
  EXPECT_EQ(rig.bus.read(ENDURANCE), endurance + 1);
  rig.bus.write(XGYRO_OFF, 5);
  rig.bus.write(ZACCL_OFF, 7);
  rig.bus.write(AUX_DAC, 1000);
  rig.sensor.powerCycle();
  EXPECT_EQ(rig.bus.read(XGYRO_OFF), -3001);
  EXPECT_EQ(rig.bus.read(ZACCL_OFF), 0);
  EXPECT_EQ(rig.bus.read(SMPL_PRD), 0x0F);
  EXPECT_EQ(rig.bus.read(ALM_CTRL), 0x2105);
  EXPECT_EQ(rig.bus.read(MSC_CTRL), 0x0004) << "self-test does not survive power-down";
  EXPECT_EQ(rig.bus.read(AUX_DAC), 0);
  EXPECT_EQ(rig.bus.read(ENDURANCE), endurance + 1);
  rig.bus.command(8);
  rig.bus.command(8);
  EXPECT_EQ(rig.bus.read(ENDURANCE), endurance + 3);
}

TEST(SimSensorFlash, FactoryRestoreResetsCorrectionsButNotSettings) {
  SensorRig rig;
  const int16_t corrections[] = {XGYRO_OFF, YGYRO_OFF, ZGYRO_OFF, XACCL_OFF, YACCL_OFF,
                                 ZACCL_OFF, XMAGN_HIF, YMAGN_HIF, ZMAGN_HIF};
  for (int16_t r : corrections) rig.bus.write(r, 0x0123);
  for (int16_t r : {XMAGN_SIF, YMAGN_SIF, ZMAGN_SIF}) rig.bus.write(r, 100);
  rig.bus.write(SMPL_PRD, 0x81);
  rig.bus.command(2);
  for (int16_t r : corrections) EXPECT_EQ(rig.bus.read(r), 0) << rig.bus.table().Label[r];
  for (int16_t r : {XMAGN_SIF, YMAGN_SIF, ZMAGN_SIF}) {
    EXPECT_EQ(rig.bus.read(r), SimSensor::kSoftIronUnity);
  }
  EXPECT_EQ(rig.bus.read(SMPL_PRD), 0x81);
}

}  // namespace
}  // namespace vexa::testing
