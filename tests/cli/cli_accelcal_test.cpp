// vexa-cli accelcal against the simulated sensor turned through still poses on virtual time:
// the fit against the errors the simulation was given, the offsets written and read back, the
// verification pass, and what it refuses.

#include "cli/cli_accelcal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <tuple>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/cli.h"

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

namespace vexa::cli {
namespace {

TEST(AccelCal, RevertWritesTheEarlierOffsetsBackExactly) {
  AccelRig rig(posedModule(4));
  AccelCalOptions o;
  o.apply = true;
  AccelCalOutcome r;
  ASSERT_EQ(rig.run(o, r), 0) << rig.err.str();
  ASSERT_NE(r.after, r.before);
  AccelDevice device = RegisterAccelDevice(rig.w.ctx);
  std::string error;
  analysis::AccelOffsetCodes back{};
  ASSERT_TRUE(device.writeOffsets(r.before, error)) << error;
  ASSERT_TRUE(device.readOffsets(back, error)) << error;
  EXPECT_EQ(back, r.before);
  for (int a = 0; a < 3; ++a) EXPECT_EQ(rig.peekOffset(a), r.before[a]);
}

TEST(AccelCalCommand, SimulatedErrorsComeBackInTheJsonFileAndTheStore) {
  testing::SimWorld folder;
  const std::string dir = folder.folder();
  std::ofstream(dir + "/errors.json")
      << R"({"bias": [0.021, -0.034, 0.012], "scale": [0.004, -0.007, 0.0025],)"
      << R"( "misalignment": [0.2, -0.35, 0.15]})";
  const std::vector<std::string> sim = {"--simulate-virtual-time",
                                        "--simulate-poses",
                                        "--simulate-accel-errors",
                                        dir + "/errors.json",
                                        "--interface",
                                        "parallel",
                                        "--db",
                                        dir + "/r.sqlite"};
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), sim.begin(), sim.end());
    std::ostringstream out, err;
    const int status = RunCli(args, out, err);
    return std::make_tuple(status, out.str(), err.str());
  };
  const auto [status, out, err] =
      run({"accelcal", "--apply", "--json", dir + "/accel.json", "--unit", "A1"});
  ASSERT_EQ(status, 0) << out << err;
  EXPECT_NE(err.find("lay the module still"), std::string::npos);

  std::ifstream in(dir + "/accel.json");
  std::stringstream text;
  text << in.rdbuf();
  const QJsonObject j = QJsonDocument::fromJson(QByteArray::fromStdString(text.str())).object();
  const double scale[3] = {0.004, -0.007, 0.0025}, angle[3] = {0.2, -0.35, 0.15};
  for (int a = 0; a < 3; ++a) {
    EXPECT_NEAR(j["scale"]["value"][a].toDouble(), scale[a], 100e-6);
    EXPECT_NEAR(j["misalignment"]["value"][a].toDouble(), angle[a], 0.05);
    // After --apply the file's bias is what the 3.33 mg offset steps left over.
    EXPECT_LE(std::abs(j["bias"]["value"][a].toDouble()), 0.00333 / 2 + 0.0005);
    EXPECT_GT(j["scale"]["sigma"][a].toDouble(), 0.0);
    EXPECT_EQ(j["gyro_g_sensitivity"]["value"][a].toArray().size(), 3);
  }
  EXPECT_DOUBLE_EQ(j["gravity"].toDouble(), 9.80665);
  EXPECT_GE(j["poses"].toInt(), 12);
  EXPECT_LT(j["residual_mg"].toDouble(), 1.0);

  const auto [figStatus, figures, figErr] =
      run({"figures", "--figure", "Accel calibration/scale_y"});
  ASSERT_EQ(figStatus, 0) << figErr;
  EXPECT_NE(figures.find("A1"), std::string::npos) << figures;

  // The same file is never written over.
  const auto [again, againOut, againErr] = run({"accelcal", "--json", dir + "/accel.json"});
  EXPECT_EQ(again, 1);
  EXPECT_NE(againErr.find("accel.json"), std::string::npos);
}

TEST(AccelCalCommand, RefusesFewerThanNinePosesAndHeightWithoutLatitude) {
  AccelCalOptions o;
  std::string error;
  EXPECT_FALSE(ParseAccelCalOperands({"--poses", "8"}, o, error));
  EXPECT_NE(error.find("9 to 100"), std::string::npos);
  EXPECT_FALSE(ParseAccelCalOperands({"--height", "300"}, o, error));
  EXPECT_NE(error.find("--latitude"), std::string::npos);
  EXPECT_FALSE(ParseAccelCalOperands({"--flash"}, o, error));
  o = AccelCalOptions{};
  ASSERT_TRUE(
      ParseAccelCalOperands({"--latitude", "48.1", "--height", "520", "--poses", "14"}, o, error))
      << error;
  EXPECT_EQ(o.poses, 14u);
  EXPECT_DOUBLE_EQ(*o.latitudeDeg, 48.1);
}

}  // namespace
}  // namespace vexa::cli
