#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Windows private-profile (INI) files: the system's own functions on
// Windows, and a reader and writer of the same rules elsewhere. Section and
// key names compare without regard to case; writing a key changes only its
// own entry (or adds it) and keeps every other section, key and comment
// (the POSIX writer keeps every other byte of the file).
class PrivateProfile {
 public:
  // The value of key in section, trimmed of blanks and of one pair of
  // enclosing quotes, or nothing when the file, section or key is missing or
  // the value is empty.
  static std::optional<QByteArray> ReadString(const QString& path, const QByteArray& section, const QByteArray& key);
  // Sets key in section to value, creating the file and the section when
  // needed. Returns false when the file cannot be written; it is then left
  // as it was.
  static bool WriteString(const QString& path, const QByteArray& section, const QByteArray& key,
                          const QByteArray& value);
};
