#pragma once

#include <QColor>
#include <QRectF>
#include <vector>

#include "analysis/noise_characterisation.h"

class QPainter;

namespace vexa::report {

// One channel as the noise plots draw it.
struct PlottedNoise {
  const analysis::ChannelNoise* noise = nullptr;
  QColor color;
};

// The colour of the n-th channel, the same in every plot and table.
QColor ChannelColor(size_t n);

// The Allan deviation with the fitted model over it: the points, the model's curve (solid,
// thin) and each resolved term's line (dashed), on log-log axes.
void DrawAllanWithFit(QPainter& painter, const QRectF& area, const std::vector<PlottedNoise>& c);

// The amplitude noise density on log-log axes, with the white level across its flat band.
void DrawNoiseDensity(QPainter& painter, const QRectF& area, const std::vector<PlottedNoise>& c);

}  // namespace vexa::report
