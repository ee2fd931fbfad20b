#include <windows.h>

#include <QDir>

#include "PrivateProfile.h"

namespace {

QByteArray NativePath(const QString& path) { return QDir::toNativeSeparators(path).toLocal8Bit(); }

}  // namespace

// An empty default: a missing key and an empty value read alike. The buffer
// holds the longest value the settings are read with.
std::optional<QByteArray> PrivateProfile::ReadString(const QString& path, const QByteArray& section,
                                                     const QByteArray& key) {
  char buffer[2048];
  const DWORD copied = ::GetPrivateProfileStringA(section.constData(), key.constData(), "", buffer, sizeof buffer,
                                                  NativePath(path).constData());
  if (copied == 0) return std::nullopt;
  return QByteArray(buffer, static_cast<qsizetype>(copied));
}

// The system caches profile data; the call with no section flushes the file.
bool PrivateProfile::WriteString(const QString& path, const QByteArray& section, const QByteArray& key,
                                 const QByteArray& value) {
  const QByteArray file = NativePath(path);
  const bool written = ::WritePrivateProfileStringA(section.constData(), key.constData(), value.constData(),
                                                    file.constData()) != FALSE;
  ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.constData());
  return written;
}
