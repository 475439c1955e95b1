// vexa-cli magcal against the simulated sensor on virtual time: collect, fit, apply, verify,
// store; and what it refuses.

#include "cli/cli_magcal.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "cli/cli.h"
#include "sim/sim_bench.h"
#include "sim/sim_parallel_port.h"
#include "sim/sim_sensor.h"
#include "support/sim_world.h"

namespace vexa::cli {
namespace {

// The default simulated module (hard iron, soft iron, noise) behind the parallel port, on a
// bench that tumbles it when asked.
struct MagCalRig {
  explicit MagCalRig(const sim::SimSensorConfig& config = {}, bool benchTumbles = true)
      : w(1e-6), sensor(w.clock, config), port(0x378), bench(sensor) {
    port.attach(&sensor);
    w.ctx.platform.port = &port;
    w.ctx.platform.bench = benchTumbles ? &bench : nullptr;
    w.ctx.settings.Interface = kInterfaceParallel;
    w.ctx.settings.PortAddress = 0x378;
  }

  struct Run {
    int status;
    std::string out, err;
    // Register values printed under a heading ("fit", "now"), by label.
    std::map<std::string, int> values(const std::string& heading) const {
      std::map<std::string, int> v;
      std::istringstream in(out);
      for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string head, label, hex;
        int value = 0;
        if (fields >> head >> label >> hex >> value && head == heading) v[label] = value;
      }
      return v;
    }
  };

  Run run(const MagCalOptions& o) {
    std::ostringstream out, err;
    const int status = RunMagCal(w.ctx, o, out, err);
    return {status, out.str(), err.str()};
  }
  // A correction register as the sensor holds it (hard iron: 14-bit two's complement).
  int peek(int16_t index) const {
    const int v = sensor.peekRegister(index);
    return index >= XMAGN_HIF && index <= ZMAGN_HIF && (v & 0x2000) ? v - 0x4000 : v;
  }

  testing::SimWorld w;
  sim::SimSensor sensor;
  sim::SimParallelPort port;
  sim::SimBench bench;
};

TEST(MagCal, AppliedCorrectionsBringTheSpreadDownAndASecondRunConverges) {
  MagCalRig rig;
  const MagCalRig::Run first = rig.run({60, true, true});
  ASSERT_EQ(first.status, 0) << first.out << first.err;
  const auto fit = first.values("fit");
  // The module's hard iron (24, -16, 9 mG) and soft iron (1.10, 0.92, 1.00).
  EXPECT_NEAR(fit.at("XMAGN_HIF"), -48, 2);
  EXPECT_NEAR(fit.at("YMAGN_HIF"), 32, 2);
  EXPECT_NEAR(fit.at("ZMAGN_HIF"), -18, 2);
  EXPECT_NEAR(fit.at("XMAGN_SIF"), 2048 * 1.00667 / 1.10, 4);
  EXPECT_NEAR(fit.at("YMAGN_SIF"), 2048 * 1.00667 / 0.92, 4);
  EXPECT_NEAR(fit.at("ZMAGN_SIF"), 2048 * 1.00667 / 1.00, 4);
  // Written, read back, verified and stored.
  EXPECT_EQ(rig.peek(XMAGN_HIF), fit.at("XMAGN_HIF"));
  EXPECT_EQ(rig.peek(ZMAGN_SIF), fit.at("ZMAGN_SIF"));
  EXPECT_EQ(rig.sensor.peekRegister(ENDURANCE), 1) << "one flash update";
  EXPECT_NE(first.out.find("verdict\tThe correction improved the field"), std::string::npos)
      << first.out;
  double before = 0, after = 0;
  ASSERT_EQ(std::sscanf(first.out.substr(first.out.find("spread\t")).c_str(),
                        "spread\t%lf %% before\t%lf", &before, &after),
            2);
  EXPECT_GT(before, 4.0);
  EXPECT_LT(after, 0.5) << "corrected magnitudes within half a percent";
  EXPECT_NE(first.err.find("coverage"), std::string::npos);
  EXPECT_FALSE(rig.sensor.tumbling()) << "back on the bench";

  // Run again with the corrections in the sensor: the same values come out.
  const MagCalRig::Run second = rig.run({40, false, false});
  ASSERT_EQ(second.status, 0) << second.out;
  EXPECT_EQ(second.values("now"), fit);
  for (const auto& [label, value] : second.values("fit")) {
    EXPECT_NEAR(value, fit.at(label), label.find("HIF") != std::string::npos ? 1 : 3) << label;
  }
}

TEST(MagCal, ACloudThatIsNotTrustedWritesNothing) {
  const struct {
    const char* name;
    bool tumbles;
    double crossAxis;
    const char* problem;
  } cases[] = {
      {"bench rocking only", false, 0.0, "Poor coverage"},
      {"cross-axis iron", true, 0.12, "Poor fit"},
  };
  for (const auto& c : cases) {
    sim::SimSensorConfig config;
    config.softIron.crossAxis = c.crossAxis;
    MagCalRig rig(config, c.tumbles);
    const MagCalRig::Run r = rig.run({40, true, true});
    EXPECT_EQ(r.status, kExitMagCalUntrusted) << c.name;
    EXPECT_NE(r.out.find(std::string("problem\t") + c.problem), std::string::npos) << c.name << "\n"
                                                                                   << r.out;
    EXPECT_EQ(rig.peek(XMAGN_HIF), 0) << c.name;
    EXPECT_EQ(rig.peek(XMAGN_SIF), 2048) << c.name;
    EXPECT_EQ(rig.sensor.peekRegister(ENDURANCE), 0) << c.name;
  }
}

TEST(MagCal, BadOperandsAreUsageErrors) {
  const struct {
    std::vector<std::string> operands;
    const char* error;
  } cases[] = {
      {{"--seconds"}, "--seconds needs a value"},
      {{"--seconds", "0"}, "malformed --seconds '0'"},
      {{"--seconds", "5s"}, "malformed --seconds '5s'"},
      {{"--flash"}, "give --apply as well"},
      {{"--fast"}, "unknown magcal option '--fast'"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--simulate", "--interface", "parallel", "magcal"};
    args.insert(args.end(), c.operands.begin(), c.operands.end());
    std::ostringstream out, err;
    EXPECT_EQ(RunCli(args, out, err), 2) << c.error;
    EXPECT_NE(err.str().find(c.error), std::string::npos) << err.str();
  }
  MagCalOptions o;
  std::string error;
  ASSERT_TRUE(ParseMagCalOperands({"--apply", "--seconds", "12.5", "--flash"}, o, error));
  EXPECT_EQ(o.seconds, 12.5);
  EXPECT_TRUE(o.apply && o.flash);
}

}  // namespace
}  // namespace vexa::cli
