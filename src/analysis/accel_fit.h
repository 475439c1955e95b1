#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "analysis/accel_model.h"

namespace vexa::analysis {

// One still interval, averaged: the module lay in one orientation.
struct StillPose {
  Vec3 accelG{};         // mean reading
  Vec3 accelSigmaG{};    // standard error of that mean, per axis
  Vec3 gyroDegPerSec{};  // mean reading
  Vec3 gyroSigmaDegPerSec{};
  size_t samples = 0;
  double seconds = 0.0;
};

// The fewest distinct orientations the fit takes; twelve or more is the goal.
constexpr size_t kMinDistinctPoses = 9;
// Two poses whose gravity directions lie closer than this are one orientation.
constexpr double kDistinctPoseDeg = 10.0;
// An axis counts as having been up (or down) when gravity along it reached half of g.
constexpr double kAxisCoveredFraction = 0.5;
// A fit whose RMS pose residual is above this is not trusted: the poses were not still, or the
// sensor is not described by the model.
constexpr double kMaxTrustedResidualMg = 5.0;

// Orientations among `poses` at least kDistinctPoseDeg apart.
size_t DistinctPoseCount(const std::vector<StillPose>& poses);

// Why the poses cannot determine the model (too few distinct orientations, an axis direction
// never met), or empty when they can.
std::string PosesProblem(const std::vector<StillPose>& poses);

struct AccelFit {
  bool ok = false;       // false: `problem` says why, nothing else is meaningful
  bool trusted = false;  // ok and the residual within kMaxTrustedResidualMg
  std::string problem;
  AccelErrorModel model;           // the estimate
  AccelErrorModel sigma;           // one standard deviation of each of its parameters
  double gravityG = 1.0;           // the magnitude every corrected pose should have
  std::vector<double> residualMg;  // |corrected| - gravity of each pose
  double rmsResidualMg = 0.0;
  // The gyros at rest: reading = bias + G x (specific force in g), per axis.
  Vec3 gyroBiasDegPerSec{};
  Vec3 gyroBiasSigma{};
  Mat3 gyroGSensitivity{};  // deg/s per g; row: gyro axis, column: acceleration axis
  Mat3 gyroGSensitivitySigma{};
};

// Nonlinear least squares of the nine accelerometer parameters to the poses (each residual
// weighted by its own standard error), then the gyros' linear fit on the corrected gravity.
// Sigmas come from the weighted Jacobian at the solution, scaled up (never down) by the
// residuals' spread when it exceeds what the poses' own noise predicts.
// `gravityG`: local gravity in units of standard gravity.
AccelFit FitAccelPoses(const std::vector<StillPose>& poses, double gravityG = 1.0);

// RMS of |CorrectReading(model, pose)| - gravity over the poses, in mg.
double RmsResidualMg(const std::vector<StillPose>& poses, const AccelErrorModel& model,
                     double gravityG);

}  // namespace vexa::analysis
