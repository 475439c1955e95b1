#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "analysis/accel_fit.h"

namespace vexa::analysis {

// One reading of the three gyros (deg/s) and three accelerometers (g).
struct ImuSample {
  Vec3 gyroDegPerSec{};
  Vec3 accelG{};
};

// Finds the still intervals in a stream of readings while the module is turned by hand and laid
// down, and averages each into a StillPose.
//
// The stream is cut into blocks of kBlockSeconds. The sensor's own noise on each channel is the
// smallest standard deviation any block has shown so far (a still block; the module is still
// more often than not). A block is quiet when every channel's spread stays within
// kSpreadFactor of that noise and its mean within kMeanFactor standard errors of the block
// before. A run of quiet blocks is one pose; its first and last blocks (settling, the first
// touch of the next turn) are left out of the average. A pose needs at least `minSeconds` of
// kept blocks. Poses found while the noise was not yet known are checked again against the
// final noise when the stream ends.
class StillDetector {
 public:
  static constexpr double kBlockSeconds = 0.25;
  static constexpr double kSpreadFactor = 3.0;
  static constexpr double kMeanFactor = 6.0;

  explicit StillDetector(double minSeconds = 2.0) : minSeconds_(minSeconds) {}

  // A reading taken at `seconds` (any monotonic origin). Returns true when it closed a pose.
  bool add(double seconds, const ImuSample& sample);
  // Ends the stream: a still interval in progress becomes a pose, and every pose is checked
  // against the noise as finally known.
  void finish();

  // The last block was quiet: the stillness light.
  bool still() const { return lastQuiet_; }
  const std::vector<StillPose>& poses() const { return poses_; }
  // The noise per channel (gyros x, y, z, accelerometers x, y, z) as known so far; 0 before the
  // first block.
  const std::array<double, 6>& noise() const { return floor_; }

 private:
  struct Sums {
    size_t n = 0;
    std::array<double, 6> sum{};
    std::array<double, 6> sumSq{};
    void add(const std::array<double, 6>& v);
    void add(const Sums& other);
    double mean(int c) const { return n ? sum[c] / static_cast<double>(n) : 0.0; }
    double sd(int c) const;
  };
  struct Candidate {
    Sums kept;     // the blocks averaged
    Sums pending;  // the latest quiet block, not yet known not to be the last
    size_t blocks = 0;
    std::array<double, 6> worstSd{};  // each channel's largest spread of a kept block
  };
  struct Found {
    StillPose pose;
    std::array<double, 6> worstSd{};
  };

  bool closeBlockReturningPose();
  bool closeRun();
  bool quiet(const Sums& block) const;

  double minSeconds_;
  double blockStart_ = -1.0;
  Sums block_;
  Sums previous_;
  bool previousQuiet_ = false;
  bool lastQuiet_ = false;
  std::array<double, 6> floor_{};
  Candidate run_;
  bool inRun_ = false;
  double blockSecondsSum_ = 0.0;
  size_t blocksSeen_ = 0;
  std::vector<Found> found_;
  std::vector<StillPose> poses_;
};

// The six faces and twelve edges of the module, by the direction of gravity in its frame.
struct PoseCoverage {
  std::array<bool, 6> faces{};   // +X, -X, +Y, -Y, +Z, -Z up
  std::array<bool, 12> edges{};  // order of kEdgeDirections
  size_t covered() const;
};
// Unit vectors of the edges: the pairs of axes (XY, XZ, YZ), each with signs ++, +-, -+, --.
extern const std::array<Vec3, 12> kEdgeDirections;
// A pose covers the face or edge whose direction lies within this angle of its gravity.
constexpr double kCoverageDeg = 20.0;
PoseCoverage CoverageOfPoses(const std::vector<StillPose>& poses);

}  // namespace vexa::analysis
