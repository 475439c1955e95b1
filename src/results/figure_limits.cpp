#include "results/figure_limits.h"

#include <QFile>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <cmath>

#include "results/result_records.h"

namespace vexa::results {

bool ParseFigureLimits(const std::string& text, FigureLimits& limits, std::string& error) {
  FigureLimits read;
  const QStringList lines = QString::fromStdString(text).split('\n');
  for (int n = 0; n < lines.size(); ++n) {
    const QString line = lines[n].trimmed();
    if (line.isEmpty() || line.startsWith('#')) continue;
    const int equals = line.lastIndexOf('=');
    std::string title, term;
    bool ok = false;
    // The C form always: a limits file travels between benches of any regional setting.
    const double value =
        equals > 0 ? QLocale::c().toDouble(line.mid(equals + 1).trimmed(), &ok) : 0.0;
    const std::string name = line.left(equals).trimmed().toStdString();
    if (!ok || !std::isfinite(value) || !SplitFigureName(name, title, term)) {
      error = std::to_string(n + 1) + ": expected CHANNEL/TERM = NUMBER, such as X Gyro/B = 12";
      return false;
    }
    read[name] = value;
  }
  limits = std::move(read);
  return true;
}

bool ReadFigureLimits(const std::string& path, FigureLimits& limits, std::string& error) {
  QFile file(QString::fromStdString(path));
  // A limits file is a few lines; anything far larger is not one.
  if (!file.open(QIODevice::ReadOnly) || file.size() > 1 << 20) {
    error = path + ": " + (file.error() ? file.errorString().toStdString() : "too large");
    return false;
  }
  if (!ParseFigureLimits(file.readAll().toStdString(), limits, error)) {
    error = path + ":" + error;
    return false;
  }
  return true;
}

}  // namespace vexa::results
