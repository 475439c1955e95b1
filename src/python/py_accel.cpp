#include "python/py_accel.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <stdexcept>
#include <vector>

#include "analysis/accel_fit.h"
#include "analysis/accel_still.h"
#include "app/physical_constants.h"

namespace vexa::python {

namespace py = pybind11;

namespace {

using Array = py::array_t<double, py::array::c_style | py::array::forcecast>;

py::dict valueAndSigma(const analysis::Vec3& value, const analysis::Vec3& sigma) {
  py::dict d;
  d["value"] = std::vector<double>(value.begin(), value.end());
  d["sigma"] = std::vector<double>(sigma.begin(), sigma.end());
  return d;
}

std::vector<analysis::StillPose> posesOfMeans(const Array& a, const py::object& sigma) {
  std::vector<analysis::StillPose> poses(static_cast<size_t>(a.shape(0)));
  const bool given = !sigma.is_none();
  Array s;
  if (given) {
    s = Array::ensure(sigma);
    if (!s || s.ndim() != 2 || s.shape(0) != a.shape(0) || s.shape(1) != 3)
      throw std::invalid_argument("sigma must have the shape of the means, (N, 3), in g");
  }
  for (size_t i = 0; i < poses.size(); ++i)
    for (int k = 0; k < 3; ++k) {
      poses[i].accelG[k] = a.at(i, k);
      // Without standard errors every pose weighs the same; the residuals then set the sigmas.
      poses[i].accelSigmaG[k] = given ? s.at(i, k) : 1e-4;
    }
  return poses;
}

std::vector<analysis::StillPose> posesOfStream(const Array& a, double rate, double minSeconds) {
  if (!(rate > 0)) throw std::invalid_argument("rate must be given in Hz for a stream of readings");
  analysis::StillDetector detector(minSeconds);
  for (py::ssize_t i = 0; i < a.shape(0); ++i) {
    analysis::ImuSample s;
    for (int k = 0; k < 3; ++k) {
      s.gyroDegPerSec[k] = a.at(i, k);
      s.accelG[k] = a.at(i, 3 + k);
    }
    detector.add(static_cast<double>(i) / rate, s);
  }
  detector.finish();
  return detector.poses();
}

py::dict AccelFit(const py::object& readings, const py::object& sigma, double rate,
                  double minSeconds, double gravity) {
  const Array a = Array::ensure(readings);
  if (!a || a.ndim() != 2 || (a.shape(1) != 3 && a.shape(1) != 6))
    throw std::invalid_argument(
        "readings must be still means (N, 3) in g, or a stream (N, 6): gyros x, y, z in deg/s "
        "and accelerometers x, y, z in g");
  std::vector<analysis::StillPose> poses;
  analysis::AccelFit fit;
  // The arrays are read with the interpreter held; the detection and the fit run without it.
  poses = a.shape(1) == 3 ? posesOfMeans(a, sigma) : posesOfStream(a, rate, minSeconds);
  {
    py::gil_scoped_release nogil;
    fit = analysis::FitAccelPoses(poses, gravity / kStandardGravity);
  }
  py::dict d;
  d["ok"] = fit.ok;
  d["trusted"] = fit.trusted;
  d["problem"] = fit.problem;
  d["poses"] = poses.size();
  d["gravity"] = gravity;
  if (!fit.ok) return d;
  d["bias"] = valueAndSigma(fit.model.biasG, fit.sigma.biasG);
  d["scale"] = valueAndSigma(fit.model.scale, fit.sigma.scale);
  d["misalignment"] = valueAndSigma(fit.model.misalignmentDeg, fit.sigma.misalignmentDeg);
  d["residual_mg"] = fit.rmsResidualMg;
  d["pose_residuals_mg"] = fit.residualMg;
  if (a.shape(1) == 6) d["gyro_bias"] = valueAndSigma(fit.gyroBiasDegPerSec, fit.gyroBiasSigma);
  return d;
}

}  // namespace

void RegisterAccelFit(py::module_& m) {
  m.def("accel_fit", &AccelFit, py::arg("readings"), py::arg("sigma") = py::none(),
        py::arg("rate") = 0.0, py::arg("seconds_per_pose") = 3.0,
        py::arg("gravity") = kStandardGravity,
        R"(The accelerometer fit of vexa-cli accelcal. `readings` are the still means (N x 3, g;
`sigma` their standard errors, N x 3) or a stream of readings (N x 6: gyros x, y, z in deg/s,
accelerometers x, y, z in g) taken at `rate` Hz, whose still intervals of at least
`seconds_per_pose` are found and averaged first. `gravity` is local gravity in m/s^2. Returns ok,
trusted, problem, poses, and bias (g), scale (fraction), misalignment (deg: y toward x, z toward
x, z toward y) each as {value, sigma}, residual_mg (RMS) and pose_residuals_mg.)");
}

}  // namespace vexa::python
