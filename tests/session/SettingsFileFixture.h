#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "SettingsFile.h"

// A settings file in a folder of its own, written and read as bytes.
class SettingsFileTest : public ::testing::Test {
 protected:
  QString Path() const { return dir.filePath("trellum.INI"); }
  void Write(const QByteArray& text) {
    QFile f(Path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  // The file's text, its line ends read as "\n" (Windows' own writer ends
  // every line with "\r\n").
  QByteArray Read() {
    QFile f(Path());
    return f.open(QIODevice::ReadOnly | QIODevice::Text) ? f.readAll() : QByteArray();
  }
  int PortFrom(const QByteArray& value) {
    Write("[Settings]\nPort=" + value + "\n");
    return SettingsFile(Path()).ReadPortIndex();
  }
  QTemporaryDir dir;
};
