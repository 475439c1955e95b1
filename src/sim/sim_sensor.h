#pragma once

#include <array>
#include <cstdint>

#include "platform/clock.h"
#include "sim/accel_errors.h"
#include "sim/sensor_alarm.h"
#include "sim/sensor_motion.h"
#include "sim/sensor_noise.h"
#include "sim/sensor_poses.h"
#include "sim/sensor_random.h"
#include "sim/sensor_register_map.h"
#include "sim/sensor_soft_iron.h"
#include "sim/sensor_tumble.h"
#include "sim/spi_slave.h"
#include "registers/register_table.h"

namespace vexa::sim {

// How a simulated module leaves the factory and where it lies on the bench.
struct SimSensorConfig {
  uint16_t productId = 27150;  // 27150 or 27100
  uint64_t seed = 1;           // same seed, same readings

  // 0 holds the module still, 0 noise gives exact readings; 1 is a lively bench.
  double motionScale = 1.0;
  double noiseScale = 1.0;
  double temperatureDriftScale = 1.0;

  // Stated angle / velocity random walk, bias instability and rate random walk of the gyros and
  // accelerometers; when enabled it replaces their plain noise.
  SensorNoiseConfig noiseModel;

  Vec3 gyroBiasDegPerSec{0.35, -0.22, 0.12};
  // A module warming after power-on: each gyro's bias starts this far from its settled value
  // and approaches it as exp(-t / gyroWarmUpSeconds).
  Vec3 gyroWarmUpDegPerSec{0.0, 0.0, 0.0};
  double gyroWarmUpSeconds = 300.0;
  Vec3 accelBiasG{0.004, -0.006, 0.003};
  // Scale errors (fractions) and the lean of the y and z sensing axes (y toward x, z toward x,
  // z toward y; degrees) of the accelerometers (sim/accel_errors.h).
  Vec3 accelScale{};
  Vec3 accelMisalignmentDeg{};
  // An invisible hand lays the module still on its faces and edges in turn (PoseMotion) instead
  // of the rocking bench.
  bool turnedThroughPoses = false;
  Vec3 hardIronMilliGauss{24.0, -16.0, 9.0};  // the board's own magnetisation
  // Iron near the elements: per-axis scale and a cross-axis term.
  SoftIronDistortion softIron{{1.10, 0.92, 1.0}, 0.0};
  Vec3 baseAttitudeDeg{2.0, -3.0, 40.0};      // roll, pitch, heading
  double ambientC = 24.0;
  double supplyVolts = 5.0;

  // Settings the flash holds when the module is first powered.
  uint16_t smplPrd = 0x01;
  uint16_t sensAvg = 0x0402;  // 300 deg/s, 4 taps
  uint16_t endurance = 0;

  uint8_t rev = 0x12;
  uint8_t date = 14;
  uint8_t month = 6;
  uint8_t year = 7;
};

// The inertial sensor module at the far end of the SPI bus, answering 16-bit frames on the
// platform clock. Byte-addressed registers, decoded from the register table.
//
// Frames: bit 15 set writes the data byte to address bits 14..8; clear reads the register at
// that address, whose word the next frame shifts out. The frame after a write, after a frame of
// other than 16 bits, or after a read of an unused or unreadable address shifts out 0x0000.
// A frame of other than 16 bits sets STATUS bit 3 and is otherwise ignored.
//
// Outputs (SUPPLY_OUT .. AUX_ADC) update at every sample of the period SMPL_PRD sets. Bit 15 of
// an output is set when a sample has arrived since that register was last read; bit 14 is set
// while any STATUS flag is set.
//
// STATUS flags latch: bit 0 supply below 4.75 V, bit 1 above 5.25 V, bit 2 a refused control
// write (SENS_AVG range that is not one of 1, 2, 4), bit 3 a malformed frame, bits 8 and 9
// alarms 1 and 2. Reading STATUS returns the flags and clears them all; supply and alarm
// conditions that persist set their flag again at the next sample.
//
// SLP_CNT = n (n > 0) puts the module to sleep for n half-seconds. Asleep, it ignores every
// frame, read, write or malformed, and shifts out 0x0000; no samples are taken. On waking
// SLP_CNT reads 0 and sampling restarts. Cont_Slp always reads 0.
//
// COMMAND bits, carried out in this order when several are set: 0 auto null (gyro offsets
// cancel the present bias), 1 factory restore (offsets 0, hard iron 0, soft iron 2048 = unity),
// 2 latch AUX_DAC into the DAC, 3 flash update (stores settings, ENDURANCE + 1), 4 precision
// auto null (gyro offsets set 30 s later from a long average).
//
// Flash holds the offsets and corrections, GPIO_CTRL, MSC_CTRL (without the self-test bit),
// SMPL_PRD, SENS_AVG, the alarm registers and AUX_DAC. A power cycle reloads them and forgets
// everything else; the DAC comes up at the stored AUX_DAC. The identification registers REV,
// DATE, MONTH, YEAR and PROD_ID are set at the factory and ignore writes (a register write
// spills its high byte into the next address, which would otherwise corrupt them).
//
// Magnetometers read (field + HIF) x SIF / 2048 in counts of 0.5 mG, where the field is the
// earth field through the soft-iron distortion plus the board's hard iron; gyro and
// accelerometer offsets add to their outputs in the offset registers' own scales.
class SimSensor : public SpiSlave {
 public:
  static constexpr uint16_t kStatusLowSupply = 0x0001;
  static constexpr uint16_t kStatusHighSupply = 0x0002;
  static constexpr uint16_t kStatusControlWrite = 0x0004;
  static constexpr uint16_t kStatusSpiFrame = 0x0008;
  static constexpr uint16_t kStatusAlarm1 = 0x0100;
  static constexpr uint16_t kStatusAlarm2 = 0x0200;

