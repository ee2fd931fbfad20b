#pragma once

#include <QString>
#include <optional>
#include <stdexcept>

// The settings file (SettingsLocation.h says where it lies): section
// "Settings", key "Port", the selected port index; section "Ports" maps port
// names to device paths, and section "Options" holds choices made by hand;
// both are only ever read.
class SettingsFile {
 public:
  explicit SettingsFile(QString path) : path_(std::move(path)) {}

  // The executable's path with its extension replaced by ".INI" (appended
  // when the name has none).
  static QString PathBesideExecutable(const QString& executablePath);

  const QString& Path() const { return path_; }

  // The stored port index; 0 when the file, section or key is missing or its
  // value does not convert to a 32-bit integer.
  int ReadPortIndex() const;
  // Makes the file's folder when it is missing. Throws SettingsWriteError
  // when the file cannot be written.
  void WritePortIndex(int index) const;
  // Whether the window waits for a port whose device went away and connects
  // again: "Reconnect" in "Options", on when it reads as a number other than 0.
  bool ReadReconnect() const;
  // The device path configured for a port name, if any.
  std::optional<QString> DeviceForPort(const QString& portName) const;

  // The integer reading rule: "0x"/"0X" stands for "$", "$" introduces
  // hexadecimal digits; anything that does not convert gives nothing.
  static std::optional<int> ParseInteger(const QByteArray& text);

 private:
  QString path_;
};

class SettingsWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
