#include "cli/cli_accelcal.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

#include "analysis/accel_json.h"
#include "app/atomic_file.h"
#include "app/physical_constants.h"
#include "app/typed_number.h"
#include "cli/cli_session.h"
#include "registers/offset_codes.h"

namespace vexa::cli {

namespace {

using analysis::AccelFit;
using analysis::StillPose;
using analysis::Vec3;

constexpr const char* kAxes = "XYZ";
constexpr const char* kFaces[6] = {"+X", "-X", "+Y", "-Y", "+Z", "-Z"};
constexpr int16_t kOffsetRows[3] = {XACCL_OFF, YACCL_OFF, ZACCL_OFF};
// Time allowed to lay down each pose, beyond holding it still.
constexpr double kSecondsToTurn = 30.0;
constexpr double kSecondsToStart = 60.0;

std::string fixed(double v, int decimals) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

std::string triple(const Vec3& v, double factor, int decimals) {
  return fixed(v[0] * factor, decimals) + "\t" + fixed(v[1] * factor, decimals) + "\t" +
         fixed(v[2] * factor, decimals);
}

std::string coverageText(const analysis::PoseCoverage& c) {
  std::string faces;
  for (int f = 0; f < 6; ++f)
    if (c.faces[f]) faces += std::string(faces.empty() ? "" : " ") + kFaces[f];
  const size_t edges =
      c.covered() - static_cast<size_t>(std::count(c.faces.begin(), c.faces.end(), true));
  return "faces " + (faces.empty() ? std::string("none") : faces) + "; edges " +
         std::to_string(edges) + " of 12";
}

analysis::PoseCollection collect(AppContext& ctx, AccelDevice& device, size_t goal,
                                 double secondsPerPose, const char* what, std::ostream& err) {
  err << "vexa-cli: accelcal: " << what << ": lay the module still on a face or an edge, hold it "
      << fixed(secondsPerPose, 0) << " s, then turn it to the next; " << goal
      << " different orientations wanted\n";
  const double timeout =
      kSecondsToStart + static_cast<double>(goal) * (secondsPerPose + kSecondsToTurn);
  return analysis::CollectStillPoses(
      ctx, device.read, goal, secondsPerPose, timeout, [&](const analysis::CollectStatus& s) {
        if (s.newPose)
          err << "vexa-cli: accelcal: " << what << ": pose " << s.poses << " at "
              << fixed(s.elapsedSeconds, 0) << " s, " << s.distinct << " of " << goal
              << " orientations; " << coverageText(s.coverage) << "\n";
        return true;
      });
}

// |reading| - gravity over the poses, without any correction, mg.
double rawRmsMg(const std::vector<StillPose>& poses, double gravityG) {
  return analysis::RmsResidualMg(poses, analysis::AccelErrorModel{}, gravityG);
}

void printFit(std::ostream& out, const AccelFit& fit, const std::vector<StillPose>& poses) {
  out << "poses\t" << poses.size() << " (" << analysis::DistinctPoseCount(poses)
      << " orientations)\n";
  out << "coverage\t" << coverageText(analysis::CoverageOfPoses(poses)) << "\n";
  out << "gravity\t" << fixed(fit.gravityG * kStandardGravity, 5) << " m/s^2\n";
  if (!fit.ok) return;
  out << "bias\t" << triple(fit.model.biasG, 1000, 3) << "\tmg\n";
  out << "bias sigma\t" << triple(fit.sigma.biasG, 1000, 3) << "\tmg\n";
  out << "scale\t" << triple(fit.model.scale, 1e6, 1) << "\tppm\n";
  out << "scale sigma\t" << triple(fit.sigma.scale, 1e6, 1) << "\tppm\n";
  out << "misalignment\t" << triple(fit.model.misalignmentDeg, 1, 4)
      << "\tdeg (y to x, z to x, z to y)\n";
  out << "misalignment sigma\t" << triple(fit.sigma.misalignmentDeg, 1, 4) << "\tdeg\n";
  for (size_t i = 0; i < poses.size(); ++i)
    out << "pose " << i + 1 << "\t" << triple(poses[i].accelG, 1, 5) << "\tg\tresidual "
        << fixed(fit.residualMg[i], 3) << " mg\t" << poses[i].samples << " samples in "
        << fixed(poses[i].seconds, 2) << " s\n";
  out << "residual\t" << fixed(fit.rmsResidualMg, 3) << " mg RMS\n";
  out << "gyro bias\t" << triple(fit.gyroBiasDegPerSec, 1, 4) << "\tdeg/s\n";
  out << "gyro bias sigma\t" << triple(fit.gyroBiasSigma, 1, 4) << "\tdeg/s\n";
  for (int k = 0; k < 3; ++k)
    out << "gyro g-sensitivity " << kAxes[k] << "\t" << triple(fit.gyroGSensitivity[k], 1, 4)
        << "\tdeg/s per g\n";
}

bool parseNumber(const std::vector<std::string>& operands, size_t& i, const char* option, double lo,
                 double hi, const char* what, double& value, std::string& error) {
  if (i + 1 >= operands.size()) {
    error = std::string(option) + " needs a value";
    return false;
  }
  const std::string& text = operands[++i];
  const TypedNumber n = ReadTypedNumber(text);
  if (!n.whole || !(n.leading >= lo && n.leading <= hi)) {
    error = "malformed " + std::string(option) + " '" + text + "': give " + what;
    return false;
  }
  value = n.leading;
  return true;
}

}  // namespace

bool ParseAccelCalOperands(const std::vector<std::string>& operands, AccelCalOptions& o,
                           std::string& error) {
  bool heightGiven = false;
  for (size_t i = 0; i < operands.size(); ++i) {
    const std::string& a = operands[i];
    double v = 0;
    if (a == "--apply") {
      o.apply = true;
    } else if (a == "--flash") {
      o.flash = true;
    } else if (a == "--poses") {
      if (!parseNumber(operands, i, "--poses", 9, 100, "a whole number of poses from 9 to 100", v,
                       error))
        return false;
      if (v != std::floor(v)) {
        error = "malformed --poses '" + operands[i] + "': give a whole number from 9 to 100";
        return false;
      }
      o.poses = static_cast<size_t>(v);
    } else if (a == "--seconds-per-pose") {
      if (!parseNumber(operands, i, "--seconds-per-pose", 1, 600, "seconds from 1 to 600",
                       o.secondsPerPose, error))
        return false;
    } else if (a == "--latitude") {
      if (!parseNumber(operands, i, "--latitude", -90, 90, "degrees from -90 to 90", v, error))
        return false;
      o.latitudeDeg = v;
    } else if (a == "--height") {
      if (!parseNumber(operands, i, "--height", -500, 10000, "metres from -500 to 10000", o.heightM,
                       error))
        return false;
      heightGiven = true;
    } else if (a == "--json") {
      if (i + 1 >= operands.size() || operands[i + 1].empty()) {
        error = "--json needs a file name";
        return false;
      }
      o.json = operands[++i];
    } else {
      error = "unknown accelcal option '" + a +
              "': use --poses N, --seconds-per-pose S, --latitude DEG --height M, --apply, "
              "--flash, --json FILE";
      return false;
    }
  }
  if (heightGiven && !o.latitudeDeg) {
    error = "--height needs --latitude: local gravity depends on both";
    return false;
  }
  if (o.flash && !o.apply) {
    error = "--flash stores applied offsets: give --apply as well";
    return false;
  }
  return true;
}

AccelDevice RegisterAccelDevice(AppContext& ctx) {
  return {analysis::RegisterImuReader(ctx), analysis::RegisterOffsetReader(ctx),
          analysis::RegisterOffsetWriter(ctx),
          [&ctx](std::string& error) { return analysis::FlashAccelOffsets(ctx, error); }};
}

int RunAccelCal(AppContext& ctx, AccelDevice& device, const AccelCalOptions& o, std::ostream& out,
                std::ostream& err, AccelCalOutcome* outcome) {
  AccelCalOutcome local;
  AccelCalOutcome& result = outcome ? *outcome : local;
  const double gravityG =
      o.latitudeDeg ? analysis::NormalGravity(*o.latitudeDeg, o.heightM) / kStandardGravity : 1.0;
  std::string error;
  const auto failed = [&](const std::string& cause) {
    err << "vexa-cli: accelcal: " << cause << "\n";
    return kExitDevice;
  };
  if (!device.readOffsets(result.before, error)) return failed(error);

  const analysis::PoseCollection poses =
      collect(ctx, device, o.poses, o.secondsPerPose, "collecting", err);
  if (!poses.ok) return failed(poses.error);
  const AccelFit fit = analysis::FitAccelPoses(poses.poses, gravityG);
  result.fit = fit;
  printFit(out, fit, poses.poses);
  if (!fit.ok || !fit.trusted) {
    out << "problem\t" << fit.problem << "\n";
    out.flush();
    err << "vexa-cli: accelcal: the fit is not trusted; nothing written\n";
    return kExitAccelCalUntrusted;
  }

  Vec3 hostBias = fit.model.biasG;
  if (o.apply) {
    const RegisterTable& t = ctx.registers;
    const CodeLimits limits = RegisterCodeLimits(t, XACCL_OFF);
    const analysis::OffsetPlan plan = analysis::PlanAccelOffsets(
        fit.model, result.before, t.RegScale[XACCL_OFF], limits.min, limits.max);
    if (!device.writeOffsets(plan.codes, error)) return failed(error);
    result.written = true;
    analysis::AccelOffsetCodes readBack{};
    if (!device.readOffsets(readBack, error)) return failed(error);
    result.after = readBack;
    for (int a = 0; a < 3; ++a)
      out << "offset\t" << t.Label[kOffsetRows[a]] << "\t" << result.before[a] << " -> "
          << plan.codes[a] << "\tread back " << readBack[a] << "\tleft over "
          << fixed(plan.leftoverG[a] * 1000, 3) << " mg\n";
    if (plan.limited) out << "warning\tan offset reached the register's range\n";
    if (readBack != plan.codes) {
      err << "vexa-cli: accelcal: the offset registers read back differently from what was "
             "written\n";
      return kExitAccelCalNotVerified;
    }
    hostBias = plan.leftoverG;
    out.flush();
    const analysis::PoseCollection check =
        collect(ctx, device, kAccelVerifyPoses, o.secondsPerPose, "verifying", err);
    if (!check.ok) return failed(check.error);
    const double before = rawRmsMg(check.poses, gravityG);
    const double after =
        analysis::RmsResidualMg(check.poses, analysis::HostModelAfter(fit.model, plan), gravityG);
    result.verifyAsReadMg = before;
    result.verifyCorrectedMg = after;
    out << "verification\t" << check.poses.size() << " poses, residual " << fixed(before, 3)
        << " mg RMS as read, " << fixed(after, 3) << " mg RMS corrected\n";
    if (check.poses.size() < kAccelVerifyPoses || !(after < before || after < 1.0)) {
      err << "vexa-cli: accelcal: the verification pass did not confirm the fit\n";
      return kExitAccelCalNotVerified;
    }
  }
  if (!o.json.empty()) {
    if (!WriteFileAtomically(o.json,
                             analysis::AccelCalibrationJson(fit, hostBias, poses.poses.size()),
                             false, error))
      return failed("cannot write " + o.json + ": " + error);
    out << "json\t" << o.json << "\n";
  }
  if (o.apply && o.flash) {
    if (!device.flash(error)) return failed(error);
    result.flashed = true;
    out << "flash\tflash update sent\n";
  }
  return 0;
}

const char* AccelCalUsage() {
  return R"(  accelcal [--poses N] [--seconds-per-pose S] [--latitude DEG --height M] [--apply]
           [--flash] [--json FILE] [--unit NAME]
                        Accelerometer calibration by turning the module: lay it still on its
                        faces and edges in turn (prompts and coverage on standard error); each
                        still interval of at least S seconds (default 3) is found from the gyros
                        and accelerometers and averaged, until N different orientations (default
                        12, at least 9, every axis once up and once down) are collected. The
                        model: reading = T x (true acceleration) + bias, T = diag(1 + scale) plus
                        the y axis leaning toward x and the z axis toward x and y. Every still
                        reading must have the magnitude of local gravity: 9.80665 m/s^2, or the
                        WGS84 normal gravity at --latitude and --height. Prints the fit with each
                        parameter's sigma, every pose's residual, and the gyros' bias and
                        g-sensitivity from the same poses. Trusted with an RMS residual of at
                        most 5 mg.
                        --apply writes the bias into XACCL_OFF .. ZACCL_OFF (3.33 mg steps; the
                        rest is reported as left over), reads them back and collects a
                        verification pass of 6 new orientations: their residual as read and as
                        corrected. --flash then stores the offsets. --json writes scale,
                        misalignment and the bias still in the readings for the host's own
                        correction (never over an existing file).
                        Exit status 3: refused or not trusted (nothing written); 4: read back
                        otherwise, or the verification pass did not confirm the fit.
)";
}

}  // namespace vexa::cli
