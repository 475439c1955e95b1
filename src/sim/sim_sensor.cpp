#include "sim/sim_sensor.h"

#include <algorithm>
#include <cmath>

namespace vexa::sim {

namespace {

// Noise of one sample with a single filter tap, before the noise scale.
constexpr double kGyroNoiseDegPerSec = 0.35;
constexpr double kAccelNoiseG = 0.0045;
constexpr double kMagNoiseMilliGauss = 1.2;
constexpr double kTempNoiseC = 0.05;
constexpr double kSupplyNoiseVolts = 0.002;
constexpr double kAdcNoiseVolts = 0.0004;

// Samples the quick auto null averages; the precision one averages for its whole run.
constexpr double kAutoNullSamples = 16.0;

constexpr int16_t kFlashed[] = {XGYRO_OFF, YGYRO_OFF, ZGYRO_OFF, XACCL_OFF, YACCL_OFF, ZACCL_OFF,
                                XMAGN_HIF, YMAGN_HIF, ZMAGN_HIF, XMAGN_SIF, YMAGN_SIF, ZMAGN_SIF,
                                GPIO_CTRL, MSC_CTRL,  SMPL_PRD,  SENS_AVG,  ALM_MAG1,  ALM_MAG2,
                                ALM_SMPL1, ALM_SMPL2, ALM_CTRL,  AUX_DAC};

constexpr uint16_t kGpioMask = 0x0F0F;  // directions and levels; bits 7..4 read 0
constexpr uint16_t kMscSelfTest = 0x0100;
constexpr uint16_t kOutputsMask = 0x1FFE;  // registers SUPPLY_OUT .. AUX_ADC
constexpr uint16_t kStatusAny = SimSensor::kStatusLowSupply | SimSensor::kStatusHighSupply |
                                SimSensor::kStatusControlWrite | SimSensor::kStatusSpiFrame |
                                SimSensor::kStatusAlarm1 | SimSensor::kStatusAlarm2;

int32_t roundToInt(double v) {
  return static_cast<int32_t>(std::lround(v));
}

bool isOneHotRange(unsigned range) {
  return range == 1 || range == 2 || range == 4;
}

// Set at the factory; the module ignores writes to them.
bool isIdentification(int16_t index) {
  return index == DATE || index == MONTH || index == YEAR || index == PROD_ID;
}

}  // namespace

SimSensor::SimSensor(Clock& clock, const SimSensorConfig& config)
    : clock_(clock),
      config_(config),
      table_([] {
        RegisterTable t;
        BuildRegisterTable(t);
        return t;
      }()),
      map_(table_),
      motion_(BenchMotionConfig{config.seed, config.motionScale, config.baseAttitudeDeg,
                                BenchMotionConfig{}.earthFieldMilliGauss, config.ambientC,
                                config.temperatureDriftScale}),
      tumble_(BenchMotionConfig{config.seed, config.motionScale, config.baseAttitudeDeg,
                                BenchMotionConfig{}.earthFieldMilliGauss, config.ambientC,
                                config.temperatureDriftScale}),
      poses_(BenchMotionConfig{config.seed, config.motionScale, config.baseAttitudeDeg,
                               BenchMotionConfig{}.earthFieldMilliGauss, config.ambientC,
                               config.temperatureDriftScale}),
      random_(config.seed),
      noise_(config.noiseModel, config.seed),
      supplyVolts_(config.supplyVolts) {
  // The flash as the factory leaves it.
  flash_.fill(0);
  for (int16_t i : {XMAGN_SIF, YMAGN_SIF, ZMAGN_SIF}) flash_[i] = kSoftIronUnity;
  flash_[SMPL_PRD] = config.smplPrd & map_.mask(SMPL_PRD);
  flash_[SENS_AVG] = config.sensAvg & map_.mask(SENS_AVG);
  flash_[ENDURANCE] = config.endurance;
  poweredAt_ = clock_.monotonicSeconds();
  loadFromFlash(poweredAt_);
}

double SimSensor::samplePeriodSeconds(uint16_t smplPrd) {
  const double base = (smplPrd & 0x80) ? kSlowBaseSeconds : kFastBaseSeconds;
  return ((smplPrd & 0x7F) + 1) * base;
}

void SimSensor::loadFromFlash(double now) {
  regs_.fill(0);
  for (int16_t i : kFlashed) regs_[i] = flash_[i];
  regs_[MSC_CTRL] &= static_cast<uint16_t>(~kMscSelfTest);
  regs_[ENDURANCE] = flash_[ENDURANCE];
  regs_[REV] = config_.rev;
  regs_[DATE] = config_.date;
  regs_[MONTH] = config_.month;
  regs_[YEAR] = config_.year;
  regs_[PROD_ID] = config_.productId;
  dacCode_ = regs_[AUX_DAC];
  status_ = 0;
  newData_ = 0;
  pendingReply_ = 0;
  frameIgnored_ = false;
  asleep_ = false;
  precisionNullPending_ = false;
  for (SensorAlarm& a : alarms_) a.reset();
  now_ = now;
  restartSampling(now);
}

void SimSensor::setNoiseModel(const SensorNoiseConfig& model) {
  catchUp(clock_.monotonicSeconds());
  config_.noiseModel = model;
  noise_ = SensorNoise(model, config_.seed);
}

void SimSensor::powerCycle() {
  loadFromFlash(clock_.monotonicSeconds());
}

void SimSensor::restartSampling(double now) {
  period_ = samplePeriodSeconds(regs_[SMPL_PRD]);
  nextSample_ = now + period_;
  lastSample_ = -1.0;
}

void SimSensor::catchUp(double now) {
  now_ = std::max(now_, now);
  if (asleep_) {
    if (now_ < wakeAt_) return;
    asleep_ = false;
    regs_[SLP_CNT] = 0;
    restartSampling(wakeAt_);
  }
  const double behind = (now_ - nextSample_) / period_;
  if (behind > kMaxCatchUpSamples) {
    nextSample_ += std::floor(behind - kMaxCatchUpSamples) * period_;
  }
  while (nextSample_ <= now_) {
    if (precisionNullPending_ && precisionNullDoneAt_ <= nextSample_) {
      precisionNullPending_ = false;
      autoNull(kPrecisionAutoNullSeconds / period_);
    }
    takeSample(nextSample_);
    lastSample_ = nextSample_;
    nextSample_ += period_;
  }
  if (precisionNullPending_ && precisionNullDoneAt_ <= now_) {
    precisionNullPending_ = false;
    autoNull(kPrecisionAutoNullSeconds / period_);
  }
}

double SimSensor::gyroDegPerSecPerCount() const {
  switch ((regs_[SENS_AVG] >> 8) & 7) {
    case 1:
      return 0.0125;
    case 2:
      return 0.025;
    default:
      return 0.05;
  }
}

double SimSensor::warmUpDegPerSec(int axis, double t) const {
  const double start = config_.gyroWarmUpDegPerSec[axis];
  if (start == 0.0 || !(config_.gyroWarmUpSeconds > 0.0)) return 0.0;
  return start * std::exp(-std::max(0.0, t - poweredAt_) / config_.gyroWarmUpSeconds);
}

void SimSensor::takeSample(double t) {
  const BenchState s = tumbling_                    ? tumble_.at(t)
                       : config_.turnedThroughPoses ? poses_.at(t)
                                                    : motion_.at(t);
  const Vec3 accel = ApplyAccelErrors(
      {config_.accelBiasG, config_.accelScale, config_.accelMisalignmentDeg}, s.accelG);
  const Vec3 felt = config_.softIron.apply(s.fieldMilliGauss);
  const double taps = static_cast<double>(1 << (regs_[SENS_AVG] & 7));
  const double filtered = config_.noiseScale / std::sqrt(taps);
  const double noise = config_.noiseScale;
  const bool selfTest = (regs_[MSC_CTRL] & kMscSelfTest) != 0;
  const double gyroCount = gyroDegPerSecPerCount();
  const double gyroOffLsb = table_.RegScale[XGYRO_OFF];

  for (int a = 0; a < 3; ++a) {
    const int16_t out = static_cast<int16_t>(XGYRO_OUT + a);
    double rate =
        s.rateDegPerSec[a] + config_.gyroBiasDegPerSec[a] + warmUpDegPerSec(a, t) +
        (noise_.enabled() ? noise_.gyro(a, period_)
                          : random_.gaussian() * kGyroNoiseDegPerSec * filtered) +
        map_.decode(static_cast<int16_t>(XGYRO_OFF + a), regs_[XGYRO_OFF + a]) * gyroOffLsb;
    if (selfTest) rate += kSelfTestGyroDegPerSec;
    regs_[out] = map_.encode(out, noise_.enabled() ? noise_.quantise(a, rate / gyroCount)
                                                   : roundToInt(rate / gyroCount));
  }
  for (int a = 0; a < 3; ++a) {
    const int16_t out = static_cast<int16_t>(XACCL_OUT + a);
    double g = accel[a] +
               (noise_.enabled() ? noise_.accel(a, period_)
                                 : random_.gaussian() * kAccelNoiseG * filtered);
    if (selfTest) g += kSelfTestAccelG;
    const int32_t offset = map_.decode(static_cast<int16_t>(XACCL_OFF + a), regs_[XACCL_OFF + a]);
    const double counts = g / table_.RegScale[out];
    regs_[out] = map_.encode(
        out, (noise_.enabled() ? noise_.quantise(3 + a, counts) : roundToInt(counts)) + offset);
  }
  for (int a = 0; a < 3; ++a) {
    const int16_t out = static_cast<int16_t>(XMAGN_OUT + a);
    const double field = felt[a] + config_.hardIronMilliGauss[a] +
                         random_.gaussian() * kMagNoiseMilliGauss * filtered;
    const int32_t hardIron = map_.decode(static_cast<int16_t>(XMAGN_HIF + a), regs_[XMAGN_HIF + a]);
    const double softIron = regs_[XMAGN_SIF + a] / static_cast<double>(kSoftIronUnity);
    regs_[out] = map_.encode(out, roundToInt((field / table_.RegScale[out] + hardIron) * softIron));
  }
  const double temp = s.temperatureC + random_.gaussian() * kTempNoiseC * noise;
  regs_[TEMP_OUT] = map_.encode(
      TEMP_OUT, roundToInt((temp - table_.RegOffset[TEMP_OUT]) / table_.RegScale[TEMP_OUT]));
  const double supply = supplyVolts_ + random_.gaussian() * kSupplyNoiseVolts * noise;
  regs_[SUPPLY_OUT] = map_.encode(SUPPLY_OUT, roundToInt(supply / table_.RegScale[SUPPLY_OUT]));
  const double aux = dacVolts() + random_.gaussian() * kAdcNoiseVolts * noise;
  regs_[AUX_ADC] = map_.encode(AUX_ADC, roundToInt(aux / table_.RegScale[AUX_ADC]));

  newData_ |= kOutputsMask;
  if (supplyVolts_ < kLowSupplyVolts) status_ |= kStatusLowSupply;
  if (supplyVolts_ > kHighSupplyVolts) status_ |= kStatusHighSupply;
  evaluateAlarms();
}

void SimSensor::evaluateAlarms() {
  const uint16_t ctrl = regs_[ALM_CTRL];
  for (int n = 0; n < 2; ++n) {
    AlarmSetup setup;
    setup.source = (ctrl >> (8 + 4 * n)) & 0x0F;
    setup.rateOfChange = (ctrl >> (6 + n)) & 1;
    setup.samples = regs_[ALM_SMPL1 + n] & 0xFF;
    const uint16_t magnitude = regs_[ALM_MAG1 + n];
    setup.greater = (magnitude & 0x8000) != 0;
    int32_t value = 0;
    if (setup.source >= 1 && setup.source <= 12) {
      const int16_t src = static_cast<int16_t>(setup.source);
      setup.threshold = map_.decode(src, magnitude & 0x3FFF);
      value = map_.decode(src, regs_[src]);
    }
    if (alarms_[n].sample(setup, value)) status_ |= n == 0 ? kStatusAlarm1 : kStatusAlarm2;
  }
}

uint16_t SimSensor::frameStart() {
  catchUp(clock_.monotonicSeconds());
  frameIgnored_ = asleep_;
  if (frameIgnored_) {
    pendingReply_ = 0;
    return 0;
  }
  return pendingReply_;
}

void SimSensor::frameEnd(uint16_t mosi, int bitCount) {
  const double now = clock_.monotonicSeconds();
  catchUp(now);
  const bool ignored = frameIgnored_ || asleep_;
  frameIgnored_ = false;
  pendingReply_ = 0;
  if (ignored) return;
  if (bitCount != 16) {
    status_ |= kStatusSpiFrame;
    return;
  }
  const uint8_t address = (mosi >> 8) & 0x7F;
  if (mosi & 0x8000) {
    writeByte(address, static_cast<uint8_t>(mosi & 0xFF), now_);
  } else {
    pendingReply_ = readWord(address);
  }
}

uint16_t SimSensor::readWord(uint8_t address) {
  const int16_t index = map_.readable(address);
  if (index < 0) return 0;
  if (index == STATUS) {
    const uint16_t flags = status_;
    status_ = 0;
    return flags;
  }
  if (index == GPIO_CTRL) {
    uint16_t word = regs_[GPIO_CTRL] & 0x000F;
    for (int k = 0; k < 4; ++k) {
      if (lineLevel(k)) word |= static_cast<uint16_t>(0x100 << k);
    }
    return word;
  }
  uint16_t word = regs_[index] & map_.mask(index);
  if (index >= SUPPLY_OUT && index <= AUX_ADC) {
    if (newData_ & (1u << index)) word |= 0x8000;
    if (status_ & kStatusAny) word |= 0x4000;
    newData_ &= static_cast<uint16_t>(~(1u << index));
  }
  return word;
}

void SimSensor::writeByte(uint8_t address, uint8_t data, double now) {
  bool upper = false;
  const int16_t index = map_.writable(address, upper);
  if (index < 0 || isIdentification(index)) return;
  if (index == COMMAND) {
    runCommand(data, now);
    return;
  }
  if (index == SENS_AVG && upper && !isOneHotRange(data & 7)) {
    status_ |= kStatusControlWrite;
    return;
  }
  const uint16_t old = regs_[index];
  uint16_t value = upper ? static_cast<uint16_t>((old & 0x00FF) | (data << 8))
                         : static_cast<uint16_t>((old & 0xFF00) | data);
  value &= map_.mask(index);
  if (index == GPIO_CTRL) value &= kGpioMask;
  regs_[index] = value;

  if (index == SMPL_PRD) {
    restartSampling(now);
  } else if (index == SLP_CNT && value != 0) {
    asleep_ = true;
    wakeAt_ = now + value * kSleepCountSeconds;
    pendingReply_ = 0;
  }
}

void SimSensor::runCommand(uint8_t bits, double now) {
  if (bits & 0x01) autoNull(kAutoNullSamples);
  if (bits & 0x02) factoryRestore();
  if (bits & 0x04) dacCode_ = regs_[AUX_DAC] & map_.mask(AUX_DAC);
  if (bits & 0x08) {
    for (int16_t i : kFlashed) flash_[i] = regs_[i];
    flash_[MSC_CTRL] &= static_cast<uint16_t>(~kMscSelfTest);
    flash_[ENDURANCE] = static_cast<uint16_t>(flash_[ENDURANCE] + 1);
    regs_[ENDURANCE] = flash_[ENDURANCE];
  }
  if (bits & 0x10) {
    precisionNullPending_ = true;
    precisionNullDoneAt_ = now + kPrecisionAutoNullSeconds;
  }
}

void SimSensor::autoNull(double averagedSamples) {
  const double lsb = table_.RegScale[XGYRO_OFF];
  const double spread =
      kGyroNoiseDegPerSec * config_.noiseScale / std::sqrt(std::max(1.0, averagedSamples));
  for (int a = 0; a < 3; ++a) {
    const int16_t off = static_cast<int16_t>(XGYRO_OFF + a);
    const double estimate = config_.gyroBiasDegPerSec[a] + random_.gaussian() * spread;
    regs_[off] = map_.encode(off, roundToInt(-estimate / lsb));
  }
}

void SimSensor::factoryRestore() {
  for (int16_t i = XGYRO_OFF; i <= ZMAGN_HIF; ++i) regs_[i] = 0;
  for (int16_t i = XMAGN_SIF; i <= ZMAGN_SIF; ++i) regs_[i] = kSoftIronUnity;
}

void SimSensor::setSupplyVolts(double volts) {
  catchUp(clock_.monotonicSeconds());
  supplyVolts_ = volts;
}

void SimSensor::setGpioInputs(uint8_t pins) {
  catchUp(clock_.monotonicSeconds());
  gpioInputs_ = pins & 0x0F;
}

bool SimSensor::lineLevel(int line) {
  catchUp(clock_.monotonicSeconds());
  const uint16_t alm = regs_[ALM_CTRL];
  const uint16_t msc = regs_[MSC_CTRL];
  if ((alm & 0x4) && (alm & 0x1) == line) {
    const bool active = (status_ & (kStatusAlarm1 | kStatusAlarm2)) != 0;
    return active == ((alm & 0x2) != 0);
  }
  if ((msc & 0x4) && (msc & 0x1) == line) {
    // Active for the first half of each sample period.
    const bool active = !asleep_ && lastSample_ >= 0 && now_ - lastSample_ < period_ / 2;
    return active == ((msc & 0x2) != 0);
  }
  if (line >= 0 && line < 4 && (regs_[GPIO_CTRL] >> line) & 1) {
    return (regs_[GPIO_CTRL] >> (8 + line)) & 1;
  }
  return line >= 0 && line < 4 && ((gpioInputs_ >> line) & 1);
}

uint16_t SimSensor::peekRegister(int16_t index) const {
  if (index == STATUS) return status_;
  if (index < 0 || index > LastRegisterIndex) return 0;
  return regs_[index];
}

void SimSensor::setTumbling(bool on) {
  catchUp(clock_.monotonicSeconds());
  tumbling_ = on;
}

bool SimSensor::asleep() {
  catchUp(clock_.monotonicSeconds());
  return asleep_;
}

}  // namespace vexa::sim
