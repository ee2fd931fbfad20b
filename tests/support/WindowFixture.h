#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "MainWindow.h"
#include "RecordedMessages.h"

// A main window with a settings file of its own in a temporary folder, its
// message boxes recorded, and the clock fixed at a given time.
class WindowFixture : public ::testing::Test {
 protected:
  QString SettingsPath() const { return dir.filePath("trellum.INI"); }

  void WriteSettings(const QByteArray& text) {
    QFile f(SettingsPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }

  // The settings file's text, its line ends read as "\n" (Windows' own
  // writer ends every line with "\r\n").
  QByteArray ReadSettings() const {
    QFile f(SettingsPath());
    return f.open(QIODevice::ReadOnly | QIODevice::Text) ? f.readAll() : QByteArray();
  }

  virtual TForm1Setup WindowSetup() {
    TForm1Setup setup;
    setup.settingsPath = SettingsPath();
    setup.now = [this] { return now; };
    setup.messages = messages.Messages();
    setup.linkObserver = linkObserver;
    return setup;
  }

  TForm1& Form() {
    if (!form) form = std::make_unique<TForm1>(WindowSetup());
    return *form;
  }

  void DestroyForm() { form.reset(); }

  void TearDown() override { form.reset(); }

  QTemporaryDir dir;
  RecordedMessages messages;
  LinkObserver* linkObserver = nullptr;
  QDateTime now{QDate(2026, 3, 7), QTime(9, 15, 0)};
  std::unique_ptr<TForm1> form;
};
