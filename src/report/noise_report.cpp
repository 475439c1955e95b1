#include "report/noise_report.h"

#include <QBuffer>
#include <QDate>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "app/version.h"
#include "report/noise_plots.h"

namespace vexa::report {

namespace {

constexpr const char* kTermTitles[analysis::kNoiseTerms] = {
    "quantisation Q", "random walk N", "bias instability B", "rate random walk K", "rate ramp R"};

}  // namespace

std::string ReportNumber(double v, const QLocale& locale) {
  if (!std::isfinite(v)) return "-";
  char buffer[40];
  const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 4);
  std::string text(buffer, r.ptr);
  const QString point = locale.decimalPoint();
  if (point != ".") {
    const auto at = text.find('.');
    if (at != std::string::npos) text.replace(at, 1, point.toStdString());
  }
  return text;
}

RecordSummary SummaryOf(const analysis::LogRecord& record,
                        const std::vector<analysis::ChannelNoise>& channels) {
  RecordSummary s;
  for (const auto& f : record.files) s.files.push_back(f.fileName.empty() ? f.path : f.fileName);
  if (!record.files.empty()) s.date = record.files.front().date + " " + record.files.front().time;
  for (const auto& c : channels) {
    s.rateHz = std::max(s.rateHz, c.rateHz);
    s.samples = std::max(s.samples, c.samples);
    if (c.rateHz > 0) s.seconds = std::max(s.seconds, double(c.samples) / c.rateHz);
    for (const auto& r : c.notStill)
      if (std::find(s.notStill.begin(), s.notStill.end(), r) == s.notStill.end())
        s.notStill.push_back(r);
  }
  // The log's header names no product; its channels tell what kind of module it came from.
  s.product = record.lsb ? "inertial sensor module (raw counts)" : "inertial sensor module";
  s.version = kVersion;
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

std::string OverallVerdict(const NoiseLimits& limits,
                           const std::vector<analysis::ChannelNoise>& channels) {
  std::string overall;
  for (const auto& c : channels) {
    std::vector<std::string> v;
    for (int t = 0; t < analysis::kNoiseTerms; ++t)
      v.push_back(Verdict(limits, c.kind, analysis::kNoiseTermNames[size_t(t)],
                          c.figures[size_t(t)].value));
    if (c.density.whiteFound)
      v.push_back(Verdict(limits, c.kind, "density", c.densityFigure.value));
    for (const auto& one : v)
      if (one == "fail" || (one == "pass" && overall.empty())) overall = one;
  }
  return overall;
}

QByteArray NoiseReportPdf(const RecordSummary& record,
                          const std::vector<analysis::ChannelNoise>& channels,
                          const NoiseLimits& limits, const QLocale& locale) {
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
  // No ligatures: text copied or searched out of the PDF reads "fi", not one ligature glyph.
  font.setStyleStrategy(QFont::PreferNoShaping);
  p.setFont(font);
  const QFontMetricsF fm(font);
  const auto num = [&](double v) { return QString::fromStdString(ReportNumber(v, locale)); };
  double y = 0;
  const auto line = [&](const QString& text, bool bold = false) {
    QFont f = font;
    f.setBold(bold);
    p.setFont(f);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, y, page.width(), fm.height() * 3), Qt::TextWordWrap, text);
    const double used = QFontMetricsF(f)
                            .boundingRect(QRectF(0, 0, page.width(), 1e6), Qt::TextWordWrap, text)
                            .height();
    p.setFont(font);
    y += std::max(fm.height(), used) + fm.height() * 0.25;
  };

  // Page 1: the summary.
  QFont title = font;
  title.setPointSizeF(14);
  p.setFont(title);
  p.drawText(QPointF(0, QFontMetricsF(title).ascent()), "Noise report");
  y += QFontMetricsF(title).height() * 1.4;
  p.setFont(font);
  line("Product: " + QString::fromStdString(record.product) + "   Product number: " +
       QString::fromStdString(record.productNumber.empty() ? "not given" : record.productNumber));
  line("Unit: " + QString::fromStdString(record.unit.empty() ? "not named" : record.unit));
  line("Software: vexa-cli " + QString::fromStdString(record.version) +
       "   Report made: " + locale.toString(QDate::currentDate(), QLocale::ShortFormat));
  line("Record date: " + QString::fromStdString(record.date));
  QString files;
  for (const auto& f : record.files)
    files += (files.isEmpty() ? "" : ", ") + QString::fromStdString(f);
  line("Files: " + files);
  line(QString("Span: %1 s (%2 h)   Rate: %3 Hz   Samples: %4")
           .arg(num(record.seconds), num(record.seconds / 3600.0), num(record.rateHz))
           .arg(record.samples));
  if (!record.notStill.empty()) {
    line(QString("RECORD NOT STILL: analysed on request, every figure marked \"%1\" (*)")
             .arg(analysis::kRecordNotStill),
         true);
    for (const auto& r : record.notStill) line("    " + QString::fromStdString(r));
  }
  y += fm.height() * 0.5;
  line(
      "Figures of the fitted noise model (value +/- one standard deviation; \"<\": not resolved, "
      "the bound the record allows)",
      true);
  const double columns[] = {0, 0.16, 0.38, 0.52, 0.66, 0.80, 0.90};
  const auto row = [&](const QStringList& cells, bool bold = false) {
    QFont f = font;
    f.setBold(bold);
    p.setFont(f);
    for (int k = 0; k < cells.size() && k < 7; ++k)
      p.drawText(QPointF(columns[k] * page.width(), y + fm.ascent()), cells[k]);
    p.setFont(font);
    y += fm.height() * 1.3;
  };
  const bool still = record.notStill.empty();
  row({"channel", "figure", "value", "sigma", "unit", limits.empty() ? "" : "limit",
       limits.empty() ? "" : "verdict"},
      true);
  for (const auto& c : channels) {
    if (y + 8 * fm.height() * 1.3 > page.height()) {
      pdf.newPage();
      y = 0;
    }
    const auto limitOf = [&](const std::string& name) {
      const auto k = limits.maximum.find(analysis::SensorKindName(c.kind));
      if (k == limits.maximum.end()) return QString();
      const auto f = k->second.find(name);
      return f == k->second.end() ? QString() : num(f->second);
    };
    for (int t = 0; t < analysis::kNoiseTerms; ++t) {
      const auto& f = c.figures[size_t(t)];
      const std::string name = analysis::kNoiseTermNames[size_t(t)];
      row({t == 0 ? QString::fromStdString(c.title) : QString(), kTermTitles[t],
           (f.resolved ? "" : "< ") + num(f.value) + (still ? "" : " *"),
           f.resolved ? num(f.sigma) : QString("-"), QString::fromStdString(f.unit), limitOf(name),
           QString::fromStdString(Verdict(limits, c.kind, name, f.value))});
    }
    if (c.density.whiteFound)
      row({"", "density (two-sided)", num(c.densityFigure.value) + (still ? "" : " *"), "-",
           QString::fromStdString(c.densityFigure.unit), limitOf("density"),
           QString::fromStdString(Verdict(limits, c.kind, "density", c.densityFigure.value))});
    y += fm.height() * 0.4;
  }
  if (!still) line(QString("* %1").arg(analysis::kRecordNotStill));
  if (!limits.empty()) {
    const std::string verdict = OverallVerdict(limits, channels);
    y += fm.height() * 0.5;
    line(QString("Verdict: ") + (!still              ? "fail (the record is not still)"
                                 : verdict == "fail" ? "fail (a figure is over its limit)"
                                 : verdict == "pass" ? "pass (every figure within its limit)"
                                                     : "no figure has a limit"),
         true);
  }

  // Then a page per kind of channel, so that every axis carries one unit.
  std::vector<std::string> kinds;
  for (const auto& c : channels)
    if (std::find(kinds.begin(), kinds.end(), c.units) == kinds.end()) kinds.push_back(c.units);
  for (const auto& units : kinds) {
    pdf.newPage();
    y = 0;
    std::vector<PlottedNoise> plotted;
    std::string kindName;
    for (size_t i = 0; i < channels.size(); ++i)
      if (channels[i].units == units) {
        plotted.push_back({&channels[i], ChannelColor(i)});
        kindName = analysis::SensorKindName(channels[i].kind);
      }
    const QString heading =
        QString::fromStdString(kindName + " channels, " + (units.empty() ? "units" : units));
    const double plotHeight = (page.height() - 3 * fm.height()) / 2;
    line("Allan deviation and fitted noise model: " + heading, true);
    DrawAllanWithFit(p, QRectF(0, y, page.width(), plotHeight - fm.height()), plotted);
    y += plotHeight;
    line("Noise density: " + heading, true);
    DrawNoiseDensity(p, QRectF(0, y, page.width(), plotHeight - fm.height()), plotted);
  }
  p.end();
  return bytes;
}

}  // namespace vexa::report
