#include "results/file_facts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace vexa::results {

namespace {

// The SHA-256 of a whole file, read in pieces (a log file may be larger than memory wants).
bool Sha256Of(const QString& path, std::string& hex) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return false;
  QCryptographicHash hash(QCryptographicHash::Sha256);
  if (!hash.addData(&file)) return false;
  hex = hash.result().toHex().toStdString();
  return true;
}

}  // namespace

RunFile MeasureFile(const std::string& path) {
  const QFileInfo info(QString::fromStdString(path));
  RunFile f;
  f.path = QDir::cleanPath(info.absoluteFilePath()).toStdString();
  if (!info.isFile()) return f;
  std::string hex;
  if (!Sha256Of(info.absoluteFilePath(), hex)) return f;
  f.bytes = info.size();
  f.sha256 = hex;
  return f;
}

FileState CheckFile(const RunFile& recorded) {
  const QFileInfo info(QString::fromStdString(recorded.path));
  if (!info.isFile()) return FileState::Gone;
  if (recorded.sha256.empty()) return FileState::Unknown;
  if (info.size() != recorded.bytes) return FileState::Changed;
  std::string hex;
  if (!Sha256Of(info.absoluteFilePath(), hex)) return FileState::Gone;
  return hex == recorded.sha256 ? FileState::Unchanged : FileState::Changed;
}

std::string FileStateText(const RunFile& recorded, FileState state) {
  switch (state) {
    case FileState::Gone:
      return recorded.path + " is gone (or cannot be read)";
    case FileState::Changed:
      return recorded.path + " has changed since the run wrote it";
    case FileState::Unknown:
    case FileState::Unchanged:
      break;
  }
  return {};
}

}  // namespace vexa::results
