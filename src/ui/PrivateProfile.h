#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// A small reader and writer of Windows private-profile (INI) files. Section
// and key names compare without regard to case; writing a key rewrites only
// its own line (or adds it) and keeps every other byte of the file.
class PrivateProfile {
 public:
  // The value of key in section, trimmed of blanks and of one pair of
  // enclosing quotes, or nothing when the file, section or key is missing.
  static std::optional<QByteArray> ReadString(const QString& path, const QByteArray& section, const QByteArray& key);
  // Sets key in section to value, creating the file and the section when
  // needed. Returns false when the file cannot be written; it is then left
  // as it was.
  static bool WriteString(const QString& path, const QByteArray& section, const QByteArray& key,
                          const QByteArray& value);

  // The same two operations on the text of a file, for callers that hold it.
  static std::optional<QByteArray> Lookup(const QByteArray& text, const QByteArray& section, const QByteArray& key);
  static QByteArray WithValue(const QByteArray& text, const QByteArray& section, const QByteArray& key,
                              const QByteArray& value);
};
