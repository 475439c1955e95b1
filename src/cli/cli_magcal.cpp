#include "cli/cli_magcal.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ostream>

#include "analysis/mag_cal_session.h"
#include "app/hex_text.h"
#include "app/typed_number.h"

namespace vexa::cli {

namespace {

using analysis::MagCalResult;
using analysis::MagCorrections;

constexpr const char* kAxes = "XYZ";

std::string fixed(double v, int decimals) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

std::string triple(const analysis::Vec3& v, int decimals) {
  return fixed(v[0], decimals) + "\t" + fixed(v[1], decimals) + "\t" + fixed(v[2], decimals);
}

// A transfer that failed: status 1, and nothing read after it printed. The console has shown
// the message of a failure the transport noticed itself.
int deviceFailure(const SessionError& e, std::ostream& err) {
  if (!e.shown) err << "vexa-cli: " << e.text << "\n";
  return 1;
}

// Collects for `seconds`, telling standard error how it goes about once a second; stops at a
// failed transfer.
analysis::MagSampleSet collect(AppContext& ctx, const std::function<Status()>& health,
                               double seconds, const MagCorrections& current, const char* what,
                               std::ostream& err) {
  const analysis::SphereBins bins;
  analysis::MagSampleSet set;
  double nextReport = 1.0;
  analysis::CollectMagReadings(ctx, set, seconds, [&](const analysis::CollectProgress& p) {
    if (health && !health()) return false;
    if (p.elapsedSeconds >= nextReport) {
      nextReport = std::floor(p.elapsedSeconds) + 1.0;
      const MagCalResult r = analysis::AnalyseMagReadings(set.samples(), current, bins);
      err << "vexa-cli: magcal: " << what << " " << fixed(p.elapsedSeconds, 0) << " s, " << p.kept
          << " samples, coverage " << fixed(r.quality.coveragePercent, 1) << " %\n";
    }
    return true;
  });
  return set;
}

void printCorrections(std::ostream& out, const MagCorrections& c, const std::string& heading) {
  for (int a = 0; a < 3; ++a)
    out << heading << kAxes[a] << "MAGN_HIF\t" << HexText(c.hardIron[a] & 0xFFFF) << "\t"
        << c.hardIron[a] << "\t" << fixed(c.hardIron[a] * analysis::kMagMilliGaussPerCount, 1)
        << " mG\n";
  for (int a = 0; a < 3; ++a)
    out << heading << kAxes[a] << "MAGN_SIF\t" << HexText(c.softIron[a]) << "\t" << c.softIron[a]
        << "\t" << fixed(c.softIron[a] / double{analysis::kSoftIronUnity}, 4) << "\n";
}

}  // namespace

bool ParseMagCalOperands(const std::vector<std::string>& operands, MagCalOptions& o,
                         std::string& error) {
  for (size_t i = 0; i < operands.size(); ++i) {
    const std::string& a = operands[i];
    if (a == "--apply") {
      o.apply = true;
    } else if (a == "--flash") {
      o.flash = true;
    } else if (a == "--seconds") {
      if (i + 1 >= operands.size()) {
        error = "--seconds needs a value";
        return false;
      }
      const std::string& text = operands[++i];
      const TypedNumber n = ReadTypedNumber(text);
      const double v = n.leading;
      if (!n.whole || !(v >= 1.0 && v <= 3600.0)) {
        error = "malformed --seconds '" + text + "': give a number of seconds from 1 to 3600";
        return false;
      }
      o.seconds = v;
    } else {
      error = "unknown magcal option '" + a + "': use --seconds N, --apply, --flash";
      return false;
    }
  }
  if (o.flash && !o.apply) {
    error = "--flash stores applied corrections: give --apply as well";
    return false;
  }
  return true;
}

int RunMagCal(AppContext& ctx, const MagCalOptions& o, std::ostream& out, std::ostream& err,
              const std::function<Status()>& healthOf) {
  const auto health = [&]() -> Status { return healthOf ? healthOf() : Status(Done{}); };
  const analysis::SphereBins bins;
  const MagCorrections before = analysis::ReadMagCorrections(ctx);
  if (const Status s = health(); !s) return deviceFailure(s.error(), err);
  err << "vexa-cli: magcal: turn the module slowly through every orientation for "
      << fixed(o.seconds, 0) << " s\n";
  analysis::SetTumbling(ctx, true);
  const analysis::MagSampleSet set = collect(ctx, healthOf, o.seconds, before, "collecting", err);
  analysis::SetTumbling(ctx, false);
  if (const Status s = health(); !s) return deviceFailure(s.error(), err);
  const MagCalResult r = analysis::AnalyseMagReadings(set.samples(), before, bins);

  out << "samples\t" << r.quality.samples << "\n";
  out << "coverage\t" << fixed(r.quality.coveragePercent, 1) << " %\n";
  if (r.fit.ok) {
    out << "residual\t" << fixed(r.quality.residualPercent, 2) << " % of the field\n";
    out << "field\t" << fixed(r.quality.fieldMilliGauss, 1) << " mG\n";
    out << "wobble\t" << fixed(r.quality.wobbleMilliGauss, 1) << " mG\n";
    out << "centre\t" << triple(r.fit.centre, 1) << " mG\n";
    out << "radii\t" << triple(r.fit.radii, 1) << " mG\n";
  }
  if (r.full.ok)
    out << "cross-axis\t" << fixed(r.full.crossAxisPercent, 1)
        << " % (not held by the registers)\n";
  printCorrections(out, before, "now\t");
  if (r.fit.ok) printCorrections(out, r.derived, "fit\t");
  for (const std::string& p : r.problems) out << "problem\t" << p << "\n";
  for (const std::string& w : r.warnings) out << "warning\t" << w << "\n";
  out.flush();
  if (!r.trusted) {
    err << "vexa-cli: magcal: the fit is not good enough to trust; nothing written\n";
    return kExitMagCalUntrusted;
  }
  if (!o.apply) return 0;

  const MagCorrections readBack = analysis::WriteMagCorrections(ctx, r.derived);
  if (const Status s = health(); !s) return deviceFailure(s.error(), err);
  if (readBack != r.derived) {
    printCorrections(out, readBack, "read\t");
    err << "vexa-cli: magcal: the registers read back differently from what was written\n";
    return kExitMagCalNotVerified;
  }
  out << "applied\tthe registers read back as written\n";
  analysis::SetTumbling(ctx, true);
  const analysis::MagSampleSet check =
      collect(ctx, healthOf, kMagCalVerifySeconds, readBack, "verifying", err);
  analysis::SetTumbling(ctx, false);
  if (const Status s = health(); !s) return deviceFailure(s.error(), err);
  const analysis::MagnitudeSpread spreadBefore = analysis::SpreadOf(set.samples());
  const analysis::MagnitudeSpread spreadAfter = analysis::SpreadOf(check.samples());
  const analysis::Verdict verdict = analysis::Judge(spreadBefore, spreadAfter);
  out << "spread\t" << fixed(spreadBefore.rmsPercent, 2) << " % before\t"
      << fixed(spreadAfter.rmsPercent, 2) << " % after\n";
  out << "verdict\t" << analysis::VerdictText(verdict, spreadBefore, spreadAfter) << "\n";
  if (verdict == analysis::Verdict::NotImproved) return kExitMagCalNotVerified;
  if (o.flash) {
    analysis::SaveMagCorrectionsToFlash(ctx);
    if (const Status s = health(); !s) return deviceFailure(s.error(), err);
    out << "flash\tflash update sent\n";
  }
  return 0;
}

const char* MagCalUsage() {
  return R"(  magcal [--seconds N] [--apply] [--flash]
                        Magnetometer calibration: reads XMAGN_OUT .. ZMAGN_OUT for N seconds
                        (default 60, 1 to 3600) while you turn the module slowly through every
                        orientation (progress and coverage on standard error), fits an
                        axis-aligned ellipsoid to the readings, and prints the fit, its quality
                        and the hard- and soft-iron register values that make the readings a
                        sphere about zero. The sensor's model: reading = (field + hard iron) x
                        soft iron / 2048 per axis, hard iron in counts of 0.5 mG, soft iron
                        2048 = unity; the corrections already in the sensor are taken out first,
                        so a second run confirms the first rather than doubling it.
                        The fit is trusted with at least 60 samples, at least 60 % of 152
                        equal-area direction bins covered, and an RMS residual of at most 2 %
                        of the field.
                        --apply writes the six registers, reads them back and collects a
                        10-second verification pass: the spread of the magnitudes before and
                        after is printed with a verdict. --flash then sends the flash update
                        command, so the sensor keeps them.
                        Exit status 3: the fit is not trusted (nothing written); 4: the
                        registers read back otherwise, or the verification pass showed no
                        improvement.
)";
}

}  // namespace vexa::cli
