// vexa-cli accelcal against the simulated sensor turned through still poses on virtual time:
// the fit against the errors the simulation was given, the offsets written and read back, the
// verification pass, and what it refuses.

#include "cli/cli_accelcal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "support/sim_world.h"

namespace vexa::cli {
namespace {

// Errors of the size the assistant is for: 0.2 to 1 % scale, 0.1 to 0.5 deg, 10 to 50 mg.
sim::SimSensorConfig posedModule(unsigned seed) {
  std::mt19937_64 rng(seed * 977 + 3);
  std::uniform_real_distribution<double> u(0, 1);
  auto signedIn = [&](double lo, double hi) {
    return (u(rng) < 0.5 ? -1 : 1) * (lo + (hi - lo) * u(rng));
  };
  sim::SimSensorConfig c;
  c.seed = seed;
  c.turnedThroughPoses = true;
  for (int a = 0; a < 3; ++a) {
    c.accelBiasG[a] = signedIn(0.010, 0.050);
    c.accelScale[a] = signedIn(0.002, 0.010);
    c.accelMisalignmentDeg[a] = signedIn(0.1, 0.5);
  }
  return c;
}

struct AccelRig {
  explicit AccelRig(const sim::SimSensorConfig& config)
      : w(1e-6), sensor(w.clock, config), port(0x378) {
    port.attach(&sensor);
    w.ctx.platform.port = &port;
    w.ctx.settings.Interface = kInterfaceParallel;
    w.ctx.settings.PortAddress = 0x378;
  }
  int run(const AccelCalOptions& o, AccelCalOutcome& outcome) {
    AccelDevice device = RegisterAccelDevice(w.ctx);
    return RunAccelCal(w.ctx, device, o, out, err, &outcome);
  }
  int peekOffset(int axis) const {
    const int v = sensor.peekRegister(static_cast<int16_t>(XACCL_OFF + axis));
    return (v & 0x800) ? v - 0x1000 : v;
  }
  testing::SimWorld w;
  sim::SimSensor sensor;
  sim::SimParallelPort port;
  std::ostringstream out, err;
};

TEST(AccelCal, FitsTheSimulatedErrorsWritesTheOffsetsAndVerifiesOverTenSeeds) {
  for (unsigned seed = 1; seed <= 10; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const sim::SimSensorConfig truth = posedModule(seed);
    AccelRig rig(truth);
    AccelCalOptions o;
    o.apply = true;
    o.poses = 18;  // every face and edge
    AccelCalOutcome r;
    ASSERT_EQ(rig.run(o, r), 0) << rig.out.str() << rig.err.str();
    const analysis::AccelFit& f = r.fit;
    for (int a = 0; a < 3; ++a) {
      EXPECT_NEAR(f.model.biasG[a], truth.accelBiasG[a], 0.5e-3);
      EXPECT_NEAR(f.model.biasG[a], truth.accelBiasG[a], 3 * f.sigma.biasG[a]);
      EXPECT_NEAR(f.model.scale[a], truth.accelScale[a], 100e-6);
      EXPECT_NEAR(f.model.scale[a], truth.accelScale[a], 3 * f.sigma.scale[a]);
      EXPECT_NEAR(f.model.misalignmentDeg[a], truth.accelMisalignmentDeg[a], 0.05);
      EXPECT_NEAR(f.model.misalignmentDeg[a], truth.accelMisalignmentDeg[a],
                  3 * f.sigma.misalignmentDeg[a]);
      // The registers hold what was read back, which is what was written.
      EXPECT_EQ(rig.peekOffset(a), r.after[a]);
      EXPECT_EQ(r.after[a], std::lround(-truth.accelBiasG[a] / 0.00333));
    }
    EXPECT_LT(r.verifyCorrectedMg, 1.0);
    EXPECT_GT(r.verifyAsReadMg, r.verifyCorrectedMg);
    std::printf(
        "seed %u bias err mg %.3f %.3f %.3f (sigma %.3f) scale err ppm %.1f %.1f %.1f "
        "(sigma %.1f) misalignment err deg %.4f %.4f %.4f (sigma %.4f) verify %.3f -> "
        "%.3f mg samples %zu rms %.4f\n",
        seed, (f.model.biasG[0] - truth.accelBiasG[0]) * 1e3,
        (f.model.biasG[1] - truth.accelBiasG[1]) * 1e3,
        (f.model.biasG[2] - truth.accelBiasG[2]) * 1e3, f.sigma.biasG[0] * 1e3,
        (f.model.scale[0] - truth.accelScale[0]) * 1e6,
        (f.model.scale[1] - truth.accelScale[1]) * 1e6,
        (f.model.scale[2] - truth.accelScale[2]) * 1e6, f.sigma.scale[0] * 1e6,
        f.model.misalignmentDeg[0] - truth.accelMisalignmentDeg[0],
        f.model.misalignmentDeg[1] - truth.accelMisalignmentDeg[1],
        f.model.misalignmentDeg[2] - truth.accelMisalignmentDeg[2], f.sigma.misalignmentDeg[0],
        r.verifyAsReadMg, r.verifyCorrectedMg, (size_t)0, f.rmsResidualMg);
  }
}

}  // namespace
}  // namespace vexa::cli
