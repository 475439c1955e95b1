#include "sim/accel_errors.h"

#include <cmath>
#include <fstream>
#include <sstream>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "app/physical_constants.h"

namespace vexa::sim {

Vec3 ApplyAccelErrors(const AccelErrors& e, const Vec3& f) {
  const double yx = std::sin(e.misalignmentDeg[0] * kDegToRad);
  const double zx = std::sin(e.misalignmentDeg[1] * kDegToRad);
  const double zy = std::sin(e.misalignmentDeg[2] * kDegToRad);
  return {(1.0 + e.scale[0]) * f[0] + e.biasG[0],
          (1.0 + e.scale[1]) * f[1] + yx * f[0] + e.biasG[1],
          (1.0 + e.scale[2]) * f[2] + zx * f[0] + zy * f[1] + e.biasG[2]};
}

bool ReadAccelErrorsFile(const std::string& path, AccelErrors& errors, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the accelerometer error file " + path;
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  QJsonParseError parse{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text.str()), &parse);
  if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
    error = path + " is not a JSON object";
    return false;
  }
  const QJsonObject o = doc.object();
  AccelErrors read;
  const struct {
    const char* key;
    Vec3* into;
  } fields[] = {
      {"bias", &read.biasG}, {"scale", &read.scale}, {"misalignment", &read.misalignmentDeg}};
  for (const auto& f : fields) {
    if (!o.contains(f.key)) continue;
    const QJsonArray a = o.value(f.key).toArray();
    if (a.size() != 3) {
      error = path + ": \"" + f.key + "\" must be an array of three numbers";
      return false;
    }
    for (int i = 0; i < 3; ++i) {
      if (!a[i].isDouble() || !std::isfinite(a[i].toDouble())) {
        error = path + ": \"" + f.key + "\" must be an array of three numbers";
        return false;
      }
      (*f.into)[i] = a[i].toDouble();
    }
  }
  for (const QString& key : o.keys())
    if (key != "bias" && key != "scale" && key != "misalignment") {
      error = path + ": unknown key \"" + key.toStdString() + "\"";
      return false;
    }
  errors = read;
  return true;
}

}  // namespace vexa::sim