  static constexpr double kLowSupplyVolts = 4.75;
  static constexpr double kHighSupplyVolts = 5.25;
  static constexpr double kFastBaseSeconds = 0.00061035;
  static constexpr double kSlowBaseSeconds = 0.018921;
  static constexpr double kSleepCountSeconds = 0.5;
  static constexpr double kPrecisionAutoNullSeconds = 30.0;
  static constexpr double kSelfTestGyroDegPerSec = 20.0;  // added to each gyro in self-test
  static constexpr double kSelfTestAccelG = 0.25;         // added to each accelerometer
  static constexpr uint16_t kSoftIronUnity = 2048;
  static constexpr double kDacFullScaleVolts = 2.5;
  static constexpr int kMaxCatchUpSamples = 4096;

  SimSensor(Clock& clock, const SimSensorConfig& config = {});

  uint16_t frameStart() override;
  void frameEnd(uint16_t mosi, int bitCount) override;

  // Supply off and on: unflashed settings are lost, flags and pending replies cleared.
  void powerCycle();

  // The sample period that an SMPL_PRD value selects: (Ns + 1) x base.
  static double samplePeriodSeconds(uint16_t smplPrd);

  // Test and bench hooks; none of them touches the bus. Changes take effect from now on:
  // samples already due are taken first with the old conditions.
  void setSupplyVolts(double volts);
  void setGpioInputs(uint8_t pins);
  // Level of digital I/O line 0..3 now: the data-ready or alarm indicator it carries, else its
  // output level, else the input pin.
  bool lineLevel(int line);
  // Stored bits of a register (STATUS: the latched flags), without the read's side effects.
  uint16_t peekRegister(int16_t index) const;
  bool asleep();
  // The module tumbles through every orientation (a magnetometer calibration) or lies on the
  // bench again.
  void setTumbling(bool on);
  bool tumbling() const { return tumbling_; }
  // Another noise model for the gyros and accelerometers from the next sample on.
  void setNoiseModel(const SensorNoiseConfig& model);
  double dacVolts() const { return dacCode_ * kDacFullScaleVolts / 4095.0; }
  const SimSensorConfig& config() const { return config_; }

 private:
  void catchUp(double now);
  void takeSample(double t);
  double warmUpDegPerSec(int axis, double t) const;
  void evaluateAlarms();
  uint16_t readWord(uint8_t address);
  void writeByte(uint8_t address, uint8_t data, double now);
  void runCommand(uint8_t bits, double now);
  void autoNull(double noiseAverageCount);
  void factoryRestore();
  void loadFromFlash(double now);
  void restartSampling(double now);
  double gyroDegPerSecPerCount() const;

  Clock& clock_;
  SimSensorConfig config_;
  RegisterTable table_;
  SensorRegisterMap map_;
  BenchMotion motion_;
  TumbleMotion tumble_;
  PoseMotion poses_;
  bool tumbling_ = false;
  SensorRandom random_;
  SensorNoise noise_;
  std::array<SensorAlarm, 2> alarms_;

  std::array<uint16_t, SensorRegisterMap::kRegisters> regs_{};
  std::array<uint16_t, SensorRegisterMap::kRegisters> flash_{};
  uint16_t newData_ = 0;  // bit i: output register i has an unread sample
  uint16_t status_ = 0;
  uint16_t pendingReply_ = 0;
  bool frameIgnored_ = false;

  double now_ = 0.0;
  double poweredAt_ = 0.0;  // when the warm-up began
  double period_ = 0.0;
  double nextSample_ = 0.0;
  double lastSample_ = -1.0;  // < 0: none since sampling started

  bool asleep_ = false;
  double wakeAt_ = 0.0;
  bool precisionNullPending_ = false;
  double precisionNullDoneAt_ = 0.0;

  double supplyVolts_;
  uint8_t gpioInputs_ = 0;
  uint16_t dacCode_ = 0;
};

}  // namespace vexa::sim
