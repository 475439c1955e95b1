#include "registers/gyro_scale.h"

#include "registers/register_access.h"
#include "registers/register_table.h"

namespace vexa {

float GyroScaleOf(int32_t sensAvg) {
  const int32_t range = (sensAvg & 0x700) / 256;
  double fullScale = 0;
  if (range == 4)
    fullScale = 819.15;
  else if (range == 2)
    fullScale = 409.575;
  else if (range == 1)
    fullScale = 204.7875;
  return static_cast<float>(fullScale / 16383);
}

void ApplyGyroScale(AppContext& ctx, int32_t sensAvg) {
  const float scale = GyroScaleOf(sensAvg);
  for (int16_t row : {XGYRO_OUT, YGYRO_OUT, ZGYRO_OUT}) ctx.registers.RegScale[row] = scale;
}

void SetGyroScales(AppContext& ctx) {
  ReadRegister(ctx, SENS_AVG);
  ApplyGyroScale(ctx, ctx.access.LastRaw);
}

}  // namespace vexa
