#include "SettingsFile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cctype>

#include "PrivateProfile.h"
#include "RuntimeMessages.h"

namespace {
constexpr qsizetype kMaxValueLength = 2047;
}

QString SettingsFile::PathBesideExecutable(const QString& executablePath) {
  QFileInfo info(executablePath);
  QString name = info.fileName();
  qsizetype dot = name.lastIndexOf('.');
  if (dot >= 0) name.truncate(dot);
  QString dir = executablePath.left(executablePath.size() - info.fileName().size());
  return dir + name + ".INI";
}

std::optional<int> SettingsFile::ParseInteger(const QByteArray& raw) {
  QByteArray text = raw;
  if (text.size() > 2 && (text.startsWith("0x") || text.startsWith("0X"))) text = '$' + text.mid(2);
  if (text.isEmpty()) return std::nullopt;
  bool ok = false;
  if (text.startsWith('$')) {
    QByteArray digits = text.mid(1);
    if (digits.isEmpty() || !std::all_of(digits.begin(), digits.end(),
                                         [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }))
      return std::nullopt;
    qulonglong value = digits.toULongLong(&ok, 16);
    if (!ok || value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<int>(static_cast<quint32>(value));
  }
  for (qsizetype i = 0; i < text.size(); ++i) {
    char c = text[i];
    bool sign = i == 0 && (c == '+' || c == '-');
    if (!sign && (c < '0' || c > '9')) return std::nullopt;
  }
  int value = text.toInt(&ok, 10);
  if (!ok) return std::nullopt;
  return value;
}

int SettingsFile::ReadPortIndex() const {
  auto value = PrivateProfile::ReadString(path_, "Settings", "Port");
  if (!value) return 0;
  return ParseInteger(value->left(kMaxValueLength)).value_or(0);
}

void SettingsFile::WritePortIndex(int index) const {
  // The user's settings folder may not exist yet; a program's own folder
  // always does.
  QDir().mkpath(QFileInfo(path_).absolutePath());
  if (!PrivateProfile::WriteString(path_, "Settings", "Port", QByteArray::number(index)))
    throw SettingsWriteError(
        FormatRuntimeMessage("Unable to write to %s", QDir::toNativeSeparators(path_).toUtf8().toStdString()));
}

bool SettingsFile::ReadReconnect() const {
  const auto value = PrivateProfile::ReadString(path_, "Options", "Reconnect");
  return value && ParseInteger(value->left(kMaxValueLength)).value_or(0) != 0;
}

std::optional<QString> SettingsFile::DeviceForPort(const QString& portName) const {
  if (portName.isEmpty()) return std::nullopt;
  auto value = PrivateProfile::ReadString(path_, "Ports", portName.toLocal8Bit());
  if (!value || value->isEmpty()) return std::nullopt;
  return QString::fromLocal8Bit(*value);
}
