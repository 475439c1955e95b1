#include "app/program_settings.h"

#include <cerrno>
#include <cstdlib>

#include <QFile>
#include <QFileInfo>

namespace vexa {

namespace {

constexpr qint64 kMaxFileBytes = 64 * 1024;

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

QString pathIn(const std::string& folder) {
  return QString::fromStdString(folder) + '/' + ProgramSettings::kFileName;
}

}  // namespace

bool ProgramSettings::load(const std::string& folder, std::string& error) {
  values_.clear();
  changed_ = false;
  const QString path = pathIn(folder);
  const QFileInfo info(path);
  if (!info.exists()) return true;
  if (!info.isFile()) {
    error = path.toStdString() + " is not a regular file; its settings are not read";
    return false;
  }
  if (info.size() > kMaxFileBytes) {
    error = path.toStdString() + " is larger than 64 KiB; its settings are not read";
    return false;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    error = "cannot read " + path.toStdString() + ": " + file.errorString().toStdString();
    return false;
  }
  const QByteArray bytes = file.read(kMaxFileBytes);
  for (const QByteArray& rawLine : bytes.split('\n')) {
    const std::string line = rawLine.toStdString();
    const auto equals = line.find('=');
    if (equals == std::string::npos || trimmed(line).empty() || trimmed(line)[0] == '#') continue;
    const std::string key = trimmed(line.substr(0, equals));
    if (!key.empty()) values_[key] = trimmed(line.substr(equals + 1));
  }
  return true;
}

bool ProgramSettings::save(const std::string& folder, std::string& error, FileOps& files) {
  if (!changed_) return true;
  std::string text;
  for (const auto& [key, value] : values_) text += key + " = " + value + "\n";
  if (!ReplaceFileWhole(files, pathIn(folder).toStdString(), text, 0644, error)) return false;
  changed_ = false;
  return true;
}

std::string ProgramSettings::text(const std::string& key, const std::string& fallback) const {
  const auto it = values_.find(key);
  return it == values_.end() ? fallback : it->second;
}

long ProgramSettings::number(const std::string& key, long fallback) const {
  const auto it = values_.find(key);
  if (it == values_.end() || it->second.empty()) return fallback;
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(it->second.c_str(), &end, 0);
  return (errno != 0 || *end != '\0') ? fallback : value;
}

bool ProgramSettings::flag(const std::string& key, bool fallback) const {
  const std::string value = text(key);
  if (value == "1" || value == "true" || value == "yes" || value == "on") return true;
  if (value == "0" || value == "false" || value == "no" || value == "off") return false;
  return fallback;
}

void ProgramSettings::setText(const std::string& key, const std::string& value) {
  auto it = values_.find(key);
  if (it != values_.end() && it->second == value) return;
  values_[key] = value;
  changed_ = true;
}

void ProgramSettings::setNumber(const std::string& key, long value) {
  setText(key, std::to_string(value));
}

void ProgramSettings::setFlag(const std::string& key, bool value) {
  setText(key, value ? "1" : "0");
}

}  // namespace vexa
