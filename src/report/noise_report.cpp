#include "report/noise_report.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>
#include <charconv>
#include <cmath>

#include "report/noise_plots.h"

namespace vexa::report {

namespace {

constexpr const char* kTermTitles[analysis::kNoiseTerms] = {
    "quantisation Q", "random walk N", "bias instability B", "rate random walk K", "rate ramp R"};

}  // namespace

std::string ReportNumber(double v) {
  if (!std::isfinite(v)) return "-";
  char buffer[40];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 4);
  return std::string(buffer, r.ptr);
}

RecordSummary SummaryOf(const analysis::LogRecord& record,
                        const std::vector<analysis::ChannelNoise>& channels) {
  RecordSummary s;
  for (const auto& f : record.files) s.files.push_back(f.fileName.empty() ? f.path : f.fileName);
  if (!record.files.empty()) s.date = record.files.front().date + " " + record.files.front().time;
  for (const auto& c : channels) {
    s.rateHz = std::max(s.rateHz, c.rateHz);
    if (c.rateHz > 0) s.seconds = std::max(s.seconds, double(c.samples) / c.rateHz);
  }
  // The log's header names no product; its channels tell what kind of module it came from.
  s.product = record.lsb ? "inertial sensor module (raw counts)" : "inertial sensor module";
  return s;
}

bool ParseNoiseLimits(const std::string& json, NoiseLimits& limits, std::string& error) {
  QJsonParseError parse{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json), &parse);
  if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
    error = "the limits are not a JSON object: " + parse.errorString().toStdString();
    return false;
  }
  limits = {};
  const QJsonObject root = doc.object();
  for (auto kind = root.begin(); kind != root.end(); ++kind) {
    const std::string k = kind.key().toStdString();
    if (k != "gyro" && k != "accelerometer" && k != "other") {
      error = "unknown channel kind '" + k + "' in the limits (gyro, accelerometer, other)";
      return false;
    }
    const QJsonObject figures = kind.value().toObject();
    for (auto f = figures.begin(); f != figures.end(); ++f) {
      const std::string name = f.key().toStdString();
      const bool known =
          name == "density" ||
          (name.size() == 1 && std::string("QNBKR").find(name[0]) != std::string::npos);
      if (!known || !f.value().isDouble() || !(f.value().toDouble() >= 0)) {
        error = "limit '" + name + "' for " + k +
                " must be one of Q, N, B, K, R, density with a number of at least 0";
        return false;
      }
      limits.maximum[k][name] = f.value().toDouble();
    }
  }
  return true;
}

std::string Verdict(const NoiseLimits& limits, analysis::SensorKind kind, const std::string& name,
                    double value) {
  const auto k = limits.maximum.find(analysis::SensorKindName(kind));
  if (k == limits.maximum.end()) return "";
  const auto f = k->second.find(name);
  if (f == k->second.end()) return "";
  return value <= f->second ? "pass" : "fail";
}

QByteArray NoiseReportPdf(const RecordSummary& record,
                          const std::vector<analysis::ChannelNoise>& channels,
                          const NoiseLimits& limits) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter pdf(&buffer);
  pdf.setPageSize(QPageSize(QPageSize::A4));
  pdf.setResolution(96);
  pdf.setTitle("Noise report");
  pdf.setCreator("vexa-cli");
  QPainter p(&pdf);
  const QRectF page(0, 0, pdf.width(), pdf.height());
  QFont font("DejaVu Sans");
  font.setPointSizeF(8.5);
  p.setFont(font);
  const QFontMetricsF fm(font);
  double y = 0;
  const auto line = [&](const QString& text, bool bold = false) {
    QFont f = font;
    f.setBold(bold);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QPointF(0, y + fm.ascent()), text);
    p.setFont(font);
    y += fm.height() * 1.25;
  };

  QFont title = font;
  title.setPointSizeF(14);
  p.setFont(title);
  p.drawText(QPointF(0, QFontMetricsF(title).ascent()), "Noise report");
  y += QFontMetricsF(title).height() * 1.4;
  p.setFont(font);
  QString files;
  for (const auto& f : record.files)
    files += (files.isEmpty() ? "" : ", ") + QString::fromStdString(f);
  line("Files: " + files);
  line("Date: " + QString::fromStdString(record.date));
  line(QString("Length: %1 s (%2 h)   Rate: %3 Hz")
           .arg(QString::fromStdString(ReportNumber(record.seconds)))
           .arg(QString::fromStdString(ReportNumber(record.seconds / 3600.0)))
           .arg(QString::fromStdString(ReportNumber(record.rateHz))));
  line("Product: " + QString::fromStdString(record.product));
  y += fm.height() * 0.5;

  std::vector<PlottedNoise> plotted;
  for (size_t i = 0; i < channels.size(); ++i) plotted.push_back({&channels[i], ChannelColor(i)});
  const double plotHeight = (page.height() - y - 3 * fm.height()) / 2;
  line("Allan deviation and fitted noise model", true);
  DrawAllanWithFit(p, QRectF(0, y, page.width(), plotHeight - fm.height()), plotted);
  y += plotHeight;
  line("Noise density", true);
  DrawNoiseDensity(p, QRectF(0, y, page.width(), plotHeight - fm.height()), plotted);

  // The figures, one table per channel.
  pdf.newPage();
  y = 0;
  const double columns[] = {0, 0.25, 0.42, 0.56, 0.76, 0.88};
  const auto row = [&](const QStringList& cells, bool bold = false) {
    QFont f = font;
    f.setBold(bold);
    p.setFont(f);
    for (int k = 0; k < cells.size() && k < 6; ++k)
      p.drawText(QPointF(columns[k] * page.width(), y + fm.ascent()), cells[k]);
    p.setFont(font);
    y += fm.height() * 1.3;
  };
  for (const auto& c : channels) {
    if (y + 9 * fm.height() * 1.3 > page.height()) {
      pdf.newPage();
      y = 0;
    }
    line(QString::fromStdString(c.title + " (" + analysis::SensorKindName(c.kind) + ", " + c.units +
                                "), " + std::to_string(c.samples) + " samples at " +
                                ReportNumber(c.rateHz) + " Hz"),
         true);
    row({"figure", "value", "sigma", "unit", "resolved", limits.empty() ? "" : "limit"}, true);
    for (int t = 0; t < analysis::kNoiseTerms; ++t) {
      const auto& f = c.figures[size_t(t)];
      row({kTermTitles[t], QString::fromStdString((f.resolved ? "" : "< ") + ReportNumber(f.value)),
           f.resolved ? QString::fromStdString(ReportNumber(f.sigma)) : QString("-"),
           QString::fromStdString(f.unit), f.resolved ? "yes" : "no",
           QString::fromStdString(
               Verdict(limits, c.kind, analysis::kNoiseTermNames[size_t(t)], f.value))});
    }
    if (c.density.whiteFound)
      row({"noise density", QString::fromStdString(ReportNumber(c.densityFigure.value)), "-",
           QString::fromStdString(c.densityFigure.unit), "yes",
           QString::fromStdString(Verdict(limits, c.kind, "density", c.densityFigure.value))});
    y += fm.height();
  }
  p.end();
  return bytes;
}

}  // namespace vexa::report
