#pragma once

#include <cstdint>

#include "app/app_context.h"

namespace vexa {

// Degrees per second per LSB of the gyro outputs at the range SENS_AVG selects (bits 10..8):
// the range's full scale (204.7875, 409.575 or 819.15 deg/sec for 1, 2 or 4) over 16383, and 0
// for any other range, whose reads the sensor leaves at zero.
float GyroScaleOf(int32_t sensAvg);

// Gives the three gyro outputs the scale of the range `sensAvg` selects. Every write of
// SENS_AVG goes through here (WriteRegister), so the gyros follow the range whoever sets it.
void ApplyGyroScale(AppContext& ctx, int32_t sensAvg);

// Reads SENS_AVG and gives the three gyro outputs that scale: what the main window does when it
// loads, and the command line before it reads, so both scale the same reads alike.
void SetGyroScales(AppContext& ctx);

}  // namespace vexa
