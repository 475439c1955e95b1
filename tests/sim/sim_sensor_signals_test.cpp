// The simulated sensor's measurements: sample clock and flags, scaling, offsets, calibration
// commands, self-test, loopback, digital lines and alarms.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "sim_sensor_rig.h"

namespace vexa::testing {
namespace {

using sim::SimSensor;

double Scaled(SensorRig& rig, int16_t index) {
  const RegisterTable& t = rig.bus.table();
  return rig.bus.read(index) * static_cast<double>(t.RegScale[index]) + t.RegOffset[index];
}

TEST(SimSensorSampling, NewDataFollowsTheSamplePeriod) {
  for (uint16_t smplPrd : {0x01, 0x0F, 0x81, 0xB4}) {
    SensorRig rig;
    rig.bus.write(SMPL_PRD, smplPrd);
    const double period = SimSensor::samplePeriodSeconds(smplPrd);
    const double base = (smplPrd & 0x80) ? 0.018921 : 0.00061035;
    EXPECT_DOUBLE_EQ(period, ((smplPrd & 0x7F) + 1) * base);
    for (int16_t r = SUPPLY_OUT; r <= AUX_ADC; ++r) rig.bus.word(r);
    rig.wait(period * 0.99);
    EXPECT_EQ(rig.bus.word(XGYRO_OUT) & 0x8000, 0) << smplPrd;
    rig.wait(period * 0.02);
    EXPECT_EQ(rig.bus.word(XGYRO_OUT) & 0x8000, 0x8000) << smplPrd;
    EXPECT_EQ(rig.bus.word(XGYRO_OUT) & 0x8000, 0) << "cleared by the read";
    for (int16_t r : {SUPPLY_OUT, ZACCL_OUT, TEMP_OUT, AUX_ADC}) {
      EXPECT_EQ(rig.bus.word(r) & 0xC000, 0x8000) << "each output keeps its own flag";
    }
  }
}

TEST(SimSensorSampling, GyroCountsFollowTheRangeBits) {
  struct Case {
    int range;
    int32_t x, y, z;
  };
  sim::SimSensorConfig c = StillSensor();
  c.gyroBiasDegPerSec = {10.0, -5.0, 150.0};
  for (const Case& k :
       {Case{4, 200, -100, 3000}, Case{2, 400, -200, 6000}, Case{1, 800, -400, 8191}}) {
    SensorRig rig(c);
    rig.bus.write(SENS_AVG, k.range << 8);
    rig.waitSample();
    EXPECT_EQ(rig.bus.read(XGYRO_OUT), k.x) << k.range;
    EXPECT_EQ(rig.bus.read(YGYRO_OUT), k.y) << k.range;
    EXPECT_EQ(rig.bus.read(ZGYRO_OUT), k.z) << k.range << " (saturates at the 14-bit limit)";
  }
}

TEST(SimSensorSampling, NoiseFallsWithFilterTaps) {
  auto spread = [](int tapsLog2) {
    sim::SimSensorConfig c = StillSensor();
    c.noiseScale = 1.0;
    SensorRig rig(c);
    rig.bus.write(SENS_AVG, 0x0100 | tapsLog2);
    double sum = 0, sum2 = 0;
    const int n = 400;
    for (int i = 0; i < n; ++i) {
      rig.waitSample();
      const double v = rig.bus.read(XGYRO_OUT);
      sum += v;
      sum2 += v * v;
    }
    return std::sqrt(sum2 / n - (sum / n) * (sum / n));
  };
  const double one = spread(0), sixteen = spread(4), sixtyFour = spread(6);
  EXPECT_GT(one, 10.0);
  EXPECT_NEAR(one / sixteen, 4.0, 1.0);
  EXPECT_NEAR(one / sixtyFour, 8.0, 2.5);
}

TEST(SimSensorCalibration, OffsetsAndCorrectionsShiftTheirOutputs) {
  struct Case {
    int16_t offset;
    int32_t code;
    int16_t output;
    int32_t shift;
  };
  const Case cases[] = {
      {XGYRO_OFF, 80, XGYRO_OUT, 80},   {YGYRO_OFF, -3001, YGYRO_OUT, -3001},
      {XACCL_OFF, 100, XACCL_OUT, 100}, {ZACCL_OFF, -1551, ZACCL_OUT, -1551},
      {YMAGN_HIF, 50, YMAGN_OUT, 50},   {ZMAGN_HIF, -400, ZMAGN_OUT, -400},
  };
  for (const Case& c : cases) {
    SensorRig rig;
    rig.bus.write(SENS_AVG, 0x0100);  // 0.0125 deg/s per count, like the offsets
    rig.waitSample();
    const int32_t before = rig.bus.read(c.output);
    rig.bus.write(c.offset, c.code);
    rig.waitSample();
    EXPECT_NEAR(rig.bus.read(c.output) - before, c.shift, 1) << rig.bus.table().Label[c.offset];
  }
}

TEST(SimSensorCalibration, SoftIronScalesTheMagnetometer) {
  SensorRig rig;
  rig.waitSample();
  const int32_t before = rig.bus.read(XMAGN_OUT);
  ASSERT_GT(std::abs(before), 100);
  rig.bus.write(XMAGN_SIF, SimSensor::kSoftIronUnity / 2);
  rig.waitSample();
  EXPECT_NEAR(rig.bus.read(XMAGN_OUT), before / 2.0, 1.0);
}

TEST(SimSensorCalibration, AutoNullCancelsTheGyroBias) {
  SensorRig rig;
  rig.bus.write(SENS_AVG, 0x0100);
  rig.waitSample();
  EXPECT_NE(rig.bus.read(XGYRO_OUT), 0);
  rig.bus.command(1);
  const double lsb = rig.bus.table().RegScale[XGYRO_OFF];
  EXPECT_EQ(rig.bus.read(XGYRO_OFF), std::lround(-0.35 / lsb));
  rig.waitSample();
  for (int16_t r : {XGYRO_OUT, YGYRO_OUT, ZGYRO_OUT}) EXPECT_EQ(rig.bus.read(r), 0);
}

TEST(SimSensorCalibration, NoisyAutoNullLeavesASmallResidue) {
  sim::SimSensorConfig c = StillSensor();
  c.noiseScale = 1.0;
  c.gyroBiasDegPerSec = {3.0, -2.0, 1.0};
  SensorRig rig(c);
  rig.bus.command(1);
  double sum = 0;
  for (int i = 0; i < 200; ++i) {
    rig.waitSample();
    sum += Scaled(rig, YGYRO_OUT);
  }
  EXPECT_NEAR(sum / 200, 0.0, 0.2);
}

TEST(SimSensorCalibration, PrecisionAutoNullTakesThirtySeconds) {
  SensorRig rig;
  rig.bus.command(16);
  rig.wait(SimSensor::kPrecisionAutoNullSeconds - 1.0);
  EXPECT_EQ(rig.bus.read(ZGYRO_OFF), 0);
  rig.wait(1.5);
  EXPECT_EQ(rig.bus.read(ZGYRO_OFF), std::lround(-0.12 / rig.bus.table().RegScale[ZGYRO_OFF]));
  rig.sensor.powerCycle();
  EXPECT_EQ(rig.bus.read(ZGYRO_OFF), 0) << "not flashed";
}

TEST(SimSensorCalibration, SelfTestShiftsGyrosAndAccelerometers) {
  SensorRig rig;
  rig.waitSample();
  std::vector<int32_t> before;
  for (int16_t r = XGYRO_OUT; r <= ZACCL_OUT; ++r) before.push_back(rig.bus.read(r));
  rig.bus.write(MSC_CTRL, 0x0100);
  rig.waitSample();
  const double gyroCounts = SimSensor::kSelfTestGyroDegPerSec / 0.05;
  const double acclCounts = SimSensor::kSelfTestAccelG / rig.bus.table().RegScale[XACCL_OUT];
  for (int16_t r = XGYRO_OUT; r <= ZACCL_OUT; ++r) {
    const double expected = r <= ZGYRO_OUT ? gyroCounts : acclCounts;
    EXPECT_NEAR(rig.bus.read(r) - before[r - XGYRO_OUT], expected, 1.0) << r;
  }
  rig.bus.write(MSC_CTRL, 0);
  rig.waitSample();
  EXPECT_EQ(rig.bus.read(XGYRO_OUT), before[0]);
}

TEST(SimSensorAux, AdcReadsTheLatchedDac) {
  for (int code : {0, 1638, 2047, 4095}) {
    SensorRig rig;
    rig.bus.write(AUX_DAC, 3000);
    rig.bus.command(4);
    rig.bus.write(AUX_DAC, code);
    rig.waitSample();
    const double volts = code / 4095.0 * 2.5;
    EXPECT_GT(std::abs(Scaled(rig, AUX_ADC) - volts), 0.5) << "not latched yet";
    rig.bus.command(4);
    rig.waitSample();
    EXPECT_NEAR(Scaled(rig, AUX_ADC), volts, 0.001) << code;
  }
}

TEST(SimSensorAux, GpioReadsOutputLevelsAndInputPins) {
  struct Case {
    int written;
    uint8_t pins;
    uint16_t read;
  };
  for (const Case& c :
       {Case{0x0404, 0x0, 0x0404}, Case{0x0405, 0xA, 0x0E05}, Case{0x0000, 0xF, 0x0F00},
        Case{0x0F0F, 0x0, 0x0F0F}, Case{0x0A00, 0x0, 0x0000}}) {
    SensorRig rig;
    rig.sensor.setGpioInputs(c.pins);
    rig.bus.write(GPIO_CTRL, c.written);
    EXPECT_EQ(rig.bus.word(GPIO_CTRL), c.read) << std::hex << c.written;
  }
}

TEST(SimSensorAux, DataReadyPulsesOnTheChosenLine) {
  for (int msc : {0x4, 0x5, 0x6, 0x7}) {
    SensorRig rig;
    rig.bus.write(SMPL_PRD, 0x81);
    rig.bus.write(MSC_CTRL, msc);
    const int line = msc & 1;
    const bool activeHigh = (msc & 2) != 0;
    const double period = SimSensor::samplePeriodSeconds(0x81);
    rig.wait(period * 1.05);
    EXPECT_EQ(rig.sensor.lineLevel(line), activeHigh) << msc;
    rig.wait(period * 0.5);
    EXPECT_EQ(rig.sensor.lineLevel(line), !activeHigh) << msc;
  }
}

TEST(SimSensorAlarms, StatusFlagsFollowTheSupply) {
  struct Case {
    double volts;
    uint16_t status;
  };
  for (const Case& c : {Case{5.0, 0}, Case{4.76, 0}, Case{4.5, SimSensor::kStatusLowSupply},
                        Case{5.5, SimSensor::kStatusHighSupply}}) {
    SensorRig rig;
    rig.sensor.setSupplyVolts(c.volts);
    rig.waitSample();
    EXPECT_NEAR(Scaled(rig, SUPPLY_OUT), c.volts, 0.003);
    EXPECT_EQ(rig.bus.word(STATUS), c.status) << c.volts;
  }
}

TEST(SimSensorAlarms, LevelAlarmsCompareTheSourceWithTheMagnitude) {
  // Still module: SUPPLY_OUT 2068, XGYRO_OUT 7, TEMP_OUT -7.
  struct Case {
    int alarm;
    int source;
    uint16_t magnitude;
    bool trips;
  };
  const Case cases[] = {
      {1, SUPPLY_OUT, 0x8000 | 2000, true},
      {1, SUPPLY_OUT, 2000, false},
      {1, SUPPLY_OUT, 2100, true},
      {2, SUPPLY_OUT, 0x8000 | 2000, true},
      {2, SUPPLY_OUT, 0x8000 | 2068, false},
      {1, XGYRO_OUT, 0x8000 | 0x3FF6, true},
      {1, XGYRO_OUT, 0x3FF6, false},
      {2, TEMP_OUT, 0x3FFB, true},
      {2, TEMP_OUT, 0x8000 | 0x3FFB, false},
      {1, 0, 0x8000, false},
      {1, 13, 0x8000, false},
  };
  for (const Case& c : cases) {
    SensorRig rig;
    rig.bus.write(ALM_CTRL, c.source << (c.alarm == 1 ? 8 : 12));
    rig.bus.write(c.alarm == 1 ? ALM_MAG1 : ALM_MAG2, c.magnitude);
    rig.waitSample();
    const uint16_t bit = c.alarm == 1 ? SimSensor::kStatusAlarm1 : SimSensor::kStatusAlarm2;
    EXPECT_EQ(rig.bus.word(STATUS), c.trips ? bit : 0)
        << "alarm " << c.alarm << " source " << c.source << " magnitude " << c.magnitude;
  }
}

TEST(SimSensorAlarms, PersistentAlarmSetsAgainAfterStatusRead) {
  SensorRig rig;
  rig.bus.write(ALM_CTRL, 0x0100 | 0x7);  // supply; indicator on line 1, active high
  rig.bus.write(ALM_MAG1, 0x8000 | 2000);
  EXPECT_FALSE(rig.sensor.lineLevel(1));
  rig.waitSample();
  EXPECT_TRUE(rig.sensor.lineLevel(1));
  EXPECT_EQ(rig.bus.word(GPIO_CTRL), 0x0200);
  EXPECT_EQ(rig.bus.word(SUPPLY_OUT) & 0x4000, 0x4000);
  EXPECT_EQ(rig.bus.word(STATUS), SimSensor::kStatusAlarm1);
  EXPECT_EQ(rig.bus.word(SUPPLY_OUT) & 0x4000, 0);
  EXPECT_FALSE(rig.sensor.lineLevel(1));
  rig.waitSample();
  EXPECT_EQ(rig.bus.word(SUPPLY_OUT) & 0x4000, 0x4000);
}

TEST(SimSensorAlarms, AverageNumberDelaysALevelAlarm) {
  SensorRig rig;
  rig.bus.write(ALM_CTRL, 0x0100);
  rig.bus.write(ALM_SMPL1, 8);
  rig.bus.write(ALM_MAG1, 0x8000 | 2100);
  for (int i = 0; i < 10; ++i) rig.waitSample();
  rig.sensor.setSupplyVolts(5.1);  // 2110 counts
  int tripsAt = 0;
  for (int i = 1; i <= 10 && tripsAt == 0; ++i) {
    rig.waitSample();
    if (rig.bus.word(STATUS) & SimSensor::kStatusAlarm1) tripsAt = i;
  }
  EXPECT_EQ(tripsAt, 7) << "mean of the last 8 samples passes 2100 at the 7th";
}

TEST(SimSensorAlarms, RateOfChangeSeesStepsNotLevels) {
  SensorRig rig;
  rig.bus.write(ALM_CTRL, 0x0100 | 0x40);
  rig.bus.write(ALM_SMPL1, 4);
  rig.bus.write(ALM_MAG1, 0x8000 | 20);
  for (int i = 0; i < 10; ++i) rig.waitSample();
  EXPECT_EQ(rig.bus.word(STATUS), 0) << "steady supply";
  rig.sensor.setSupplyVolts(5.1);
  rig.waitSample();
  EXPECT_EQ(rig.bus.word(STATUS), SimSensor::kStatusAlarm1) << "a 42-count step";
  for (int i = 0; i < 4; ++i) rig.waitSample();
  rig.bus.word(STATUS);
  rig.waitSample();
  EXPECT_EQ(rig.bus.word(STATUS), 0) << "the step has left the window";
}

TEST(SimSensorBench, SameSeedSameReadings) {
  auto readings = [](uint64_t seed) {
    sim::SimSensorConfig c;
    c.seed = seed;
    SensorRig rig(c);
    std::vector<int32_t> v;
    for (int i = 0; i < 20; ++i) {
      rig.wait(0.137);
      for (int16_t r = SUPPLY_OUT; r <= AUX_ADC; ++r) v.push_back(rig.bus.read(r));
    }
    return v;
  };
  EXPECT_EQ(readings(7), readings(7));
  EXPECT_NE(readings(7), readings(8));
}

TEST(SimSensorBench, LooksLikeAModuleOnABench) {
  SensorRig rig(sim::SimSensorConfig{});
  double gyroMin = 1e9, gyroMax = -1e9;
  for (int i = 0; i < 300; ++i) {
    rig.wait(0.1);
    const double ax = Scaled(rig, XACCL_OUT), ay = Scaled(rig, YACCL_OUT),
                 az = Scaled(rig, ZACCL_OUT);
    EXPECT_NEAR(std::sqrt(ax * ax + ay * ay + az * az), 1.0, 0.05);
    const double mx = Scaled(rig, XMAGN_OUT), my = Scaled(rig, YMAGN_OUT),
                 mz = Scaled(rig, ZMAGN_OUT);
    const double field = std::sqrt(mx * mx + my * my + mz * mz);
    EXPECT_GT(field, 200.0);
    EXPECT_LT(field, 800.0);
    EXPECT_NEAR(Scaled(rig, TEMP_OUT), 25.0, 3.0);
    EXPECT_NEAR(Scaled(rig, SUPPLY_OUT), 5.0, 0.05);
    const double gx = Scaled(rig, XGYRO_OUT);
    gyroMin = std::min(gyroMin, gx);
    gyroMax = std::max(gyroMax, gx);
  }
  EXPECT_GT(gyroMax - gyroMin, 3.0) << "the bench rocks";
  EXPECT_LT(gyroMax - gyroMin, 100.0);
}

}  // namespace
}  // namespace vexa::testing
